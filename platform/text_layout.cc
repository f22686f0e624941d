#include "platform/text_layout.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <pango/pangocairo.h>

#include "platform/page_bitmap_impl.h"
#include "platform/text_cuts.h"

namespace platform {
namespace {

constexpr const char* kFamily = "Inter";

// Every layout is made at this size and scaled to the size asked for. Fonts are shaped once
// per weight instead of once per fractional size (a new size costs fontconfig a fresh sort of
// every installed font, about 1.7 ms); unhinted glyph metrics scale linearly, so a layout at
// size s and width w is this layout at width w × kLayoutSize / s, scaled by s / kLayoutSize.
constexpr double kLayoutSize = 100.0;

// One font map and context for the whole process: fonts, fontsets and glyph caches are
// shared by every layout. Never freed; the process ends with them in use.
PangoContext* sharedContext() {
  static PangoContext* const context = [] {
    PangoFontMap* fontMap = pango_cairo_font_map_new();
    PangoContext* created = pango_font_map_create_context(fontMap);
    g_object_unref(fontMap);  // the context keeps it
    // Unhinted metrics and unrounded positions, so that a size a tenth larger measures a
    // tenth larger instead of jumping by whole pixels.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(created, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(created, FALSE);
    return created;
  }();
  return context;
}

PangoWeight pangoWeight(FontWeight weight) {
  switch (weight) {
    case FontWeight::regular: return PANGO_WEIGHT_NORMAL;
    case FontWeight::semibold: return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold: break;
  }
  return PANGO_WEIGHT_BOLD;
}

int pangoUnits(double pixels) { return static_cast<int>(std::lround(pixels * PANGO_SCALE)); }

// Pango warns about and cuts text at invalid UTF-8; replace bad bytes with U+FFFD instead.
std::string validUtf8(std::string_view text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return std::string(text);
  }
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string result(valid);
  g_free(valid);
  return result;
}

struct LayoutDeleter {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};

using LayoutOwner = std::unique_ptr<PangoLayout, LayoutDeleter>;

// A layout made at kLayoutSize, and the factor from its units to pixels.
struct ScaledLayout {
  LayoutOwner layout;
  double scale = 1.0;
};

// The one layout that both measuring and drawing use, of valid UTF-8. A width that is not a
// positive finite number gives a single unwrapped paragraph per line break.
ScaledLayout buildValidLayout(std::string_view valid, double width, const TextStyle& style) {
  const double size = std::isfinite(style.size) && style.size > 0 ? style.size : 1.0;
  ScaledLayout result{.layout = LayoutOwner(pango_layout_new(sharedContext())), .scale = size / kLayoutSize};
  PangoLayout* layout = result.layout.get();

  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family_static(font, kFamily);
  pango_font_description_set_weight(font, pangoWeight(style.weight));
  // Absolute sizes are device units, and a device unit is a pixel: one point per pixel.
  pango_font_description_set_absolute_size(font, kLayoutSize * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);

  // A word broken across lines gets no hyphen, as a line break elsewhere gets none.
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);

  pango_layout_set_text(layout, valid.data(), static_cast<int>(valid.size()));
  const double layoutWidth = width / result.scale;
  const bool wraps = std::isfinite(layoutWidth) && layoutWidth > 0 &&
                     layoutWidth * PANGO_SCALE < G_MAXINT / 2;
  pango_layout_set_width(layout, wraps ? pangoUnits(layoutWidth) : -1);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, style.centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
  // Spacing goes between lines only, not after the last one.
  const double spacing = std::isfinite(style.lineSpacing) ? std::max(style.lineSpacing, 0.0) : 0.0;
  pango_layout_set_spacing(layout, pangoUnits(std::min(spacing / result.scale, 1e6)));
  return result;
}

ScaledLayout buildLayout(std::string_view text, double width, const TextStyle& style) {
  return buildValidLayout(validUtf8(text), width, style);
}

