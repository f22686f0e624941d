#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "letterforge/typeset/text_fitting.h"

namespace letterforge {
namespace {

constexpr int kItems = 30;

// Thirty different lines of about 60 characters, as translations of speech bubbles run.
std::vector<std::string> sampleTexts() {
  const std::vector<std::string> words = {"we",     "never",  "thought", "the",   "storm",
                                          "would",  "reach",  "our",     "quiet", "little",
                                          "harbour", "before", "morning", "came",  "again"};
  std::vector<std::string> texts;
  for (int item = 0; item < kItems; ++item) {
    std::string text;
    for (std::size_t w = static_cast<std::size_t>(item); text.size() < 58; w += 7) {
      if (!text.empty()) text += ' ';
      text += words[w % words.size()];
    }
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
    texts.push_back(text + "!");
  }
  return texts;
}

Rect itemRect(int item) {
  return Rect{40.0 + (item % 5) * 300.0, 60.0 + (item / 5) * 380.0, 200.0, 120.0};
}

void fitAndDraw(benchmark::State& state, bool bubble) {
  auto page = platform::PageBitmap::create(1600, 2400);
  page->fillRect({0, 0, 1600, 2400}, platform::kWhite);
  const TypesetOptions options{};
  platform::TextContext text;
  const std::vector<std::string> texts = sampleTexts();
  for (int item = 0; item < kItems; ++item) {  // warm the font caches
    drawFittedText(text, *page, options, "", texts[item], bubble, false, itemRect(item));
  }
  for (auto _ : state) {
    for (int item = 0; item < kItems; ++item) {
      drawFittedText(text, *page, options, "", texts[item], bubble, false, itemRect(item));
    }
  }
  std::int64_t layouts = 0;
  for (int item = 0; item < kItems; ++item) {
    const Rect rect = itemRect(item);
    layouts += fitTextSize(options, texts[item], bubble, false, rect,
                           textEngineMeasure(text, texts[item], rect.width))
                   .layoutCount;
  }
  state.SetItemsProcessed(state.iterations() * kItems);
  state.counters["us_per_item"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kItems),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
  state.counters["layouts_per_item"] = static_cast<double>(layouts) / kItems;
}

void BM_FittedTextOrdinary(benchmark::State& state) { fitAndDraw(state, false); }
void BM_FittedTextBubble(benchmark::State& state) { fitAndDraw(state, true); }

void BM_MeasureOneLayout(benchmark::State& state) {
  const std::string text = sampleTexts()[0];
  const TextAttributes attributes = makeTextAttributes(1.12, false, true, 17.3, FontWeight::bold);
  platform::TextContext context;
  const MeasureHeight measure = textEngineMeasure(context, text, 200.0);
  benchmark::DoNotOptimize(measure(attributes));
  for (auto _ : state) benchmark::DoNotOptimize(measure(attributes));
}

BENCHMARK(BM_FittedTextOrdinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FittedTextBubble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureOneLayout)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace letterforge
