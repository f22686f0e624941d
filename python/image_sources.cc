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
                      .message = platform::imageOpenFailure(name),
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
  const bool outside = problem == cutframe::CropProblem::kOutsideImage;
  throw CallFailure{.errorClass = outside ? "CropError" : "ImageError",
                    .message = cutframe::cropProblemMessage(problem, name),
                    .missingFile = problem == cutframe::CropProblem::kCannotOpen && !bytes
                                       ? missingFile(path)
                                       : ""};
}

}  // namespace letterforge::python_module
