#include "letterforge/inputs/payload_checks.h"

#include <cstdio>
#include <set>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

// Ids listed in one warning; the rest are counted.
constexpr std::size_t kIdsShown = 8;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string idList(const std::vector<std::string>& ids) {
  std::string list;
  for (std::size_t i = 0; i < ids.size() && i < kIdsShown; ++i) {
    list += (i == 0 ? "'" : ", '") + visibleText(ids[i]) + "'";
  }
  if (ids.size() > kIdsShown) list += " and " + std::to_string(ids.size() - kIdsShown) + " more";
  return list;
}

bool missesPage(const BBox& box, std::int64_t width, std::int64_t height) {
  return box.x >= static_cast<double>(width) || box.y >= static_cast<double>(height) ||
         box.x + box.w <= 0.0 || box.y + box.h <= 0.0;
}

}  // namespace

std::vector<std::string> payloadWarnings(const OcrPayload& ocr, const TranslationPayload& translations,
                                         std::int64_t imageWidth, std::int64_t imageHeight) {
  std::vector<std::string> warnings;
  if (ocr.width != static_cast<double>(imageWidth) || ocr.height != static_cast<double>(imageHeight)) {
    warnings.push_back("the OCR's width and height are " + number(ocr.width) + " x " + number(ocr.height) +
                       " but the page image is " + std::to_string(imageWidth) + " x " +
                       std::to_string(imageHeight) + ": its boxes are read in the page image's pixels");
  }
  std::set<std::string> ocrIds;
  std::vector<std::string> outside;
  for (const OcrBlock& block : ocr.blocks) {
    ocrIds.insert(canonicalText(block.id));
    if (missesPage(block.bbox, imageWidth, imageHeight)) outside.push_back(block.id);
  }
  std::vector<std::string> unknown;
  for (const TranslationBlock& entry : translations.translations) {
    if (!ocrIds.contains(canonicalText(entry.id))) unknown.push_back(entry.id);
  }
  if (!unknown.empty()) {
    warnings.push_back(std::to_string(unknown.size()) +
                       (unknown.size() == 1 ? " translation id is" : " translation ids are") +
                       " not in the OCR: " + idList(unknown));
  }
  if (!outside.empty()) {
    warnings.push_back(std::to_string(outside.size()) +
                       (outside.size() == 1 ? " OCR box lies" : " OCR boxes lie") +
                       " wholly outside the page: " + idList(outside));
  }
  return warnings;
}

}  // namespace letterforge
