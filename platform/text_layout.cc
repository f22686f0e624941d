#include "platform/text_layout.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <sys/stat.h>

#include "platform/page_bitmap_impl.h"
#include "platform/text_cuts.h"
#include "platform/text_layout_impl.h"
#include "platform/text_layout_testing.h"

namespace platform {

TextContext::Impl::Impl() {
  PangoFontMap* fontMap = pango_cairo_font_map_new();
  context = pango_font_map_create_context(fontMap);
  verticalContext = pango_font_map_create_context(fontMap);
  g_object_unref(fontMap);  // the contexts keep it
  // Unhinted metrics and unrounded positions, so that a size a tenth larger measures a
  // tenth larger instead of jumping by whole pixels.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  for (PangoContext* c : {context, verticalContext}) {
    pango_cairo_context_set_font_options(c, options);
    pango_context_set_round_glyph_positions(c, FALSE);
  }
  cairo_font_options_destroy(options);
  // The matrix of the quarter turn that drawing applies; with the base gravity automatic it
  // makes the gravity east: East Asian characters upright, lines running down the page.
  const PangoMatrix quarterTurn{0.0, -1.0, 1.0, 0.0, 0.0, 0.0};
  pango_context_set_matrix(verticalContext, &quarterTurn);
  pango_context_set_base_gravity(verticalContext, PANGO_GRAVITY_AUTO);
  // Wide characters are upright under any hint. The natural hint lays narrow Latin, digits
  // and Latin punctuation on their side, turned clockwise, as vertical Japanese and Chinese
  // set them; the strong hint would stack Latin letters upright one under the other, and
  // the line hint differs only for right-to-left scripts, which it turns the other way, so
  // that Hebrew or Arabic between Latin words would stand upside down to them.
  pango_context_set_gravity_hint(verticalContext, PANGO_GRAVITY_HINT_NATURAL);
}

TextContext::Impl::~Impl() {
  recentLayouts.clear();  // they hold fonts of the configuration destroyed below
  g_object_unref(context);
  g_object_unref(verticalContext);
  if (ownFonts != nullptr) FcConfigDestroy(ownFonts);
}

TextContext::TextContext() = default;
TextContext::TextContext(TextContext&&) noexcept = default;
TextContext& TextContext::operator=(TextContext&&) noexcept = default;
TextContext::~TextContext() = default;

TextContext::Impl& TextContext::impl() {
  if (!impl_) impl_ = std::make_unique<Impl>();
  return *impl_;
}

// The text engine's font map reads the configuration on a thread it starts when made.
void prepareFonts(TextContext& context) { context.impl(); }

namespace {

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

}  // namespace

PangoLayout* RecentLayouts::find(const LayoutKey& key) {
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
    if (entry->key == key) {
      PangoLayout* layout = entry->layout.get();
      std::rotate(entries_.begin(), entry, entry + 1);
      return layout;
    }
  }
  return nullptr;
}

void RecentLayouts::keep(LayoutKey key, PangoLayout* layout) {
  ++made_;
  g_object_ref(layout);
  entries_.push_front({std::move(key), LayoutOwner(layout)});
  if (entries_.size() > kKept) entries_.pop_back();
}

namespace {

LayoutKey layoutKey(std::string_view valid, double width, const TextStyle& style,
                    std::size_t hiddenFrom) {
  return {.text = std::string(valid),
          .width = width,
          .family = style.family,
          .weight = style.weight,
          .lineSpacing = style.lineSpacing,
          .alignment = style.alignment,
          .vertical = style.vertical,
          .acrossRuns = style.vertical ? style.acrossRuns : std::vector<ByteRange>{},
          .hiddenFrom = hiddenFrom < valid.size() ? hiddenFrom : valid.size()};
}

// A new layout of the text; buildValidLayout says what it is.
PangoLayout* makeLayout(TextContext::Impl& impl, std::string_view valid, double width,
                        const TextStyle& style, std::size_t hiddenFrom, double scale) {
  PangoLayout* layout = pango_layout_new(style.vertical ? impl.verticalContext : impl.context);

  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, style.family.empty() ? kUiFontFamily : style.family.c_str());
  pango_font_description_set_weight(font, pangoWeight(style.weight));
  // Absolute sizes are device units, and a device unit is a pixel: one point per pixel.
  pango_font_description_set_absolute_size(font, kLayoutSize * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);

