#pragma once

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {

// A word an option takes and the choice it stands for. An option's words are a table of these,
// in the order help texts list them: a new word is one row, and its choice's behaviour where
// the choice is used.
template <typename Choice>
struct ModeWord {
  std::string_view word;
  Choice choice;
};

// The choice of `word` under the full Unicode lower-case mapping, compared exactly (not
// trimmed: " bold" is no word); absent for a word that is not in the table.
template <typename Table>
auto choiceOfWord(const Table& table, std::string_view word)
    -> std::optional<decltype(std::begin(table)->choice)> {
  const std::string lowered = lowercasedText(word);
  for (const auto& row : table) {
    if (row.word == lowered) return row.choice;
  }
  return std::nullopt;
}

// The first word of the table for `choice`; empty when none stands for it.
template <typename Table, typename Choice>
std::string_view wordOfChoice(const Table& table, Choice choice) {
  for (const auto& row : table) {
    if (row.choice == choice) return row.word;
  }
  return {};
}

template <typename Table>
std::vector<std::string_view> wordsOf(const Table& table) {
  std::vector<std::string_view> words;
  for (const auto& row : table) words.push_back(row.word);
  return words;
}

// The words as a help text lists them: "a, b or c".
std::string wordList(const std::vector<std::string_view>& words);

// The listed word with the fewest single-letter insertions, deletions, substitutions and swaps
// of neighbours from `word`; the earlier one on a tie. Empty when no word is listed.
std::string_view nearestWord(const std::vector<std::string_view>& words, std::string_view word);

// The refusal of a word an option does not take, naming the words it takes and the one nearest
// to the word lower-cased:
// cleanup_mode: expected white_fill, text_inpaint, bubble_clean, repaint or none, found "bubbleclean"
// (nearest: bubble_clean)
std::string unknownWordFailure(std::string_view option, const std::vector<std::string_view>& words,
                               std::string_view found);

// The choice of `word`, or absent with `failure` refusing it (unknownWordFailure).
template <typename Table>
auto strictChoiceOfWord(const Table& table, std::string_view option, std::string_view word,
                        std::string& failure) {
  const auto choice = choiceOfWord(table, word);
  if (!choice) failure = unknownWordFailure(option, wordsOf(table), word);
  return choice;
}

}  // namespace letterforge
