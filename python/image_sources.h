#pragma once

// Image files and the bytes of image files, decoded or cropped for the Python module. Called
// with the GIL held; each releases it while it decodes.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/image.h"
#include "python/call_failure.h"

namespace letterforge::python_module {

// An image file (path) or the bytes of one, decoded whole, with the GIL released. Throws
// CallFailure (image class) with "Could not open image: <name>".
platform::DecodedImage decodeSource(const std::string& path,
                                    std::optional<std::span<const std::uint8_t>> bytes,
                                    const std::string& name);

// The padded crop of an image file (path) or the bytes of one, as the crop program cuts it,
// decoding only what the crop needs. Throws CallFailure with the crop program's messages.
platform::DecodedImage cropSource(const std::string& path,
                                  std::optional<std::span<const std::uint8_t>> bytes,
                                  const std::string& name, double x, double y, double w, double h,
                                  double paddingRatio);

}  // namespace letterforge::python_module