  // A word broken across lines gets no hyphen, as a line break elsewhere gets none.
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
  if (hiddenFrom < valid.size()) {
    const PangoRectangle nothing{};
    PangoAttribute* hidden = pango_attr_shape_new(&nothing, &nothing);
    hidden->start_index = static_cast<guint>(hiddenFrom);
    hidden->end_index = static_cast<guint>(valid.size());
    pango_attr_list_insert(attributes, hidden);
  }
  if (style.vertical) insertAcrossCells(attributes, valid, style.acrossRuns, hiddenFrom);
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);

  pango_layout_set_text(layout, valid.data(), static_cast<int>(valid.size()));
  const double layoutWidth = width / scale;
  const bool wraps = std::isfinite(layoutWidth) && layoutWidth > 0 &&
                     layoutWidth * PANGO_SCALE < G_MAXINT / 2;
  pango_layout_set_width(layout, wraps ? pangoUnits(layoutWidth) : -1);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, style.alignment == TextAlignment::centre  ? PANGO_ALIGN_CENTER
                                     : style.alignment == TextAlignment::right ? PANGO_ALIGN_RIGHT
                                                                               : PANGO_ALIGN_LEFT);
  // Spacing goes between lines only, not after the last one.
  const double spacing = std::isfinite(style.lineSpacing) ? std::max(style.lineSpacing, 0.0) : 0.0;
  pango_layout_set_spacing(layout, pangoUnits(std::min(spacing / scale, 1e6)));
  return layout;
}

}  // namespace

ScaledLayout buildValidLayout(TextContext& context, std::string_view valid, double width,
                              const TextStyle& style, std::size_t hiddenFrom) {
  const double size = std::isfinite(style.size) && style.size > 0 ? style.size : 1.0;
  const double scale = size / kLayoutSize;
  TextContext::Impl& impl = context.impl();
  LayoutKey key = layoutKey(valid, width, style, hiddenFrom);
  key.size = size;
  if (PangoLayout* known = impl.recentLayouts.find(key)) {
    return {.layout = LayoutOwner(static_cast<PangoLayout*>(g_object_ref(known))), .scale = scale};
  }
  ScaledLayout result{.layout = LayoutOwner(makeLayout(impl, valid, width, style, hiddenFrom, scale)),
                      .scale = scale};
  impl.recentLayouts.keep(std::move(key), result.layout.get());
  return result;
}

