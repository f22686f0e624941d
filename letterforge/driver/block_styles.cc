#include "letterforge/driver/block_styles.h"

#include "letterforge/driver/exit_status.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/text_rules.h"
#include "platform/files.h"

namespace letterforge {
namespace {

constexpr std::string_view kKeepWord = "keep";

CleanupMode cleanupOfWord(std::string_view word) {
  if (word == kKeepWord) return CleanupMode::kNone;
  return choiceOfWord(kCleanupModeWords, word).value_or(CleanupMode::kNone);
}

platform::Color colorOf(std::uint32_t rgb) {
  return platform::Color{static_cast<double>((rgb >> 16) & 0xFF) / 255.0,
                         static_cast<double>((rgb >> 8) & 0xFF) / 255.0,
                         static_cast<double>(rgb & 0xFF) / 255.0, 1.0};
}

platform::TextAlignment alignmentOf(TextAlign align) {
  switch (align) {
    case TextAlign::kLeft: return platform::TextAlignment::left;
    case TextAlign::kRight: return platform::TextAlignment::right;
    case TextAlign::kCenter: break;
  }
  return platform::TextAlignment::centre;
}

const BlockOverride* overrideOf(const RunState& run, const std::string& id) {
  const auto found = run.overrideOfId.find(id);
  return found == run.overrideOfId.end() ? nullptr : &run.overrides[found->second];
}

}  // namespace

std::vector<std::string_view> overrideCleanupWords() {
  std::vector<std::string_view> words = wordsOf(kCleanupModeWords);
  words.push_back(kKeepWord);
  return words;
}

std::optional<std::vector<BlockOverride>> readBlockOverrides(const std::string& value,
                                                             RunFailure& failure) {
  std::string text = value;
  std::string name = "blocks";
  if (!isInlineOverrides(value)) {
    name = value;
    std::string why;
    const auto bytes = platform::readWholeFile(value, kMaxPayloadBytes, why);
    if (!bytes) {
      failure = {value + ": cannot be read: " + why, kExitPayloadUnreadable};
      return std::nullopt;
    }
    text = *bytes;
  }
  std::string why;
  auto overrides = decodeBlockOverrides(text, overrideCleanupWords(), why);
  if (!overrides) failure = {name + ": " + why, kExitPayloadUnreadable};
  return overrides;
}

std::optional<RunFailure> checkOverrideIds(const std::vector<BlockOverride>& overrides,
                                           const std::vector<RenderItem>& blockItems) {
  for (const BlockOverride& o : overrides) {
    bool known = false;
    for (const RenderItem& block : blockItems) known = known || block.ids.front() == o.id;
    if (!known) {
      return RunFailure{"blocks: " + visibleText(o.id) + ": no translated block has this id",
                        kExitPayloadUnreadable};
    }
  }
  return std::nullopt;
}

std::vector<CleanupMode> blockCleanupModes(const RunState& run) {
  std::vector<CleanupMode> modes;
  for (const RenderItem& block : run.blockItems) {
    const BlockOverride* o = overrideOf(run, block.ids.front());
    modes.push_back(o && o->cleanup ? cleanupOfWord(*o->cleanup) : run.settings.cleanupMode);
  }
  return modes;
}

ItemStyle itemStyle(const RunState& run, const RenderItem& item) {
  ItemStyle style{.typeset = run.settings.typeset,
                  .family = run.fontFamily,
                  .cleanup = run.settings.cleanupMode,
                  .skipped = !item.ids.empty()};
  TypesetOptions& t = style.typeset;
  // Fields are taken from the last block back to the first, so that the first one wins.
  for (auto id = item.ids.rbegin(); id != item.ids.rend(); ++id) {
    const auto found = run.overrideOfId.find(*id);
    const BlockOverride* o = found == run.overrideOfId.end() ? nullptr : &run.overrides[found->second];
    style.skipped = style.skipped && o && o->skip;
    if (!o) continue;
    if (o->font) style.family = run.overrideFamilies[found->second];
    if (o->fontSize) t.fixedSize = o->fontSize;
    if (o->textColor) t.textColor = colorOf(*o->textColor);
    if (o->strokeColor) t.strokeColor = colorOf(*o->strokeColor);
    if (o->strokeWidth) t.strokeWidth = boundedStrokeWidth(*o->strokeWidth);
    if (o->align) t.alignment = alignmentOf(*o->align);
    if (o->direction) t.direction = *o->direction;
    if (o->cleanup) style.cleanup = cleanupOfWord(*o->cleanup);
  }
  return style;
}

}  // namespace letterforge
