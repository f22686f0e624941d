#include "letterforge/layout/block_grouping.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/inputs/text_rules.h"
#include "letterforge/layout/reading_order.h"
#include "letterforge/layout/rect_cells.h"
#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

constexpr std::int64_t kShortTextCharacters = 9;
constexpr double kNarrowWidth = 70.0;
constexpr double kTallWidthFactor = 1.4;
constexpr double kFloatingGapShare = 0.75;
constexpr std::int64_t kLongestShortGroupText = 80;

// Boxes beyond the range of doubles would turn into infinities here, and an infinite
// origin reads as the null rectangle.
bool hasFiniteEdges(const Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height) && std::isfinite(r.x + r.width) && std::isfinite(r.y + r.height);
}

// canMerge with the floating test of the item supplied by `itemFloats`, which is asked only
// when that test could refuse: it counts characters, and formGroups asks once per item.
template <typename Floats>
bool mergeAllowed(const RenderItem& item, Floats&& itemFloats, const BlockGroup& group,
                  const GroupingConfig& config) {
  if (static_cast<std::int64_t>(group.items.size()) >= config.maxBlocks) return false;
  if (group.items.empty()) return true;
  const Rect& r = item.rect;
  const Rect& u = group.bounds;

  const Rect merged = unionRect(u, r);
  if (!hasFiniteEdges(merged)) return false;
  if (height(merged) / std::max(width(merged), 1.0) > config.maxHeightToWidth) return false;

  const double gap = std::max(std::max(minY(r), minY(u)) - std::min(maxY(r), maxY(u)), 0.0);
  const double overlap = std::max(0.0, std::min(maxX(r), maxX(u)) - std::max(minX(r), minX(u))) /
                         std::max(std::min(width(r), width(u)), 1.0);
  const double allowedGap =
      std::max(std::min(height(r), height(u)) * config.gapFactor, config.minGap);
  const bool oneColumn = overlap >= config.overlapRatio;

  if (!oneColumn &&
      std::abs(midX(r) - midX(u)) > config.centerFactor * std::max(width(r), width(u))) {
    return false;
  }
  if (gap > allowedGap) return false;
  if (!oneColumn && gap > kFloatingGapShare * config.minGap && itemFloats()) return false;
  return true;
}

// A group accepts an item only when its bounds share some of the item's columns (an overlap
// ratio above zero needs that, and so does a centre distance of at most half the wider width)
// and come within the item's largest allowed gap vertically. Under such thresholds, and with
// finite boxes, only the open groups filed near the item need asking.
bool acceptsOnlyNearby(const std::vector<RenderItem>& items, const GroupingConfig& config) {
  return config.overlapRatio > 0.0 && config.centerFactor <= 0.5 && config.gapFactor >= 0.0 &&
         std::isfinite(config.gapFactor) && std::isfinite(config.minGap) &&
         std::all_of(items.begin(), items.end(),
                     [](const RenderItem& item) { return hasFiniteEdges(item.rect); });
}

// Where the groups that can accept the item lie: its columns, and its rows widened by the
// largest gap it allows.
Rect acceptingReach(const RenderItem& item, const GroupingConfig& config) {
  const double reach = std::max(height(item.rect) * config.gapFactor, config.minGap);
  return Rect{minX(item.rect), minY(item.rect) - reach, width(item.rect),
              height(item.rect) + 2.0 * reach};
}

Rect areaOf(const std::vector<RenderItem>& items) {
  Rect area = nullRect();
  for (const RenderItem& item : items) area = unionRect(area, item.rect);
  return area;
}

}  // namespace

std::vector<RenderItem> makeBlockItems(const std::vector<OcrBlock>& blocks,
                                       const TranslationLookup& lookup, double pageHeight) {
  std::vector<RenderItem> items;
  for (const OcrBlock& block : blocks) {
    const std::optional<std::string> translation = findTranslation(lookup, block.id);
    if (!translation || isBlank(*translation)) continue;
    const BBox& box = block.bbox;
    const Rect rect{box.x, pageHeight - box.y - box.h, box.w, box.h};
    if (!hasFiniteEdges(rect)) continue;
    items.push_back(RenderItem{.ids = {block.id}, .rect = rect, .text = *translation});
  }
  return items;
}