namespace {

ScaledLayout buildLayout(TextContext& context, std::string_view text, double width,
                         const TextStyle& style) {
  return buildValidLayout(context, validUtf8(text), width, style);
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
  std::size_t cut = std::string_view::npos;  // the bytes from here on are not laid out
};

LimitedLayout layoutUpTo(TextContext& context, const std::string& valid, double width,
                         const TextStyle& style, double limit) {
  if (valid.size() <= kWholeLayoutBytes || !(limit < HUGE_VAL)) {
    return {.scaled = buildValidLayout(context, valid, width, style)};
  }
  std::size_t cut = 0;
  for (std::size_t added = 2 * kWholeLayoutBytes;; added *= 2) {
    const LayoutCut next = added >= valid.size() - cut ? LayoutCut{.at = valid.size()}
                                                       : layoutCutAtOrAfter(valid, cut + added);
    cut = next.at;
    if (cut == valid.size()) return {.scaled = buildValidLayout(context, valid, width, style)};
    ScaledLayout scaled =
        buildValidLayout(context, valid.substr(0, cut) + next.ending, width, style, cut);
    const TrustedLines trusted = trustedLines(scaled, cut);
    if (trusted.unspaced > limit) {
      return {.scaled = std::move(scaled), .whole = false, .trusted = trusted, .cut = cut};
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

// The drawing library puts a glyph image's origin on the nearest whole device pixel unless
// the glyph is too large for its glyph cache, when it fills the outline where it lies.
constexpr double kLargestCachedGlyph = 10240.0;

// How far up the layout engine moves a run that it centres on the baseline as it draws it
// (in Pango units, negative down): in a column, characters lying on their side are centred
// on the column's middle.
int centringShift(PangoLayoutRun* run) {
  if ((run->item->analysis.flags & PANGO_ANALYSIS_FLAG_CENTERED_BASELINE) == 0) return 0;
  PangoRectangle logical{};
  pango_glyph_string_extents(run->glyphs, run->item->analysis.font, nullptr, &logical);
  const bool hinted = (logical.y & logical.height & (PANGO_SCALE - 1)) == 0;
  const int shift = logical.y + logical.height / 2;
  return hinted ? PANGO_UNITS_ROUND(shift) : shift;
}

}  // namespace

void appendGlyphOutlines(cairo_t* cr, PangoLayout* layout, double deviceSize) {
  const bool snapped = deviceSize <= kLargestCachedGlyph;
  std::vector<cairo_glyph_t> glyphs;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoLayoutRun* run = pango_layout_iter_get_run_readonly(iter);
    if (run == nullptr) continue;  // the end of a line
    PangoRectangle logical{};
    pango_layout_iter_get_run_extents(iter, nullptr, &logical);
    const int baseline = pango_layout_iter_get_run_baseline(iter) - centringShift(run);
    PangoFont* font = run->item->analysis.font;
    cairo_scaled_font_t* scaledFont = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    if (scaledFont == nullptr) continue;
    cairo_set_scaled_font(cr, scaledFont);
    glyphs.clear();
    int x = logical.x;
    for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
      const PangoGlyphInfo& info = run->glyphs->glyphs[i];
      double gx = static_cast<double>(x + info.geometry.x_offset) / PANGO_SCALE;
      double gy = static_cast<double>(baseline + info.geometry.y_offset) / PANGO_SCALE;
      x += info.geometry.width;
      if (info.glyph == PANGO_GLYPH_EMPTY) continue;
      if ((info.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0) {
        // The text engine draws its box for a missing glyph where it lies, unsnapped.
        PangoGlyphString* one = pango_glyph_string_new();
        pango_glyph_string_set_size(one, 1);
        one->glyphs[0] = info;
        one->glyphs[0].geometry.x_offset = 0;
        one->glyphs[0].geometry.y_offset = 0;
        cairo_move_to(cr, gx, gy);
        pango_cairo_glyph_string_path(cr, font, one);
        pango_glyph_string_free(one);
        cairo_set_scaled_font(cr, scaledFont);
        continue;
      }
      if (snapped) {
        cairo_user_to_device(cr, &gx, &gy);
        gx = std::floor(gx + 0.5);
        gy = std::floor(gy + 0.5);
        cairo_device_to_user(cr, &gx, &gy);
      }
      glyphs.push_back({.index = info.glyph, .x = gx, .y = gy});
    }
    cairo_glyph_path(cr, glyphs.data(), static_cast<int>(glyphs.size()));
  } while (pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
}

namespace {

// Strokes the current path (in device space) with round joins, solid at any width. The
// library's stroker offsets curves without regard for curves tighter than half the line
// width, where its inner edge loops back and leaves holes; straight segments are joined
// through their common point, which covers everything within half the width of the path.
void strokeSolid(cairo_t* cr, double lineWidth) {
  cairo_path_t* flat = cairo_copy_path_flat(cr);
  cairo_new_path(cr);
  cairo_append_path(cr, flat);
  cairo_path_destroy(flat);
  cairo_set_line_width(cr, lineWidth);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);
}

// Draws the layout with its logical top-left corner at the device point (x, top), on one
// surface of the page; vertical text turned a quarter turn clockwise about its top-right
// corner at (x, top).
void drawLayoutOn(cairo_t* cr, const ScaledLayout& scaled, double x, double top,
                  const TextStyle& style, const std::vector<AcrossCell>& cells, bool stroked) {
  cairo_save(cr);
  cairo_translate(cr, x, top);
  if (style.vertical) cairo_rotate(cr, std::numbers::pi / 2.0);
  cairo_scale(cr, scaled.scale, scaled.scale);
  if (stroked) {
    cairo_new_path(cr);
    appendGlyphOutlines(cr, scaled.layout.get(), style.size);
    for (const AcrossCell& cell : cells) {
      cairo_save(cr);  // the path is not part of the saved state, and so keeps growing
      enterAcrossCell(cr, cell);
      appendGlyphOutlines(cr, cell.layout.layout.get(), style.size);
      cairo_restore(cr);
    }
    cairo_save(cr);
    // The path is kept in device space, so the stroke width is in pixels.
    cairo_identity_matrix(cr);
    const double lineWidth = style.strokeLineWidth;
    setSource(cr, style.strokeColor);
    strokeSolid(cr, std::isfinite(lineWidth) ? std::max(lineWidth, 0.0) : 0.0);
    cairo_restore(cr);
  }
  // The fill goes on top of the stroke, which then shows only outside the glyphs. Glyph
  // images come from the font cache, several times faster than filling the outlines.
  setSource(cr, style.color);
  cairo_move_to(cr, 0, 0);
  pango_cairo_show_layout(cr, scaled.layout.get());
  for (const AcrossCell& cell : cells) {
    cairo_save(cr);
    enterAcrossCell(cr, cell);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_layout(cr, cell.layout.layout.get());
    cairo_restore(cr);
  }
  cairo_restore(cr);
}

// Everything the layout can ink when drawn at (x, top) as drawLayoutOn draws it: its ink and
// logical boxes, the outline's half width around them, and a pixel for glyph images placed
// on whole pixels (two when turned). Cells set across lie within their line's box, as they
// fit one em.
DeviceBox layoutReach(const ScaledLayout& scaled, double x, double top, const TextStyle& style) {
  PangoRectangle ink{};
  PangoRectangle logical{};
  pango_layout_get_extents(scaled.layout.get(), &ink, &logical);
  auto pixels = [&](int units) { return static_cast<double>(units) / PANGO_SCALE * scaled.scale; };
  const double lineWidth = std::isfinite(style.strokeLineWidth) ? std::max(style.strokeLineWidth, 0.0) : 0.0;
  // Glyph images drawn turned were seen to reach one pixel further than upright ones.
  const double grow = (style.outlined ? lineWidth / 2.0 : 0.0) + 1.0 + (style.vertical ? 1.0 : 0.0);
  const double alongStart = pixels(std::min(ink.x, logical.x));
  const double alongEnd = pixels(std::max(ink.x + ink.width, logical.x + logical.width));
  const double acrossStart = pixels(std::min(ink.y, logical.y));
  const double acrossEnd = pixels(std::max(ink.y + ink.height, logical.y + logical.height));
  if (style.vertical) {
    // The quarter turn takes the layout's x down the page and its y to the left.
    return {x - acrossEnd - grow, top + alongStart - grow, x - acrossStart + grow, top + alongEnd + grow};
  }
  return {x + alongStart - grow, top + acrossStart - grow, x + alongEnd + grow, top + acrossEnd + grow};
}

// The pixel word of an outline colour that the drawing library turns into exactly one word:
// opaque, each channel 0 or 1. Absent for other colours.
std::optional<std::uint32_t> exactOpaqueWord(const Color& c) {
  const auto channel = [](double v) -> std::optional<std::uint32_t> {
    if (v == 0.0) return 0u;
    if (v == 1.0) return 0xFFu;
    return std::nullopt;
  };
  const auto r = channel(c.red), g = channel(c.green), b = channel(c.blue);
  if (!r || !g || !b || c.alpha != 1.0) return std::nullopt;
  return 0xFF000000u | *r << 16 | *g << 8 | *b;
}

// Whether the outline would change no pixel of a page-sized surface: every pixel it can reach
// within the clip already holds its colour, opaque. An opaque colour drawn over itself at any
// coverage gives back the same bytes (each channel's two shares are rounded apart and add up
// to it), so text on paper of the outline's own colour, as in a cleaned balloon, needs no
// stroke, the costliest part of drawing it.
bool outlineChangesNothing(PageBitmap::Impl& impl, const ScaledLayout& scaled, double x,
                           double top, const TextStyle& style) {
  const auto word = exactOpaqueWord(style.strokeColor);
  cairo_matrix_t matrix{};
  if (impl.context == nullptr || !word) return false;
  cairo_get_matrix(impl.context, &matrix);
  if (matrix.xx != 1.0 || matrix.yy != 1.0 || matrix.xy != 0.0 || matrix.yx != 0.0 ||
      matrix.x0 != 0.0 || matrix.y0 != 0.0) {
    return false;
  }
  // Room beyond the reach, which already counts the outline's half width: flattening and
  // antialiasing stay well within it.
  constexpr double kSlackPixels = 4.0;
  const double slack = kSlackPixels + 0.25 * style.size;
  const DeviceBox reach = layoutReach(scaled, x, top, style);
  if (!std::isfinite(slack + reach.x0 + reach.x1 + reach.y0 + reach.y1)) return false;
  DeviceBox clip;
  cairo_clip_extents(impl.context, &clip.x0, &clip.y0, &clip.x1, &clip.y1);
  const double x0 = std::max({std::floor(reach.x0 - slack), std::floor(clip.x0), 0.0});
  const double y0 = std::max({std::floor(reach.y0 - slack), std::floor(clip.y0), 0.0});
  const double x1 =
      std::min({std::ceil(reach.x1 + slack), std::ceil(clip.x1), static_cast<double>(impl.width)});
  const double y1 =
      std::min({std::ceil(reach.y1 + slack), std::ceil(clip.y1), static_cast<double>(impl.height)});
  if (x0 >= x1 || y0 >= y1) return true;  // it reaches nothing within the clip and the page
  const unsigned char* data = cairo_image_surface_get_data(impl.surface);
  for (auto row = static_cast<std::int64_t>(y0); row < static_cast<std::int64_t>(y1); ++row) {
    const auto* words = reinterpret_cast<const std::uint32_t*>(data + row * impl.stride);
    for (auto column = static_cast<std::int64_t>(x0); column < static_cast<std::int64_t>(x1); ++column) {
      if (words[column] != *word) return false;
    }
  }
  return true;
}

void drawLayout(PageBitmap& bitmap, const ScaledLayout& scaled, double x, double top,
                const TextStyle& style, const std::vector<AcrossCell>& cells = {}) {
  if (!std::isfinite(x) || !std::isfinite(top)) return;
  PageBitmap::Impl& impl = bitmap.impl();
  if (impl.surface != nullptr) cairo_surface_mark_dirty(impl.surface);  // pixels may have been written directly
  // The page-sized surface takes any drawing; only a larger page needs to know the reach.
  const DeviceBox reach = impl.surface != nullptr ? DeviceBox{} : layoutReach(scaled, x, top, style);
  const bool stroked = style.outlined && !outlineChangesNothing(impl, scaled, x, top, style);
  impl.draw(reach, [&](cairo_t* cr) { drawLayoutOn(cr, scaled, x, top, style, cells, stroked); });
}

// The family of the first face in a font file; absent when fontconfig reads no font there.
std::optional<std::string> familyOfFile(const std::string& path, std::string& failure) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    failure = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  int faces = 0;
  FcPattern* pattern = S_ISREG(info.st_mode)
                           ? FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(path.c_str()), 0,
                                             nullptr, &faces)
                           : nullptr;
  std::optional<std::string> family;
  FcChar8* name = nullptr;
  if (pattern != nullptr && FcPatternGetString(pattern, FC_FAMILY, 0, &name) == FcResultMatch) {
    family = reinterpret_cast<const char*>(name);
  }
  if (pattern != nullptr) FcPatternDestroy(pattern);
  if (!family) failure = path + ": not a font file";
  return family;
}

// Whether a font of exactly this family (letter case aside) is known to the configuration
// (null: the process's own).
bool hasFamily(FcConfig* config, const std::string& family) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(config, pattern, objects);
  const bool found = fonts != nullptr && fonts->nfont > 0;
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return found;
}

}  // namespace

