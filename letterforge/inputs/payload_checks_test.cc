#include "letterforge/inputs/payload_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace letterforge {
namespace {

OcrBlock block(const std::string& id, BBox box = {10, 10, 20, 20}) {
  return OcrBlock{.id = id, .text = "", .confidence = 1.0, .bbox = box};
}

TranslationPayload translated(const std::vector<std::string>& ids) {
  TranslationPayload payload;
  for (const std::string& id : ids) payload.translations.push_back({.id = id, .translatedText = "x"});
  return payload;
}

struct WarningCase {
  const char* name;
  OcrPayload ocr;
  TranslationPayload translations;
  std::vector<std::string> expected;
};
class PayloadWarningsTest : public ::testing::TestWithParam<WarningCase> {};

TEST_P(PayloadWarningsTest, NamesWhatIsLikelyWrong) {
  const WarningCase& c = GetParam();
  EXPECT_EQ(payloadWarnings(c.ocr, c.translations, 100, 80), c.expected);
}

const std::string kNine[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};

INSTANTIATE_TEST_SUITE_P(Pages, PayloadWarningsTest, ::testing::Values(
    WarningCase{"InStep", {100, 80, {block("b1"), block("b2")}}, translated({"b1", "b2"}), {}},
    WarningCase{"UntranslatedBlocksAreNoFault", {100, 80, {block("b1"), block("sfx")}}, translated({"b1"}), {}},
    WarningCase{"OcrOnAHalvedImage", {50, 40, {block("b1")}}, translated({"b1"}),
                {"the OCR's width and height are 50 x 40 but the page image is 100 x 80: its boxes are "
                 "read in the page image's pixels"}},
    WarningCase{"HeightAloneDiffers", {100, 80.5, {}}, translated({}),
                {"the OCR's width and height are 100 x 80.5 but the page image is 100 x 80: its boxes "
                 "are read in the page image's pixels"}},
    WarningCase{"IdsOutOfStep", {100, 80, {block("b1")}}, translated({"b1", "b2", "b\n3"}),
                {"2 translation ids are not in the OCR: 'b2', 'b\\n3'"}},
    WarningCase{"OneIdOutOfStep", {100, 80, {block("b1")}}, translated({"b1", "b2"}),
                {"1 translation id is not in the OCR: 'b2'"}},
    WarningCase{"OneBoxOffThePage", {100, 80, {block("b1", {0, -30, 5, 30})}}, translated({"b1"}),
                {"1 OCR box lies wholly outside the page: 'b1'"}},
    WarningCase{"CanonicallyEqualIdsMatch", {100, 80, {block("caf\xC3\xA9")}}, translated({"cafe\xCC\x81"}), {}},
    WarningCase{"ManyIdsCounted", {100, 80, {}}, translated({kNine, kNine + 9}),
                {"9 translation ids are not in the OCR: 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h' and 1 more"}},
    WarningCase{"BoxesOffThePage",
                {100, 80, {block("right", {100, 0, 5, 5}), block("below", {0, 80, 5, 5}),
                           block("left", {-5, 0, 5, 5}), block("edge", {99, 79, 5, 5})}},
                translated({"right", "below", "left", "edge"}),
                {"3 OCR boxes lie wholly outside the page: 'right', 'below', 'left'"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
