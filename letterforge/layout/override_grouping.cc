#include "letterforge/layout/override_grouping.h"

#include <map>
#include <unordered_map>

#include "letterforge/inputs/text_rules.h"
#include "letterforge/layout/block_grouping.h"
#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

// The blocks merged as grouping merges them, in reading order.
RenderItem mergedFrom(const std::vector<const RenderItem*>& blocks) {
  BlockGroup group{.bounds = blocks.front()->rect};
  for (const RenderItem* block : blocks) {
    group.bounds = unionRect(group.bounds, block->rect);
    group.items.push_back(*block);
  }
  return mergeGroup(group);
}

// The blocks merged in the order given.
RenderItem mergedInOrder(const std::vector<const RenderItem*>& blocks) {
  RenderItem merged{.rect = blocks.front()->rect};
  std::vector<std::string> texts;
  for (const RenderItem* block : blocks) {
    merged.ids.push_back(block->ids.front());
    merged.rect = unionRect(merged.rect, block->rect);
    texts.push_back(block->text);
  }
  merged.text = joinedText(texts);
  merged.floating = blocks.size() == 1 && isFloating(*blocks.front());
  return merged;
}

}  // namespace

bool groupedByOverride(const BlockOverride& o) { return o.grouped || o.skip; }

std::vector<RenderItem> regroupByOverrides(const std::vector<RenderItem>& blockItems,
                                           const std::vector<RenderItem>& renderItems,
                                           const std::vector<BlockOverride>& overrides) {
  std::unordered_map<std::string, const RenderItem*> blockOfId;
  for (const RenderItem& block : blockItems) blockOfId.emplace(block.ids.front(), &block);
  std::unordered_map<std::string, const BlockOverride*> taken;
  for (const BlockOverride& o : overrides) {
    if (groupedByOverride(o) && blockOfId.contains(o.id)) taken.emplace(o.id, &o);
  }
  if (taken.empty()) return renderItems;

  std::vector<RenderItem> items;
  for (const RenderItem& item : renderItems) {
    std::vector<const RenderItem*> kept;
    for (const std::string& id : item.ids) {
      if (!taken.contains(id)) kept.push_back(blockOfId.at(id));
    }
    if (kept.size() == item.ids.size()) {
      items.push_back(item);
    } else if (!kept.empty()) {
      items.push_back(mergedFrom(kept));
    }
  }
  // Group values in the order they first appear, each with its blocks in the order given.
  std::vector<std::vector<const RenderItem*>> groups;
  std::map<std::string, std::size_t> groupOfValue;
  for (const BlockOverride& o : overrides) {
    if (!taken.contains(o.id)) continue;
    const RenderItem* block = blockOfId.at(o.id);
    if (o.skip || !o.group) {
      groups.push_back({block});
      continue;
    }
    const auto [at, added] = groupOfValue.emplace(*o.group, groups.size());
    if (added) groups.emplace_back();
    groups[at->second].push_back(block);
  }
  for (const auto& group : groups) items.push_back(mergedInOrder(group));
  return items;
}

}  // namespace letterforge