bool namesFontFile(std::string_view font) { return font.find('/') != std::string_view::npos; }

std::optional<std::string> fontFamily(TextContext& context, const std::string& font,
                                      std::string& failure) {
  TextContext::Impl& impl = context.impl();
  if (const auto known = impl.families.find(font); known != impl.families.end()) {
    return known->second;
  }
  std::string family = font;
  if (namesFontFile(font)) {
    auto fileFamily = familyOfFile(font, failure);
    if (!fileFamily) return std::nullopt;
    // The file joins a configuration of this context's own, never the process's.
    if (impl.ownFonts == nullptr) impl.ownFonts = FcInitLoadConfigAndFonts();
    if (impl.ownFonts == nullptr ||
        !FcConfigAppFontAddFile(impl.ownFonts, reinterpret_cast<const FcChar8*>(font.c_str()))) {
      failure = font + ": not a font file";
      return std::nullopt;
    }
    auto* fontMap = PANGO_FC_FONT_MAP(pango_context_get_font_map(impl.context));
    pango_fc_font_map_set_config(fontMap, impl.ownFonts);
    pango_fc_font_map_config_changed(fontMap);
    impl.recentLayouts.clear();
    family = std::move(*fileFamily);
  } else if (font.empty() || !hasFamily(impl.ownFonts, font)) {
    failure = "no installed font has the family name '" + font + "'";
    return std::nullopt;
  }
  impl.families.emplace(font, family);
  return family;
}

