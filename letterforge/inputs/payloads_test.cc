#include "letterforge/inputs/payloads.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

// A file named after the running test, removed when the test is done with it.
struct TempFile {
  explicit TempFile(std::string file) : path(std::move(file)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { std::remove(path.c_str()); }
  std::string path;
};

// Writes `contents` to a fresh file named after the running test.
TempFile writeTempFile(const std::string& contents, const std::string& suffix = "") {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name() + suffix;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::string path = ::testing::TempDir() + name + ".json";
  std::ofstream(path, std::ios::binary) << contents;
  return TempFile{path};
}

const std::string kBlock =
    R"({"id": "b1", "text": "Hi", "confidence": 0.9, "bbox": {"x": 1, "y": 2, "w": 3, "h": 4}})";

std::string ocrDocument(const std::string& blocks) {
  return R"({"width": 800, "height": 600, "blocks": [)" + blocks + "]}";
}

std::string nested(int levels, const std::string& inner) {
  return std::string(levels, '[') + inner + std::string(levels, ']');
}

struct DecodeCase {
  const char* name;
  std::string document;
  std::string failure;  // empty when the document is accepted
  bool failureIsPrefix = false;
};

// Loads the case's document with `load` and checks the outcome and the failure text.
template <typename Load>
void expectOutcome(const DecodeCase& c, Load load) {
  const TempFile file = writeTempFile(c.document);
  const std::string& path = file.path;
  std::string failure;
  const bool loaded = load(path, failure);
  if (c.failure.empty()) {
    EXPECT_TRUE(loaded) << failure;
    return;
  }
  EXPECT_FALSE(loaded);
  const std::string expected = path + ": " + c.failure;
  if (c.failureIsPrefix) {
    EXPECT_EQ(failure.substr(0, expected.size()), expected) << failure;
  } else {
    EXPECT_EQ(failure, expected);
  }
}

class OcrPayloadDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(OcrPayloadDecodeTest, AcceptsOrRejectsWholeDocument) {
  expectOutcome(GetParam(), [](const std::string& path, std::string& failure) {
    return loadOcrPayload(path, failure).has_value();
  });
}

INSTANTIATE_TEST_SUITE_P(
    Documents, OcrPayloadDecodeTest,
    ::testing::Values(
        DecodeCase{"OneBlock", ocrDocument(kBlock), ""},
        DecodeCase{"NoBlocks", ocrDocument(""), ""},
        DecodeCase{"ExtraKeysAtEveryLevelIgnored",
                   R"({"width": 1, "height": 1, "page": 3, "meta": {"deep": [null, true]},
                       "blocks": [{"id": "a", "text": "", "confidence": 1, "polygon": [[0, 0]],
                                   "bbox": {"x": 0, "y": 0, "w": 1, "h": 1, "unit": "px"}}]})",
                   ""},
        DecodeCase{"UnknownKeyMayHoldAnyType",
                   R"({"width": 1, "height": 1, "blocks": [], "Width": "wide"})", ""},
        DecodeCase{"HugeNumbersAreNumbers",
                   ocrDocument(R"({"id": "a", "text": "", "confidence": -1e308,
                                   "bbox": {"x": 1e308, "y": -1e308, "w": 0, "h": 12345678901234567890}})"),
                   ""},
        DecodeCase{"ByteOrderMarkAccepted", "\xEF\xBB\xBF" + ocrDocument(""), ""},
        DecodeCase{"NestingWithinLimitInUnknownKey",
                   R"({"width": 1, "height": 1, "blocks": [], "x": )" + nested(250, "1") + "}", ""},
        DecodeCase{"RootIsArray", "[]", "expected an object at the top level, found an array"},
        DecodeCase{"RootIsNull", "null", "expected an object at the top level, found null"},
        DecodeCase{"MissingWidth", R"({"height": 1, "blocks": []})", "width: required key is missing"},
        DecodeCase{"KeysAreCaseSensitive", R"({"Width": 1, "height": 1, "blocks": []})",
                   "width: required key is missing"},
        DecodeCase{"NullBlocks", R"({"width": 1, "height": 1, "blocks": null})",
                   "blocks: required value is null"},
        DecodeCase{"BlocksIsObject", R"({"width": 1, "height": 1, "blocks": {}})",
                   "blocks: expected an array, found an object"},
        DecodeCase{"HeightAsString", R"({"width": 1, "height": "1", "blocks": []})",
                   "height: expected a number, found a string"},
        DecodeCase{"WidthAsBoolean", R"({"width": true, "height": 1, "blocks": []})",
                   "width: expected a number, found a boolean"},
        DecodeCase{"NumericId",
                   ocrDocument(R"({"id": 7, "text": "", "confidence": 1,
                                   "bbox": {"x": 0, "y": 0, "w": 1, "h": 1}})"),
                   "blocks[0].id: expected a string, found a number"},
        DecodeCase{"BadSecondBlockRejectsAll",
                   ocrDocument(kBlock + R"(, {"id": "b2", "text": "", "confidence": 1,
                                   "bbox": {"x": 0, "y": 0, "w": "3", "h": 1}})"),
                   "blocks[1].bbox.w: expected a number, found a string"},
        DecodeCase{"NullBBoxField",
                   ocrDocument(R"({"id": "a", "text": "", "confidence": 1,
                                   "bbox": {"x": 0, "y": null, "w": 1, "h": 1}})"),
                   "blocks[0].bbox.y: required value is null"},
        DecodeCase{"BlockIsArray", ocrDocument("[]"), "blocks[0]: expected an object, found an array"},
        DecodeCase{"MissingConfidence",
                   ocrDocument(R"({"id": "a", "text": "", "bbox": {"x": 0, "y": 0, "w": 1, "h": 1}})"),
                   "blocks[0].confidence: required key is missing"},
        DecodeCase{"TrailingComma", R"({"width": 1,})", "not valid JSON at byte 13: ", true},
        DecodeCase{"EmptyFile", "", "not valid JSON at byte 1: ", true},
        DecodeCase{"TwoValues", ocrDocument("") + " {}", "not valid JSON at byte ", true},
        DecodeCase{"InvalidUtf8InValue",
                   ocrDocument(R"({"id": "a)" "\xC3\x28" R"(", "text": "", "confidence": 1,
                                   "bbox": {"x": 0, "y": 0, "w": 1, "h": 1}})"),
                   "not valid JSON at byte ", true},
        DecodeCase{"InvalidUtf8InUnknownKey", "{\"\xFF\": 1, \"width\": 1, \"height\": 1, \"blocks\": []}",
                   "not valid JSON at byte ", true},
        DecodeCase{"LoneSurrogateEscape", R"({"width": 1, "height": 1, "blocks": [], "s": "\ud800"})",
                   "not valid JSON at byte ", true},
        DecodeCase{"NumberBeyondDoubleRange", R"({"width": 1e400, "height": 1, "blocks": []})",
                   "not valid JSON: number overflow parsing '1e400'"},
        DecodeCase{"NestingBeyondLimit",
                   R"({"width": 1, "height": 1, "blocks": [], "x": )" + nested(300, "1") + "}",
                   // The opening brace is level 1, so the 256th bracket opens level 257.
                   "nesting deeper than 256 levels at byte 301"},
        DecodeCase{"BracketsInsideStringsDoNotNest",
                   R"({"width": 1, "height": 1, "blocks": [], "s": ")" + std::string(400, '[') +
                       R"(\"]"})",
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

class TranslationPayloadDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TranslationPayloadDecodeTest, AcceptsOrRejectsWholeDocument) {
  expectOutcome(GetParam(), [](const std::string& path, std::string& failure) {
    return loadTranslationPayload(path, failure).has_value();
  });
}

std::string translationDocument(const std::string& entry) {
  return R"({"translations": [)" + entry + "]}";
}

INSTANTIATE_TEST_SUITE_P(
    Documents, TranslationPayloadDecodeTest,
    ::testing::Values(
        DecodeCase{"OnlyEmptyTranslations", R"({"translations": []})", ""},
        DecodeCase{"NullAndMissingOptionals",
                   translationDocument(R"({"id": "a", "source_text": "s", "translated_text": "t",
                                           "needs_review": null, "notes": null,
                                           "confidence": null})"),
                   ""},
        DecodeCase{"NullPageSummary", R"({"page_summary": null, "translations": []})", ""},
        DecodeCase{"MissingTranslations", R"({"page_summary": "p"})",
                   "translations: required key is missing"},
        DecodeCase{"NullTranslations", R"({"translations": null})",
                   "translations: required value is null"},
        DecodeCase{"ConfidenceAsString",
                   translationDocument(R"({"id": "a", "source_text": "s", "translated_text": "t",
                                           "confidence": "0.5"})"),
                   "translations[0].confidence: expected a number, found a string"},
        DecodeCase{"NeedsReviewAsNumber",
                   translationDocument(R"({"id": "a", "source_text": "s", "translated_text": "t",
                                           "needs_review": 1})"),
                   "translations[0].needs_review: expected a boolean, found a number"},
        DecodeCase{"NotesAsArray",
                   translationDocument(R"({"id": "a", "source_text": "s", "translated_text": "t",
                                           "notes": []})"),
                   "translations[0].notes: expected a string, found an array"},
        DecodeCase{"CamelCaseKeyIsNotTheKey",
                   translationDocument(R"({"id": "a", "source_text": "s", "translatedText": "t"})"),
                   "translations[0].translated_text: required key is missing"},
        DecodeCase{"NullTranslatedText",
                   translationDocument(R"({"id": "a", "source_text": "s", "translated_text": null})"),
                   "translations[0].translated_text: required value is null"},
        DecodeCase{"SummaryAsNumber", R"({"page_summary": 3, "translations": []})",
                   "page_summary: expected a string, found a number"},
        DecodeCase{"LanguageAsObject", R"({"source_language_detected": {}, "translations": []})",
                   "source_language_detected: expected a string, found an object"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PayloadsTest, OcrValuesDecodeAsWritten) {
  const TempFile file = writeTempFile(ocrDocument(
      R"({"id": "e\u0301", "text": "Hi", "confidence": 9e-1,
          "bbox": {"x": 12, "y": -2.5, "w": 1.5e2, "h": 0}})"));
  const std::string& path = file.path;
  std::string failure;
  const std::optional<OcrPayload> payload = loadOcrPayload(path, failure);
  ASSERT_TRUE(payload.has_value()) << failure;
  const OcrPayload expected{
      .width = 800.0,
      .height = 600.0,
      .blocks = {OcrBlock{.id = "e\xCC\x81", .text = "Hi", .confidence = 0.9,
                          .bbox = {.x = 12.0, .y = -2.5, .w = 150.0, .h = 0.0}}}};
  EXPECT_EQ(*payload, expected);
}

