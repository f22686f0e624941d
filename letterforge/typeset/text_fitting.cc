#include "letterforge/typeset/text_fitting.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "letterforge/inputs/text_rules.h"
#include "letterforge/layout/rect_geometry.h"
#include "letterforge/typeset/scalars.h"
#include "letterforge/typeset/vertical_text.h"
#include "platform/text_layout.h"

namespace letterforge {
namespace {

// Beyond this no page shows a whole glyph, and the drawing library cannot draw one.
constexpr double kLargestFontSize = platform::kLargestTextSize;

// Balloon text: an average character with its share of the line spacing covers about this
// many square sizes, and the text may shrink to half the base size, never below 9 points.
constexpr double kBalloonCharacterArea = 0.62 * 1.25;
constexpr double kBalloonMinimumShare = 0.5;
constexpr double kBalloonMinimumSize = 9.0;
constexpr double kBalloonLineHeight = 1.25;     // sizes
constexpr double kBalloonCharacterWidth = 0.62;  // sizes

bool isLineBreak(char32_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isAsianScalar(char32_t c) {
  return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) ||
         (c >= 0x0E00 && c <= 0x0E7F) || (c >= 0xAC00 && c <= 0xD7AF);
}

TextFitConfig configFor(const TypesetOptions& options, bool bubble) {
  return bubble ? bubbleFitConfig() : fitConfigForMode(options.typesettingMode);
}

}  // namespace

TextFitConfig fitConfigForMode(TypesettingMode mode) {
  switch (mode) {
    case TypesettingMode::kReadable: return {1.0, 0.16, 0.12, 4.0, 3.0, true};
    case TypesettingMode::kStrict: return {0.72, 0.12, 0.1, 3.0, 2.0, true};
    case TypesettingMode::kBalanced: break;
  }
  return {1.0, 0.14, 0.11, 4.0, 3.0, true};
}

TextFitConfig bubbleFitConfig() { return {0.5, 0.07, 0.06, 1.5, 1.0, true}; }

double verticalSafety(const TextFitConfig& config, double size) {
  return std::max(config.verticalSafetyMin, config.verticalSafetyFactor * size);
}

double bottomSafety(const TextFitConfig& config, double size) {
  return std::max(config.bottomSafetyMin, config.bottomSafetyFactor * size);
}

double requiredHeight(const TextFitConfig& config, double size, double textHeight) {
  return std::ceil(bottomSafety(config, size) + (verticalSafety(config, size) + textHeight));
}

bool containsAsianScript(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Scalar s = scalarAt(text, at);
    if (isAsianScalar(s.value)) return true;
    at += s.length;
  }
  return false;
}

LineAnalysis analyseLines(std::string_view text) {
  LineAnalysis lines{.lineCount = 0, .maxLineLength = 0};
  const auto consider = [&](std::string_view piece) {
    if (trimmedText(piece).empty()) return;
    ++lines.lineCount;
    lines.maxLineLength = std::max(lines.maxLineLength, characterCount(piece));
  };
  std::size_t pieceStart = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Scalar s = scalarAt(text, at);
    if (isLineBreak(s.value)) {
      consider(text.substr(pieceStart, at - pieceStart));
      pieceStart = at + s.length;
    }
    at += s.length;
  }
  consider(text.substr(pieceStart));
  if (lines.lineCount == 0) return {.lineCount = 1, .maxLineLength = characterCount(text)};
  return lines;
}

double charWidthFactor(std::string_view text, std::int64_t lineCount, bool bubble,
                       bool shortGroup) {
  constexpr double kLatin = 0.82;
  if (!bubble || !containsAsianScript(text)) return kLatin;
  if (!shortGroup) return lineCount < 4 ? 0.78 : kLatin;
  if (lineCount < 4) return 0.36;
  if (lineCount <= 5) return 0.62;
  return 0.78;
}