double measureTextHeight(TextContext& context, std::string_view text, double width,
                         const TextStyle& style) {
  return logicalHeight(buildLayout(context, text, width, style));
}

TextHeights measureTextHeights(TextContext& context, std::string_view text, double width,
                               const TextStyle& style, double limit) {
  const LimitedLayout limited = layoutUpTo(context, validUtf8(text), width, style, limit);
  PangoLayout* layout = limited.scaled.layout.get();
  PangoRectangle logical{};
  pango_layout_get_extents(layout, nullptr, &logical);
  const double toPixels = limited.scaled.scale / PANGO_SCALE;
  const double longest = static_cast<double>(logical.width) * toPixels;
  if (!limited.whole) return {limited.trusted.spaced, limited.trusted.unspaced, longest};
  // The logical height is the line heights plus the spacing once between each two lines.
  const std::int64_t gaps = pango_layout_get_line_count(layout) - 1;
  const std::int64_t unspaced = logical.height - gaps * pango_layout_get_spacing(layout);
  return {logicalHeight(limited.scaled), static_cast<double>(unspaced) * toPixels, longest};
}

int drawText(TextContext& context, PageBitmap& bitmap, std::string_view text, const Rect& rect,
             const TextStyle& style) {
  // Lines that start this far below the rectangle cannot reach into it, outline and stacked
  // marks included.
  constexpr double kInkReachSizes = 8.0;
  const double reach = kInkReachSizes * style.size + std::max(style.strokeLineWidth, 0.0);
  const std::string valid = validUtf8(text);
  const double along = style.vertical ? rect.height : rect.width;
  const double across = style.vertical ? rect.width : rect.height;
  const LimitedLayout limited = layoutUpTo(context, valid, along, style, across + reach);
  const double top = deviceTop(rect, bitmap.height());
  if (style.vertical) {
    drawLayout(bitmap, limited.scaled, rect.x + rect.width, top, style,
               acrossCells(context, limited.scaled, valid, style, limited.cut));
  } else {
    drawLayout(bitmap, limited.scaled, rect.x, top, style);
  }
  return pango_layout_get_unknown_glyphs_count(limited.scaled.layout.get());
}

