#pragma once

#include "letterforge/inputs/mode_words.h"

namespace letterforge {

// How the source lettering of the translated blocks is removed.
enum class CleanupMode {
  kNone,         // the translations are drawn over the untouched page
  kWhiteFill,    // a white rounded patch under each text area
  kTextInpaint,  // lettering repainted from its surroundings, behind the safety gate
  kBubbleClean,  // bubbles found and patched in their paper colour, inpainting as the fallback
  kRepaint,      // lettering, outline and halo repainted on any paper, tone or art
};

// The words of the cleanup modes, in the order help texts list them.
inline constexpr ModeWord<CleanupMode> kCleanupModeWords[] = {
    {"white_fill", CleanupMode::kWhiteFill},
    {"text_inpaint", CleanupMode::kTextInpaint},
    {"bubble_clean", CleanupMode::kBubbleClean},
    {"repaint", CleanupMode::kRepaint},
    {"none", CleanupMode::kNone},
};

}  // namespace letterforge
