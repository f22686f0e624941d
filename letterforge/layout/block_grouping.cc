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
#include "letterforge/layout/rect_geometry.h"

namespace letterforge {
namespace {

constexpr std::int64_t kShortTextCharacters = 9;
constexpr double kNarrowWidth = 70.0;
constexpr double kTallWidthFactor = 1.4;
constexpr double kFloatingGapShare = 0.75;

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

// The groups that can still take items, listed by the cells of a grid over the items' area
// that their bounds reach. A group accepts an item only when its bounds overlap the item's
// columns and come within the item's largest allowed gap vertically: an overlap ratio above
// zero needs shared columns, and a centre distance of at most half the wider width puts one
// centre inside the other's columns. Only groups listed in the cells around an item are
// asked, in creation order, so the first to accept is the one a scan of all groups finds.
class OpenGroupCells {
 public:
  // Absent when the thresholds or the boxes allow acceptance from afar; scan every group then.
  static std::optional<OpenGroupCells> forItems(const std::vector<RenderItem>& items,
                                                const GroupingConfig& config) {
    if (!(config.overlapRatio > 0.0) || !(config.centerFactor <= 0.5) ||
        !(config.gapFactor >= 0.0) || !std::isfinite(config.minGap) ||
        !std::isfinite(config.gapFactor)) {
      return std::nullopt;
    }
    Rect area = nullRect();
    for (const RenderItem& item : items) {
      if (!hasFiniteEdges(item.rect)) return std::nullopt;
      area = unionRect(area, item.rect);
    }
    OpenGroupCells cells;
    cells.columns_ = Axis::over(minX(area), maxX(area));
    cells.rows_ = Axis::over(minY(area), maxY(area));
    cells.listed_.resize(static_cast<std::size_t>(cells.columns_.count * cells.rows_.count));
    return cells;
  }

  // Lists the group, made or grown, in the cells its bounds reach beyond `before` (null when new).
  void list(std::size_t group, const Rect& before, const Rect& bounds) {
    const Span was = isNull(before) ? Span{} : spanOf(before, 0, 0.0);
    const Span now = spanOf(bounds, 0, 0.0);
    for (std::int64_t row = now.row0; row <= now.row1; ++row) {
      for (std::int64_t column = now.column0; column <= now.column1; ++column) {
        if (was.contains(column, row)) continue;
        listed_[static_cast<std::size_t>(row * columns_.count + column)].push_back(group);
      }
    }
  }

  // Groups near the item, in creation order; full groups are dropped from the lists on the way.
  std::vector<std::size_t> near(const RenderItem& item, const std::vector<BlockGroup>& groups,
                                const GroupingConfig& config) {
    const double reach = std::max(height(item.rect) * config.gapFactor, config.minGap);
    const Span span = spanOf(item.rect, 1, reach);
    ++query_;
    seen_.resize(groups.size(), 0);
    std::vector<std::size_t> found;
    for (std::int64_t row = span.row0; row <= span.row1; ++row) {
      for (std::int64_t column = span.column0; column <= span.column1; ++column) {
        auto& cell = listed_[static_cast<std::size_t>(row * columns_.count + column)];
        std::erase_if(cell, [&](std::size_t g) {
          return static_cast<std::int64_t>(groups[g].items.size()) >= config.maxBlocks;
        });
        for (const std::size_t g : cell) {
          if (seen_[g] == query_) continue;
          seen_[g] = query_;
          found.push_back(g);
        }
      }
    }
    std::sort(found.begin(), found.end());
    return found;
  }

 private:
  static constexpr double kCellSize = 64.0;
  static constexpr std::int64_t kMostCellsPerSide = 512;

  // Cells of one direction over [low, high]; positions outside fall into the end cells.
  struct Axis {
    double low = 0.0;
    double cell = 1.0;
    std::int64_t count = 1;
    static Axis over(double low, double high) {
      const double extent = high - low;
      const auto count = static_cast<std::int64_t>(
          std::clamp(std::ceil(extent / kCellSize), 1.0, static_cast<double>(kMostCellsPerSide)));
      // Never finer than rounding can tell apart, so a pad of one cell covers it.
      const double finest = 1e-6 * (1.0 + std::max(std::abs(low), std::abs(high)));
      return {low, std::max(extent / static_cast<double>(count), finest), count};
    }
    std::int64_t at(double v) const {
      const double index = std::floor((v - low) / cell);
      return static_cast<std::int64_t>(std::clamp(index, 0.0, static_cast<double>(count - 1)));
    }
  };

