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

// The extension of the file name, with its dot; empty when the name has none.
std::string extensionOf(const std::string& path) {
  const auto dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.' || dot + 1 == path.size()) return {};
  return path.substr(dot);
}

}  // namespace

std::vector<std::string> outputNameWarnings(const JobOptions& options, const std::string& output,
                                            const std::string& debug) {
  std::vector<std::string> warnings;
  const ImageFormat written = jobEncoding(options, output).format;
  const auto named = formatOfPath(output);
  if (named && *named != written) {
    warnings.push_back("the output " + output + " is written as " + formatName(written) +
                       ", as the format option asks, not as its extension says");
  } else if (!named && !extensionOf(output).empty()) {
    warnings.push_back("the output " + output + " is written as " + formatName(written) + ": " +
                       extensionOf(output) + " is not a format letterforge writes");
  }
  if (!debug.empty() && !formatOfPath(debug) && !extensionOf(debug).empty()) {
    warnings.push_back("the debug image " + debug + " is written as PNG: " + extensionOf(debug) +
                       " is not a format letterforge writes");
  }
  return warnings;
}

}  // namespace letterforge