// Texts up to this many bytes are always laid out whole. A longer one that overflows its
// limit is laid out only as far as needed: a layout of one long word or of thousands of lines
// costs the square of its length.
constexpr std::size_t kWholeLayoutBytes = 256;
// A line of the cut paragraph counts as laid out as in the whole text only when at least this
// much text follows it before the cut: twice the layout width of lines, and these many bytes.
constexpr int kTrustedWidths = 2;
constexpr std::size_t kTrustedContextBytes = 64;

// The lines at the top of a layout of a cut text that a layout of the whole text has too, and
// their height in pixels with and without the spacing between them.
struct TrustedLines {
  std::int64_t count = 0;
  double spaced = 0.0;
  double unspaced = 0.0;
};

struct LineShape {
  std::size_t end = 0;       // byte offset just after the line's text
  std::int64_t width = 0;    // Pango units
  std::int64_t height = 0;   // Pango units
  bool paragraphStart = false;
};

// A line is settled when its paragraph ended before the cut (paragraphs are laid out on their
// own), or when enough text follows it that the search for its break never came near the cut.
TrustedLines trustedLines(const ScaledLayout& scaled, std::size_t cut) {
  PangoLayout* layout = scaled.layout.get();
  std::vector<LineShape> lines;
  for (GSList* l = pango_layout_get_lines_readonly(layout); l != nullptr; l = l->next) {
    PangoLayoutLine* line = static_cast<PangoLayoutLine*>(l->data);
    PangoRectangle logical{};
    pango_layout_line_get_extents(line, nullptr, &logical);
    lines.push_back({static_cast<std::size_t>(line->start_index + line->length), logical.width,
                     logical.height, line->is_paragraph_start != 0});
  }
  const std::int64_t wrapWidth = pango_layout_get_width(layout);
  std::vector<std::int64_t> widthAfter(lines.size() + 1, 0);
  for (std::size_t i = lines.size(); i > 0; --i) widthAfter[i - 1] = widthAfter[i] + lines[i - 1].width;

  TrustedLines trusted;
  std::int64_t heights = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool paragraphEnded = i + 1 < lines.size() && lines[i + 1].paragraphStart;
    const bool wellBeforeCut = wrapWidth > 0 && widthAfter[i + 1] >= kTrustedWidths * wrapWidth &&
                               cut >= lines[i].end + kTrustedContextBytes;
    if (!paragraphEnded && !wellBeforeCut) break;
    ++trusted.count;
    heights += lines[i].height;
  }
  const std::int64_t gaps = std::max<std::int64_t>(trusted.count - 1, 0);
  const double toPixels = scaled.scale / PANGO_SCALE;
  trusted.unspaced = static_cast<double>(heights) * toPixels;
  trusted.spaced =
      static_cast<double>(heights + gaps * pango_layout_get_spacing(layout)) * toPixels;
  return trusted;
}

// The layout of the whole text, or of a part of it whose settled lines alone are taller than
// `limit` pixels without spacing. Each part adds twice what the one before added, so that a
// run of characters that take no room only delays the growth once.
struct LimitedLayout {
  ScaledLayout scaled;
  bool whole = true;
  TrustedLines trusted{};
};

LimitedLayout layoutUpTo(const std::string& valid, double width, const TextStyle& style,
                         double limit) {
  if (valid.size() <= kWholeLayoutBytes || !(limit < HUGE_VAL)) {
    return {.scaled = buildValidLayout(valid, width, style)};
  }
  std::size_t cut = 0;
  for (std::size_t added = 2 * kWholeLayoutBytes;; added *= 2) {
    cut = added >= valid.size() - cut ? valid.size() : layoutCutAtOrAfter(valid, cut + added);
    ScaledLayout scaled = buildValidLayout(std::string_view(valid).substr(0, cut), width, style);
    if (cut == valid.size()) return {.scaled = std::move(scaled)};
    const TrustedLines trusted = trustedLines(scaled, cut);
    if (trusted.unspaced > limit) {
      return {.scaled = std::move(scaled), .whole = false, .trusted = trusted};
    }
  }
}

