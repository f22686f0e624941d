// GIF through giflib: the first image, read line by line and composed onto a transparent
// logical screen, so that no buffer larger than the checked canvas is ever allocated.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/image_decoders.h"

namespace platform {
namespace {

struct MemoryReader {
  std::span<const std::uint8_t> bytes;
  std::size_t offset = 0;
};

int readMemory(GifFileType* gif, GifByteType* buffer, int size) {
  auto& reader = *static_cast<MemoryReader*>(gif->UserData);
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(size, 0)),
                                                  reader.bytes.size() - reader.offset);
  std::memcpy(buffer, reader.bytes.data() + reader.offset, count);
  reader.offset += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// Skips extension blocks up to the first image descriptor, keeping the transparent index
// of the graphic control block that precedes it. False at the end of the file or on error.
bool seekFirstImage(GifFileType* gif, int& transparentIndex) {
  transparentIndex = NO_TRANSPARENT_COLOR;
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  while (DGifGetRecordType(gif, &type) == GIF_OK) {
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) == GIF_OK;
    if (type != EXTENSION_RECORD_TYPE) return false;
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
      GraphicsControlBlock control{};
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
        transparentIndex = control.TransparentColor;
      }
    }
    while (block != nullptr) {
      if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
    }
  }
  return false;
}

void paintLine(const std::vector<GifPixelType>& line, const ColorMapObject& colors, int transparentIndex,
               std::uint8_t* out) {
  for (GifPixelType index : line) {
    if (index != transparentIndex) {
      // An index past the palette shows as black, as most viewers draw it.
      const GifColorType c = index < colors.ColorCount ? colors.Colors[index] : GifColorType{0, 0, 0};
      out[0] = c.Red;
      out[1] = c.Green;
      out[2] = c.Blue;
      out[3] = 255;
    } else {
      std::memset(out, 0, 4);
    }
    out += 4;
  }
}

}  // namespace

std::optional<DecodedImage> decodeGif(std::span<const std::uint8_t> bytes, ImageDecodeFailure& failure,
                                      PixelMemory* memory) {
  failure = ImageDecodeFailure::kCannotOpen;
  MemoryReader reader{bytes};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, readMemory, &error));
  if (!gif) return std::nullopt;

  failure = ImageDecodeFailure::kCannotDecode;
  int transparentIndex = NO_TRANSPARENT_COLOR;
  if (!seekFirstImage(gif.get(), transparentIndex)) return std::nullopt;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colors = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr || frame.Left < 0 || frame.Top < 0 || frame.Width < 0 || frame.Height < 0) {
    return std::nullopt;
  }
  // A frame reaching past the logical screen widens the canvas rather than being cut; a frame
  // without pixels widens nothing, whatever its offset, so that a few bytes of header cannot
  // ask for a canvas of a gigabyte.
  const bool emptyFrame = frame.Width == 0 || frame.Height == 0;
  const std::int64_t width =
      emptyFrame ? gif->SWidth : std::max<std::int64_t>(gif->SWidth, std::int64_t{frame.Left} + frame.Width);
  const std::int64_t height =
      emptyFrame ? gif->SHeight : std::max<std::int64_t>(gif->SHeight, std::int64_t{frame.Top} + frame.Height);
  auto image = allocateImage(width, height, memory);
  if (!image) return std::nullopt;

  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  constexpr int kInterlacedStart[] = {0, 4, 2, 1};
  constexpr int kInterlacedStep[] = {8, 8, 4, 2};
  const int passes = emptyFrame ? 0 : frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = frame.Interlace ? kInterlacedStart[pass] : 0;
    const int step = frame.Interlace ? kInterlacedStep[pass] : 1;
    for (int y = start; y < frame.Height; y += step) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) != GIF_OK) return std::nullopt;
      paintLine(line, *colors, transparentIndex, image->row(frame.Top + y) + std::int64_t{frame.Left} * 4);
    }
  }
  // The screen around the frame is cleared only once the frame has been read whole, so that a
  // file of a few bytes that breaks off early never has a large canvas written.
  const std::int64_t frameLeft = emptyFrame ? 0 : frame.Left;
  const std::int64_t frameRight = emptyFrame ? 0 : frameLeft + frame.Width;
  const std::int64_t frameTop = emptyFrame ? 0 : frame.Top;
  const std::int64_t frameBottom = emptyFrame ? 0 : frameTop + frame.Height;
  for (std::int64_t y = 0; y < height; ++y) {
    std::uint8_t* row = image->row(y);
    if (y < frameTop || y >= frameBottom) {
      std::memset(row, 0, static_cast<std::size_t>(width * 4));
      continue;
    }
    std::memset(row, 0, static_cast<std::size_t>(frameLeft * 4));
    std::memset(row + frameRight * 4, 0, static_cast<std::size_t>((width - frameRight) * 4));
  }
  return image;
}

}  // namespace platform
