#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "letterforge/driver/render_options.h"
#include "letterforge/raster/image_files.h"

namespace letterforge {

// An option's value as a job description gives it: a JSON boolean, number or string.
using OptionValue = std::variant<bool, double, std::string>;

// The options a page job sets by name, besides its files.
struct JobOptions {
  RenderSettings settings{};
  std::optional<double> maxFontSize{};  // as given; bounded by the base size when the job is made
  std::optional<ImageFormat> format{};  // absent: the output's extension decides, else PNG
  std::optional<int> quality{};
  bool operator==(const JobOptions&) const = default;
};

// What an option is, for help texts and messages.
struct OptionDescription {
  const char* name;
  const char* type;  // "number", "boolean" or "string"
  const char* help;
};

// Every option, in the order of letterforge's command line, then fit_balloon, font, format,
// quality, direction and blocks.
std::span<const OptionDescription> jobOptionDescriptions();

// Sets one option by its snake_case name. Numbers are bounded exactly as letterforge's
// command line bounds them and mode words lower-cased as it does; a quality is rounded and
// kept within 1 to 100. False, with `failure` naming the option and the fault, for an unknown
// name, a value of another type, a colour that is not six hex digits, a format other than
// png, jpeg (jpg) or webp, and an empty font; the options are then left as they were.
bool setJobOption(JobOptions& options, std::string_view name, const OptionValue& value,
                  std::string& failure);

// The settings of a job: the options with the maximum size raised to the base size when the
// maximum was given, as letterforge's command line does.
RenderSettings jobSettings(const JobOptions& options);

// How an output is encoded: the format option, else the extension of `path`, else (no
// extension) PNG; and the quality option. Absent, with `failure` naming the path, for an
// extension that names no format written here (.gif, .bmp) when no format option is given:
// those bytes under that name would be read as another format.
std::optional<ImageEncoding> jobEncoding(const JobOptions& options, const std::string& path,
                                         std::string& failure);

// How a debug image is encoded: by the extension of `path`, else PNG; and the quality option.
// Absent, with `failure`, for an extension that names no format written here.
std::optional<ImageEncoding> debugEncoding(const JobOptions& options, const std::string& path,
                                           std::string& failure);

}  // namespace letterforge
