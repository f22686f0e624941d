#pragma once

#include <string>
#include <vector>

#include "platform/geometry.h"

namespace letterforge {

using Rect = platform::Rect;

// The unit of cleaning and typesetting: one OCR block (a block item) or several merged ones.
struct RenderItem {
  std::vector<std::string> ids{};  // OCR block ids, in reading order
  Rect rect{};                     // drawing coordinates: origin bottom-left, y up
  std::string text{};              // the translation to draw
  bool floating = false;           // short, narrow or tall; see isFloating
  bool operator==(const RenderItem&) const = default;
};

// The item's ids joined with "+", as reports and debug labels name it.
inline std::string blockLabel(const RenderItem& item) {
  std::string label;
  for (std::size_t i = 0; i < item.ids.size(); ++i) {
    if (i > 0) label += '+';
    label += item.ids[i];
  }
  return label;
}

}  // namespace letterforge