  struct Span {
    std::int64_t column0 = 0, column1 = -1, row0 = 0, row1 = -1;
    bool contains(std::int64_t column, std::int64_t row) const {
      return column >= column0 && column <= column1 && row >= row0 && row <= row1;
    }
  };

  // The cells of the rectangle grown by `reach` vertically, then by `pad` cells each way.
  Span spanOf(const Rect& r, std::int64_t pad, double reach) const {
    const auto padded = [pad](std::int64_t index, std::int64_t direction, std::int64_t count) {
      return std::clamp<std::int64_t>(index + direction * pad, 0, count - 1);
    };
    return {padded(columns_.at(minX(r)), -1, columns_.count),
            padded(columns_.at(maxX(r)), 1, columns_.count),
            padded(rows_.at(minY(r) - reach), -1, rows_.count),
            padded(rows_.at(maxY(r) + reach), 1, rows_.count)};
  }

  Axis columns_{};
  Axis rows_{};
  std::vector<std::vector<std::size_t>> listed_{};
  std::vector<std::uint64_t> seen_{};  // the last query that met each group
  std::uint64_t query_ = 0;
};

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

GroupingConfig groupingConfig(std::string_view presetWord) {
  if (presetWord == "conservative") {
    return GroupingConfig{.maxBlocks = 7, .gapFactor = 1.25, .minGap = 14.0,
                          .overlapRatio = 0.34, .centerFactor = 0.25, .maxHeightToWidth = 2.5};
  }
  if (presetWord == "aggressive") {
    return GroupingConfig{.maxBlocks = 12, .gapFactor = 2.0, .minGap = 26.0,
                          .overlapRatio = 0.16, .centerFactor = 0.5, .maxHeightToWidth = 4.8};
  }
  return GroupingConfig{.maxBlocks = 10, .gapFactor = 1.65, .minGap = 20.0,
                        .overlapRatio = 0.24, .centerFactor = 0.38, .maxHeightToWidth = 3.7};
}

bool canMerge(const RenderItem& item, const BlockGroup& group, const GroupingConfig& config) {
  return mergeAllowed(item, [&item] { return isFloating(item); }, group, config);
}

std::vector<BlockGroup> formGroups(const std::vector<RenderItem>& blockItems,
                                   const GroupingConfig& config) {
  std::vector<RenderItem> ordered = blockItems;
  sortReadingOrder(ordered);
  std::optional<OpenGroupCells> cells = OpenGroupCells::forItems(ordered, config);
  std::vector<BlockGroup> groups;
  for (RenderItem& item : ordered) {
    std::optional<bool> floats;
    const auto itemFloats = [&] {
      if (!floats) floats = isFloating(item);
      return *floats;
    };
    const auto accepts = [&](std::size_t g) { return mergeAllowed(item, itemFloats, groups[g], config); };
    std::size_t accepting = groups.size();
    if (cells) {
      const std::vector<std::size_t> near = cells->near(item, groups, config);
      const auto first = std::find_if(near.begin(), near.end(), accepts);
      if (first != near.end()) accepting = *first;
    } else {
      for (std::size_t g = 0; g < groups.size() && accepting == groups.size(); ++g) {
        if (accepts(g)) accepting = g;
      }
    }
    const Rect rect = item.rect;
    if (accepting == groups.size()) {
      groups.push_back(BlockGroup{.items = {std::move(item)}, .bounds = rect});
      if (cells) cells->list(accepting, nullRect(), rect);
    } else {
      BlockGroup& group = groups[accepting];
      const Rect before = group.bounds;
      group.bounds = unionRect(group.bounds, rect);
      group.items.push_back(std::move(item));
      if (cells) cells->list(accepting, before, group.bounds);
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
                                         bool groupingEnabled, std::string_view presetWord) {
  std::vector<RenderItem> renderItems;
  if (!groupingEnabled) {
    for (const RenderItem& item : blockItems) {
      RenderItem copy = item;
      copy.floating = isFloating(item);
      renderItems.push_back(std::move(copy));
    }
    return renderItems;
  }
  for (const BlockGroup& group : formGroups(blockItems, groupingConfig(presetWord))) {
    renderItems.push_back(mergeGroup(group));
  }
  return renderItems;
}

}  // namespace letterforge
