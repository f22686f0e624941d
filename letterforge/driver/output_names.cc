#include "letterforge/driver/output_names.h"

namespace letterforge {
namespace {

const char* formatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kJpeg: return "JPEG";
    case ImageFormat::kWebp: return "WebP";
    case ImageFormat::kPng: break;
  }
  return "PNG";
}

}  // namespace

std::vector<std::string> outputNameWarnings(const JobOptions& options, const std::string& output) {
  if (!options.format) return {};
  const char* written = formatName(*options.format);
  const auto named = formatOfPath(output);
  if (named && *named != *options.format) {
    return {"the output " + output + " is written as " + written +
            ", as the format option asks, not as its extension says"};
  }
  if (!named && !extensionOf(output).empty()) {
    return {"the output " + output + " is written as " + written + ", as the format option asks: " +
            "." + extensionOf(output) + " is not a format letterforge writes"};
  }
  return {};
}

}  // namespace letterforge
