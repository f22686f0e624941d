#pragma once

#include <string>
#include <vector>

namespace letterforge {

// A number as the C format "%.2f" writes it: fixed, two decimals, no grouping.
std::string formatTwoDecimals(double value);

// The cleanup report lines, each written whole to standard error when the block is decided.
// Labels and notes are shown by visibleText, so that a control character in an id cannot
// break a line or reach the terminal.
void reportPatched(const std::string& label, double coverage, double confidence);
void reportPatchedDense(const std::string& label, double coverage, double confidence);
void reportPatchedEmpty(const std::string& label, double confidence);
void reportPatchedGrouped(const std::string& label);
// After the last block, only when there are notes.
void reportFallbackReasons(const std::vector<std::string>& notes);
void reportSafetyGate(const std::vector<std::string>& notes);

}  // namespace letterforge