bool isFloating(const RenderItem& item) {
  return characterCount(trimmedText(item.text)) < kShortTextCharacters ||
         width(item.rect) < kNarrowWidth ||
         width(item.rect) * kTallWidthFactor < height(item.rect);
}

bool isShortGroup(const RenderItem& item) {
  return (item.ids.size() == 3 || item.ids.size() == 4) &&
         characterCount(item.text) <= kLongestShortGroupText;
}

GroupingConfig groupingConfig(GroupingPreset preset) {
  switch (preset) {
    case GroupingPreset::kConservative:
      return GroupingConfig{.maxBlocks = 7, .gapFactor = 1.25, .minGap = 14.0,
                            .overlapRatio = 0.34, .centerFactor = 0.25, .maxHeightToWidth = 2.5};
    case GroupingPreset::kAggressive:
      return GroupingConfig{.maxBlocks = 12, .gapFactor = 2.0, .minGap = 26.0,
                            .overlapRatio = 0.16, .centerFactor = 0.5, .maxHeightToWidth = 4.8};
    case GroupingPreset::kBalanced:
    case GroupingPreset::kBalloon: break;
  }
  return GroupingConfig{};
}

bool canMerge(const RenderItem& item, const BlockGroup& group, const GroupingConfig& config) {
  return mergeAllowed(item, [&item] { return isFloating(item); }, group, config);
}

std::vector<BlockGroup> formGroups(const std::vector<RenderItem>& blockItems,
                                   const GroupingConfig& config) {
  std::vector<RenderItem> ordered = blockItems;
  sortReadingOrder(ordered);
  std::optional<RectCells> openGroups;
  if (acceptsOnlyNearby(ordered, config)) openGroups.emplace(areaOf(ordered));
  std::vector<BlockGroup> groups;
  const auto isFull = [&](std::size_t g) {
    return static_cast<std::int64_t>(groups[g].items.size()) >= config.maxBlocks;
  };
  for (RenderItem& item : ordered) {
    std::optional<bool> floats;
    const auto itemFloats = [&] {
      if (!floats) floats = isFloating(item);
      return *floats;
    };
    const auto accepts = [&](std::size_t g) { return mergeAllowed(item, itemFloats, groups[g], config); };
    std::vector<std::size_t> asked;
    if (openGroups) {
      asked = openGroups->near(acceptingReach(item, config), isFull);
    } else {
      for (std::size_t g = 0; g < groups.size(); ++g) asked.push_back(g);
    }
    const auto accepting = std::find_if(asked.begin(), asked.end(), accepts);
    const Rect rect = item.rect;
    if (accepting == asked.end()) {
      groups.push_back(BlockGroup{.items = {std::move(item)}, .bounds = rect});
      if (openGroups) openGroups->file(groups.size() - 1, rect, nullRect());
    } else {
      BlockGroup& group = groups[*accepting];
      const Rect before = group.bounds;
      group.bounds = unionRect(group.bounds, rect);
      group.items.push_back(std::move(item));
      if (openGroups) openGroups->file(*accepting, group.bounds, before);
    }
  }
  return groups;
}

RenderItem mergeGroup(const BlockGroup& group) {
  if (group.items.empty()) return RenderItem{};
  std::vector<RenderItem> ordered = group.items;
  sortReadingOrder(ordered);
  RenderItem merged{.rect = nullRect()};
  std::vector<std::string> texts;
  for (const RenderItem& item : ordered) {
    merged.ids.insert(merged.ids.end(), item.ids.begin(), item.ids.end());
    merged.rect = unionRect(merged.rect, item.rect);
    texts.push_back(item.text);
  }
  merged.text = joinedText(texts);
  merged.floating = ordered.size() == 1 && isFloating(ordered.front());
  return merged;
}

std::vector<RenderItem> groupRenderItems(const std::vector<RenderItem>& blockItems,
                                         bool groupingEnabled, GroupingPreset preset) {
  std::vector<RenderItem> renderItems;
  if (!groupingEnabled) {
    for (const RenderItem& item : blockItems) {
      RenderItem copy = item;
      copy.floating = isFloating(item);
      renderItems.push_back(std::move(copy));
    }
    return renderItems;
  }
  for (const BlockGroup& group : formGroups(blockItems, groupingConfig(preset))) {
    renderItems.push_back(mergeGroup(group));
  }
  return renderItems;
}

}  // namespace letterforge
