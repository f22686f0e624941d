#pragma once

#include <string>
#include <vector>

namespace platform {

// One installed font face: its family, its style, and which of the probed characters it has.
struct InstalledFace {
  std::string family{};
  std::string style{};
  std::vector<bool> has{};  // one per probe, in the order given
  bool operator==(const InstalledFace&) const = default;
};

// Every font face the font configuration of this process knows, in no particular order, with
// each probe (a Unicode code point) looked up in its character map.
std::vector<InstalledFace> installedFaces(const std::vector<char32_t>& probes);

}  // namespace platform
