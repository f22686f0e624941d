#include "letterforge/driver/run_report.h"

#include <cstdio>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

std::string joinedWithCommas(const std::vector<std::string>& entries) {
  std::string joined;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) joined += ',';
    joined += visibleText(entries[i]);
  }
  return joined;
}

}  // namespace

std::string formatTwoDecimals(double value) {
  char text[512];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

void reportPatched(const ReportSink& sink, const std::string& label, double coverage,
                   double confidence) {
  sink("bubble_clean patched " + visibleText(label) + " coverage=" + formatTwoDecimals(coverage) +
       " confidence=" + formatTwoDecimals(confidence));
}

void reportPatchedDense(const ReportSink& sink, const std::string& label, double coverage,
                        double confidence) {
  sink("bubble_clean patched dense " + visibleText(label) + " coverage=" +
       formatTwoDecimals(coverage) + " confidence=" + formatTwoDecimals(confidence));
}

void reportPatchedEmpty(const ReportSink& sink, const std::string& label, double confidence) {
  sink("bubble_clean patched empty " + visibleText(label) + " confidence=" +
       formatTwoDecimals(confidence));
}

void reportPatchedGrouped(const ReportSink& sink, const std::string& label) {
  sink("bubble_clean patched grouped " + visibleText(label));
}

void reportRepainted(const ReportSink& sink, const std::string& action, const std::string& label,
                     std::int64_t pixels) {
  sink("repaint " + action + " " + visibleText(label) + " pixels=" + std::to_string(pixels));
}

void reportFallbackReasons(const ReportSink& sink, const std::vector<std::string>& notes) {
  sink("bubble_clean fallback reasons: " + joinedWithCommas(notes));
}

void reportSafetyGate(const ReportSink& sink, const std::vector<std::string>& notes) {
  sink("cleanup skipped (safety gate) for ids: " + joinedWithCommas(notes));
}

}  // namespace letterforge