SizeRange sizeRange(const TypesetOptions& options, std::string_view text, bool bubble,
                    bool shortGroup, const Rect& rect) {
  const double base = options.baseFontSize;
  const LineAnalysis lines = analyseLines(text);
  const double lineCount = static_cast<double>(lines.lineCount);
  const double longest = static_cast<double>(std::max<std::int64_t>(lines.maxLineLength, 1));
  SizeRange range;
  if (shortGroup) {
    range.floorSize = std::max(base * 1.05, 15.0);
  } else {
    range.floorSize = bubble ? std::max(base * 0.9, 12.5) : base;
  }
  if (bubble) {
    const double k = charWidthFactor(text, lines.lineCount, bubble, shortGroup);
    range.estimate = std::min(width(rect) / (k * longest), height(rect) / (lineCount * 1.12));
  } else {
    range.estimate = std::min(options.maxFontSize, height(rect) * 0.42);
  }
  range.startSize = std::min(std::max(range.floorSize, options.fontScale * range.estimate),
                             options.maxFontSize);
  if (shortGroup) {
    range.minimumSize = std::max(base * 0.86, 12.0);
  } else {
    range.minimumSize = std::max(configFor(options, bubble).minSizeMultiplier * base,
                                 bubble ? 10.5 : 8.0);
  }
  return range;
}

MeasureHeight textEngineMeasure(platform::TextContext& context, std::string_view text,
                                double width, const std::string& family) {
  return [&context, text, width, family](const TextAttributes& attributes) {
    platform::TextStyle style = textStyleFor(attributes);
    style.family = family;
    return platform::measureTextHeight(context, text, width, style);
  };
}

MeasureHeight textEngineMeasureUpTo(platform::TextContext& context, std::string_view text,
                                    double width, double limit, const std::string& family) {
  return textEngineMeasureStyled(context, text, width, limit, platform::TextStyle{.family = family});
}

MeasureHeight textEngineMeasureStyled(platform::TextContext& context, std::string_view text,
                                      double width, double limit, const platform::TextStyle& base) {
  // Spacing moves lines apart but never breaks them elsewhere, so the height without spacing
  // comes with every spaced measurement, and the compact pass makes no layouts of its own.
  using SizeAndWeight = std::pair<double, FontWeight>;
  auto unspaced = std::make_shared<std::map<SizeAndWeight, double>>();
  return [&context, text, width, limit, base, unspaced](const TextAttributes& attributes) {
    platform::TextStyle style = textStyleFor(attributes);
    style.family = base.family;
    style.vertical = base.vertical;
    style.acrossRuns = base.acrossRuns;
    const SizeAndWeight key{style.size, style.weight};
    if (style.lineSpacing == 0.0) {
      if (const auto known = unspaced->find(key); known != unspaced->end()) return known->second;
    }
    const platform::TextHeights heights =
        platform::measureTextHeights(context, text, width, style, limit);
    unspaced->emplace(key, heights.unspaced);
    return heights.spaced;
  };
}

FitResult fitTextSize(const TypesetOptions& options, std::string_view text, bool bubble,
                      bool shortGroup, const Rect& rect, const MeasureHeight& measure) {
  const SizeRange range = sizeRange(options, text, bubble, shortGroup, rect);
  return fitFromSize(options, range.startSize, range.minimumSize, bubble, rect, measure);
}

