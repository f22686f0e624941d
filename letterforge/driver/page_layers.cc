#include "letterforge/driver/page_layers.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "letterforge/raster/image_files.h"
#include "letterforge/raster/psd_file.h"
#include "platform/png_encoder.h"

namespace letterforge {

std::optional<PageLayers> makePageLayers(const platform::DecodedImage& image,
                                         platform::PixelMemory* memory) {
  auto original = createPageBitmap(image.width, image.height, memory);
  auto cleaned = createPageBitmap(image.width, image.height, memory);
  auto text = createPageBitmap(image.width, image.height, memory);
  if (!original || !cleaned || !text) return std::nullopt;
  original->save();
  drawPageImage(*original, image);
  original->restore();
  return PageLayers{std::move(*original), std::move(*cleaned), std::move(*text)};
}

std::vector<std::uint8_t> cleanupMaskLevels(const PageLayers& layers,
                                            const std::vector<TextMask>& cleanedMasks) {
  const std::int64_t w = layers.cleaned.width(), h = layers.cleaned.height();
  std::vector<std::uint8_t> levels(static_cast<std::size_t>(w * h), 0);
  // Storage rows run top first: drawing row y is row h - 1 - y.
  for (std::int64_t y = 0; y < h; ++y) {
    const std::uint32_t* before = layers.original.rowWords(y);
    const std::uint32_t* after = layers.cleaned.rowWords(y);
    std::uint8_t* out = &levels[static_cast<std::size_t>((h - 1 - y) * w)];
    for (std::int64_t x = 0; x < w; ++x) out[x] = before[x] != after[x] ? 255 : 0;
  }
  for (const TextMask& mask : cleanedMasks) {
    if (mask.width <= 0 || !std::isfinite(mask.rect.x) || !std::isfinite(mask.rect.y)) continue;
    const auto ox = static_cast<std::int64_t>(std::trunc(mask.rect.x));
    const auto oy = static_cast<std::int64_t>(std::trunc(mask.rect.y));
    for (const std::int64_t cell : mask.pixels) {
      const std::int64_t x = ox + cell % mask.width, y = oy + cell / mask.width;
      if (x >= 0 && y >= 0 && x < w && y < h) levels[static_cast<std::size_t>((h - 1 - y) * w + x)] = 255;
    }
  }
  return levels;
}

std::optional<EncodedLayers> encodeLayers(const PageLayers& layers, const platform::PageBitmap& page,
                                          const std::vector<TextMask>& cleanedMasks,
                                          const std::string& name, std::string& failure) {
  EncodedLayers out;
  std::string why;
  auto fail = [&](const std::string& what) {
    failure = "Could not write the layers of " + name + ": " + what;
    return std::nullopt;
  };
  auto cleaned = platform::encodePng(layers.cleaned, why);
  if (!cleaned) return fail("the cleaned page: " + why);
  auto text = platform::encodePng(layers.text, platform::PngSettings{.alwaysRgba = true}, why);
  if (!text) return fail("the text: " + why);
  auto mask = platform::encodeGreyPng(cleanupMaskLevels(layers, cleanedMasks), page.width(),
                                      page.height(), why);
  if (!mask) return fail("the cleanup mask: " + why);
  auto psd = encodePsd({{"Original", &layers.original, false},
                        {"Cleaned", &layers.cleaned, false},
                        {"Text", &layers.text, true}},
                       page, why);
  if (!psd) return fail(why);
  return EncodedLayers{std::move(*cleaned), std::move(*text), std::move(*mask), std::move(*psd)};
}

std::vector<std::string> layerPaths(const std::string& prefix) {
  return {prefix + ".cleaned.png", prefix + ".text.png", prefix + ".mask.png", prefix + ".psd"};
}

bool writeLayers(const EncodedLayers& layers, const std::string& prefix, std::string& failure) {
  const std::vector<std::string> paths = layerPaths(prefix);
  const std::vector<const std::vector<std::uint8_t>*> files{&layers.cleaned, &layers.text,
                                                            &layers.mask, &layers.psd};
  for (std::size_t k = 0; k < files.size(); ++k) {
    if (writePng(*files[k], paths[k], failure)) continue;
    for (std::size_t written = 0; written < k; ++written) {
      std::error_code ignored;
      std::filesystem::remove(paths[written], ignored);
    }
    return false;
  }
  return true;
}

void removeLayers(const std::string& prefix) {
  for (const std::string& path : layerPaths(prefix)) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

}  // namespace letterforge
