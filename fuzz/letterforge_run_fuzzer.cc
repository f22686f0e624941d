// A whole letterforge run in process on a small generated page: planning from fuzzed OCR and
// translation files, cleanup in the chosen mode, typesetting and, on request, the debug image.
//
// Input: two option bytes, then the OCR JSON, a NUL byte, and the translation JSON.
//   byte 0: bits 0-1 cleanup mode, bit 2 grouping on, bits 3-4 preset, bits 5-6 typesetting
//           mode, bit 7 debug image
//   byte 1: bits 0-1 page, bits 2-3 font weight, bits 4-7 base font size and stroke width
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "letterforge/driver/render_pipeline.h"
#include "letterforge/raster/image_files.h"

namespace {

using namespace letterforge;

// A file in memory, reachable by path, rewritten for every input.
struct MemoryFile {
  int fd = -1;
  std::string path{};
};

MemoryFile makeMemoryFile(const char* name) {
  const int fd = memfd_create(name, 0);
  FUZZ_CHECK(fd >= 0);
  return {fd, "/proc/self/fd/" + std::to_string(fd)};
}

void store(const MemoryFile& file, std::string_view text) {
  FUZZ_CHECK(ftruncate(file.fd, 0) == 0);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pwrite(file.fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
}

// White paper with a bubble (dark ring, pale fill, lettering inside), a screentone panel, a
// colourful strip and a transparent corner.
platform::DecodedImage makePage(std::int64_t width, std::int64_t height) {
  auto image = platform::allocateImage(width, height);
  FUZZ_CHECK(image.has_value());
  const double cx = width * 0.32;
  const double cy = height * 0.42;
  const double rx = std::max(width * 0.26, 1.0);
  const double ry = std::max(height * 0.3, 1.0);
  for (std::int64_t y = 0; y < height; ++y) {
    std::uint8_t* p = image->row(y);
    for (std::int64_t x = 0; x < width; ++x, p += 4) {
      std::uint8_t r = 255, g = 255, b = 255, a = 255;
      const double d = std::hypot((x - cx) / rx, (y - cy) / ry);
      if (std::abs(d - 1.0) < 0.1) {
        r = g = b = 10;
      } else if (d < 1.0) {
        r = 250, g = 245, b = 220;
        const bool letterRow = (y % 6 == 2 || y % 6 == 3) && std::abs(y - cy) < ry * 0.5;
        if (letterRow && x % 4 != 3 && std::abs(x - cx) < rx * 0.6) r = g = b = 20;
      } else if (x >= width * 0.7) {
        r = g = b = ((x + y) % 3 == 0) ? 60 : 235;
      } else if (y >= height * 0.85) {
        r = static_cast<std::uint8_t>(x * 255 / width), g = 40, b = static_cast<std::uint8_t>(200 - y);
      }
      if (x < 3 && y < 3) a = 0;
      p[0] = r, p[1] = g, p[2] = b, p[3] = a;
    }
  }
  return std::move(*image);
}

constexpr const char* kCleanupModes[] = {"white_fill", "text_inpaint", "bubble_clean", ""};
constexpr const char* kPresets[] = {"balanced", "conservative", "aggressive", "other"};
constexpr const char* kTypesettingModes[] = {"balanced", "readable", "strict", "balanced"};
constexpr const char* kWeights[] = {"bold", "regular", "semibold", "black"};
constexpr std::int64_t kPageSizes[][2] = {{64, 48}, {1, 1}, {7, 90}, {120, 16}};

struct Files {
  MemoryFile ocr = makeMemoryFile("ocr");
  MemoryFile translation = makeMemoryFile("translation");
  std::string debugPath{};
};

Files& files() {
  static Files* shared = [] {
    auto* made = new Files;
    char directory[] = "/tmp/letterforge-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(directory) != nullptr);
    made->debugPath = std::string(directory) + "/debug.png";
    return made;
  }();
  return *shared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t modes = data[0];
  const std::uint8_t look = data[1];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const auto split = rest.find('\0');
  const std::string_view ocrText = rest.substr(0, split);
  const std::string_view translationText =
      split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

  Files& f = files();
  store(f.ocr, ocrText);
  store(f.translation, translationText);

  RenderOptions options;
  options.ocrJsonPath = f.ocr.path;
  options.translationJsonPath = f.translation.path;
  options.cleanupMode = kCleanupModes[modes & 3];
  options.groupingEnabled = (modes & 4) != 0;
  options.groupingPreset = kPresets[(modes >> 3) & 3];
  options.typesettingMode = kTypesettingModes[(modes >> 5) & 3];
  options.debugImagePath = (modes & 128) != 0 ? f.debugPath : "";
  options.fontWeight = kWeights[(look >> 2) & 3];
  options.baseFontSize = 6.0 + (look >> 4) * 3.0;
  options.maxFontSize = std::max(options.baseFontSize, 38.0);
  options.strokeWidth = (look >> 4) * 2.5;

  const auto& pageSize = kPageSizes[look & 3];
  RunState run{.options = options, .pageImage = makePage(pageSize[0], pageSize[1])};
  run.pageRect = {0.0, 0.0, static_cast<double>(pageSize[0]), static_cast<double>(pageSize[1])};
  if (const auto failure = planRun(run)) {
    FUZZ_CHECK(!failure->message.empty() && failure->exitStatus > 2);
    return 0;
  }
  auto bitmap = createPageBitmap(pageSize[0], pageSize[1]);
  FUZZ_CHECK(bitmap.has_value());
  bitmap->save();
  drawPageImage(*bitmap, run.pageImage);
  const auto failure = cleanAndTypeset(run, *bitmap);
  bitmap->restore();
  if (failure) {
    FUZZ_CHECK(!failure->message.empty() && failure->exitStatus > 2);
    return 0;
  }
  // Every pixel stays opaque whatever was drawn.
  for (std::int64_t y = 0; y < bitmap->height(); ++y) {
    for (std::int64_t x = 0; x < bitmap->width(); ++x) FUZZ_CHECK(bitmap->alpha(x, y) == 255);
  }
  if (!run.options.debugImagePath.empty()) FUZZ_CHECK(!writeDebugImage(run).has_value());
  return 0;
}
