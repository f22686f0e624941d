#include "letterforge/batch/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace letterforge {
namespace {

constexpr int kLongestBar = 40;
constexpr int kShortestBar = 10;

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::optional<double> pagesPerMinute(const Progress& p) {
  if (p.done <= 0 || !(p.elapsedSeconds > 0.0)) return std::nullopt;
  return p.done * 60.0 / p.elapsedSeconds;
}

std::string rateText(const Progress& p) {
  const auto rate = pagesPerMinute(p);
  return (rate ? printed("%.1f", *rate) : "--") + " pages/min";
}

std::string timeLeftText(const Progress& p) {
  const auto rate = pagesPerMinute(p);
  if (!rate) return "--:-- left";
  return formatDuration(static_cast<double>(p.total - p.done) * 60.0 / *rate) + " left";
}

// ", 3 blocks left uncleaned on 2 pages, 5 overflowed", or the short form of progress lines.
std::string flaggedText(const Progress& p, bool whole) {
  std::string text;
  const auto add = [&text](std::int64_t n, const std::string& words) {
    if (n > 0) text += ", " + std::to_string(n) + " " + words;
  };
  if (whole) {
    add(p.uncleanedBlocks, std::string(p.uncleanedBlocks == 1 ? "block" : "blocks") +
                               " left uncleaned on " + std::to_string(p.uncleanedPages) +
                               (p.uncleanedPages == 1 ? " page" : " pages"));
  } else {
    add(p.uncleanedBlocks, "uncleaned");
  }
  add(p.overflowedBlocks, "overflowed");
  add(p.unknownCharacterBlocks, "with unknown characters");
  add(p.spanningBlocks, "spanning balloons");
  return text;
}

std::string countText(const Progress& p) {
  std::string text = std::to_string(p.done) + "/" + std::to_string(p.total) + " pages";
  if (p.failed > 0) text += ", " + std::to_string(p.failed) + (p.checking ? " with problems" : " failed");
  return text + flaggedText(p, false);
}

}  // namespace

std::string formatDuration(double seconds) {
  const auto whole = static_cast<std::int64_t>(std::ceil(std::max(seconds, 0.0)));
  const std::int64_t hours = whole / 3600;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  }
  return text;
}

std::string progressLine(const Progress& progress) {
  return countText(progress) + ", " + rateText(progress) + ", " + timeLeftText(progress);
}

std::string progressBar(const Progress& progress, int columns) {
  std::string text = progressLine(progress);
  // Redrawn in place, the line must never wrap: a narrow terminal gets the figures alone.
  const int room = columns - 1 - static_cast<int>(text.size()) - 3;
  if (room < kShortestBar) return text.substr(0, static_cast<std::size_t>(std::max(columns - 1, 0)));
  const int width = std::min(room, kLongestBar);
  const double share = progress.total > 0 ? static_cast<double>(progress.done) / progress.total : 0;
  const int filled = std::clamp(static_cast<int>(share * width), 0, width);
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + text;
}

std::string summaryLine(const Progress& progress) {
  const std::int64_t fine = progress.done - progress.failed - progress.skipped;
  std::string text = std::to_string(progress.total) + " pages in " +
                     formatDuration(progress.elapsedSeconds) + " (" + rateText(progress) +
                     "): " + std::to_string(fine) + (progress.checking ? " without problems" : " rendered");
  if (progress.failed > 0) {
    text += ", " + std::to_string(progress.failed) + (progress.checking ? " with problems" : " failed");
  }
  if (progress.skipped > 0) text += ", " + std::to_string(progress.skipped) + " skipped";
  if (progress.done < progress.total) {
    text += ", " + std::to_string(progress.total - progress.done) + " not started";
  }
  if (progress.resultsLost > 0) text += ", " + std::to_string(progress.resultsLost) + " results lost";
  const std::string flagged = flaggedText(progress, true);
  if (!flagged.empty()) text += "; " + flagged.substr(2);
  return text;
}

}  // namespace letterforge
