// Page sampling, text masks and inpainting on synthetic pages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "letterforge/cleanup/fill_inpaint.h"
#include "letterforge/cleanup/text_mask.h"
#include "letterforge/raster/pixel_sampling.h"
#include "letterforge/raster/test_pages.h"

namespace {

using letterforge::test_pages::grey;
using letterforge::test_pages::makePage;
using letterforge::test_pages::paintRect;
using platform::PageBitmap;

constexpr letterforge::Rect kLetteringArea{100, 100, 600, 200};

// Mid-grey noise with soft vertical bands, so the measurements see varied pixels.
PageBitmap artworkPage() {
  PageBitmap page = makePage(800, 600);
  for (std::int64_t y = 0; y < 600; ++y) {
    for (std::int64_t x = 0; x < 800; ++x) {
      const auto v = static_cast<std::uint8_t>((x * 7 + y * 13) % 97 + (x / 40) * 8);
      page.setPixel(x, y, platform::Rgb8{v, static_cast<std::uint8_t>(v / 2 + 60), 200});
    }
  }
  return page;
}

// Light paper with rows of dark letter-like strokes filling the lettering area.
PageBitmap letteringPage() {
  PageBitmap page = makePage(800, 400, grey(235));
  for (std::int64_t row = 104; row + 18 < 300; row += 24) {
    for (std::int64_t x = 104; x + 10 < 700; x += 13) {
      paintRect(page, x, row, 2, 18, grey(20));
      paintRect(page, x, row + 8 + (x % 3) * 4, 8, 2, grey(20));
      if (x % 5 == 0) paintRect(page, x + 6, row, 2, 12, grey(40));
    }
  }
  return page;
}

void copyPixels(const PageBitmap& from, PageBitmap& to) {
  for (std::int64_t y = 0; y < from.height(); ++y) {
    for (std::int64_t x = 0; x < from.width(); ++x) to.setPixel(x, y, from.pixel(x, y));
  }
}

void BM_RegionStats600x400(benchmark::State& state) {
  const PageBitmap page = artworkPage();
  const auto bounds = letterforge::pixelBounds(page, {100, 100, 600, 400});
  const letterforge::Exclusions exclusions{.rects = {{150, 150, 80, 40}, {400, 300, 120, 60}}};
  for (auto _ : state) {
    benchmark::DoNotOptimize(letterforge::regionStats(page, bounds, exclusions));
  }
}
BENCHMARK(BM_RegionStats600x400)->Unit(benchmark::kMicrosecond);

void BM_BorderLuminanceMedian600x400(benchmark::State& state) {
  const PageBitmap page = artworkPage();
  const auto bounds = letterforge::pixelBounds(page, {100, 100, 600, 400});
  for (auto _ : state) {
    benchmark::DoNotOptimize(letterforge::borderLuminanceMedian(page, bounds));
  }
}
BENCHMARK(BM_BorderLuminanceMedian600x400)->Unit(benchmark::kMicrosecond);

void BM_GridBrightness600x400(benchmark::State& state) {
  const PageBitmap page = artworkPage();
  const auto bounds = letterforge::pixelBounds(page, {100, 100, 600, 400});
  for (auto _ : state) {
    benchmark::DoNotOptimize(letterforge::gridBrightness(page, bounds));
  }
}
BENCHMARK(BM_GridBrightness600x400)->Unit(benchmark::kMicrosecond);

void BM_BuildTextMask600x200(benchmark::State& state) {
  const PageBitmap page = letteringPage();
  for (auto _ : state) {
    benchmark::DoNotOptimize(letterforge::buildTextMask(page, kLetteringArea));
  }
}
BENCHMARK(BM_BuildTextMask600x200)->Unit(benchmark::kMillisecond);

void BM_InpaintMask600x200(benchmark::State& state) {
  const PageBitmap pristine = letteringPage();
  PageBitmap page = letteringPage();
  const letterforge::TextMask mask = *letterforge::buildTextMask(pristine, kLetteringArea);
  state.counters["cells"] = static_cast<double>(mask.pixels.count());
  for (auto _ : state) {
    state.PauseTiming();
    copyPixels(pristine, page);
    state.ResumeTiming();
    letterforge::inpaintMask(page, mask);
  }
}
BENCHMARK(BM_InpaintMask600x200)->Unit(benchmark::kMillisecond);

void BM_BuildTextMaskAndInpaint600x200(benchmark::State& state) {
  const PageBitmap pristine = letteringPage();
  PageBitmap page = letteringPage();
  for (auto _ : state) {
    state.PauseTiming();
    copyPixels(pristine, page);
    state.ResumeTiming();
    const auto mask = letterforge::buildTextMask(page, kLetteringArea);
    letterforge::inpaintMask(page, *mask);
  }
}
BENCHMARK(BM_BuildTextMaskAndInpaint600x200)->Unit(benchmark::kMillisecond);

}  // namespace
