#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace letterforge {

// Box of one OCR block in page image pixels: origin top-left, y downwards.
struct BBox {
  double x = 0.0;
  double y = 0.0;
  double w = 0.0;
  double h = 0.0;
  bool operator==(const BBox&) const = default;
};

struct OcrBlock {
  std::string id{};
  std::string text{};       // what the OCR read; validated only
  double confidence = 0.0;  // validated only
  BBox bbox{};
  bool operator==(const OcrBlock&) const = default;
};

struct OcrPayload {
  double width = 0.0;   // validated only: the page image's own size defines the page
  double height = 0.0;  // validated only
  std::vector<OcrBlock> blocks{};
  bool operator==(const OcrPayload&) const = default;
};

struct TranslationBlock {
  std::string id{};
  std::string sourceText{};                           // validated only
  std::optional<std::string> normalizedSourceText{};  // validated only
  std::string translatedText{};                       // the text to typeset, as decoded
  std::optional<double> confidence{};                 // validated only
  std::optional<bool> needsReview{};                  // validated only
  std::optional<std::string> notes{};                 // validated only
  bool operator==(const TranslationBlock&) const = default;
};

struct TranslationPayload {
  std::optional<std::string> pageSummary{};             // validated only
  std::optional<std::string> sourceLanguageDetected{};  // validated only
  std::vector<TranslationBlock> translations{};
  bool operator==(const TranslationPayload&) const = default;
};

// Largest payload file that is read, and deepest nesting of arrays and objects accepted.
inline constexpr std::uint64_t kMaxPayloadBytes = 64ull * 1024 * 1024;
inline constexpr int kMaxPayloadNesting = 256;

// Reads and decodes the OCR file. Absent when the file cannot be read, is not UTF-8 JSON or
// breaks a decoding rule anywhere; `failure` then names the file, the place and the fault,
// as in "ocr.json: blocks[3].bbox.w: expected a number, found a string".
std::optional<OcrPayload> loadOcrPayload(const std::string& path, std::string& failure);

// The same for the translation file.
std::optional<TranslationPayload> loadTranslationPayload(const std::string& path,
                                                         std::string& failure);

// Decode the text of a file already in memory by the same rules (nesting included, size not);
// `failure` names the place and the fault without a file name.
std::optional<OcrPayload> decodeOcrPayload(std::string_view json, std::string& failure);
std::optional<TranslationPayload> decodeTranslationPayload(std::string_view json,
                                                           std::string& failure);

// A JSON parser's explanation of a fault without its exception tag and position, with bytes
// outside printable ASCII escaped so that broken input cannot put broken text into a report.
std::string parserDetail(std::string_view what);

}  // namespace letterforge
