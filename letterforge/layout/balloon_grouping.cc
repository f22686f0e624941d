#include "letterforge/layout/balloon_grouping.h"

#include <algorithm>
#include <map>
#include <utility>

#include "letterforge/layout/reading_order.h"
#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

// Inside one balloon only the distance between lines matters: every line of a balloon
// belongs to its one text, wherever it stands across it.
constexpr GroupingConfig kWithinBalloon{.maxBlocks = 1000000,
                                        .gapFactor = 1.5,
                                        .minGap = 8.0,
                                        .overlapRatio = 0.0,
                                        .centerFactor = 0.0,
                                        .maxHeightToWidth = 1.0e300};

}  // namespace

std::vector<BlockGroup> formBalloonGroups(const std::vector<RenderItem>& blockItems,
                                          const BalloonOfBlock& balloonOf) {
  // The reading order of the items, sorted as their stand-ins named by index.
  std::vector<RenderItem> order;
  for (std::size_t i = 0; i < blockItems.size(); ++i) {
    order.push_back(RenderItem{.ids = {std::to_string(i)}, .rect = blockItems[i].rect});
  }
  sortReadingOrder(order);

  const GroupingConfig overArt = groupingConfig(GroupingPreset::kBalanced);
  std::vector<BlockGroup> groups;
  std::vector<std::optional<std::size_t>> balloonOfGroup;
  for (const RenderItem& standIn : order) {
    const std::size_t index = std::stoul(standIn.ids.front());
    RenderItem item = blockItems[index];
    const std::optional<std::size_t> balloon = index < balloonOf.size() ? balloonOf[index] : std::nullopt;
    const GroupingConfig& config = balloon ? kWithinBalloon : overArt;
    std::optional<std::size_t> joined;
    for (std::size_t g = 0; g < groups.size() && !joined; ++g) {
      if (balloonOfGroup[g] == balloon && canMerge(item, groups[g], config)) joined = g;
    }
    if (joined) {
      groups[*joined].bounds = unionRect(groups[*joined].bounds, item.rect);
      groups[*joined].items.push_back(std::move(item));
    } else {
      const Rect rect = item.rect;
      groups.push_back(BlockGroup{.items = {std::move(item)}, .bounds = rect});
      balloonOfGroup.push_back(balloon);
    }
  }
  return groups;
}

std::vector<RenderItem> groupByBalloons(const std::vector<RenderItem>& blockItems,
                                        const BalloonOfBlock& balloonOf) {
  std::vector<RenderItem> renderItems;
  for (const BlockGroup& group : formBalloonGroups(blockItems, balloonOf)) {
    renderItems.push_back(mergeGroup(group));
  }
  return renderItems;
}

}  // namespace letterforge
