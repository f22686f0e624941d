#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "letterforge/inputs/mode_words.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/translation_lookup.h"
#include "letterforge/layout/render_item.h"

namespace letterforge {

// The named sets of grouping thresholds; kBalloon groups by the balloons found on the page
// (balloon_grouping.h), and blocks over the art by the balanced thresholds.
enum class GroupingPreset { kConservative, kBalanced, kAggressive, kBalloon };

// The words of the grouping presets, in the order help texts list them.
inline constexpr ModeWord<GroupingPreset> kGroupingPresetWords[] = {
    {"conservative", GroupingPreset::kConservative},
    {"balanced", GroupingPreset::kBalanced},
    {"aggressive", GroupingPreset::kAggressive},
    {"balloon", GroupingPreset::kBalloon},
};

// Thresholds of grouping block items into render items; the defaults are the "balanced" preset.
struct GroupingConfig {
  std::int64_t maxBlocks = 10;    // most block items in one group
  double gapFactor = 1.65;        // allowed vertical gap, times the smaller height
  double minGap = 20.0;           // allowed vertical gap never below this
  double overlapRatio = 0.24;     // horizontal overlap share of the narrower width: one column
  double centerFactor = 0.38;     // without overlap: centre distance share of the wider width
  double maxHeightToWidth = 3.7;  // largest height to width ratio of the merged box
  bool operator==(const GroupingConfig&) const = default;
};

// Block items in the order they joined, with the union of their rects kept as they join.
struct BlockGroup {
  std::vector<RenderItem> items{};
  Rect bounds{};  // union of the items' rects
  bool operator==(const BlockGroup&) const = default;
};

// One block item per OCR block with a non-blank translation, in block order: its id, its box
// turned into drawing coordinates (x, pageHeight − y − h, w, h) and its untrimmed translation.
// A box whose drawing coordinates are not finite numbers lies off any page and gets no item.
std::vector<RenderItem> makeBlockItems(const std::vector<OcrBlock>& blocks,
                                       const TranslationLookup& lookup, double pageHeight);

// Short (trimmed text under 9 characters), narrow (under 70 px) or tall (1.4 × width < height).
bool isFloating(const RenderItem& item);

// A group of 3 or 4 blocks whose joined text has at most 80 user-perceived characters: short
// enough to be set large across its bubble.
bool isShortGroup(const RenderItem& item);

// The thresholds of a preset; the balanced ones for kBalloon.
GroupingConfig groupingConfig(GroupingPreset preset);

// Takes the items in reading order; each joins the first group, in creation order, that
// accepts it, or starts a new group at the end.
std::vector<BlockGroup> formGroups(const std::vector<RenderItem>& blockItems,
                                   const GroupingConfig& config);

// Whether the item may join the group: room left, merged box not too tall, lined up in one
// column or by centres, vertical gap small enough. An empty group accepts any item.
bool canMerge(const RenderItem& item, const BlockGroup& group, const GroupingConfig& config);

// One render item of the group: ids and joined text in reading order, the union of the
// rects; floating only for a group of one floating item.
RenderItem mergeGroup(const BlockGroup& group);

// Render items from block items: merged groups when grouping is on, else a copy of each
// block item with its floating flag set.
std::vector<RenderItem> groupRenderItems(const std::vector<RenderItem>& blockItems,
                                         bool groupingEnabled, GroupingPreset preset);

}  // namespace letterforge
