#include "platform/image.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/png_encoder.h"
#include "platform/test_case_names.h"

// The largest single operator new request, so that tests can tell that a forged header was
// refused before its pixels were allocated. Replacing these operators affects this test
// executable only.
namespace {

std::atomic<std::size_t> largestAllocation{0};
void* trackedAllocation(std::size_t size) {
  std::size_t seen = largestAllocation.load();
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return trackedAllocation(size); }
void* operator new[](std::size_t size) { return trackedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The forms that return null rather than throw are replaced too: left to the sanitizers'
// allocator, their memory would come back through the free() above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return trackedAllocation(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace platform {
namespace {

using test_cases::PrintTo;
using Bytes = std::vector<std::uint8_t>;

struct Rgba {
  int red, green, blue, alpha;
};

std::string sample(const std::string& name) {
  return (std::filesystem::path(LF_SOURCE_DIR) / "platform" / "testdata" / name).string();
}

Bytes readSample(const std::string& name) {
  std::string failure;
  const auto text = readWholeFile(sample(name), 1 << 20, failure);
  EXPECT_TRUE(text.has_value()) << name << ": " << failure;
  return text ? Bytes(text->begin(), text->end()) : Bytes{};
}

Rgba pixelAt(const DecodedImage& image, std::int64_t x, std::int64_t y) {
  const std::uint8_t* p = image.row(y) + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

// Colour layouts of the 16 x 16 samples, in 8 x 8 quadrants.
enum class Layout { kQuadrants, kGreyQuadrants, kTransparentCorner, kHalfAlphaCorner };

Rgba expectedAt(Layout layout, int x, int y) {
  const int quadrant = (y >= 8 ? 2 : 0) + (x >= 8 ? 1 : 0);
  if (layout == Layout::kGreyQuadrants) {
    const int grey = 85 * quadrant;
    return {grey, grey, grey, 255};
  }
  constexpr Rgba kColours[] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
  Rgba c = kColours[quadrant];
  if (quadrant == 3 && layout == Layout::kTransparentCorner) c.alpha = 0;
  if (quadrant == 3 && layout == Layout::kHalfAlphaCorner) c.alpha = 128;
  return c;
}

struct SampleCase {
  const char* name;
  const char* file;
  Layout layout;
  int tolerance;   // per sample, for lossy formats
  int edgeMargin;  // pixels this close to a quadrant edge are not compared (lossy ringing)
};

class ImageDecodeSampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(ImageDecodeSampleTest, DecodesToStraightRgbaTopRowFirst) {
  const SampleCase& c = GetParam();
  const auto image = decodeImageFile(sample(c.file));
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->width, 16);
  ASSERT_EQ(image->height, 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const double edgeDistance = std::min(std::abs(x - 7.5), std::abs(y - 7.5)) - 0.5;
      if (edgeDistance < c.edgeMargin) continue;
      const Rgba want = expectedAt(c.layout, x, y);
      const Rgba got = pixelAt(*image, x, y);
      EXPECT_NEAR(got.alpha, want.alpha, c.tolerance) << "at " << x << "," << y;
      if (want.alpha == 0) continue;  // colour under full transparency is free
      EXPECT_NEAR(got.red, want.red, c.tolerance) << "at " << x << "," << y;
      EXPECT_NEAR(got.green, want.green, c.tolerance) << "at " << x << "," << y;
      EXPECT_NEAR(got.blue, want.blue, c.tolerance) << "at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageDecodeSampleTest, ::testing::Values(
    SampleCase{"PngGrey", "grey.png", Layout::kGreyQuadrants, 0, 0},
    SampleCase{"PngPalette", "quadrants_palette.png", Layout::kQuadrants, 0, 0},
    SampleCase{"Png16Bit", "quadrants_16bit.png", Layout::kQuadrants, 0, 0},
    SampleCase{"PngPaletteTransparency", "quadrants_transparent_palette.png", Layout::kTransparentCorner, 0, 0},
    SampleCase{"PngHalfAlpha", "half_alpha.png", Layout::kHalfAlphaCorner, 0, 0},
    SampleCase{"Jpeg", "quadrants.jpg", Layout::kQuadrants, 12, 2},
    SampleCase{"JpegGrey", "grey.jpg", Layout::kGreyQuadrants, 6, 2},
    SampleCase{"JpegCmyk", "quadrants_cmyk.jpg", Layout::kQuadrants, 16, 2},
    SampleCase{"WebpLossless", "quadrants_lossless.webp", Layout::kQuadrants, 0, 0},
    SampleCase{"WebpLossy", "quadrants_lossy.webp", Layout::kQuadrants, 24, 2},
    SampleCase{"WebpHalfAlpha", "half_alpha.webp", Layout::kHalfAlphaCorner, 0, 0},
    SampleCase{"TiffLzw", "quadrants.tif", Layout::kQuadrants, 0, 0},
    SampleCase{"Tiff16BitHalfAlpha", "half_alpha.tif", Layout::kHalfAlphaCorner, 1, 0},
    SampleCase{"Gif", "quadrants.gif", Layout::kQuadrants, 0, 0},
    SampleCase{"GifInterlaced", "quadrants_interlaced.gif", Layout::kQuadrants, 0, 0},
    SampleCase{"GifTransparency", "quadrants_transparent.gif", Layout::kTransparentCorner, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageDecodeTest, GreyWithAlphaKeepsBothChannels) {
  const auto image = decodeImageFile(sample("grey_alpha.png"));
  ASSERT_TRUE(image.has_value());
  const Rgba p = pixelAt(*image, 3, 3);
  EXPECT_EQ(p.red, 85);
  EXPECT_EQ(p.green, 85);
  EXPECT_EQ(p.blue, 85);
  EXPECT_EQ(p.alpha, 128);
}

TEST(ImageDecodeTest, GifFrameIsPlacedOnItsLogicalScreen) {
  // A 4 x 4 red frame at (8, 4) on a 16 x 16 screen; the rest of the screen is transparent.
  const auto image = decodeImageFile(sample("offset_frame.gif"));
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->width, 16);
  ASSERT_EQ(image->height, 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool inFrame = x >= 8 && x < 12 && y >= 4 && y < 8;
      const Rgba p = pixelAt(*image, x, y);
      EXPECT_EQ(p.alpha, inFrame ? 255 : 0) << "at " << x << "," << y;
      if (inFrame) {
        EXPECT_EQ(p.red, 255);
      }
    }
  }
}

TEST(ImageDecodeTest, FileWithSeveralImagesYieldsTheFirst) {
  for (const char* file : {"two_images.gif", "two_images.tif"}) {
    const auto image = decodeImageFile(sample(file));
    ASSERT_TRUE(image.has_value()) << file;
    const Rgba p = pixelAt(*image, 1, 1);
    EXPECT_EQ(p.red, 255) << file;
    EXPECT_EQ(p.blue, 0) << file;
  }
}

// A fresh folder named after the running test, removed with everything in it at the end.
struct ScratchFolder {
  std::filesystem::path path = std::filesystem::path(::testing::TempDir()) /
                               ::testing::UnitTest::GetInstance()->current_test_info()->name();
  ScratchFolder() { std::filesystem::create_directories(path); }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
};

TEST(ImageDecodeTest, FormatIsRecognisedByContentNotName) {
  const ScratchFolder scratch;
  const auto& dir = scratch.path;
  const Bytes jpeg = readSample("quadrants.jpg");
  std::string failure;
  ASSERT_TRUE(writeFileReplacing((dir / "picture.png").string(), jpeg, failure)) << failure;
  const auto image = decodeImageFile((dir / "picture.png").string());
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 16);
}

// --- Refusals --------------------------------------------------------------------------

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void appendBigEndian(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A PNG chunk: length, type, data, CRC of type and data.
void appendChunk(Bytes& png, const char* type, const Bytes& data) {
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
  png.insert(png.end(), body.begin(), body.end());
  appendBigEndian(png, crc32(body.data(), body.size()));
}

// A PNG signature and a well-formed IHDR for an RGBA image of the given size, then a few
// bytes of image data: enough for a decoder to believe the size.
Bytes pngClaiming(std::uint32_t width, std::uint32_t height) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes chunk = {'I', 'H', 'D', 'R'};
  appendBigEndian(chunk, width);
  appendBigEndian(chunk, height);
  chunk.insert(chunk.end(), {8, 6, 0, 0, 0});
  appendBigEndian(png, 13);
  png.insert(png.end(), chunk.begin(), chunk.end());
  appendBigEndian(png, crc32(chunk.data(), chunk.size()));
  const Bytes idat = {'I', 'D', 'A', 'T', 0x78, 0x9C, 0x03, 0x00};
  appendBigEndian(png, 4);
  png.insert(png.end(), idat.begin(), idat.end());
  appendBigEndian(png, crc32(idat.data(), idat.size()));
  return png;
}

// A GIF whose logical screen and first image descriptor have the given sizes.
Bytes gifClaiming(std::uint16_t screenWidth, std::uint16_t screenHeight, std::uint16_t frameWidth,
                  std::uint16_t frameHeight) {
  auto le = [](Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
  le(gif, screenWidth);
  le(gif, screenHeight);
  gif.insert(gif.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // two-entry global palette
  gif.push_back(0x2C);
  le(gif, 0);
  le(gif, 0);
  le(gif, frameWidth);
  le(gif, frameHeight);
  gif.insert(gif.end(), {0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
  return gif;
}

struct RefusalCase {
  const char* name;
  Bytes (*bytes)();  // made when the test runs, not when it is registered
  ImageDecodeFailure failure;
};

Bytes truncated(Bytes bytes) {
  bytes.resize(bytes.size() / 2);
  return bytes;
}

Bytes withoutLast(Bytes bytes, std::size_t count) {
  bytes.resize(bytes.size() > count ? bytes.size() - count : 0);
  return bytes;
}

Bytes withTail(Bytes head, const std::string& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

class ImageDecodeRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ImageDecodeRefusalTest, IsAbsentWithoutAllocatingPixels) {
  const RefusalCase& c = GetParam();
  ImageDecodeFailure failure{};
  const Bytes bytes = c.bytes();
  largestAllocation = 0;
  EXPECT_FALSE(decodeImage(bytes, failure).has_value());
  EXPECT_EQ(failure, c.failure);
  EXPECT_LT(largestAllocation.load(), std::size_t{1} << 20);
}

Bytes randomBytes() {
  Bytes bytes(4096);
  std::uint32_t state = 12345;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(BadInput, ImageDecodeRefusalTest, ::testing::Values(
    RefusalCase{"Empty", [] { return Bytes{}; }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"RandomBytes", [] { return randomBytes(); }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"Text", [] { return withTail({}, "just some text\n"); }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"PngSignatureOnly", [] { return Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}; }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"PngSignatureThenGarbage", [] { return withTail({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, "garbage garbage garbage"); }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"PngClaimingTenBillionPixels", [] { return pngClaiming(100000, 100000); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"PngWithinSideLimitButTooManyPixels", [] { return pngClaiming(60000, 60000); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"PngWithoutPixelData", [] { return pngClaiming(4, 4); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"PngTruncated", [] { return truncated(readSample("half_alpha.png")); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"JpegCutInItsTables", [] { return truncated(readSample("quadrants.jpg")); }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"JpegCutInItsScan", [] { return withoutLast(readSample("quadrants.jpg"), 16); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"JpegMarkerOnly", [] { return Bytes{0xFF, 0xD8, 0xFF}; }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"WebpTruncated", [] { return truncated(readSample("quadrants_lossy.webp")); }, ImageDecodeFailure::kCannotDecode},
    // The directory sits after the pixel data, so half a file has no image to open.
    RefusalCase{"TiffTruncated", [] { return truncated(readSample("quadrants.tif")); }, ImageDecodeFailure::kCannotOpen},
    RefusalCase{"GifTruncated", [] { return truncated(readSample("quadrants.gif")); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"GifScreenOfFourBillionPixels", [] { return gifClaiming(65535, 65535, 1, 1); }, ImageDecodeFailure::kCannotDecode},
    RefusalCase{"GifFrameWiderThanAnyCanvas", [] { return gifClaiming(1, 1, 65535, 65535); }, ImageDecodeFailure::kCannotDecode}),
    [](const auto& info) { return std::string(info.param.name); });

// Found by fuzzing: a 46-byte file whose empty first frame sat at (4104, 61440) made a
// transparent canvas of a quarter of a billion pixels.
// The last IDAT chunk of a PNG: where its data starts and how long it is.
std::pair<std::size_t, std::size_t> lastImageData(const Bytes& png) {
  std::pair<std::size_t, std::size_t> found{0, 0};
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 |
                               std::size_t{png[at + 2]} << 8 | png[at + 3];
    if (std::equal(png.begin() + at + 4, png.begin() + at + 8, "IDAT")) found = {at + 8, length};
    at += 12 + length;
  }
  return found;
}

// Integrity is the chunks' CRCs: a wrong zlib checksum under a right CRC is read, a changed
// data byte under the old CRC is refused.
TEST(ImageDecodeTest, PngDataIsCheckedByChunkCrcsNotByItsZlibChecksum) {
  auto image = allocateImage(5, 4);
  ASSERT_TRUE(image.has_value());
  for (std::int64_t i = 0; i < 5 * 4 * 4; ++i) image->rgba[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 255 : i * 7);
  std::string failure;
  const auto png = encodePng(*image, failure);
  ASSERT_TRUE(png.has_value()) << failure;
  const auto [data, length] = lastImageData(*png);
  ASSERT_GE(length, 4u);

  Bytes wrongChecksum = *png;
  wrongChecksum[data + length - 1] ^= 0x01;  // the Adler-32 ends the last chunk's data
  const std::uint32_t crc = crc32(wrongChecksum.data() + data - 4, length + 4);
  for (int i = 0; i < 4; ++i) wrongChecksum[data + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  const auto read = decodeImage(wrongChecksum);
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(std::equal(read->rgba.get(), read->rgba.get() + 5 * 4 * 4, image->rgba.get()));

  Bytes changedByte = *png;
  changedByte[data + length / 2] ^= 0x01;
  EXPECT_FALSE(decodeImage(changedByte).has_value());
}

// An RGB PNG whose tRNS chunk makes one colour transparent: that colour comes out with alpha
// 0, the other opaque.
TEST(ImageDecodeTest, RgbPngWithATransparentColourKeepsIt) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&png](const char* type, const Bytes& data) { appendChunk(png, type, data); };
  chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 1, 8, 2, 0, 0, 0});
  chunk("tRNS", {0, 40, 0, 50, 0, 60});
  const Bytes row = {0, 10, 20, 30, 40, 50, 60};
  Bytes data(compressBound(static_cast<uLong>(row.size())));
  uLongf size = data.size();
  ASSERT_EQ(compress(data.data(), &size, row.data(), static_cast<uLong>(row.size())), Z_OK);
  data.resize(size);
  chunk("IDAT", data);
  chunk("IEND", {});
  const auto image = decodeImage(png);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(Bytes(image->rgba.get(), image->rgba.get() + 8), (Bytes{10, 20, 30, 255, 40, 50, 60, 0}));
}

// Plain 8-bit RGB and RGBA files as other writers make them: every filter type, the data in
// chunks of any size, and damage to the data.
struct PlainPngCase {
  const char* name;
  int channels;          // 3 RGB, 4 RGBA
  std::size_t idatBytes;  // data per IDAT chunk
  enum class Damage { kNone, kDataEndsARowEarly, kNotDeflate } damage = Damage::kNone;
};

class PlainPngTest : public ::testing::TestWithParam<PlainPngCase> {};

TEST_P(PlainPngTest, EveryFilterTypeComesBackAsItsPixels) {
  const PlainPngCase& c = GetParam();
  constexpr std::uint32_t kWidth = 9, kHeight = 11;
  const auto rowBytes = static_cast<std::size_t>(kWidth) * c.channels;
  Bytes pixels(rowBytes * kHeight);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>((i * 37 + i / rowBytes * 11) ^ (i >> 3));
  // Row y is filtered with type (2y + channels) % 5: every type, and the top row with Average
  // (RGB) or Paeth (RGBA); each byte less its predictor from the unfiltered bytes.
  Bytes stored;
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    const int filter = static_cast<int>((2 * y + static_cast<std::uint32_t>(c.channels)) % 5);
    stored.push_back(static_cast<std::uint8_t>(filter));
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= static_cast<std::size_t>(c.channels) ? pixels[y * rowBytes + i - c.channels] : 0;
      const int above = y > 0 ? pixels[(y - 1) * rowBytes + i] : 0;
      const int aboveLeft = y > 0 && i >= static_cast<std::size_t>(c.channels) ? pixels[(y - 1) * rowBytes + i - c.channels] : 0;
      const int estimate = left + above - aboveLeft;
      const int pa = std::abs(estimate - left), pb = std::abs(estimate - above), pc = std::abs(estimate - aboveLeft);
      const int paeth = pa <= pb && pa <= pc ? left : pb <= pc ? above : aboveLeft;
      const int predictors[5] = {0, left, above, (left + above) / 2, paeth};
      stored.push_back(static_cast<std::uint8_t>(pixels[y * rowBytes + i] - predictors[filter]));
    }
  }
  if (c.damage == PlainPngCase::Damage::kDataEndsARowEarly) stored.resize(stored.size() - rowBytes - 1);
  Bytes data(compressBound(static_cast<uLong>(stored.size())));
  uLongf size = data.size();
  ASSERT_EQ(compress(data.data(), &size, stored.data(), static_cast<uLong>(stored.size())), Z_OK);
  data.resize(size);
  if (c.damage == PlainPngCase::Damage::kNotDeflate) data[0] = 0x79;  // compression method 9

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&png](const char* type, const Bytes& body) { appendChunk(png, type, body); };
  Bytes header;
  appendBigEndian(header, kWidth);
  appendBigEndian(header, kHeight);
  header.insert(header.end(), {8, static_cast<std::uint8_t>(c.channels == 4 ? 6 : 2), 0, 0, 0});
  chunk("IHDR", header);
  for (std::size_t at = 0; at < data.size(); at += c.idatBytes) {
    chunk("IDAT", Bytes(data.begin() + static_cast<std::ptrdiff_t>(at),
                        data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + c.idatBytes))));
  }
  chunk("IEND", {});

  const auto image = decodeImage(png);
  if (c.damage != PlainPngCase::Damage::kNone) {
    EXPECT_FALSE(image.has_value());
    return;
  }
  ASSERT_TRUE(image.has_value());
  for (std::size_t p = 0; p < std::size_t{kWidth} * kHeight; ++p) {
    for (int ch = 0; ch < 4; ++ch) {
      const std::uint8_t expected = ch < c.channels ? pixels[p * c.channels + ch] : 255;
      ASSERT_EQ(image->rgba[p * 4 + ch], expected) << "pixel " << p << " channel " << ch;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PlainPngTest, ::testing::Values(
    PlainPngCase{"RgbInOneChunk", 3, 1 << 20},
    PlainPngCase{"RgbaInOneChunk", 4, 1 << 20},
    PlainPngCase{"RgbAByteAChunk", 3, 1},
    PlainPngCase{"RgbaInChunksOfSeven", 4, 7},
    PlainPngCase{"DataEndingARowEarlyIsRefused", 3, 1 << 20, PlainPngCase::Damage::kDataEndsARowEarly},
    PlainPngCase{"HeaderOtherThanDeflateIsRefused", 4, 1 << 20, PlainPngCase::Damage::kNotDeflate}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageDecodeTest, GifFrameWithoutPixelsWidensNothing) {
  Bytes gif = gifClaiming(16, 8, 0, 255);
  gif[20] = 0x08;  // left 4104
  gif[21] = 0x10;
  gif[22] = 0x00;  // top 61440
  gif[23] = 0xF0;
  largestAllocation = 0;
  const auto image = decodeImage(gif);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) EXPECT_EQ(pixelAt(*image, x, y).alpha, 0) << "at " << x << "," << y;
  }
  EXPECT_LT(largestAllocation.load(), std::size_t{1} << 20);
}

std::int64_t peakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Found by fuzzing: a 66-byte file whose frame sat at (10760, 0) and broke off after a few
// pixels had a canvas of 665 MB cleared before the frame was read.
TEST(ImageDecodeTest, GifBreakingOffEarlyNeverWritesItsCanvas) {
  Bytes gif = gifClaiming(16, 16, 255, 15104);
  gif[20] = 0x08;  // left 10760
  gif[21] = 0x2A;
  const std::int64_t before = peakResidentKilobytes();
  ImageDecodeFailure failure{};
  EXPECT_FALSE(decodeImage(gif, failure).has_value());
  EXPECT_EQ(failure, ImageDecodeFailure::kCannotDecode);
  EXPECT_LT(peakResidentKilobytes() - before, 128 * 1024);
}

// Found by fuzzing: a JPEG of a few hundred bytes whose frame header claims far more pixels
// than its data holds was decoded to the claimed size, the missing blocks padded with grey;
// as a progressive file of 16000 x 16000 it took seconds and gigabytes.
TEST(ImageDecodeTest, JpegWithLessDataThanItsFrameClaimsIsRefused) {
  Bytes jpeg = readSample("quadrants.jpg");
  const Bytes frameMarker = {0xFF, 0xC0};
  const auto at = std::search(jpeg.begin(), jpeg.end(), frameMarker.begin(), frameMarker.end());
  ASSERT_NE(at, jpeg.end());
  // Height and width follow the length and the sample precision.
  const std::size_t sizes = static_cast<std::size_t>(at - jpeg.begin()) + 5;
  jpeg[sizes] = 0x04;  // 1024 rows
  jpeg[sizes + 1] = 0x00;
  jpeg[sizes + 2] = 0x04;  // 1024 columns
  jpeg[sizes + 3] = 0x00;
  ImageDecodeFailure failure{};
  EXPECT_FALSE(decodeImage(jpeg, failure).has_value());
  EXPECT_EQ(failure, ImageDecodeFailure::kCannotDecode);
}

// Entropy-coded bits, most significant first, with a zero byte stuffed after every 0xFF.
struct EntropyBits {
  Bytes bytes;
  unsigned pending = 0;
  int count = 0;
  void put(unsigned value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      pending = pending << 1 | (value >> i & 1);
      if (++count < 8) continue;
      bytes.push_back(static_cast<std::uint8_t>(pending));
      if (pending == 0xFF) bytes.push_back(0);
      pending = 0;
      count = 0;
    }
  }
  Bytes finish() {
    if (count > 0) put((1u << (8 - count)) - 1, 8 - count);  // padded with one bits
    return bytes;
  }
};

// A progressive JPEG of a flat grey square (one component) in 1 to 127 scans: the DC scan, one
// scan per AC coefficient from the first, and, past 64 scans, first coefficients sent in two
// bit steps. Each AC scan codes all blocks as runs of empty ones, so a scan of a huge image
// costs a few hundred bytes, as in a file made to waste decoding time.
Bytes progressiveJpeg(int side, int scans) {
  Bytes out = {0xFF, 0xD8};
  const auto segment = [&out](std::uint8_t marker, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    out.insert(out.end(),
               {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    out.insert(out.end(), payload.begin(), payload.end());
  };
  const auto high = static_cast<std::uint8_t>(side >> 8);
  const auto low = static_cast<std::uint8_t>(side);
  Bytes quantisers(65, 1);
  quantisers[0] = 0;
  segment(0xDB, quantisers);
  segment(0xC2, {8, high, low, high, low, 1, 1, 0x11, 0});
  // DC: one code, "0", for a difference of zero. AC: codes 0000 to 1110 for EOB0 to EOB14.
  Bytes dcTable(18, 0);
  dcTable[1] = 1;
  segment(0xC4, dcTable);
  Bytes acTable = {0x10, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (std::uint8_t run = 0; run < 15; ++run) acTable.push_back(static_cast<std::uint8_t>(run << 4));
  segment(0xC4, acTable);

  const std::int64_t blocks = std::int64_t{side / 8} * (side / 8);
  EntropyBits dc;
  for (std::int64_t b = 0; b < blocks; ++b) dc.put(0, 1);
  EntropyBits ac;
  for (std::int64_t left = blocks; left > 0;) {
    const std::int64_t run = std::min<std::int64_t>(left, 32767);
    const int bits = std::bit_width(static_cast<std::uint64_t>(run)) - 1;
    ac.put(static_cast<unsigned>(bits), 4);
    ac.put(static_cast<unsigned>(run - (std::int64_t{1} << bits)), bits);
    left -= run;
  }
  const Bytes dcData = dc.finish();
  const Bytes acData = ac.finish();
  const auto scan = [&](int first, int last, int high, int low, const Bytes& data) {
    segment(0xDA, {1, 1, 0x00, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last),
                   static_cast<std::uint8_t>(high << 4 | low)});
    out.insert(out.end(), data.begin(), data.end());
  };
  scan(0, 0, 0, 0, dcData);
  const int refined = std::max(scans - 64, 0);
  for (int k = 1; k <= std::min(scans - 1, 63); ++k) scan(k, k, 0, k <= refined ? 1 : 0, acData);
  for (int k = 1; k <= refined; ++k) scan(k, k, 1, 0, acData);
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

struct ScanCountCase {
  const char* name;
  int scans;
  bool decoded;
};
class JpegScanLimitTest : public ::testing::TestWithParam<ScanCountCase> {};

TEST_P(JpegScanLimitTest, FilesWithFarMoreScansThanEncodersWriteAreRefused) {
  const ScanCountCase& c = GetParam();
  ImageDecodeFailure failure{};
  const auto image = decodeImage(progressiveJpeg(16, c.scans), failure);
  ASSERT_EQ(image.has_value(), c.decoded);
  if (!image) {
    EXPECT_EQ(failure, ImageDecodeFailure::kCannotDecode);
    return;
  }
  const Rgba p = pixelAt(*image, 15, 15);
  EXPECT_EQ(p.red, 128);
  EXPECT_EQ(p.blue, 128);
  EXPECT_EQ(p.alpha, 255);
}

INSTANTIATE_TEST_SUITE_P(Scans, JpegScanLimitTest, ::testing::Values(
    ScanCountCase{"DcOnly", 1, true},
    ScanCountCase{"AsEncodersWriteThem", 10, true},
    ScanCountCase{"AtTheLimit", 100, true},
    ScanCountCase{"OneOverTheLimit", 101, false},
    ScanCountCase{"FarOver", 127, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Decoding 997 such scans of a 16384 x 16384 file took a minute and 2 GB.
TEST(ImageDecodeTest, ManyScansOfAHugeImageAreRefusedBeforeItsPixels) {
  const Bytes jpeg = progressiveJpeg(16384, 101);
  largestAllocation = 0;
  ImageDecodeFailure failure{};
  EXPECT_FALSE(decodeImage(jpeg, failure).has_value());
  EXPECT_EQ(failure, ImageDecodeFailure::kCannotDecode);
  EXPECT_LT(largestAllocation.load(), std::size_t{1} << 20);
}

TEST(ImageDecodeTest, ScanMarkersInsideOtherSegmentsAreNotCounted) {
  Bytes jpeg = progressiveJpeg(16, 10);
  Bytes application = {0xFF, 0xE1, 0x01, 0x92};  // 400 bytes of FF DA, as metadata might hold
  for (int i = 0; i < 200; ++i) application.insert(application.end(), {0xFF, 0xDA});
  jpeg.insert(jpeg.begin() + 2, application.begin(), application.end());
  EXPECT_TRUE(decodeImage(jpeg).has_value());
}

TEST(ImageDecodeTest, FilesThatCannotBeReadAreNotImages) {
  const ScratchFolder scratch;
  const auto& dir = scratch.path;
  std::ofstream(dir / "empty.png").close();
  for (const auto& path : {dir / "missing.png", dir / "empty.png", dir}) {
    ImageDecodeFailure failure = ImageDecodeFailure::kCannotDecode;
    EXPECT_FALSE(decodeImageFile(path.string(), failure).has_value()) << path;
    EXPECT_EQ(failure, ImageDecodeFailure::kCannotOpen) << path;
  }
}

struct AllocationCase {
  const char* name;
  std::int64_t width, height;
  bool allowed;
};

class AllocateImageTest : public ::testing::TestWithParam<AllocationCase> {};

TEST_P(AllocateImageTest, HonoursSideAndAreaLimits) {
  const AllocationCase& c = GetParam();
  const auto image = allocateImage(c.width, c.height);
  ASSERT_EQ(image.has_value(), c.allowed);
  if (image) {
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->row(c.height - 1) - image->row(0), (c.height - 1) * c.width * 4);
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, AllocateImageTest, ::testing::Values(
    AllocationCase{"OnePixel", 1, 1, true},
    AllocationCase{"ZeroWidth", 0, 5, false},
    AllocationCase{"NegativeHeight", 5, -1, false},
    AllocationCase{"WidestRow", 65535, 2, true},
    AllocationCase{"RowPastSideLimit", 65536, 1, false},
    AllocationCase{"TallestColumn", 1, 65535, true},
    AllocationCase{"ColumnPastSideLimit", 1, 65536, false},
    AllocationCase{"OneRowPastPixelLimit", 16384, 16385, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Buffers of the given sizes, each filled with a byte that no decoder writes everywhere.
PixelMemory memoryHolding(std::initializer_list<std::size_t> sizes) {
  PixelMemory memory;
  for (const std::size_t bytes : sizes) {
    PixelBuffer buffer = allocatePixels(bytes, false);
    std::fill_n(buffer.get(), bytes, std::uint8_t{0xA7});
    memory.keep(std::move(buffer), bytes);
  }
  return memory;
}

struct MemoryCase {
  const char* name;
  std::vector<std::size_t> kept;  // buffers kept, in order
  std::size_t wanted;
  std::size_t given;  // size of the buffer taken, 0 for none
  int left;           // buffers still kept afterwards
};

class PixelMemoryTest : public ::testing::TestWithParam<MemoryCase> {};

// Sizes are told apart by taking again: what is left is taken at its own size.
TEST_P(PixelMemoryTest, GivesTheSmallestBufferLargeEnoughAndLetsSmallerOnesGo) {
  const MemoryCase& c = GetParam();
  PixelMemory memory;
  std::vector<std::uint8_t*> addresses;
  for (const std::size_t bytes : c.kept) {
    PixelBuffer buffer = allocatePixels(bytes, false);
    addresses.push_back(buffer.get());
    memory.keep(std::move(buffer), bytes);
  }
  const PixelBuffer taken = memory.take(c.wanted);
  if (c.given == 0) {
    EXPECT_EQ(taken, nullptr);
  } else {
    const auto at = std::find(c.kept.begin(), c.kept.end(), c.given) - c.kept.begin();
    EXPECT_EQ(taken.get(), addresses[static_cast<std::size_t>(at)]);
  }
  int left = 0;
  while (memory.take(1) != nullptr) ++left;
  EXPECT_EQ(left, c.left);
}

INSTANTIATE_TEST_SUITE_P(Table, PixelMemoryTest, ::testing::Values(
    MemoryCase{"NothingKept", {}, 10, 0, 0},
    MemoryCase{"ExactSize", {100}, 100, 100, 0},
    MemoryCase{"LargerServesSmaller", {100}, 60, 100, 0},
    MemoryCase{"TooSmallIsLetGo", {100}, 101, 0, 0},
    MemoryCase{"SmallestThatFits", {400, 200}, 150, 200, 1},
    MemoryCase{"OnlyTheLargerFits", {100, 400}, 150, 400, 0},
    MemoryCase{"BothTooSmall", {100, 200}, 300, 0, 0},
    MemoryCase{"AThirdReplacesTheSmaller", {100, 200, 300}, 150, 200, 1},
    MemoryCase{"AThirdSmallerThanBothIsDropped", {200, 300, 100}, 150, 200, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PixelMemoryTest, AKeptImageIsLeftEmpty) {
  PixelMemory memory;
  auto image = allocateImage(3, 2);
  ASSERT_TRUE(image.has_value());
  const std::uint8_t* pixels = image->rgba.get();
  memory.keep(*image);
  EXPECT_EQ(image->rgba, nullptr);
  EXPECT_EQ(image->width, 0);
  const auto next = allocateImage(2, 3, &memory);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->rgba.get(), pixels);
}

// Kept memory holds the last page's pixels; every decoder must write every pixel over them.
TEST(PixelMemoryTest, DecodingIntoKeptMemoryGivesThePixelsOfAFreshDecode) {
  int decoded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sample(""))) {
    const std::string name = entry.path().filename().string();
    const std::string extension = entry.path().extension().string();
    if (extension == ".sh") continue;
    SCOPED_TRACE(name);
    const auto fresh = decodeImageFile(entry.path().string());
    if (!fresh) continue;  // a sample of a broken file
    const std::size_t bytes = static_cast<std::size_t>(fresh->width * fresh->height * 4);
    PixelMemory memory = memoryHolding({bytes + 64});
    ImageDecodeFailure failure{};
    const auto reused = decodeImageFile(entry.path().string(), failure, memory);
    ASSERT_TRUE(reused.has_value());
    ASSERT_EQ(reused->width, fresh->width);
    ASSERT_EQ(reused->height, fresh->height);
    EXPECT_TRUE(std::equal(fresh->rgba.get(), fresh->rgba.get() + bytes, reused->rgba.get()));
    EXPECT_EQ(memory.take(1), nullptr);  // the decode took the kept buffer
    ++decoded;
  }
  EXPECT_GE(decoded, 20);
}

}  // namespace
}  // namespace platform
