#include "letterforge/driver/job_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "letterforge/driver/block_styles.h"
#include "letterforge/inputs/block_overrides.h"
#include "letterforge/inputs/mode_words.h"
#include "letterforge/inputs/text_rules.h"
#include "platform/text_layout.h"

namespace letterforge {
namespace {

constexpr int kMinQuality = 1;
constexpr int kMaxQuality = 100;

// An option: what its help says, and how a value given for it is taken.
struct JobOption {
  OptionDescription description{};
  std::function<bool(JobOptions&, const OptionValue&, std::string& failure)> set{};
};

const char* typeName(const OptionValue& value) {
  if (std::holds_alternative<bool>(value)) return "a boolean";
  if (std::holds_alternative<double>(value)) return "a number";
  return "a string";
}

// Takes the value as T, or says which type was expected.
template <typename T>
bool as(const OptionValue& value, std::string_view name, const char* expected, T& out,
        std::string& failure) {
  if (const T* held = std::get_if<T>(&value)) {
    out = *held;
    return true;
  }
  failure = std::string(name) + ": expected " + expected + ", found " + typeName(value);
  return false;
}

// A number as help texts show it: 18, 1.12, 0.5.
std::string shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string shown(const platform::Color& colour) {
  const auto byte = [](double c) { return static_cast<unsigned>(std::lround(c * 255.0)); };
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", byte(colour.red), byte(colour.green),
                byte(colour.blue));
  return text;
}

std::string withDefault(const std::string& help, const std::string& value) {
  return help + " (default " + value + ")";
}

// The help texts live as long as the process: the C interface hands out pointers into them.
const char* kept(std::string text) {
  static std::vector<std::unique_ptr<std::string>> texts;
  return texts.emplace_back(std::make_unique<std::string>(std::move(text)))->c_str();
}

JobOption numberOption(const char* name, const std::string& help,
                       std::function<void(JobOptions&, double)> set) {
  return JobOption{
      .description = {name, "number", kept(help)},
      .set = [name, set](JobOptions& options, const OptionValue& value, std::string& failure) {
        double number = 0.0;
        if (!as(value, name, "a number", number, failure)) return false;
        set(options, number);
        return true;
      }};
}

JobOption booleanOption(const char* name, const std::string& help, bool byDefault,
                        bool& (*field)(JobOptions&)) {
  return JobOption{
      .description = {name, "boolean", kept(withDefault(help, byDefault ? "true" : "false"))},
      .set = [name, field](JobOptions& options, const OptionValue& value, std::string& failure) {
        return as(value, name, "a boolean", field(options), failure);
      }};
}

// An option that takes the words of `words`, in any letter case; another word is refused,
// naming the words and the nearest.
template <typename Words, typename Choice>
JobOption wordOption(const char* name, const Words& words, Choice& (*field)(JobOptions&)) {
  JobOptions defaults;
  const std::string help = withDefault(wordList(wordsOf(words)),
                                       std::string(wordOfChoice(words, field(defaults))));
  return JobOption{
      .description = {name, "string", kept(help)},
      .set = [name, &words, field](JobOptions& options, const OptionValue& value,
                                   std::string& failure) {
        std::string text;
        if (!as(value, name, "a string", text, failure)) return false;
        const auto choice = strictChoiceOfWord(words, name, text, failure);
        if (choice) field(options) = *choice;
        return choice.has_value();
      }};
}

std::optional<ImageFormat> formatOfWord(const std::string& word) {
  if (word == "png") return ImageFormat::kPng;
  if (word == "jpeg" || word == "jpg") return ImageFormat::kJpeg;
  if (word == "webp") return ImageFormat::kWebp;
  return std::nullopt;
}

bool setStrokeColor(JobOptions& options, const OptionValue& value, std::string& failure) {
  std::string text;
  if (!as(value, "stroke_color", "a string", text, failure)) return false;
  const auto colour = parseHexColor(text);
  if (!colour) {
    failure = "stroke_color: expected six hex digits, found \"" + visibleText(text) + "\"";
    return false;
  }
  options.settings.typeset.strokeColor = *colour;
  return true;
}

bool setFont(JobOptions& options, const OptionValue& value, std::string& failure) {
  std::string font;
  if (!as(value, "font", "a string", font, failure)) return false;
  if (font.empty()) {
    failure = "font: expected a family name or a font file's path, found an empty string";
    return false;
  }
  options.settings.font = std::move(font);
  return true;
}

// Inline overrides are decoded as they are set, so that a fault is told before any file is
// read; a file of them is read with the page.
bool setBlocks(JobOptions& options, const OptionValue& value, std::string& failure) {
  std::string blocks;
  if (!as(value, "blocks", "a string", blocks, failure)) return false;
  if (isInlineOverrides(blocks)) {
    std::string why;
    if (!decodeBlockOverrides(blocks, overrideCleanupWords(), why)) {
      failure = "blocks: " + why;
      return false;
    }
  }
  options.settings.blocks = std::move(blocks);
  return true;
}

bool setFormat(JobOptions& options, const OptionValue& value, std::string& failure) {
  std::string text;
  if (!as(value, "format", "a string", text, failure)) return false;
  const std::string word = lowercasedText(text);
  const auto format = formatOfWord(word);
  if (!format) {
    failure = "format: expected png, jpeg or webp, found \"" + visibleText(word) + "\"";
    return false;
  }
  options.format = format;
  return true;
}

// Every option, in the order of letterforge's command line, then fit_balloon, font, format,
// quality, direction and blocks. Defaults, bounds and words in the help texts come from where the values are made.
std::vector<JobOption> makeJobOptions() {
  const TypesetOptions t;
  const RenderSettings s;
  using O = JobOptions&;
  return {
      numberOption("base_font_size",
                   withDefault("base font size in pixels, at least " + shown(kMinBaseFontSize),
                               shown(t.baseFontSize)),
                   [](O o, double v) { o.settings.typeset.baseFontSize = boundedBaseFontSize(v); }),
      numberOption("max_font_size",
                   withDefault("largest font size; raised to the base size", shown(t.maxFontSize)),
                   [](O o, double v) { o.maxFontSize = v; }),
      numberOption("font_scale",
                   withDefault("factor on the estimated size, " + shown(kMinFontScale) + " to " +
                                   shown(kMaxFontScale),
                               shown(t.fontScale)),
                   [](O o, double v) { o.settings.typeset.fontScale = boundedFontScale(v); }),
      numberOption("line_spacing",
                   withDefault("line spacing factor, " + shown(kMinLineSpacing) + " to " +
                                   shown(kMaxLineSpacing),
                               shown(t.lineSpacing)),
                   [](O o, double v) { o.settings.typeset.lineSpacing = boundedLineSpacing(v); }),
      wordOption("font_weight", kFontWeightWords,
                 +[](O o) -> FontWeight& { return o.settings.typeset.fontWeight; }),
      booleanOption("grouping", "merge neighbouring blocks of one column", s.groupingEnabled,
                    +[](O o) -> bool& { return o.settings.groupingEnabled; }),
      wordOption("grouping_preset", kGroupingPresetWords,
                 +[](O o) -> GroupingPreset& { return o.settings.groupingPreset; }),
      wordOption("typesetting_mode", kTypesettingModeWords,
                 +[](O o) -> TypesettingMode& { return o.settings.typeset.typesettingMode; }),
      wordOption("cleanup_mode", kCleanupModeWords,
                 +[](O o) -> CleanupMode& { return o.settings.cleanupMode; }),
      numberOption("stroke_width",
                   withDefault("outline width in percent of the size, " + shown(kMinStrokeWidth) +
                                   " to " + shown(kMaxStrokeWidth),
                               shown(t.strokeWidth)),
                   [](O o, double v) { o.settings.typeset.strokeWidth = boundedStrokeWidth(v); }),
      JobOption{.description = {"stroke_color", "string",
                                kept(withDefault("outline colour as six hex digits, # allowed",
                                                 shown(t.strokeColor)))},
                .set = setStrokeColor},
      booleanOption("fit_balloon",
                    "set each translation in its balloon's interior where a balloon is found",
                    s.fitBalloon, +[](O o) -> bool& { return o.settings.fitBalloon; }),
      JobOption{.description = {"font", "string",
                                kept(std::string("an installed font family or a font file's "
                                                 "path (default: ") +
                                     platform::kUiFontFamily + ")")},
                .set = setFont},
      JobOption{.description = {"format", "string",
                                "png, jpeg or webp (default: by the output's extension, else png)"},
                .set = setFormat},
      numberOption("quality",
                   "JPEG quality, or lossy WebP at this quality; " + shown(kMinQuality) + " to " +
                       shown(kMaxQuality) + " (JPEG " + shown(kDefaultJpegQuality) + ")",
                   [](O o, double v) {
                     o.quality = static_cast<int>(std::lround(std::clamp(
                         v, static_cast<double>(kMinQuality), static_cast<double>(kMaxQuality))));
                   }),
      wordOption("direction", kTextDirectionWords,
                 +[](O o) -> TextDirection& { return o.settings.typeset.direction; }),
      JobOption{.description = {"blocks", "string",
                                "per-block overrides: a JSON object keyed by block id, or the "
                                "path of a file holding one (default: none)"},
                .set = setBlocks},
  };
}

bool knownOrNoExtension(const std::string& path) {
  return extensionOf(path).empty() || formatOfPath(path).has_value();
}

const std::vector<JobOption>& jobOptionTable() {
  static const std::vector<JobOption> table = makeJobOptions();
  return table;
}

}  // namespace

