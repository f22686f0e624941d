#include "python/image_sources.h"

#include <pybind11/pybind11.h>

#include "cutframe/crop.h"
#include "letterforge/driver/exit_status.h"

namespace letterforge::python_module {
namespace py = pybind11;

platform::DecodedImage decodeSource(const std::string& path,
                                    std::optional<std::span<const std::uint8_t>> bytes,
                                    const std::string& name) {
  std::optional<platform::DecodedImage> image;
  {
    py::gil_scoped_release release;
    image = bytes ? platform::decodeImage(*bytes) : platform::decodeImageFile(path);
  }
  if (!image) {
    throw CallFailure{.status = kExitImageUnreadable,
                      .message = "Could not open image: " + name,
                      .missingFile = bytes ? "" : missingFile(path)};
  }
  return std::move(*image);
}

platform::DecodedImage cropSource(const std::string& path,
                                  std::optional<std::span<const std::uint8_t>> bytes,
                                  const std::string& name, double x, double y, double w, double h,
                                  double paddingRatio) {
  const cutframe::CropRequest request{
      .inputPath = path, .x = x, .y = y, .w = w, .h = h, .paddingRatio = paddingRatio};
  cutframe::CropProblem problem{};
  std::optional<platform::DecodedImage> piece;
  {
    py::gil_scoped_release release;
    piece = bytes ? cutframe::cropImageBytes(*bytes, request, problem)
                  : cutframe::cropImageFile(request, problem);
  }
  if (piece) return std::move(*piece);
  switch (problem) {
    case cutframe::CropProblem::kCannotOpen:
      throw CallFailure{.errorClass = "ImageError",
                        .message = "Could not open image: " + name,
                        .missingFile = bytes ? "" : missingFile(path)};
    case cutframe::CropProblem::kCannotDecode:
      throw CallFailure{.errorClass = "ImageError", .message = "Could not decode image: " + name};
    case cutframe::CropProblem::kOutsideImage: break;
  }
  throw CallFailure{.errorClass = "CropError", .message = "Could not crop image"};
}

}  // namespace letterforge::python_module
