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

// One user-perceived character of `length` repeats of `piece` after `first`, fitted and
// drawn outlined: the cost of a character drawn whole grows with its length, no faster.
void drawLongCharacter(benchmark::State& state, const std::string& first,
                       const std::string& piece) {
  std::string text = first;
  for (std::int64_t i = 0; i < state.range(0); ++i) text += piece;
  auto page = platform::PageBitmap::create(400, 300);
  page->fillRect({0, 0, 400, 300}, platform::kWhite);
  const TypesetOptions options{};
  platform::TextContext context;
  drawFittedText(context, *page, options, "", "warm", false, false, {20, 20, 360, 260});
  for (auto _ : state) {
    drawFittedText(context, *page, options, "", text, false, false, {20, 20, 360, 260});
  }
  state.SetComplexityN(state.range(0));
}

// Emoji joined by zero-width joiners; a consonant with spacing vowel signs: drawn whole.
void BM_LongCharacterOfJoinedEmoji(benchmark::State& state) {
  drawLongCharacter(state, "\U0001F468", "\u200D\U0001F468");
}
void BM_LongCharacterOfSpacingVowelSigns(benchmark::State& state) {
  drawLongCharacter(state, "\u0915", "\u093E");
}
// Marks that stack, of class 0 or between grapheme joiners: drawn up to the limit of a stack,
// so the cost grows only with reading the text.
void BM_LongCharacterOfThaiVowelSignsAbove(benchmark::State& state) {
  drawLongCharacter(state, "\u0E01", "\u0E31");
}
void BM_LongCharacterOfAccentsAndGraphemeJoiners(benchmark::State& state) {
  drawLongCharacter(state, "a", "\u0301\u0301\u0301\u0301\u0301\u0301\u0301\u0301\u0301\u034F");
}

BENCHMARK(BM_FittedTextOrdinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FittedTextBubble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureOneLayout)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LongCharacterOfJoinedEmoji)
    ->RangeMultiplier(4)->Range(256, 65536)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongCharacterOfSpacingVowelSigns)
    ->RangeMultiplier(4)->Range(256, 65536)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongCharacterOfThaiVowelSignsAbove)
    ->RangeMultiplier(4)->Range(256, 65536)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongCharacterOfAccentsAndGraphemeJoiners)
    ->RangeMultiplier(4)->Range(256, 65536)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace letterforge
