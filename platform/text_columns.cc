// Text set in columns: the runs set across one cell, and whether a font has vertical forms.
#include "platform/text_layout_impl.h"

#include <algorithm>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include <hb-ot.h>

namespace platform {
namespace {

bool isCharacterStart(std::string_view valid, std::size_t at) {
  return at <= valid.size() && (at == valid.size() || (valid[at] & 0xC0) != 0x80);
}

}  // namespace

std::vector<ByteRange> usableAcrossRuns(std::string_view valid, const std::vector<ByteRange>& runs,
                                        std::size_t hiddenFrom) {
  std::vector<ByteRange> usable;
  const std::size_t end = std::min(valid.size(), hiddenFrom);
  for (const ByteRange& run : runs) {
    const bool afterLast = usable.empty() || run.start >= usable.back().end;
    if (afterLast && run.start < run.end && run.end <= end && isCharacterStart(valid, run.start) &&
        isCharacterStart(valid, run.end)) {
      usable.push_back(run);
    }
  }
  return usable;
}

void insertAcrossCells(PangoAttrList* attributes, std::string_view valid,
                       const std::vector<ByteRange>& runs, std::size_t hiddenFrom) {
  const int em = static_cast<int>(kLayoutSize * PANGO_SCALE);
  const PangoRectangle cell{0, -em / 2, em, em};
  const PangoRectangle nothing{};
  for (const ByteRange& run : usableAcrossRuns(valid, runs, hiddenFrom)) {
    const auto first = static_cast<std::size_t>(
        g_utf8_next_char(valid.data() + run.start) - valid.data());
    PangoAttribute* square = pango_attr_shape_new(&cell, &cell);
    square->start_index = static_cast<guint>(run.start);
    square->end_index = static_cast<guint>(first);
    pango_attr_list_insert(attributes, square);
    if (first < run.end) {
      PangoAttribute* rest = pango_attr_shape_new(&nothing, &nothing);
      rest->start_index = static_cast<guint>(first);
      rest->end_index = static_cast<guint>(run.end);
      pango_attr_list_insert(attributes, rest);
    }
  }
}

std::vector<AcrossCell> acrossCells(TextContext& context, const ScaledLayout& scaled,
                                    std::string_view valid, const TextStyle& style,
                                    std::size_t cut) {
  std::vector<AcrossCell> cells;
  if (!style.vertical) return cells;
  TextStyle upright = style;
  upright.vertical = false;
  upright.acrossRuns.clear();
  upright.size = kLayoutSize;
  const double em = kLayoutSize;
  for (const ByteRange& run : usableAcrossRuns(valid, style.acrossRuns, cut)) {
    PangoRectangle cell{};
    pango_layout_index_to_pos(scaled.layout.get(), static_cast<int>(run.start), &cell);
    AcrossCell across{
        .layout = buildValidLayout(context, valid.substr(run.start, run.end - run.start), -1.0, upright),
        .centreX = (cell.x + cell.width / 2.0) / PANGO_SCALE,
        .centreY = (cell.y + cell.height / 2.0) / PANGO_SCALE};
    PangoRectangle ink{};
    pango_layout_get_extents(across.layout.layout.get(), &ink, nullptr);
    const double inkWidth = static_cast<double>(ink.width) / PANGO_SCALE;
    if (inkWidth > em) across.narrowing = em / inkWidth;
    cells.push_back(std::move(across));
  }
  return cells;
}

void enterAcrossCell(cairo_t* cr, const AcrossCell& cell) {
  PangoRectangle ink{};
  pango_layout_get_extents(cell.layout.layout.get(), &ink, nullptr);
  cairo_translate(cr, cell.centreX, cell.centreY);
  cairo_rotate(cr, -std::numbers::pi / 2.0);
  cairo_scale(cr, cell.narrowing, 1.0);
  cairo_translate(cr, -(ink.x + ink.width / 2.0) / PANGO_SCALE, -(ink.y + ink.height / 2.0) / PANGO_SCALE);
}

bool hasVerticalForms(TextContext& context, const std::string& family) {
  auto& known = context.impl().verticalForms;
  if (const auto it = known.find(family); it != known.end()) return it->second;
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, family.empty() ? kUiFontFamily : family.c_str());
  pango_font_description_set_absolute_size(description, kLayoutSize * PANGO_SCALE);
  PangoFont* font = pango_context_load_font(context.impl().context, description);
  pango_font_description_free(description);
  if (font == nullptr) return false;
  hb_face_t* face = hb_font_get_face(pango_font_get_hb_font(font));
  bool found = false;
  hb_tag_t tags[64];
  unsigned int start = 0;
  unsigned int count = std::size(tags);
  while (!found && count == std::size(tags)) {
    hb_ot_layout_table_get_feature_tags(face, HB_OT_TAG_GSUB, start, &count, tags);
    found = std::find(tags, tags + count, HB_TAG('v', 'e', 'r', 't')) != tags + count;
    start += count;
  }
  g_object_unref(font);
  known.emplace(family, found);
  return found;
}

}  // namespace platform