void drawTextLine(TextContext& context, PageBitmap& bitmap, std::string_view text,
                  Point lowerLeft, const TextStyle& style) {
  TextStyle line = style;
  line.alignment = TextAlignment::left;
  line.vertical = false;
  const ScaledLayout layout = buildLayout(context, text, -1.0, line);
  const double top = static_cast<double>(bitmap.height()) - (lowerLeft.y + logicalHeight(layout));
  drawLayout(bitmap, layout, lowerLeft.x, top, line);
}

int unknownGlyphCount(TextContext& context, std::string_view text, const TextStyle& style) {
  return pango_layout_get_unknown_glyphs_count(buildLayout(context, text, -1.0, style).layout.get());
}

std::size_t layoutsMade(TextContext& context) { return context.impl().recentLayouts.made(); }

LaidOutText laidOutLines(TextContext& context, std::string_view text, double width,
                         const TextStyle& style, double limit) {
  const LimitedLayout limited = layoutUpTo(context, validUtf8(text), width, style, limit);
  LaidOutText result{.whole = limited.whole};
  PangoLayoutIter* iter = pango_layout_get_iter(limited.scaled.layout.get());
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
    PangoRectangle logical{};
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    LaidOutLine shape{.start = static_cast<std::size_t>(line->start_index),
                      .length = static_cast<std::size_t>(line->length),
                      .rightToLeft = line->resolved_dir == PANGO_DIRECTION_RTL,
                      .left = logical.x,
                      .baseline = pango_layout_iter_get_baseline(iter)};
    std::int64_t x = logical.x;
    for (GSList* r = line->runs; r != nullptr; r = r->next) {
      const auto* run = static_cast<const PangoGlyphItem*>(r->data);
      PangoFontDescription* font = pango_font_describe(run->item->analysis.font);
      char* fontName = pango_font_description_to_string(font);
      LaidOutRun out{.offset = static_cast<std::size_t>(run->item->offset),
                     .length = static_cast<std::size_t>(run->item->length),
                     .level = run->item->analysis.level,
                     .script = run->item->analysis.script,
                     .font = fontName};
      g_free(fontName);
      pango_font_description_free(font);
      for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& glyph = run->glyphs->glyphs[i];
        out.glyphs.insert(out.glyphs.end(), {glyph.glyph, x + glyph.geometry.x_offset,
                                             glyph.geometry.y_offset, glyph.geometry.width});
        x += glyph.geometry.width;
      }
      shape.runs.push_back(std::move(out));
    }
    result.lines.push_back(std::move(shape));
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  result.settledLines = limited.whole ? result.lines.size()
                                      : static_cast<std::size_t>(limited.trusted.count);
  return result;
}

}  // namespace platform
