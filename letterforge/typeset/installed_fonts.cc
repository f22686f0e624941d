#include "letterforge/typeset/installed_fonts.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "letterforge/inputs/text_rules.h"
#include "platform/font_catalog.h"

namespace letterforge {
namespace {

// The name as compared: folded, without the separators people drop or add.
std::string comparable(std::string_view name) {
  std::string folded = caseFoldedText(name);
  std::erase_if(folded, [](char c) { return c == ' ' || c == '-' || c == '_'; });
  return folded;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

bool lessByName(const std::string& a, const std::string& b) {
  const std::string x = caseFoldedText(a);
  const std::string y = caseFoldedText(b);
  return x != y ? x < y : a < b;
}

}  // namespace

std::vector<FontFamily> installedFontFamilies() {
  std::vector<char32_t> probes;
  for (const FontScript& script : kFontScripts) probes.insert(probes.end(), script.characters.begin(), script.characters.end());
  struct Gathered {
    std::set<std::string> styles;
    std::vector<bool> scripts = std::vector<bool>(std::size(kFontScripts));
  };
  std::map<std::string, Gathered> byName;
  for (const platform::InstalledFace& face : platform::installedFaces(probes)) {
    Gathered& family = byName[face.family];
    if (!face.style.empty()) family.styles.insert(face.style);
    std::size_t probe = 0;
    for (std::size_t s = 0; s < std::size(kFontScripts); ++s) {
      const std::size_t count = kFontScripts[s].characters.size();
      const bool all = std::all_of(face.has.begin() + static_cast<std::ptrdiff_t>(probe),
                                   face.has.begin() + static_cast<std::ptrdiff_t>(probe + count),
                                   [](bool has) { return has; });
      family.scripts[s] = family.scripts[s] || all;
      probe += count;
    }
  }
  std::vector<FontFamily> families;
  for (const auto& [name, gathered] : byName) {
    FontFamily family{.name = name, .styles = {gathered.styles.begin(), gathered.styles.end()}};
    for (std::size_t s = 0; s < std::size(kFontScripts); ++s) {
      if (gathered.scripts[s]) family.scripts.emplace_back(kFontScripts[s].name);
    }
    families.push_back(std::move(family));
  }
  std::sort(families.begin(), families.end(),
            [](const FontFamily& a, const FontFamily& b) { return lessByName(a.name, b.name); });
  return families;
}

std::vector<std::string> nearestFontFamilies(std::string_view name,
                                             const std::vector<FontFamily>& families,
                                             std::size_t count) {
  const std::string asked = comparable(name);
  std::vector<std::tuple<bool, std::size_t, std::string>> ranked;
  for (const FontFamily& family : families) {
    const std::string known = comparable(family.name);
    const bool related = !asked.empty() && (known.find(asked) != std::string::npos ||
                                            asked.find(known) != std::string::npos);
    ranked.emplace_back(!related, editDistance(asked, known), family.name);
  }
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
    if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) < std::get<0>(b);
    if (std::get<1>(a) != std::get<1>(b)) return std::get<1>(a) < std::get<1>(b);
    return lessByName(std::get<2>(a), std::get<2>(b));
  });
  std::vector<std::string> nearest;
  for (std::size_t i = 0; i < ranked.size() && i < count; ++i) nearest.push_back(std::get<2>(ranked[i]));
  return nearest;
}

}  // namespace letterforge
