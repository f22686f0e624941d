#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "letterforge/cleanup/repaint.h"
#include "letterforge/driver/cleanup_planning.h"
#include "letterforge/driver/run_report.h"
#include "letterforge/layout/render_item.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// The "repaint" pass: every block's lettering, outline and halo found against the ground
// around it and repainted (flat paper of any colour) or inpainted (gradients, tone, art). Each
// block gets a report line, a debug region named after what was done and, when cleaned, its
// mask; a block in which nothing stood out of the ground is reported as not cleaned. Only the
// `chosen` blocks are cleaned (all when empty); the others' lettering is never ground.
// Cleans one block given the boxes of the lettering still on the page around it and the
// outcomes of the blocks cleaned before it.
using BlockRepaint = std::function<RepaintOutcome(platform::PageBitmap& page, const Rect& block,
                                                  const std::vector<Rect>& pendingText,
                                                  std::uint64_t seed,
                                                  std::span<const RepaintOutcome* const> cleanedBefore)>;

// Tries the `chosen` blocks (all when empty) in order with `repaint`, then once more those
// not cleaned, after their neighbours are; the boxes of blocks not cleaned yet and of blocks
// not chosen are passed as lettering still on the page. At the first try each block is given
// the outcomes of the blocks cleaned before it, so that its lettering is found as printed; the
// second try finds it on the page as it is. Returns each block's last outcome (none for blocks
// not chosen).
std::vector<RepaintOutcome> repaintInTurn(platform::PageBitmap& page,
                                          const std::vector<RenderItem>& blockItems,
                                          const ChosenBlocks& chosen, const BlockRepaint& repaint);

void repaintPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                 CleanupRecord& record, const ReportSink& sink, const ChosenBlocks& chosen = {});

}  // namespace letterforge
