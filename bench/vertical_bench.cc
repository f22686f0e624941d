#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "letterforge/typeset/text_fitting.h"
#include "letterforge/typeset/vertical_text.h"

namespace letterforge {
namespace {

// Twenty balloons of Japanese dialogue, as a translated page holds them.
const std::vector<std::string>& japaneseTexts() {
  static const std::vector<std::string> texts = {
      "まさか…本当にここまで来るとは思わなかった！",
      "「明日の朝」って言ったでしょ？",
      "待って！まだ話は終わってないよ",
      "この街の灯りは、いつ見てもきれいだな。",
      "12時までに戻らないと、門が閉まるぞ",
      "えっ!?今なんて言ったの？",
      "ずっと探してたんだ――君のことを",
      "雨が止んだら、港まで歩いてみようか。",
      "そんなの、やってみなきゃわからないだろ",
      "おい、聞こえるか？返事をしろ！",
      "大丈夫。私がついてるから",
      "三日前の嵐で、橋が流されたらしい",
      "ねえ、あの星の名前を知ってる？",
      "今度こそ負けない……絶対に！",
      "ちょっと待ってて。すぐ戻る",
      "その話、もう少し詳しく聞かせてくれ",
      "ありがとう。君がいなかったら、今頃どうなっていたか",
      "静かに！誰か来る",
      "行こう。夜明けまでに山を越えるんだ",
      "また会えるよね？約束だよ",
  };
  return texts;
}

// Balloons taller than wide, as vertical lettering fills them, five to a row; `percent` of
// 150 by 260 pixels (at 50 most texts step down several sizes).
Rect balloonRect(std::size_t item, std::int64_t percent) {
  const double scale = static_cast<double>(percent) / 100.0;
  return Rect{30.0 + static_cast<double>(item % 5) * 310.0,
              40.0 + static_cast<double>(item / 5) * 560.0, 150.0 * scale, 260.0 * scale};
}

void fitAndDraw(benchmark::State& state, TextDirection direction) {
  auto page = platform::PageBitmap::create(1600, 2400);
  page->fillRect({0, 0, 1600, 2400}, platform::kWhite);
  TypesetOptions options{};
  options.direction = direction;
  platform::TextContext text;
  const std::vector<std::string>& texts = japaneseTexts();
  const auto drawAll = [&] {
    for (std::size_t item = 0; item < texts.size(); ++item) {
      drawFittedText(text, *page, options, "", texts[item], true, false, balloonRect(item, state.range(0)));
    }
  };
  drawAll();  // warm the font caches
  for (auto _ : state) drawAll();
  const auto items = static_cast<double>(state.iterations() * texts.size());
  state.counters["us_per_balloon"] = benchmark::Counter(
      items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}

void BM_JapaneseBalloonsHorizontal(benchmark::State& state) {
  fitAndDraw(state, TextDirection::kHorizontal);
}
void BM_JapaneseBalloonsVertical(benchmark::State& state) {
  fitAndDraw(state, TextDirection::kVertical);
}

// The size search alone, as drawFittedText makes it for bubble text: lines measured against
// the area's height, columns against its width.
void fitOnly(benchmark::State& state, bool vertical) {
  const TypesetOptions options{};
  platform::TextContext text;
  const std::vector<std::string>& texts = japaneseTexts();
  std::int64_t layouts = 0;
  const auto fitAll = [&] {
    for (std::size_t item = 0; item < texts.size(); ++item) {
      const Rect area = balloonRect(item, state.range(0));
      const std::string& shown = texts[item];
      if (!vertical) {
        layouts += fitTextSize(options, shown, true, false, area,
                               textEngineMeasureUpTo(text, shown, area.width, area.height))
                       .layoutCount;
        continue;
      }
      const Rect turned{area.x, area.y, area.height, area.width};
      const platform::TextStyle columns{.family = verticalFamily(text, "", shown),
                                        .vertical = true,
                                        .acrossRuns = acrossRuns(shown)};
      layouts += fitTextSize(options, shown, true, false, turned,
                             textEngineMeasureStyled(text, shown, area.height, area.width, columns))
                     .layoutCount;
    }
  };
  fitAll();
  layouts = 0;
  for (auto _ : state) fitAll();
  const auto items = static_cast<double>(state.iterations() * texts.size());
  state.counters["us_per_balloon"] = benchmark::Counter(
      items, benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
  state.counters["layouts_per_balloon"] = static_cast<double>(layouts) / items;
}

void BM_JapaneseFittingHorizontal(benchmark::State& state) { fitOnly(state, false); }
void BM_JapaneseFittingVertical(benchmark::State& state) { fitOnly(state, true); }

BENCHMARK(BM_JapaneseFittingHorizontal)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JapaneseFittingVertical)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JapaneseBalloonsHorizontal)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JapaneseBalloonsVertical)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace letterforge
