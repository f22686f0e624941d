#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "letterforge/inputs/payloads.h"

namespace letterforge {

// What is likely wrong with a page's payloads although the page renders: the two usual faults
// of a pipeline (OCR run on a resized image, ids out of step between the two files) and
// boxes that miss the page. One line each, ids shown as report lines show them; empty when
// nothing is amiss. Warnings only: the page renders as it would without them.
std::vector<std::string> payloadWarnings(const OcrPayload& ocr, const TranslationPayload& translations,
                                         std::int64_t imageWidth, std::int64_t imageHeight);

}  // namespace letterforge