FitResult fitFromSize(const TypesetOptions& options, double start, double minimum, bool bubble,
                      const Rect& rect, const MeasureHeight& measure) {
  FitResult fit;
  // An infinite minimum (an infinite base size) is above any start and measures the start
  // once; an infinite start would step down forever, as subtracting 1 leaves it unchanged.
  if (!std::isfinite(start) || std::isnan(minimum) || start > kLargestFontSize ||
      !(start > 0.0)) {
    return fit;
  }
  const TextFitConfig config = configFor(options, bubble);
  const FontWeight weight = options.fontWeight;
  const double available = height(rect);
  // Measures one size and reports whether it fits; the last call's values are the result.
  const auto tryWith = [&](double size, bool compact) {
    const TextAttributes attributes =
        makeTextAttributes(options.lineSpacing, compact, bubble, size, weight);
    fit = FitResult{.size = size,
                    .compact = compact,
                    .required = requiredHeight(config, size, measure(attributes)),
                    .layoutCount = fit.layoutCount + 1};
    return fit.required <= available;
  };
  if (minimum > start) {
    tryWith(start, false);
    return fit;
  }
  // Sizes are start − i for whole i: the same values as subtracting 1 repeatedly, as every
  // size here is at least 8, where subtracting 1 is exact.
  const auto steps = static_cast<std::int64_t>(std::floor(start - minimum));
  for (std::int64_t i = 0; i <= steps; ++i) {
    if (tryWith(start - static_cast<double>(i), false)) return fit;
  }
  if (!config.compactSpacingFallback) return fit;
  for (std::int64_t i = 0; i <= steps; ++i) {
    if (tryWith(start - static_cast<double>(i), true)) return fit;
  }
  return fit;
}

Rect placeTextRect(const Rect& rect, double required, double bottomSafety) {
  const double drawHeight = std::min(required, height(rect));
  const double slack = std::max(height(rect) - drawHeight, 0.0);
  const double offset = std::min(slack * 0.5, bottomSafety);
  const double y = std::max(minY(rect), midY(rect) - drawHeight * 0.5 + offset * 0.25);
  return Rect{minX(rect), y, width(rect), drawHeight};
}

namespace {

// Whether a rectangle can hold any text: finite, and over 1 pixel each way.
bool isUsableArea(const Rect& area) {
  return area.width > 1.0 && area.height > 1.0 && std::isfinite(area.x) && std::isfinite(area.y) &&
         std::isfinite(area.width) && std::isfinite(area.height);
}

// Draws `shown` at the fit's size, centred in `area` and clipped to it, over its outline.
TypesetOutcome drawFit(platform::TextContext& context, platform::PageBitmap& page,
                       const TypesetOptions& options, const std::string& shown, bool bubble,
                       const Rect& area, const FitResult& fit, const std::string& family) {
  TextAttributes attributes = makeTextAttributes(options.lineSpacing, fit.compact, bubble,
                                                 fit.size, options.fontWeight);
  attributes.foregroundColor = options.textColor;
  attributes.alignment = options.alignment;
  const Rect drawRect =
      placeTextRect(area, fit.required, bottomSafety(configFor(options, bubble), fit.size));
  const auto styleOf = [&family](const TextAttributes& drawn) {
    platform::TextStyle style = textStyleFor(drawn);
    style.family = family;
    return style;
  };
  page.save();
  page.clipToRect(area);
  if (options.strokeWidth > 0.0) {
    const TextAttributes outlined =
        outlineAttributes(attributes, options.strokeWidth, options.strokeColor);
    platform::drawText(context, page, shown, drawRect, styleOf(outlined));
  }
  const int unknown = platform::drawText(context, page, shown, drawRect, styleOf(attributes));
  page.restore();
  return TypesetOutcome{.drawn = true,
                        .size = fit.size,
                        .overflowed = !(fit.required <= area.height),
                        .unknownCharacters = unknown};
}

}  // namespace

