#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "letterforge/cleanup/text_mask.h"
#include "platform/image.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// A page's layers for editing afterwards, drawn beside the page as it is rendered.
struct PageLayers {
  platform::PageBitmap original;  // the page as loaded
  platform::PageBitmap cleaned;   // the page after cleanup, before any text is drawn
  platform::PageBitmap text;      // the typeset text and its outline over transparency
};

// The layers of a page to be rendered from `image`: the original painted, the others
// blank. Absent when their memory cannot be had.
std::optional<PageLayers> makePageLayers(const platform::DecodedImage& image,
                                         platform::PixelMemory* memory);

// The cleanup mask as grey levels, rows top first: 255 where the cleanup masked a pixel or
// changed it, 0 elsewhere.
std::vector<std::uint8_t> cleanupMaskLevels(const PageLayers& layers,
                                            const std::vector<TextMask>& cleanedMasks);

// The layers as files: the cleaned page, the text (with its transparency) and the cleanup
// mask as PNG, and a PSD of the original, cleaned and text layers over the finished page.
struct EncodedLayers {
  std::vector<std::uint8_t> cleaned{};
  std::vector<std::uint8_t> text{};
  std::vector<std::uint8_t> mask{};
  std::vector<std::uint8_t> psd{};
};

// Absent when a layer cannot be encoded (a PSD of a page over 30000 pixels a side, say), with
// `failure` naming the layers of `name` and saying why.
std::optional<EncodedLayers> encodeLayers(const PageLayers& layers, const platform::PageBitmap& page,
                                          const std::vector<TextMask>& cleanedMasks,
                                          const std::string& name, std::string& failure);

// The files of the layers written under `prefix`: prefix.cleaned.png, prefix.text.png,
// prefix.mask.png and prefix.psd, in that order.
std::vector<std::string> layerPaths(const std::string& prefix);

// Writes the four files, each whole (missing directories created); when one cannot be
// written, those written before it are removed again, so that a page never keeps half its
// layers. False then, with `failure` saying which file and why.
bool writeLayers(const EncodedLayers& layers, const std::string& prefix, std::string& failure);

// Removes the four files, as far as they are there.
void removeLayers(const std::string& prefix);

}  // namespace letterforge
