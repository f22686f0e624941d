#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "letterforge/layout/render_item.h"
#include "letterforge/typeset/text_fitting.h"
#include "letterforge/typeset/typeset_options.h"
#include "platform/page_bitmap.h"
#include "platform/text_layout.h"

namespace letterforge {

// True when more than half of the text's characters, white space aside, are Han, kana,
// Hangul, East Asian punctuation or full-width forms.
bool mostlyEastAsian(std::string_view text);

// Whether a text set in `area` goes in columns: always for vertical, never for horizontal,
// and for auto when the text is mostly East Asian and the area taller than wide.
bool setsVertically(TextDirection direction, std::string_view text, const Rect& area);

// The runs of vertical text set across one upright cell: one to three half-width digits, or
// one to three of "!" and "?", with no other printable ASCII character on either side. Longer
// runs of Latin text lie on their side. None for text that is not valid UTF-8.
std::vector<platform::ByteRange> acrossRuns(std::string_view text);

// The family vertical text is set in: `family` when one was chosen, else the installed
// Noto Sans CJK of the text's script (JP for kana, KR for Hangul, SC for other Han, JP for
// the rest), else empty: the user-interface font.
std::string verticalFamily(platform::TextContext& context, const std::string& family,
                           std::string_view text);

// Fits `shown` in columns into `area` by the steps of fitFromSize from `start` to `minimum`,
// with the area's width in the place of its height, and draws it as drawFittedText draws
// lines: columns from the right, each starting at one top line, the block of them centred in
// the area, over an outline, clipped to the area. Set in verticalFamily's choice; flagged
// when that font has no vertical forms.
TypesetOutcome drawColumns(platform::TextContext& context, platform::PageBitmap& page,
                           const TypesetOptions& options, const std::string& family,
                           std::string_view shown, bool bubble, const Rect& area, double start,
                           double minimum);

}  // namespace letterforge
