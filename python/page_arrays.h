#pragma once

// NumPy arrays in and out of the engine's images. Called with the GIL held; each releases it
// while it copies pixels.
#include <cstdint>
#include <optional>
#include <string>

#include <pybind11/numpy.h>

#include "platform/image.h"
#include "platform/page_bitmap.h"
#include "python/call_failure.h"

namespace letterforge::python_module {

// Why an image of this size cannot be a page: a side outside 1..65535 or more than 2^28
// pixels. Absent when it can.
std::optional<std::string> pageSizeProblem(std::int64_t width, std::int64_t height);

// Why an array cannot be a page image: not uint8, not of shape (height, width, 3 or 4), or
// a size pageSizeProblem refuses. Absent when it can.
std::optional<std::string> arrayProblem(const pybind11::array& array);

// The pixels of a uint8 array of shape (height, width, 3) or (height, width, 4), whatever its
// strides, as RGBA; three channels are opaque. Throws CallFailure with arrayProblem's
// description (ImageError), or the out-of-memory class.
platform::DecodedImage imageFromArray(const pybind11::array& array);

// The image as a (height, width, 4) array that takes over its pixels without a copy.
pybind11::array_t<std::uint8_t> arrayFromImage(platform::DecodedImage image);

// A copy of an opaque bitmap as a (height, width, 3) RGB array, rows top first.
pybind11::array_t<std::uint8_t> arrayFromBitmap(const platform::PageBitmap& bitmap);

}  // namespace letterforge::python_module
