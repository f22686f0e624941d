#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/image.h"

namespace cutframe {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;

inline constexpr double kDefaultPaddingRatio = 0.22;
inline constexpr double kMinPadding = 40.0;

// The command line: the rectangle in image pixels, origin at the top-left pixel, y down.
struct CropRequest {
  std::string inputPath{};
  std::string outputPath{};
  double x = 0.0;
  double y = 0.0;
  double w = 0.0;
  double h = 0.0;
  double paddingRatio = kDefaultPaddingRatio;
  bool operator==(const CropRequest&) const = default;
};

enum class ArgumentProblem { kTooFew, kInvalidRectangle };

// Reads the arguments after the program name. Absent with `problem` set when fewer than six
// are given or x, y, w or h is not wholly one number; a ratio that is not a number is
// replaced by the default silently, and arguments after the seventh are ignored.
std::optional<CropRequest> parseCropArguments(const std::vector<std::string>& arguments,
                                              ArgumentProblem& problem);

// A rectangle in image pixel units, origin top-left, not yet rounded to whole pixels.
struct CropRect {
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  double height = 0.0;
  bool operator==(const CropRect&) const = default;
};

// The requested rectangle grown by the padding (at least kMinPadding pixels) and clamped to
// the image. A coordinate that is not a number gives way to the image's bound.
CropRect paddedCropRect(const CropRequest& request, std::int64_t imageWidth, std::int64_t imageHeight);

// Rounds the rectangle outward to whole pixels and intersects it with the image. Absent when
// nothing of the image is left.
std::optional<platform::ImageRegion> pixelsInImage(const CropRect& rect, std::int64_t imageWidth,
                                                   std::int64_t imageHeight);

// Why a crop gave no pixels: the file could not be read or is not an image, the image could
// not be decoded, or the padded rectangle lies wholly outside it.
enum class CropProblem { kCannotOpen, kCannotDecode, kOutsideImage };

// The padded rectangle of the request cut out of an image file (or the bytes of one), decoding
// only what the rectangle needs where the format allows. Absent with `problem` set otherwise.
std::optional<platform::DecodedImage> cropImageFile(const CropRequest& request, CropProblem& problem);
std::optional<platform::DecodedImage> cropImageBytes(std::span<const std::uint8_t> bytes,
                                                     const CropRequest& request, CropProblem& problem);

// What cutframe says of a crop that failed with `problem`, the input named `name`:
// "Could not open image: <name>", "Could not decode image: <name>", "Could not crop image".
std::string cropProblemMessage(CropProblem problem, const std::string& name);

}  // namespace cutframe
