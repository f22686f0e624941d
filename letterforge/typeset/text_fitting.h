#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <string>
#include <string_view>

#include "letterforge/layout/render_item.h"
#include "letterforge/typeset/text_style.h"
#include "letterforge/typeset/typeset_options.h"
#include "platform/page_bitmap.h"
#include "platform/text_layout.h"

namespace letterforge {

// Margins and size floor of one fitting style.
struct TextFitConfig {
  double minSizeMultiplier = 1.0;  // smallest size as a multiple of baseFontSize
  double verticalSafetyFactor = 0.0;
  double bottomSafetyFactor = 0.0;
  double verticalSafetyMin = 0.0;  // pixels
  double bottomSafetyMin = 0.0;    // pixels
  bool compactSpacingFallback = true;
  bool operator==(const TextFitConfig&) const = default;
};

// The style of a typesetting mode.
TextFitConfig fitConfigForMode(TypesettingMode mode);
// The style of text set inside a speech bubble.
TextFitConfig bubbleFitConfig();

double verticalSafety(const TextFitConfig& config, double size);
double bottomSafety(const TextFitConfig& config, double size);
// Whole pixels that text of `textHeight` at `size` needs, safety margins included.
double requiredHeight(const TextFitConfig& config, double size, double textHeight);

// True when a scalar is kana, a CJK ideograph (extension A included), Thai or a Hangul syllable.
bool containsAsianScript(std::string_view text);

struct LineAnalysis {
  std::int64_t lineCount = 1;      // lines with something besides white space; at least 1
  std::int64_t maxLineLength = 0;  // user-perceived characters of the longest such line
  bool operator==(const LineAnalysis&) const = default;
};
// Splits at every line break character; blank lines do not count. When no line has
// content, the whole text's character count is the longest length.
LineAnalysis analyseLines(std::string_view text);

// Width of an average character as a fraction of the size, for estimating bubble text;
// 0.82 whenever `bubble` is false.
double charWidthFactor(std::string_view text, std::int64_t lineCount, bool bubble,
                       bool shortGroup);

// The sizes a fit starts from: never rounded.
struct SizeRange {
  double floorSize = 0.0;
  double estimate = 0.0;
  double startSize = 0.0;
  double minimumSize = 0.0;
};
SizeRange sizeRange(const TypesetOptions& options, std::string_view text, bool bubble,
                    bool shortGroup, const Rect& rect);

// The height of the text wrapped at the rectangle's width with the given attributes.
using MeasureHeight = std::function<double(const TextAttributes&)>;
// The text engine's measurement of `text` at `width` in `family` (empty: the UI font);
// `text` must outlive the result.
MeasureHeight textEngineMeasure(platform::TextContext& context, std::string_view text,
                                double width, const std::string& family = {});
// The same measurement, exact up to `limit`: a taller text measures some height above `limit`
// and is laid out only as far as that takes. Without line spacing, a size and weight measured
// with spacing before is not laid out again.
MeasureHeight textEngineMeasureUpTo(platform::TextContext& context, std::string_view text,
                                    double width, double limit, const std::string& family = {});
// The same in the family, direction and runs set across of `base`.
MeasureHeight textEngineMeasureStyled(platform::TextContext& context, std::string_view text,
                                      double width, double limit, const platform::TextStyle& base);

// The size chosen for a rectangle: the first that fits, or else the last one measured.
struct FitResult {
  double size = 0.0;
  bool compact = false;      // zero line spacing
  double required = 0.0;     // requiredHeight at `size`
  std::int64_t layoutCount = 0;  // measurements made; 0 when the sizes are unusable
};
// Steps down from the start size by whole points, first with normal spacing, then compact.
FitResult fitTextSize(const TypesetOptions& options, std::string_view text, bool bubble,
                      bool shortGroup, const Rect& rect, const MeasureHeight& measure);

// The same steps from a given start size down to `minimum`.
FitResult fitFromSize(const TypesetOptions& options, double start, double minimum, bool bubble,
                      const Rect& rect, const MeasureHeight& measure);

// Where the text block goes: centred on the rectangle, raised by a quarter of the spare
// room (at most half the slack and bottomSafety), never below the rectangle's bottom.
Rect placeTextRect(const Rect& rect, double required, double bottomSafety);

// What typesetting one text came to.
struct TypesetOutcome {
  bool drawn = false;          // false: the rectangle is too thin or the sizes are unusable
  double size = 0.0;           // the size drawn at
  bool overflowed = false;     // not even the last size tried fits the rectangle
  int unknownCharacters = 0;   // characters that no installed font can show
  bool vertical = false;       // set in columns
  bool noVerticalForms = false;  // in columns, in a font without vertical forms
  bool operator==(const TypesetOutcome&) const = default;
};

// Fits the text into `rect` and draws it centred, over an outline when strokeWidth is
// positive, clipped to `rect`, in `family` (one that platform::fontFamily gave; empty: the UI
// font); in columns (drawColumns) where the options' direction sets it so in `rect`. Draws
// nothing when a side is 1 pixel or less.
TypesetOutcome drawFittedText(platform::TextContext& context, platform::PageBitmap& page,
                              const TypesetOptions& options, const std::string& family,
                              std::string_view text, bool bubble, bool shortGroup,
                              const Rect& rect);

// The text with each run of line breaks turned into one space (none after a space or at the
// start): a translation joined line by line, set as one paragraph.
std::string asOneParagraph(std::string_view text);

// Sizes for text set in a balloon's interior: the start estimated from the area each
// character needs, the minimum half the base size but at least 9.
SizeRange balloonSizeRange(const TypesetOptions& options, std::string_view text, const Rect& rect);

// The rectangle in which the text, set as one paragraph, may be largest: by the start size of
// balloonSizeRange, held to one line's height and to the width of its longest word; the
// first among equals. Absent for no rectangle.
std::optional<Rect> roomiestRect(const std::vector<Rect>& rects, const TypesetOptions& options,
                                 std::string_view text);

// Sets the text as one paragraph in the bubble style at the largest whole-point step from
// balloonSizeRange's start that fits `rect`, centred and clipped as drawFittedText does, in
// lines or in columns as it does.
TypesetOutcome drawBalloonText(platform::TextContext& context, platform::PageBitmap& page,
                               const TypesetOptions& options, const std::string& family,
                               std::string_view text, const Rect& rect);

}  // namespace letterforge