TypesetOutcome drawFittedText(platform::TextContext& context, platform::PageBitmap& page,
                              const TypesetOptions& options, const std::string& family,
                              std::string_view text, bool bubble, bool shortGroup,
                              const Rect& rect) {
  const Rect area = standardised(rect);
  if (!isUsableArea(area)) return {};
  // A text overflowing the area at a size only needs to be known to overflow: above the
  // area's height, the required height exceeds it whatever the safety margins.
  const std::string shown = withMarkStacksCut(text);
  if (setsVertically(options.direction, shown, area)) {
    const SizeRange range =
        sizeRange(options, shown, bubble, shortGroup, Rect{area.x, area.y, area.height, area.width});
    return drawColumns(context, page, options, family, shown, bubble, area,
                       options.fixedSize.value_or(range.startSize),
                       options.fixedSize.value_or(range.minimumSize));
  }
  const MeasureHeight measure = textEngineMeasureUpTo(context, shown, area.width, area.height, family);
  const FitResult fit =
      options.fixedSize
          ? fitFromSize(options, *options.fixedSize, *options.fixedSize, bubble, area, measure)
          : fitTextSize(options, shown, bubble, shortGroup, area, measure);
  if (fit.layoutCount == 0) return {};
  return drawFit(context, page, options, shown, bubble, area, fit, family);
}

std::string asOneParagraph(std::string_view text) {
  std::string joined;
  bool pendingSpace = false;
  for (std::size_t at = 0; at < text.size();) {
    const Scalar s = scalarAt(text, at);
    if (isLineBreak(s.value)) {
      pendingSpace = !joined.empty();
    } else {
      if (pendingSpace && joined.back() != ' ' && s.value != ' ') joined += ' ';
      pendingSpace = false;
      joined.append(text.substr(at, s.length));
    }
    at += s.length;
  }
  return joined;
}

SizeRange balloonSizeRange(const TypesetOptions& options, std::string_view text, const Rect& rect) {
  const double characters = static_cast<double>(std::max<std::int64_t>(characterCount(text), 1));
  const double area = std::max(width(rect), 0.0) * std::max(height(rect), 0.0);
  SizeRange range;
  range.minimumSize = std::max(kBalloonMinimumShare * options.baseFontSize, kBalloonMinimumSize);
  range.floorSize = range.minimumSize;
  range.estimate = std::sqrt(area / (characters * kBalloonCharacterArea));
  range.startSize = std::min(std::max(range.floorSize, options.fontScale * range.estimate),
                             options.maxFontSize);
  return range;
}

std::optional<Rect> roomiestRect(const std::vector<Rect>& rects, const TypesetOptions& options,
                                 std::string_view text) {
  const std::string shown = asOneParagraph(text);
  std::int64_t longestWord = 1;
  std::size_t start = 0;
  while (start <= shown.size()) {
    const std::size_t end = std::min(shown.find(' ', start), shown.size());
    longestWord = std::max(longestWord, characterCount(std::string_view(shown).substr(start, end - start)));
    start = end + 1;
  }
  std::optional<Rect> best;
  double bestSize = -1.0;
  for (const Rect& rect : rects) {
    const double size = std::min({balloonSizeRange(options, shown, rect).estimate,
                                  height(rect) / kBalloonLineHeight,
                                  width(rect) / (kBalloonCharacterWidth * static_cast<double>(longestWord))});
    if (size > bestSize) {
      bestSize = size;
      best = rect;
    }
  }
  return best;
}

TypesetOutcome drawBalloonText(platform::TextContext& context, platform::PageBitmap& page,
                               const TypesetOptions& options, const std::string& family,
                               std::string_view text, const Rect& rect) {
  const Rect area = standardised(rect);
  if (!isUsableArea(area)) return {};
  const std::string shown = asOneParagraph(withMarkStacksCut(text));
  const SizeRange range = balloonSizeRange(options, shown, area);
  const double start = options.fixedSize.value_or(range.startSize);
  if (setsVertically(options.direction, shown, area)) {
    return drawColumns(context, page, options, family, shown, true, area, start,
                       options.fixedSize.value_or(range.minimumSize));
  }
  const FitResult fit =
      fitFromSize(options, start, options.fixedSize.value_or(range.minimumSize), true, area,
                  textEngineMeasureUpTo(context, shown, area.width, area.height, family));
  if (fit.layoutCount == 0) return {};
  return drawFit(context, page, options, shown, true, area, fit, family);
}

}  // namespace letterforge
