#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "letterforge/driver/render_pipeline.h"

namespace letterforge {

// The words of the flags, in this order: "uncleaned", "overflowed", "unknown_characters",
// "spans_balloons", "no_vertical_forms"; only the flags that are set.
std::vector<std::string> flagWords(const BlockFlags& flags);

// Flags from a comma-separated list of their words (white space around a word allowed).
// Absent, with `failure` naming the word, for an unknown or empty word.
std::optional<BlockFlags> parseFlagList(std::string_view list, std::string& failure);

// Whether any flag set in `a` is set in `b` too.
bool sharesFlag(const BlockFlags& a, const BlockFlags& b);

// The failure of a page whose blocks carry a flag of `failOn`: status kExitFlagged and a
// message naming, per flag, the blocks that carry it ("flagged blocks: uncleaned a1, b2;
// overflowed c"). Absent when no block does.
std::optional<RunFailure> flaggedPageFailure(const std::vector<BlockOutcome>& blocks,
                                             const BlockFlags& failOn);

}  // namespace letterforge
