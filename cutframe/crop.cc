#include "cutframe/crop.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/number_parsing.h"

namespace cutframe {
namespace {

// max and min that yield the bound when the value is not a number, where std::max and
// std::min would pass the NaN on or not depending on the argument order.
double atLeast(double value, double bound) { return std::isnan(value) ? bound : std::max(value, bound); }
double atMost(double value, double bound) { return std::isnan(value) ? bound : std::min(value, bound); }

std::optional<double> number(const std::string& text) {
  const auto parsed = platform::parseCNumber(text);
  if (!parsed) return std::nullopt;
  return parsed->value;
}

}  // namespace

std::optional<CropRequest> parseCropArguments(const std::vector<std::string>& arguments,
                                              ArgumentProblem& problem) {
  if (arguments.size() < 6) {
    problem = ArgumentProblem::kTooFew;
    return std::nullopt;
  }
  CropRequest request{.inputPath = arguments[0], .outputPath = arguments[1]};
  double* fields[] = {&request.x, &request.y, &request.w, &request.h};
  for (int i = 0; i < 4; ++i) {
    const auto value = number(arguments[2 + i]);
    if (!value) {
      problem = ArgumentProblem::kInvalidRectangle;
      return std::nullopt;
    }
    *fields[i] = *value;
  }
  if (arguments.size() > 6) request.paddingRatio = number(arguments[6]).value_or(kDefaultPaddingRatio);
  return request;
}

CropRect paddedCropRect(const CropRequest& request, std::int64_t imageWidth, std::int64_t imageHeight) {
  const double w = atLeast(request.w, 1.0);
  const double h = atLeast(request.h, 1.0);
  const double ratio = request.paddingRatio >= 0 ? request.paddingRatio : 0.0;
  const double pad = atLeast(std::max(w, h) * ratio, kMinPadding);
  const double x0 = atLeast(request.x - pad, 0.0);
  const double y0 = atLeast(request.y - pad, 0.0);
  const double x1 = atMost((request.x + w) + pad, static_cast<double>(imageWidth));
  const double y1 = atMost((request.y + h) + pad, static_cast<double>(imageHeight));
  // The size comes from the unrounded corner, not from the floored origin.
  return CropRect{.x = std::floor(x0),
                  .y = std::floor(y0),
                  .width = atLeast(std::ceil(x1 - x0), 1.0),
                  .height = atLeast(std::ceil(y1 - y0), 1.0)};
}

std::optional<PixelRect> pixelsInImage(const CropRect& rect, std::int64_t imageWidth, std::int64_t imageHeight) {
  const double left = std::max(std::floor(rect.x), 0.0);
  const double top = std::max(std::floor(rect.y), 0.0);
  const double right = std::min(std::ceil(rect.x + rect.width), static_cast<double>(imageWidth));
  const double bottom = std::min(std::ceil(rect.y + rect.height), static_cast<double>(imageHeight));
  // Written so that a NaN anywhere also counts as empty.
  if (!(right > left && bottom > top)) return std::nullopt;
  return PixelRect{.x = static_cast<std::int64_t>(left),
                   .y = static_cast<std::int64_t>(top),
                   .width = static_cast<std::int64_t>(right - left),
                   .height = static_cast<std::int64_t>(bottom - top)};
}

std::optional<platform::DecodedImage> cutOut(const platform::DecodedImage& image, const PixelRect& rect) {
  auto piece = platform::allocateImage(rect.width, rect.height);
  if (!piece) return std::nullopt;
  for (std::int64_t y = 0; y < rect.height; ++y) {
    std::memcpy(piece->row(y), image.row(rect.y + y) + rect.x * 4, static_cast<std::size_t>(rect.width * 4));
  }
  return piece;
}

}  // namespace cutframe
