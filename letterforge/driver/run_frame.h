#pragma once

#include <string>
#include <vector>

namespace letterforge {

inline constexpr const char* kUsageLine =
    "Usage: letterforge <image> <ocr-json> <translation-json> <output-png>";

// One whole run: options, page image, planning, page bitmap, cleanup and typesetting, output
// PNG, debug image, completion line. Takes the arguments after the program name and returns
// the exit status; every message has been written when it returns.
int runLetterforge(const std::vector<std::string>& arguments);

}  // namespace letterforge
