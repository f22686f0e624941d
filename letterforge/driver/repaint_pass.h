#pragma once

#include <vector>

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
void repaintPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                 CleanupRecord& record, const ReportSink& sink, const ChosenBlocks& chosen = {});

}  // namespace letterforge