std::span<const OptionDescription> jobOptionDescriptions() {
  static const std::vector<OptionDescription> descriptions = [] {
    std::vector<OptionDescription> all;
    for (const JobOption& option : jobOptionTable()) all.push_back(option.description);
    return all;
  }();
  return descriptions;
}

bool setJobOption(JobOptions& options, std::string_view name, const OptionValue& value,
                  std::string& failure) {
  for (const JobOption& option : jobOptionTable()) {
    if (name == option.description.name) return option.set(options, value, failure);
  }
  failure = "unknown option \"" + visibleText(name) + "\"";
  return false;
}

RenderSettings jobSettings(const JobOptions& options) {
  RenderSettings settings = options.settings;
  if (options.maxFontSize) {
    settings.typeset.maxFontSize =
        boundedMaxFontSize(*options.maxFontSize, settings.typeset.baseFontSize);
  }
  return settings;
}

std::optional<ImageEncoding> jobEncoding(const JobOptions& options, const std::string& path,
                                         std::string& failure) {
  if (options.format) return ImageEncoding{.format = *options.format, .quality = options.quality};
  if (!knownOrNoExtension(path)) {
    failure = "output \"" + visibleText(path) + "\": its extension names no format written here (" +
              kImageExtensions + "); the format option chooses one";
    return std::nullopt;
  }
  return ImageEncoding{.format = formatOfPath(path).value_or(ImageFormat::kPng),
                       .quality = options.quality};
}

std::optional<ImageEncoding> debugEncoding(const JobOptions& options, const std::string& path,
                                           std::string& failure) {
  if (!knownOrNoExtension(path)) {
    failure = "debug image \"" + visibleText(path) +
              "\": its extension names no format written here (" + kImageExtensions + ")";
    return std::nullopt;
  }
  return ImageEncoding{.format = formatOfPath(path).value_or(ImageFormat::kPng),
                       .quality = options.quality};
}

}  // namespace letterforge