TEST(PayloadsTest, TranslationValuesDecodeAsWritten) {
  const TempFile file = writeTempFile(R"({"page_summary": "p", "translations": [
      {"id": "a", "source_text": "s", "normalized_source_text": "n", "translated_text": " t\n",
       "confidence": 1, "needs_review": true, "notes": ""},
      {"id": "b", "source_text": "", "translated_text": ""}]})");
  const std::string& path = file.path;
  std::string failure;
  const std::optional<TranslationPayload> payload = loadTranslationPayload(path, failure);
  ASSERT_TRUE(payload.has_value()) << failure;
  const TranslationPayload expected{
      .pageSummary = "p",
      .translations = {TranslationBlock{.id = "a", .sourceText = "s", .normalizedSourceText = "n",
                                        .translatedText = " t\n", .confidence = 1.0,
                                        .needsReview = true, .notes = ""},
                       TranslationBlock{.id = "b"}}};
  EXPECT_EQ(*payload, expected);
}

TEST(PayloadsTest, TextInMemoryDecodesByTheFileRules) {
  std::string failure;
  const std::string document = ocrDocument(kBlock);
  const auto fromFile = loadOcrPayload(writeTempFile(document).path, failure);
  const auto fromMemory = decodeOcrPayload(document, failure);
  ASSERT_TRUE(fromFile.has_value() && fromMemory.has_value()) << failure;
  EXPECT_EQ(*fromMemory, *fromFile);
  EXPECT_EQ(fromMemory->blocks.at(0).bbox, (BBox{1.0, 2.0, 3.0, 4.0}));

  // Failures name the place but no file.
  EXPECT_FALSE(decodeTranslationPayload(R"({"translations": null})", failure).has_value());
  EXPECT_EQ(failure, "translations: required value is null");
  EXPECT_FALSE(decodeOcrPayload(nested(257, "1"), failure).has_value());
  EXPECT_EQ(failure, "nesting deeper than 256 levels at byte 257");
  EXPECT_FALSE(decodeOcrPayload("", failure).has_value());
  EXPECT_EQ(failure.find("not valid JSON at byte 1: "), 0u) << failure;
}

// The parser alone would stop at a NUL byte and accept a valid document before it.
TEST(PayloadsTest, NulByteRejectsTheDocument) {
  const std::string document = ocrDocument("");
  std::string failure;
  EXPECT_FALSE(decodeOcrPayload(document + std::string(1, '\0') + "junk", failure).has_value());
  EXPECT_EQ(failure, "not valid JSON at byte 44: NUL byte");
  const TempFile file = writeTempFile(std::string("{\"translations\": []}\0", 21));
  const std::string& path = file.path;
  EXPECT_FALSE(loadTranslationPayload(path, failure).has_value());
  EXPECT_EQ(failure, path + ": not valid JSON at byte 21: NUL byte");
}

TEST(PayloadsTest, MissingFileIsALoadFailure) {
  std::string failure;
  const std::string path = ::testing::TempDir() + "no_such_payload.json";
  EXPECT_FALSE(loadOcrPayload(path, failure).has_value());
  EXPECT_EQ(failure, path + ": cannot be read: No such file or directory");
}

TEST(PayloadsTest, DirectoryIsALoadFailure) {
  std::string failure;
  EXPECT_FALSE(loadTranslationPayload(::testing::TempDir(), failure).has_value());
  EXPECT_EQ(failure.find(::testing::TempDir() + ": cannot be read: "), 0u) << failure;
}

TEST(PayloadsTest, FileBeyondSizeLimitIsALoadFailure) {
  const TempFile file = writeTempFile("");
  const std::string& path = file.path;
  std::filesystem::resize_file(path, kMaxPayloadBytes + 1);  // sparse: no 64 MiB written
  std::string failure;
  EXPECT_FALSE(loadOcrPayload(path, failure).has_value());
  EXPECT_EQ(failure, path + ": cannot be read: file is larger than 67108864 bytes");
  std::filesystem::remove(path);
}

TEST(PayloadsTest, ParserDetailKeepsReportsPrintable) {
  const TempFile file = writeTempFile("{\"width\": \xFF}");
  const std::string& path = file.path;
  std::string failure;
  EXPECT_FALSE(loadOcrPayload(path, failure).has_value());
  for (const char c : failure) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << failure;
  }
}

}  // namespace
}  // namespace letterforge