// Height of the line boxes in pixels: ascent plus descent of the tallest font on each line,
// plus the spacing between lines.
double logicalHeight(const ScaledLayout& scaled) {
  PangoRectangle logical{};
  pango_layout_get_extents(scaled.layout.get(), nullptr, &logical);
  return static_cast<double>(logical.height) / PANGO_SCALE * scaled.scale;
}

void setSource(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// Draws the layout with its logical top-left corner at the device point (x, top).
void drawLayout(PageBitmap& bitmap, const ScaledLayout& scaled, double x, double top,
                const TextStyle& style) {
  if (!std::isfinite(x) || !std::isfinite(top)) return;
  PageBitmap::Impl& impl = bitmap.impl();
  cairo_t* cr = impl.context;
  cairo_surface_mark_dirty(impl.surface);  // pixels may have been written directly
  cairo_save(cr);
  cairo_translate(cr, x, top);
  cairo_scale(cr, scaled.scale, scaled.scale);
  if (style.outlined) {
    cairo_new_path(cr);
    cairo_move_to(cr, 0, 0);
    pango_cairo_layout_path(cr, scaled.layout.get());
    cairo_save(cr);
    // The path is kept in device space, so the stroke width is in pixels.
    cairo_identity_matrix(cr);
    const double lineWidth = style.strokeLineWidth;
    cairo_set_line_width(cr, std::isfinite(lineWidth) ? std::max(lineWidth, 0.0) : 0.0);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    setSource(cr, style.strokeColor);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
  // The fill goes on top of the stroke, which then shows only outside the glyphs. Glyph
  // images come from the font cache, several times faster than filling the outlines.
  setSource(cr, style.color);
  cairo_move_to(cr, 0, 0);
  pango_cairo_show_layout(cr, scaled.layout.get());
  cairo_restore(cr);
  cairo_surface_flush(impl.surface);
}

}  // namespace

double measureTextHeight(std::string_view text, double width, const TextStyle& style) {
  return logicalHeight(buildLayout(text, width, style));
}

TextHeights measureTextHeights(std::string_view text, double width, const TextStyle& style,
                               double limit) {
  const LimitedLayout limited = layoutUpTo(validUtf8(text), width, style, limit);
  if (!limited.whole) return {limited.trusted.spaced, limited.trusted.unspaced};
  PangoLayout* layout = limited.scaled.layout.get();
  PangoRectangle logical{};
  pango_layout_get_extents(layout, nullptr, &logical);
  // The logical height is the line heights plus the spacing once between each two lines.
  const std::int64_t gaps = pango_layout_get_line_count(layout) - 1;
  const std::int64_t unspaced = logical.height - gaps * pango_layout_get_spacing(layout);
  return {logicalHeight(limited.scaled),
          static_cast<double>(unspaced) / PANGO_SCALE * limited.scaled.scale};
}

void drawText(PageBitmap& bitmap, std::string_view text, const Rect& rect, const TextStyle& style) {
  // Lines that start this far below the rectangle cannot reach into it, outline and stacked
  // marks included.
  constexpr double kInkReachSizes = 8.0;
  const double reach = kInkReachSizes * style.size + std::max(style.strokeLineWidth, 0.0);
  const LimitedLayout limited = layoutUpTo(validUtf8(text), rect.width, style, rect.height + reach);
  drawLayout(bitmap, limited.scaled, rect.x, deviceTop(rect, bitmap.height()), style);
}

void drawTextLine(PageBitmap& bitmap, std::string_view text, Point lowerLeft,
                  const TextStyle& style) {
  TextStyle line = style;
  line.centred = false;
  const ScaledLayout layout = buildLayout(text, -1.0, line);
  const double top = static_cast<double>(bitmap.height()) - (lowerLeft.y + logicalHeight(layout));
  drawLayout(bitmap, layout, lowerLeft.x, top, line);
}

int unknownGlyphCount(std::string_view text, const TextStyle& style) {
  return pango_layout_get_unknown_glyphs_count(buildLayout(text, -1.0, style).layout.get());
}

}  // namespace platform
