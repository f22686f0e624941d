#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"
#include "platform/geometry.h"
#include "platform/page_bitmap.h"

namespace platform {

// The three weights of the user-interface font.
enum class FontWeight { regular, semibold, bold };

// The family of the user-interface font, in which text is set when no other is asked for.
inline constexpr const char* kUiFontFamily = "Inter";

// The largest size text is drawn at, in pixels: the glyph rasteriser refuses larger ones, and
// a drawing that asks for one leaves the whole page's drawing state broken.
inline constexpr double kLargestTextSize = 65535.0;

// Where the lines of a text sit across its layout width.
enum class TextAlignment { left, centre, right };

// Bytes [start, end) of a text.
struct ByteRange {
  std::size_t start = 0;
  std::size_t end = 0;
  bool operator==(const ByteRange&) const = default;
};

// How a text is laid out and drawn: the user-interface font at any fractional point size
// (one point is one pixel), with fallback fonts for every script.
struct TextStyle {
  std::string family{};  // a family that fontFamily gave; empty: the user-interface font
  double size = 12.0;
  FontWeight weight = FontWeight::bold;
  Color color = kBlack;
  double lineSpacing = 0.0;  // extra space between lines, in pixels
  TextAlignment alignment = TextAlignment::centre;  // of each line in the layout width
  bool outlined = false;     // contours stroked in strokeColor, glyphs filled on top
  Color strokeColor = kWhite;
  double strokeLineWidth = 0.0;  // in pixels
  // Set in columns read top to bottom, right to left: a layout's lines are its columns, its
  // width their length and its height the width of them all. East Asian characters stand
  // upright, in the font's vertical forms; other scripts lie on their side.
  bool vertical = false;
  // In vertical text: runs that take one upright cell and are set across it, narrowed to fit
  // (two digits, "!?"). Sorted, apart, each within one line of valid UTF-8; others are ignored.
  std::vector<ByteRange> acrossRuns{};
};

// The fonts, font map and caches that text layout works with. Made on first use, so a run
// that lays out no text never loads a font. Not safe to share between threads; contexts on
// different threads work independently of each other.
class TextContext {
 public:
  TextContext();
  TextContext(TextContext&&) noexcept;
  TextContext& operator=(TextContext&&) noexcept;
  ~TextContext();

  struct Impl;
  Impl& impl();

 private:
  std::unique_ptr<Impl> impl_;
};

// Starts loading the font configuration on a thread of the text engine's own, for a run that
// will lay out text and has other work to do first. Changes no font that is chosen.
void prepareFonts(TextContext& context);

// Height of the text laid out word-wrapped at `width` (breaking inside a word only when the
// word alone is wider), with unbounded height. Exactly the layout that drawText draws.
double measureTextHeight(TextContext& context, std::string_view text, double width,
                         const TextStyle& style);

// Whether a font given by a caller is the path of a font file (any name with a "/" in it)
// rather than the name of an installed family.
bool namesFontFile(std::string_view font);

// The family to lay text out in for a font given by a caller: an installed family's name, or
// the path of a font file (namesFontFile), which this context then also knows.
// Fonts of other families still stand in for the scripts it lacks. Absent, with `failure`
// saying why, when no installed family has the name or the file is not a font.
std::optional<std::string> fontFamily(TextContext& context, const std::string& font,
                                      std::string& failure);

// Heights of the text laid out as measureTextHeight lays it out, with the style's line spacing
// and without any (spacing moves lines apart but never breaks them elsewhere). Exact while the
// unspaced height is at most `limit`; past it, a long text is laid out only as far as needed,
// and both heights are then above `limit` and at most the whole text's.
struct TextHeights {
  double spaced = 0.0;
  double unspaced = 0.0;
  double longestLine = 0.0;  // the length of the longest line laid out
};
TextHeights measureTextHeights(TextContext& context, std::string_view text, double width,
                               const TextStyle& style, double limit);

// Draws the text wrapped at rect's width with its first line at rect's top edge; vertical
// text wrapped at rect's height with its first column at rect's right edge. Lines that
// run below the rectangle are drawn, up to several lines' worth of a long text; clip with
// PageBitmap::clipToRect to cut them. Returns the number of characters that no installed font
// can show among those laid out: lines of a long text beyond that reach are not counted.
int drawText(TextContext& context, PageBitmap& bitmap, std::string_view text, const Rect& rect,
             const TextStyle& style);

// Draws the text as one line, unwrapped, with the line's lower-left corner at `lowerLeft`;
// vertical or not, as lines.
void drawTextLine(TextContext& context, PageBitmap& bitmap, std::string_view text,
                  Point lowerLeft, const TextStyle& style);

// Number of characters that no installed font can show, in the layout of `text`.
int unknownGlyphCount(TextContext& context, std::string_view text, const TextStyle& style);

// Whether the font that `family` (one that fontFamily gave; empty: the user-interface font)
// loads has vertical forms: glyph substitutions for the vertical writing feature.
bool hasVerticalForms(TextContext& context, const std::string& family);

}  // namespace platform
