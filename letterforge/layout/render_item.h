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

}  // namespace letterforge
