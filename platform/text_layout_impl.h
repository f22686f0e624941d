#pragma once

// Private to platform/: the layout objects behind a TextContext, shared by the files that lay
// text out (text_layout.cc) and set it in columns (text_columns.cc).
#include <pango/pangocairo.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <fontconfig/fontconfig.h>

#include "platform/text_layout.h"

namespace platform {

struct LayoutDeleter {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};

using LayoutOwner = std::unique_ptr<PangoLayout, LayoutDeleter>;

// What a layout is made from: the text and every part of its style that moves a glyph. Colours
// and outlines are drawn over a finished layout and take no part.
struct LayoutKey {
  std::string text{};
  double width = 0.0;
  std::string family{};
  double size = 0.0;
  FontWeight weight = FontWeight::bold;
  double lineSpacing = 0.0;
  TextAlignment alignment = TextAlignment::centre;
  bool vertical = false;
  std::vector<ByteRange> acrossRuns{};
  std::size_t hiddenFrom = 0;
  bool operator==(const LayoutKey&) const = default;
};

// The layouts made last, newest first. A block's text is laid out at the size its search
// settles on, then drawn outlined and filled at that size: the same layout three times. A
// layout is never changed once made, so each use may share it.
class RecentLayouts {
 public:
  // The layout made from `key`, shared; absent when none of the recent ones was.
  PangoLayout* find(const LayoutKey& key);
  void keep(LayoutKey key, PangoLayout* layout);
  void clear() { entries_.clear(); }
  std::size_t made() const { return made_; }

 private:
  struct Entry {
    LayoutKey key;
    LayoutOwner layout;
  };
  static constexpr std::size_t kKept = 4;
  std::deque<Entry> entries_{};
  std::size_t made_ = 0;
};

// A font map and contexts of its own: fonts, fontsets and glyph caches are shared by every
// layout made with this context and by no other context.
struct TextContext::Impl {
  PangoContext* context = nullptr;
  // Vertical text: the same fonts, for a layout drawn turned a quarter turn clockwise.
  PangoContext* verticalContext = nullptr;
  // The fonts given by callers, and the family each names; a configuration of this context's
  // own once a font file is among them.
  std::unordered_map<std::string, std::string> families{};
  FcConfig* ownFonts = nullptr;
  std::unordered_map<std::string, bool> verticalForms{};  // by family, once asked
  RecentLayouts recentLayouts{};

  Impl();
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
};

// Every layout is made at this size and scaled to the size asked for. Fonts are shaped once
// per weight instead of once per fractional size (a new size costs fontconfig a fresh sort of
// every installed font, about 1.7 ms); unhinted glyph metrics scale linearly, so a layout at
// size s and width w is this layout at width w × kLayoutSize / s, scaled by s / kLayoutSize.
inline constexpr double kLayoutSize = 100.0;

// A layout made at kLayoutSize, and the factor from its units to pixels.
struct ScaledLayout {
  LayoutOwner layout;
  double scale = 1.0;
};

// The one layout that both measuring and drawing use, of valid UTF-8. A width that is not a
// positive finite number gives a single unwrapped paragraph per line break. The bytes from
// `hiddenFrom` on take no room and are drawn as nothing.
ScaledLayout buildValidLayout(TextContext& context, std::string_view valid, double width,
                              const TextStyle& style,
                              std::size_t hiddenFrom = std::string_view::npos);

// Adds the outlines of the layout's glyphs to the current path, each where the drawing
// library puts that glyph's image, so that the outline lies exactly around the fill.
void appendGlyphOutlines(cairo_t* cr, PangoLayout* layout, double deviceSize);

// Text in columns (text_columns.cc).

// The runs of acrossRuns that the layout sets, each whole, on character boundaries, after the
// one before and before the bytes from `hiddenFrom` on.
std::vector<ByteRange> usableAcrossRuns(std::string_view valid, const std::vector<ByteRange>& runs,
                                        std::size_t hiddenFrom);

// Each run of text set across a cell takes one em along its column and is drawn as nothing:
// its first character an em square centred on the baseline, the others no room.
void insertAcrossCells(PangoAttrList* attributes, std::string_view valid,
                       const std::vector<ByteRange>& runs, std::size_t hiddenFrom);

// A run of vertical text set across its cell: its own horizontal layout, drawn at the cell's
// centre (in the vertical layout's units) and narrowed by `narrowing` to fit one em.
struct AcrossCell {
  ScaledLayout layout;
  double centreX = 0.0;
  double centreY = 0.0;
  double narrowing = 1.0;
};

// The cells of the layout's runs set across, each with the text of its run laid out in the
// style's font, upright; none for runs at or past `cut`, which the layout does not hold.
std::vector<AcrossCell> acrossCells(TextContext& context, const ScaledLayout& scaled,
                                    std::string_view valid, const TextStyle& style,
                                    std::size_t cut);

// Moves the drawing to the upright top-left corner of the cell's layout, its ink centred on
// the cell, in a frame that is already the vertical layout's.
void enterAcrossCell(cairo_t* cr, const AcrossCell& cell);

}  // namespace platform
