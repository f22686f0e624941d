#include "cutframe/crop.h"

#include <algorithm>
#include <cmath>

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

// The rectangle needs the image size, which the decoder reports from the header, so the
// region is chosen once the header is read.
template <typename Decode>
std::optional<platform::DecodedImage> crop(const CropRequest& request, CropProblem& problem,
                                           Decode decodeRegion) {
  bool outside = false;
  const auto chooseCrop = [&](std::int64_t width, std::int64_t height) {
    const auto pixels = pixelsInImage(paddedCropRect(request, width, height), width, height);
    outside = !pixels;
    return pixels;  // absent: the whole image is decoded, so a broken file is still told apart
  };
  platform::ImageDecodeFailure failure{};
  auto piece = decodeRegion(chooseCrop, failure);
  if (!piece) {
    problem = failure == platform::ImageDecodeFailure::kCannotOpen ? CropProblem::kCannotOpen
                                                                   : CropProblem::kCannotDecode;
    return std::nullopt;
  }
  if (outside) {
    problem = CropProblem::kOutsideImage;
    return std::nullopt;
  }
  return piece;
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

std::optional<platform::ImageRegion> pixelsInImage(const CropRect& rect, std::int64_t imageWidth,
                                                   std::int64_t imageHeight) {
  const double left = std::max(std::floor(rect.x), 0.0);
  const double top = std::max(std::floor(rect.y), 0.0);
  const double right = std::min(std::ceil(rect.x + rect.width), static_cast<double>(imageWidth));
  const double bottom = std::min(std::ceil(rect.y + rect.height), static_cast<double>(imageHeight));
  // Written so that a NaN anywhere also counts as empty.
  if (!(right > left && bottom > top)) return std::nullopt;
  return platform::ImageRegion{.x = static_cast<std::int64_t>(left),
                               .y = static_cast<std::int64_t>(top),
                               .width = static_cast<std::int64_t>(right - left),
                               .height = static_cast<std::int64_t>(bottom - top)};
}

std::optional<platform::DecodedImage> cropImageFile(const CropRequest& request, CropProblem& problem) {
  return crop(request, problem, [&](const platform::ImageRegionChoice& choose,
                                    platform::ImageDecodeFailure& failure) {
    return platform::decodeImageFileRegion(request.inputPath, choose, failure);
  });
}

std::optional<platform::DecodedImage> cropImageBytes(std::span<const std::uint8_t> bytes,
                                                     const CropRequest& request, CropProblem& problem) {
  return crop(request, problem, [&](const platform::ImageRegionChoice& choose,
                                    platform::ImageDecodeFailure& failure) {
    return platform::decodeImageRegion(bytes, choose, failure);
  });
}

std::string cropProblemMessage(CropProblem problem, const std::string& name) {
  switch (problem) {
    case CropProblem::kCannotOpen: return platform::imageOpenFailure(name);
    case CropProblem::kCannotDecode: return "Could not decode image: " + name;
    case CropProblem::kOutsideImage: break;
  }
  return "Could not crop image";
}

}  // namespace cutframe
