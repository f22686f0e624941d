#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "letterforge/cleanup/bubble_detection.h"
#include "letterforge/cleanup/text_mask.h"
#include "letterforge/debug/debug_overlay.h"
#include "letterforge/driver/run_report.h"
#include "letterforge/layout/render_item.h"
#include "letterforge/raster/exclusions.h"
#include "platform/page_bitmap.h"

namespace letterforge {

// What the cleanup preparation learns from the untouched page; read-only afterwards.
// Ids are kept in their canonical form, so canonically equivalent ids are one key.
struct CleanupPlan {
  Exclusions blockCleanRects{};  // rects: one per block item, same index
  std::vector<BubbleRegion> groupBubbles{};
  std::unordered_set<std::string> groupedIds{};
  std::unordered_map<std::string, std::int64_t> groupSizes{};
};

// What the cleanup did with one block.
enum class CleanupAction {
  kLeftAlone,       // no cleanup mode, or the fallback found nothing it may clean
  kWhiteFill,       // filled white: the text area in "white_fill", clean paper or a dense mask
  kInpainted,       // its lettering repainted from the surroundings
  kRefused,         // the safety gate refused the area: not plain and bright
  kPatched,         // patched in its bubble's colour, the lettering mask kept
  kPatchedDense,    // patched, the mask too dense to keep
  kPatchedEmpty,    // patched without a mask
  kPatchedGrouped,  // patched white because its group sits in a bubble
  kFallback,        // no usable bubble: cleaned as plain background instead
  kRepaintedPaper,    // its lettering repainted in its paper's colour and grain
  kInpaintedSmooth,   // its lettering filled from the gradient or shading around it
  kInpaintedTexture,  // its lettering filled from the tone or art around it
  kNotCleaned,        // nothing in it stood out of its ground: left as it is
};

struct BlockCleanup {
  CleanupAction action = CleanupAction::kLeftAlone;
  std::optional<double> coverage{};    // of the mask, when patched or repainted with one
  std::optional<double> confidence{};  // of the bubble, when one was found
  std::string fallbackReason{};        // "low_bubble_confidence" or "empty_mask"
  CleanupAction fallbackAction = CleanupAction::kLeftAlone;  // what the plain cleanup did
  bool operator==(const BlockCleanup&) const = default;
};

// The word for an action: "left_alone", "white_fill", "inpainted", "refused", "patched",
// "patched_dense", "patched_empty", "patched_grouped", "fallback", "repainted_paper",
// "inpainted_smooth", "inpainted_texture" or "not_cleaned".
const char* cleanupActionWord(CleanupAction action);

// What the cleanup passes record; lists only grow.
struct CleanupRecord {
  std::vector<TextMask> cleanedMasks{};
  std::vector<BubbleDebugRegion> debugRegions{};
  std::vector<std::string> cleanupNotes{};
  std::vector<BlockCleanup> blockCleanups{};  // one per block item, same index, once a pass ran
};

// The first id that occurs in two render items (or twice in one), canonically equal ids
// counting as one; absent when every id is unique.
std::optional<std::string> duplicateItemId(const std::vector<RenderItem>& renderItems);

// The padded cleanup rectangles, the bubbles around multi-block items, the grouped ids and
// the group-size lookup. Absent when an id occurs in two render items (or twice in one), with
// the duplicate-key description in `failure`.
std::optional<CleanupPlan> prepareCleanup(const platform::PageBitmap& page,
                                          const std::vector<RenderItem>& blockItems,
                                          const std::vector<RenderItem>& renderItems,
                                          const Rect& pageRect, std::string& failure);

// Runs the pass of the cleanup mode: text inpainting and bubble cleaning have one; the other
// modes run none. Report lines reach `sink` as the blocks are decided.
void runCleanupPass(platform::PageBitmap& page, CleanupMode cleanupMode,
                    const std::vector<RenderItem>& blockItems, const CleanupPlan& plan,
                    const Rect& pageRect, CleanupRecord& record, const ReportSink& sink);

// The passes of each block's own cleanup mode (one per block item): text inpainting first,
// then bubble cleaning, each over its blocks only.
void runCleanupPasses(platform::PageBitmap& page, const std::vector<CleanupMode>& blockModes,
                      const std::vector<RenderItem>& blockItems, const CleanupPlan& plan,
                      const Rect& pageRect, CleanupRecord& record, const ReportSink& sink);

// Which block items a pass cleans, by index; empty: all of them.
using ChosenBlocks = std::vector<bool>;

// Each block behind the safety gate: white fill on clean paper, inpainting of its lettering,
// or left alone (its id noted) when the background is not plain and bright.
void inpaintPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                 const CleanupPlan& plan, CleanupRecord& record, const ReportSink& sink,
                 const ChosenBlocks& chosen = {});

// Each block patched in its bubble's paper colour, white by group evidence, or cleaned as
// plain background when no bubble is found (its fallback label noted).
void bubbleCleanPass(platform::PageBitmap& page, const std::vector<RenderItem>& blockItems,
                     const CleanupPlan& plan, const Rect& pageRect, CleanupRecord& record,
                     const ReportSink& sink, const ChosenBlocks& chosen = {});

// The bubble around one block item, its own rectangle grown and searched on the page.
std::optional<BubbleRegion> findBlockBubble(const platform::PageBitmap& page, const RenderItem& item,
                                            const CleanupPlan& plan, const Rect& pageRect);

}  // namespace letterforge
