#pragma once

#include <string_view>

#include "platform/color.h"
#include "platform/geometry.h"
#include "platform/page_bitmap.h"

namespace platform {

// The three weights of the user-interface font.
enum class FontWeight { regular, semibold, bold };

// How a text is laid out and drawn: the user-interface font at any fractional point size
// (one point is one pixel), with fallback fonts for every script.
struct TextStyle {
  double size = 12.0;
  FontWeight weight = FontWeight::bold;
  Color color = kBlack;
  double lineSpacing = 0.0;  // extra space between lines, in pixels
  bool centred = true;       // each line centred in the layout width
  bool outlined = false;     // contours stroked in strokeColor, glyphs filled on top
  Color strokeColor = kWhite;
  double strokeLineWidth = 0.0;  // in pixels
};

// Height of the text laid out word-wrapped at `width` (breaking inside a word only when the
// word alone is wider), with unbounded height. Exactly the layout that drawText draws.
double measureTextHeight(std::string_view text, double width, const TextStyle& style);

// Heights of the text laid out as measureTextHeight lays it out, with the style's line spacing
// and without any (spacing moves lines apart but never breaks them elsewhere). Exact while the
// unspaced height is at most `limit`; past it, a long text is laid out only as far as needed,
// and both heights are then above `limit` and at most the whole text's.
struct TextHeights {
  double spaced = 0.0;
  double unspaced = 0.0;
};
TextHeights measureTextHeights(std::string_view text, double width, const TextStyle& style,
                               double limit);

// Draws the text wrapped at rect's width with its first line at rect's top edge. Lines that
// run below the rectangle are drawn, up to several lines' worth of a long text; clip with
// PageBitmap::clipToRect to cut them.
void drawText(PageBitmap& bitmap, std::string_view text, const Rect& rect, const TextStyle& style);

// Draws the text as one line, unwrapped, with the line's lower-left corner at `lowerLeft`.
void drawTextLine(PageBitmap& bitmap, std::string_view text, Point lowerLeft,
                  const TextStyle& style);

// Number of characters that no installed font can show, in the layout of `text`.
int unknownGlyphCount(std::string_view text, const TextStyle& style);

}  // namespace platform
