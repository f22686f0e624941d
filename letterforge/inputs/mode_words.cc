#include "letterforge/inputs/mode_words.h"

#include <algorithm>
#include <cstddef>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

// Longer words are compared by their beginning: no option word comes near this length, and a
// value of megabytes must not cost a matrix of its size.
constexpr std::size_t kComparedBytes = 64;

// Optimal string alignment distance, byte by byte: option words are ASCII, and a word written
// in other letters is far from all of them alike.
std::size_t editDistance(std::string_view a, std::string_view b) {
  const std::size_t columns = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * columns);
  const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * columns + j]; };
  for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
      }
    }
  }
  return at(a.size(), b.size());
}

}  // namespace

std::string wordList(const std::vector<std::string_view>& words) {
  std::string list;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) list += i + 1 == words.size() ? " or " : ", ";
    list += words[i];
  }
  return list;
}

std::string_view nearestWord(const std::vector<std::string_view>& words, std::string_view word) {
  std::string_view nearest;
  std::size_t best = 0;
  for (const std::string_view candidate : words) {
    const std::size_t distance = editDistance(word.substr(0, kComparedBytes), candidate);
    if (nearest.empty() || distance < best) {
      nearest = candidate;
      best = distance;
    }
  }
  return nearest;
}

std::string unknownWordFailure(std::string_view option, const std::vector<std::string_view>& words,
                               std::string_view found) {
  return std::string(option) + ": expected " + wordList(words) + ", found \"" +
         visibleText(found) + "\" (nearest: " +
         std::string(nearestWord(words, lowercasedText(found))) + ")";
}

}  // namespace letterforge
