#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace letterforge {

// Receives each report line, without its line feed, at the moment its block is decided.
using ReportSink = std::function<void(std::string_view line)>;

// A number as the C format "%.2f" writes it: fixed, two decimals, no grouping.
std::string formatTwoDecimals(double value);

// The cleanup report lines, each handed to the sink when its block is decided. Labels and
// notes are shown by visibleText, so that a control character in an id cannot break a line
// or reach a terminal.
void reportPatched(const ReportSink& sink, const std::string& label, double coverage,
                   double confidence);
void reportPatchedDense(const ReportSink& sink, const std::string& label, double coverage,
                        double confidence);
void reportPatchedEmpty(const ReportSink& sink, const std::string& label, double confidence);
void reportPatchedGrouped(const ReportSink& sink, const std::string& label);
// What the repaint pass did with a block: its action word and the pixels it repainted.
void reportRepainted(const ReportSink& sink, const std::string& action, const std::string& label,
                     std::int64_t pixels);
// After the last block, only when there are notes.
void reportFallbackReasons(const ReportSink& sink, const std::vector<std::string>& notes);
void reportSafetyGate(const ReportSink& sink, const std::vector<std::string>& notes);

}  // namespace letterforge
