#include "platform/text_layout_testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/test_bitmaps.h"
#include "platform/test_case_names.h"
#include "platform/text_layout.h"

namespace platform {
namespace {

using test_cases::PrintTo;

std::string describe(const LaidOutLine& line) {
  std::string text = "line at " + std::to_string(line.start) + "+" + std::to_string(line.length) +
                     (line.rightToLeft ? " rtl" : " ltr") + " left " + std::to_string(line.left) +
                     " baseline " + std::to_string(line.baseline) + ":";
  for (const LaidOutRun& run : line.runs) {
    text += " [" + std::to_string(run.offset) + "+" + std::to_string(run.length) + " level " +
            std::to_string(run.level) + " script " + std::to_string(run.script) + " " + run.font +
            " glyphs " + std::to_string(run.glyphs.size() / 4) + "]";
  }
  return text;
}

// Pieces of text of every kind: neutral characters and numbers of no script of their own,
// words and numbers of many scripts in both directions, marks, emoji sequences, isolates and
// directional marks.
const std::vector<std::string> kNeutrals = {
    "123", "4.5", "(", ")", "!", "?", "...", " - ", "\u00ab", "\u00bb", "\u201c", "\u201d",
    "\u300c", "\u300d", "\u3001", "\u3002", "\uff11\uff12", "%", "#", "+", "\u2014", "\u2026",
    "[", "]", "$9", "\u00a0", "*"};
const std::vector<std::string> kWords = {
    "word", "Wirklichkeitsverlust", "AV", "\u03bb\u03cc\u03b3\u03bf\u03c2",
    "\u0441\u043b\u043e\u0432\u043e", "\u05e9\u05dc\u05d5\u05dd", "\u05e2\u05d5\u05dc\u05dd",
    "\u0645\u0631\u062d\u0628\u0627", "\u0628\u0627\u0644\u0639\u0627\u0644\u0645",
    "\u0928\u092e\u0938\u094d\u0924\u0947", "\u09b6\u09ac\u09cd\u09a6",
    "\u0bb5\u0ba3\u0b95\u0bcd\u0b95\u0bae\u0bcd", "\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35",
    "\u10e1\u10d8\u10e2\u10e7\u10d5\u10d0", "\u6f22\u5b57", "\u304b\u306a",
    "\u30ab\u30bf\u30ab\u30ca",
    "\ud55c\uad6d\uc5b4", "\u1230\u120b\u121d", "\u0562\u0561\u057c", "e\u0301\u0302",
    "\U0001F600", "\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F1EB\U0001F1F7",
    "\u0710\u0712", "\u0786\u07a6", "\u0ea5\u0eb2\u0ea7", "\u0f56\u0f7c\u0f51",
    "\u179f\u17bd\u179f\u17d2\u178f\u17b8", "\u1019\u1004\u103a\u1039\u1002\u101c\u102c",
    "\u0dc3\u0dd2\u0d82", "\u0a97\u0ac1\u0a9c", "\u0a2a\u0a70\u0a1c", "\u0c24\u0c46\u0c32\u0c41",
    "\u0d2e\u0d32\u0d2f\u0d3e\u0d33\u0d02", "\u13a0\u13cd", "\u1403\u14c4", "\ua000\ua001",
    "\u1820\u1821", "\u0663\u0664", "\u06f1\u06f2"};
const std::vector<std::string> kFormats = {"\u2066", "\u2067", "\u2068", "\u2069", "\u200e",
                                           "\u200f", "\u200b", "\u200d"};

// A long text of paragraphs, each often opening with neutral characters, some for longer than
// the first part laid out.
std::string randomLongText(std::mt19937& random, std::size_t bytes) {
  const auto pick = [&](const std::vector<std::string>& from) -> const std::string& {
    return from[random() % from.size()];
  };
  const auto addNeutrals = [&](std::string& text, std::size_t count) {
    for (const std::size_t start = text.size(); text.size() - start < count;) {
      text += pick(kNeutrals);
      if (random() % 3 == 0) text += ' ';
    }
  };
  std::string text;
  addNeutrals(text, random() % 2 == 0 ? 400 + random() % 1200 : random() % 40);
  while (text.size() < bytes) {
    if (random() % 2 == 0) {
      addNeutrals(text, random() % 4 == 0 ? 300 + random() % 900 : random() % 40);
    }
    const std::size_t words = random() % 120;
    for (std::size_t i = 0; i < words && text.size() < bytes; ++i) {
      const int kind = static_cast<int>(random() % 10);
      const std::string& atom =
          kind < 6 ? pick(kWords) : kind < 9 ? pick(kNeutrals) : pick(kFormats);
      const int repeats = random() % 10 == 0 ? 1 + static_cast<int>(random() % 20) : 1;
      for (int r = 0; r < repeats; ++r) text += atom;
      if (random() % 4 != 0) text += ' ';
    }
    const int end = static_cast<int>(random() % 4);
    text += end == 0 ? "\n" : end == 1 ? "\r\n" : end == 2 ? "\u2029" : "\n\n";
  }
  return text;
}

// Random long texts laid out in parts, as drawing them in a short rectangle does, come out
// line for line as the whole text: the same breaks, directions, scripts, fonts and places.
TEST(TextLayoutPartsTest, SettledLinesOfAPartAreThoseOfTheWholeText) {
  std::mt19937 random(2);
  TextContext context;
  int cut = 0;
  for (int i = 0; i < 100; ++i) {
    const std::string text = randomLongText(random, 600 + random() % 2500);
    const double width = 40.0 + static_cast<double>(random() % 400);
    const TextStyle style{.size = 8.0 + static_cast<double>(random() % 300) / 10.0,
                          .weight = FontWeight(random() % 3),
                          .lineSpacing = static_cast<double>(random() % 4),
                          .alignment = random() % 2 == 0 ? TextAlignment::centre : TextAlignment::left};
    const double limit = 20.0 + static_cast<double>(random() % 300);
    const LaidOutText part = laidOutLines(context, text, width, style, limit);
    if (part.whole) continue;
    ++cut;
    const LaidOutText whole = laidOutLines(context, text, width, style, HUGE_VAL);
    ASSERT_TRUE(whole.whole);
    ASSERT_LE(part.settledLines, whole.lines.size()) << i;
    for (std::size_t l = 0; l < part.settledLines; ++l) {
      if (part.lines[l] == whole.lines[l]) continue;
      ADD_FAILURE() << "text " << i << ", line " << l << " of " << part.settledLines << "\npart:  "
                    << describe(part.lines[l]) << "\nwhole: " << describe(whole.lines[l]);
      break;
    }
  }
  EXPECT_GT(cut, 60);
}

// `count` copies of a piece of text.
std::string repeated(const std::string& piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

// Long paragraphs whose first part alone would be laid out otherwise than the whole.
struct LongTextCase {
  const char* name;
  std::string text;
  bool rightToLeft;  // the direction of its lines
};
class LongTextPartTest : public ::testing::TestWithParam<LongTextCase> {};

TEST_P(LongTextPartTest, SettledLinesAreThoseOfTheWholeText) {
  const LongTextCase& c = GetParam();
  TextContext context;
  const TextStyle style{.size = 12};
  const LaidOutText part = laidOutLines(context, c.text, 200, style, 100);
  const LaidOutText whole = laidOutLines(context, c.text, 200, style, HUGE_VAL);
  ASSERT_FALSE(part.whole);
  ASSERT_GT(part.settledLines, 2u);
  for (std::size_t l = 0; l < part.settledLines; ++l) {
    ASSERT_EQ(whole.lines[l].rightToLeft, c.rightToLeft) << "line " << l;
    ASSERT_EQ(part.lines[l], whole.lines[l]) << "line " << l << "\npart:  "
                                             << describe(part.lines[l]) << "\nwhole: "
                                             << describe(whole.lines[l]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LongTextPartTest,
    ::testing::Values(
        // Its first strong letter, far past the first part, makes the paragraph right to left.
        LongTextCase{"NumbersThenHebrew",
                     repeated("1234 ", 200) + repeated("\u05E9\u05DC\u05D5\u05DD ", 50), true},
        // The punctuation and digits take the script of the kana after them, and with it the
        // height of lines that mix the Latin and the CJK font.
        LongTextCase{"CjkPunctuationAndDigitsBeforeKana",
                     repeated("\u300C12\u300D\u3001(3) ", 60) + repeated("\u304B\u306A", 100),
                     false},
        // A paragraph of numbers takes the direction of the first paragraph with a letter.
        LongTextCase{"NumbersBeforeAHebrewParagraph",
                     repeated("1234 ", 200) + "\n" + repeated("\u05E9\u05DC\u05D5\u05DD ", 50),
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

// A part of numbers is laid out with the letter after them, whose script they take: here one
// that no installed font has, which neither shows nor counts among the part's characters.
TEST(TextLayoutPartsTest, WhatAPartIsLaidOutWithIsNeitherDrawnNorCounted) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::to_string(i) + " ";
  text += "\U0001E290";  // a letter of the Toto script
  TextContext context;
  const TextStyle style{.size = 12};
  PageBitmap page = whitePage(200, 200);
  ASSERT_FALSE(laidOutLines(context, text, 180, style, 100).whole);
  EXPECT_EQ(drawText(context, page, text, {10, 10, 180, 100}, style), 0);
  EXPECT_EQ(drawText(context, page, text, {10, 10, 180, 1e5}, style), 1);
}

}  // namespace
}  // namespace platform
