#include "letterforge/driver/balloon_layout.h"

#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "letterforge/layout/override_grouping.h"

namespace letterforge {
namespace {

// The block item index of each id (its first block, should an id repeat).
std::unordered_map<std::string, std::size_t> blockIndexOfId(const std::vector<RenderItem>& blockItems) {
  std::unordered_map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < blockItems.size(); ++i) index.emplace(blockItems[i].ids.front(), i);
  return index;
}

// The balloons of the item's blocks; a block over the art counts as no balloon.
std::set<std::optional<std::size_t>> balloonsOfItem(
    const RenderItem& item, const std::unordered_map<std::string, std::size_t>& indexOfId,
    const BalloonOfBlock& balloonOf) {
  std::set<std::optional<std::size_t>> balloons;
  for (const std::string& id : item.ids) {
    const auto found = indexOfId.find(id);
    if (found != indexOfId.end() && found->second < balloonOf.size()) {
      balloons.insert(balloonOf[found->second]);
    }
  }
  return balloons;
}

}  // namespace

bool searchesBalloons(const RenderSettings& settings) {
  return settings.fitBalloon || (settings.groupingEnabled && settings.groupingPreset == GroupingPreset::kBalloon);
}

void placeInBalloons(RunState& run, const platform::PageBitmap& page) {
  std::vector<Rect> rects;
  for (const RenderItem& item : run.blockItems) rects.push_back(item.rect);
  run.balloons = findPageBalloons(page, rects);
  run.balloonsSearched = true;
  if (run.settings.groupingEnabled && run.settings.groupingPreset == GroupingPreset::kBalloon) {
    run.renderItems = regroupByOverrides(
        run.blockItems, groupByBalloons(run.blockItems, run.balloons.ofRect), run.overrides);
  }
  run.itemBalloons = itemBalloons(run.blockItems, run.renderItems, run.balloons.ofRect);
}

std::vector<std::optional<std::size_t>> itemBalloons(const std::vector<RenderItem>& blockItems,
                                                     const std::vector<RenderItem>& renderItems,
                                                     const BalloonOfBlock& balloonOf) {
  const auto indexOfId = blockIndexOfId(blockItems);
  std::map<std::size_t, std::size_t> blocksInBalloon;
  for (const std::optional<std::size_t>& balloon : balloonOf) {
    if (balloon) ++blocksInBalloon[*balloon];
  }
  std::vector<std::optional<std::size_t>> filled;
  for (const RenderItem& item : renderItems) {
    const auto balloons = balloonsOfItem(item, indexOfId, balloonOf);
    std::optional<std::size_t> balloon;
    if (balloons.size() == 1 && *balloons.begin() &&
        blocksInBalloon[**balloons.begin()] == item.ids.size()) {
      balloon = *balloons.begin();
    }
    filled.push_back(balloon);
  }
  return filled;
}

std::vector<bool> itemsSpanningBalloons(const std::vector<RenderItem>& blockItems,
                                        const std::vector<RenderItem>& renderItems,
                                        const BalloonOfBlock& balloonOf) {
  const auto indexOfId = blockIndexOfId(blockItems);
  std::vector<bool> spanning;
  for (const RenderItem& item : renderItems) {
    spanning.push_back(balloonsOfItem(item, indexOfId, balloonOf).size() >= 2);
  }
  return spanning;
}

}  // namespace letterforge
