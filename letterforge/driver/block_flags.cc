#include "letterforge/driver/block_flags.h"

#include <array>
#include <utility>

#include "letterforge/driver/exit_status.h"
#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

using FlagField = bool BlockFlags::*;

constexpr std::array<std::pair<const char*, FlagField>, 5> kFlags = {{
    {"uncleaned", &BlockFlags::uncleaned},
    {"overflowed", &BlockFlags::overflowed},
    {"unknown_characters", &BlockFlags::unknownCharacters},
    {"spans_balloons", &BlockFlags::spansBalloons},
    {"no_vertical_forms", &BlockFlags::noVerticalForms},
}};

std::string_view trimmedWord(std::string_view word) {
  while (!word.empty() && (word.front() == ' ' || word.front() == '\t')) word.remove_prefix(1);
  while (!word.empty() && (word.back() == ' ' || word.back() == '\t')) word.remove_suffix(1);
  return word;
}

}  // namespace

std::vector<std::string> flagWords(const BlockFlags& flags) {
  std::vector<std::string> words;
  for (const auto& [word, field] : kFlags) {
    if (flags.*field) words.emplace_back(word);
  }
  return words;
}

std::optional<BlockFlags> parseFlagList(std::string_view list, std::string& failure) {
  BlockFlags flags;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view word = trimmedWord(list.substr(0, comma));
    bool known = false;
    for (const auto& [name, field] : kFlags) {
      if (word == name) {
        flags.*field = true;
        known = true;
      }
    }
    if (!known) {
      failure = "expected uncleaned, overflowed, unknown_characters, spans_balloons or "
                "no_vertical_forms, found \"" +
                visibleText(word) + "\"";
      return std::nullopt;
    }
    if (comma == std::string_view::npos) return flags;
    list.remove_prefix(comma + 1);
  }
}

bool sharesFlag(const BlockFlags& a, const BlockFlags& b) {
  for (const auto& [word, field] : kFlags) {
    if (a.*field && b.*field) return true;
  }
  return false;
}

std::optional<RunFailure> flaggedPageFailure(const std::vector<BlockOutcome>& blocks,
                                             const BlockFlags& failOn) {
  std::string message;
  for (const auto& [word, field] : kFlags) {
    if (!(failOn.*field)) continue;
    std::string ids;
    for (const BlockOutcome& block : blocks) {
      if (block.flags.*field) ids += (ids.empty() ? "" : ", ") + visibleText(block.id);
    }
    if (!ids.empty()) message += (message.empty() ? "" : "; ") + std::string(word) + " " + ids;
  }
  if (message.empty()) return std::nullopt;
  return RunFailure{"flagged blocks: " + message, kExitFlagged};
}

}  // namespace letterforge
