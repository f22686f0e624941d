// Encoding of a full A4 page at 300 dpi: the PNG writer's candidate settings, and JPEG and
// WebP as the programs write them, each reporting its time and the size of the file it makes
// (counter bytes). Times are wall time and the calling thread's CPU time: the PNG candidates
// run on one thread, so that CPU time is their whole cost, except the chosen settings on two
// threads, to be compared by wall time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/image_encoders.h"
#include "platform/page_bitmap.h"
#include "platform/png_encoder.h"

namespace {

using platform::Color;
using platform::PageBitmap;
using platform::PngSettings;
using platform::Rect;
using platform::Rgb8;

constexpr std::int64_t kPageWidth = 2480;
constexpr std::int64_t kPageHeight = 3508;
constexpr Color kBlack{0, 0, 0, 1};

struct Random {
  std::uint32_t state = 2463534242u;
  std::uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double unit() { return next() / 4294967296.0; }
};

// Rows of glyph-sized strokes inside a white bubble with a black outline.
void drawBubble(PageBitmap& page, Random& random, double x, double y, double w, double h) {
  page.fillRoundedRect(Rect{x - 6, y - 6, w + 12, h + 12}, 60, kBlack);
  page.fillRoundedRect(Rect{x, y, w, h}, 56, platform::kWhite);
  for (double line = y + h - 70; line > y + 30; line -= 52) {
    for (double gx = x + 50; gx < x + w - 60;) {
      const double glyph = 14 + random.unit() * 22;
      page.fillRect(Rect{gx, line, 5 + random.unit() * 4, 34}, kBlack);
      page.fillRect(Rect{gx, line + (random.unit() < 0.5 ? 0 : 30), glyph, 5}, kBlack);
      gx += glyph + 8 + (random.unit() < 0.15 ? 22 : 0);
    }
  }
}

void drawScreentone(PageBitmap& page, const Rect& panel) {
  for (std::int64_t y = std::int64_t(panel.y); y < std::int64_t(panel.y + panel.height); ++y) {
    for (std::int64_t x = std::int64_t(panel.x); x < std::int64_t(panel.x + panel.width); ++x) {
      const double dx = std::fmod(double(x), 10.0) - 5.0;
      const double dy = std::fmod(double(y), 10.0) - 5.0;
      const double radius = 1.0 + 3.0 * (y - panel.y) / panel.height;
      if (dx * dx + dy * dy <= radius * radius) page.setPixel(x, y, Rgb8{30, 30, 30});
    }
  }
}

void drawPhoto(PageBitmap& page, Random& random, const Rect& panel) {
  for (std::int64_t y = std::int64_t(panel.y); y < std::int64_t(panel.y + panel.height); ++y) {
    for (std::int64_t x = std::int64_t(panel.x); x < std::int64_t(panel.x + panel.width); ++x) {
      const double base = 120 + 80 * std::sin(x / 90.0) * std::cos(y / 130.0);
      const int noise = int(random.next() % 41) - 20;
      auto channel = [&](double scale) {
        return static_cast<std::uint8_t>(std::clamp(base * scale + noise, 0.0, 255.0));
      };
      page.setPixel(x, y, Rgb8{channel(1.05), channel(0.9), channel(0.75)});
    }
  }
}

// White paper, six panels with black borders, a screentone panel, a photographic panel and
// lettered speech bubbles.
const PageBitmap& comicPage() {
  static const PageBitmap page = [] {
    auto made = PageBitmap::create(kPageWidth, kPageHeight);
    PageBitmap& p = *made;
    Random random;
    p.fillRect(Rect{0, 0, double(kPageWidth), double(kPageHeight)}, platform::kWhite);
    const double margin = 120, gutter = 60;
    const double panelWidth = (kPageWidth - 2 * margin - gutter) / 2;
    const double panelHeight = (kPageHeight - 2 * margin - 2 * gutter) / 3;
    for (int row = 0; row < 3; ++row) {
      for (int column = 0; column < 2; ++column) {
        const Rect panel{margin + column * (panelWidth + gutter), margin + row * (panelHeight + gutter),
                         panelWidth, panelHeight};
        p.strokeRect(panel, 8, kBlack);
        if (row == 1 && column == 0) drawScreentone(p, Rect{panel.x + 8, panel.y + 8, panel.width - 16, panel.height - 16});
        if (row == 0 && column == 1) drawPhoto(p, random, Rect{panel.x + 8, panel.y + 8, panel.width - 16, panel.height - 16});
        drawBubble(p, random, panel.x + 80, panel.y + panel.height - 420, 520, 340);
        if (column == 0) drawBubble(p, random, panel.x + 520, panel.y + 90, 440, 260);
      }
    }
    return std::move(p);
  }();
  return page;
}

template <typename Encode>
void encodePage(benchmark::State& state, Encode encode) {
  const PageBitmap& page = comicPage();
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string failure;
    const auto encoded = encode(page, failure);
    if (!encoded) {
      state.SkipWithError(failure.c_str());
      return;
    }
    bytes = encoded->size();
    benchmark::DoNotOptimize(encoded->data());
  }
  state.counters["bytes"] = benchmark::Counter(double(bytes));
}

void registerCandidates() {
  auto add = [](const std::string& name, auto encode) {
    benchmark::RegisterBenchmark(name.c_str(), [encode](benchmark::State& state) { encodePage(state, encode); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5)
        ->UseRealTime();
  };
  auto png = [&add](const std::string& name, PngSettings settings) {
    add("png/" + name, [settings](const PageBitmap& page, std::string& failure) {
      return platform::encodePng(page, settings, failure);
    });
  };
  // One thread, so that the CPU time is the whole cost; then the chosen settings on two.
  for (int level = 0; level <= 3; ++level) {
    png("level" + std::to_string(level),
        PngSettings{.compressor = platform::PngCompressor::kLibrary, .level = level, .threads = 1});
  }
  png("pixelmatcher", PngSettings{.compressor = platform::PngCompressor::kPixelMatcher, .threads = 1});
  png("chosen", PngSettings{.threads = 1});
  png("chosen/rgba", PngSettings{.alwaysRgba = true, .threads = 1});
  png("chosen/bands1MiB", PngSettings{.threads = 1, .bandBytes = 1 << 20});
  png("chosen/bands4MiB", PngSettings{.threads = 1, .bandBytes = 4 << 20});
  png("chosen/oneband", PngSettings{.threads = 1, .bandBytes = std::int64_t{1} << 40});
  png("chosen/threads2", PngSettings{.threads = 2});
  for (int quality : {75, 90}) {
    add("jpeg/quality" + std::to_string(quality), [quality](const PageBitmap& page, std::string& failure) {
      return platform::encodeJpeg(page, quality, failure);
    });
  }
  add("webp/quality90", [](const PageBitmap& page, std::string& failure) {
    return platform::encodeWebp(page, 90, failure);
  });
  add("webp/lossless", [](const PageBitmap& page, std::string& failure) {
    return platform::encodeWebp(page, std::nullopt, failure);
  });
}

const bool registered = (registerCandidates(), true);

}  // namespace
