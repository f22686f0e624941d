#include "python/page_arrays.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "letterforge/driver/exit_status.h"
#include "letterforge/raster/image_files.h"

namespace letterforge::python_module {
namespace py = pybind11;
namespace {

std::string shapeText(const py::array& array) {
  std::string text = "(";
  for (py::ssize_t i = 0; i < array.ndim(); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(array.shape(i));
  }
  return text + (array.ndim() == 1 ? ",)" : ")");
}

// Copies one row of pixels `step` bytes apart, channels `channelStep` apart, into RGBA.
void copyRow(const std::uint8_t* from, py::ssize_t step, py::ssize_t channelStep, int channels,
             std::int64_t width, std::uint8_t* to) {
  if (channels == 4 && step == 4 && channelStep == 1) {
    std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
    return;
  }
  for (std::int64_t x = 0; x < width; ++x, from += step, to += 4) {
    to[0] = from[0];
    to[1] = from[channelStep];
    to[2] = from[2 * channelStep];
    to[3] = channels == 4 ? from[3 * channelStep] : 0xFF;
  }
}

}  // namespace

std::optional<std::string> pageSizeProblem(std::int64_t width, std::int64_t height) {
  if (platform::withinImageLimits(width, height)) return std::nullopt;
  return "image of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels: each side must be 1 to " + std::to_string(platform::kMaxImageSide) +
         " pixels and the whole at most " + std::to_string(platform::kMaxImagePixels) + " pixels";
}

std::optional<std::string> arrayProblem(const py::array& array) {
  const bool rightShape = array.ndim() == 3 && (array.shape(2) == 3 || array.shape(2) == 4);
  if (array.dtype().kind() != 'u' || array.itemsize() != 1 || !rightShape) {
    return "image: expected a uint8 array of shape (height, width, 3) or (height, width, 4), "
           "found " + std::string(py::str(array.dtype())) + " of shape " + shapeText(array);
  }
  return pageSizeProblem(array.shape(1), array.shape(0));
}

platform::DecodedImage imageFromArray(const py::array& array) {
  if (auto problem = arrayProblem(array)) {
    throw CallFailure{.errorClass = "ImageError", .message = std::move(*problem)};
  }
  const std::int64_t height = array.shape(0);
  const std::int64_t width = array.shape(1);
  auto image = platform::allocateImage(width, height);
  if (!image) {
    throw CallFailure{.status = kExitOutOfMemory,
                      .message = "Could not copy the image of " + std::to_string(width) + " x " +
                                 std::to_string(height) + " pixels: out of memory"};
  }
  const auto* base = static_cast<const std::uint8_t*>(array.data());
  const py::ssize_t rowStep = array.strides(0);
  const py::ssize_t step = array.strides(1);
  const py::ssize_t channelStep = array.strides(2);
  const int channels = static_cast<int>(array.shape(2));
  {
    // The caller keeps the array alive; its pixels are only read.
    py::gil_scoped_release release;
    for (std::int64_t y = 0; y < height; ++y) {
      copyRow(base + y * rowStep, step, channelStep, channels, width, image->row(y));
    }
  }
  return std::move(*image);
}

py::array_t<std::uint8_t> arrayFromImage(platform::DecodedImage image) {
  const std::int64_t width = image.width;
  const std::int64_t height = image.height;
  std::uint8_t* pixels = image.rgba.get();
  const auto release = image.rgba.get_deleter().cleared
                           ? +[](void* p) { platform::FreePixels{.cleared = true}(static_cast<std::uint8_t*>(p)); }
                           : +[](void* p) { platform::FreePixels{}(static_cast<std::uint8_t*>(p)); };
  py::capsule owner(pixels, release);
  image.rgba.release();  // the capsule owns the pixels now
  return py::array_t<std::uint8_t>({height, width, std::int64_t{4}}, pixels, owner);
}

py::array_t<std::uint8_t> arrayFromBitmap(const platform::PageBitmap& bitmap) {
  const std::int64_t width = bitmap.width();
  const std::int64_t height = bitmap.height();
  py::array_t<std::uint8_t> array({height, width, std::int64_t{3}});
  std::uint8_t* out = array.mutable_data();
  {
    py::gil_scoped_release release;
    copyBitmapPixels(bitmap, 3, out, static_cast<std::size_t>(width) * 3);
  }
  return array;
}

}  // namespace letterforge::python_module
