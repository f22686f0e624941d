#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "letterforge/cleanup/text_mask.h"
#include "letterforge/layout/render_item.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// What lies under a block's lettering, as judged from the pixels around it.
enum class GroundKind {
  kPaper,    // flat paper of any colour, with its grain
  kSmooth,   // a gradient or other smooth shading
  kTexture,  // screentone, hatching, painted or drawn art
};

struct RepaintOutcome {
  bool cleaned = false;  // false when nothing in the block stood out of its ground
  GroundKind ground = GroundKind::kPaper;
  TextMask mask{};       // the pixels repainted, over the block's working window
  std::vector<platform::Rgb8> replaced{};  // their colours before, in the order of the mask's cells
};

// Removes the lettering of one block from the page: its strokes with their outline or halo
// and any coloured fill, found as what stands out of the ground model around the block and
// never beyond the block's neighbourhood, repainted in the ground's colour and grain or
// inpainted from the texture around it. `pendingText` are the boxes of other blocks whose
// lettering is still on the page: their pixels are never taken as ground. `cleanedBefore` are
// the outcomes of blocks cleaned before this one: the lettering is found on the page as it was
// before they repainted it (see repaint.cc). The result depends only on the page, the
// arguments and `seed`.
RepaintOutcome repaintLettering(platform::PageBitmap& page, const Rect& block,
                                const std::vector<Rect>& pendingText, std::uint64_t seed,
                                std::span<const RepaintOutcome* const> cleanedBefore = {});

}  // namespace letterforge
