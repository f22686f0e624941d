#include "letterforge/driver/render_options.h"

#include <cmath>
#include <cstdint>

#include "letterforge/inputs/text_rules.h"
#include "platform/number_parsing.h"

namespace letterforge {
namespace {

double numberOr(const std::string& argument, double fallback) {
  const auto parsed = parseNumberArgument(argument);
  return parsed ? *parsed : fallback;
}

// Upper bounds replace a not-a-number value by the bound; lower bounds keep what is left.
double lowerTo(double value, double bound) { return (value > bound || std::isnan(value)) ? bound : value; }
double raiseTo(double value, double bound) { return value < bound ? bound : value; }

}  // namespace

std::optional<double> parseNumberArgument(const std::string& argument) {
  const auto parsed = platform::parseCNumber(argument);
  if (!parsed || parsed->rangeError) return std::nullopt;
  return parsed->value;
}

std::optional<platform::Color> parseHexColor(const std::string& argument) {
  const auto value = parseHexRgb(argument);
  if (!value) return std::nullopt;
  return platform::Color{static_cast<double>((*value >> 16) & 0xFF) / 255.0,
                         static_cast<double>((*value >> 8) & 0xFF) / 255.0,
                         static_cast<double>(*value & 0xFF) / 255.0, 1.0};
}

double boundedBaseFontSize(double value) {
  return std::isnan(value) ? kMinBaseFontSize : raiseTo(value, kMinBaseFontSize);
}

double boundedMaxFontSize(double value, double baseFontSize) {
  return (baseFontSize > value || std::isnan(value)) ? baseFontSize : value;
}

double boundedFontScale(double value) {
  return raiseTo(lowerTo(value, kMaxFontScale), kMinFontScale);
}

double boundedLineSpacing(double value) {
  return raiseTo(lowerTo(value, kMaxLineSpacing), kMinLineSpacing);
}

double boundedStrokeWidth(double value) {
  const double width = lowerTo(value, kMaxStrokeWidth);
  return width < kMinStrokeWidth ? kMinStrokeWidth : width;
}

std::optional<RenderOptions> parseRenderOptions(const std::vector<std::string>& arguments) {
  if (arguments.size() < 4) return std::nullopt;
  // Index i counts from the program name, so argument i sits at arguments[i - 1].
  auto given = [&](std::size_t index) { return arguments.size() >= index; };
  auto at = [&](std::size_t index) -> const std::string& { return arguments[index - 1]; };

  RenderOptions o{.imagePath = at(1),
                  .ocrJsonPath = at(2),
                  .translationJsonPath = at(3),
                  .outputPngPath = at(4)};
  RenderSettings& s = o.settings;
  TypesetOptions& t = s.typeset;
  const TypesetOptions defaults;
  if (given(5)) t.baseFontSize = numberOr(at(5), defaults.baseFontSize);
  t.baseFontSize = boundedBaseFontSize(t.baseFontSize);
  // Without argument 6 the maximum keeps its default, even below the base size.
  if (given(6)) {
    t.maxFontSize = boundedMaxFontSize(numberOr(at(6), defaults.maxFontSize), t.baseFontSize);
  }
  if (given(7)) t.fontScale = boundedFontScale(numberOr(at(7), defaults.fontScale));
  if (given(8)) t.lineSpacing = boundedLineSpacing(numberOr(at(8), defaults.lineSpacing));
  // Mode words are compared after the full Unicode lower-case mapping, not trimmed; another
  // word takes the option's default branch.
  const auto choice = [&](const auto& words, std::size_t index, auto otherwise) {
    return choiceOfWord(words, at(index)).value_or(otherwise);
  };
  if (given(9)) t.fontWeight = choice(kFontWeightWords, 9, FontWeight::bold);
  if (given(10)) s.groupingEnabled = lowercasedText(at(10)) == "true";
  if (given(11)) s.groupingPreset = choice(kGroupingPresetWords, 11, GroupingPreset::kBalanced);
  if (given(12)) o.debugImagePath = trimmedText(at(12));
  if (given(13)) t.typesettingMode = choice(kTypesettingModeWords, 13, TypesettingMode::kBalanced);
  if (given(14)) s.cleanupMode = choice(kCleanupModeWords, 14, CleanupMode::kNone);
  if (given(15)) t.strokeWidth = boundedStrokeWidth(numberOr(at(15), defaults.strokeWidth));
  if (given(16)) t.strokeColor = parseHexColor(at(16)).value_or(defaults.strokeColor);
  return o;
}

}  // namespace letterforge
