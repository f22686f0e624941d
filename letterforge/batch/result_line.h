#pragma once

#include <string>

#include "letterforge/batch/page_run.h"

namespace letterforge {

// The report of a page as one line of JSON, without its line feed:
//   {"line":3,"image":"...","output":"...","debug":"...","ok":true,"status":0,
//    "milliseconds":812,"report":["bubble_clean patched b1 coverage=0.32 confidence=0.99"],
//    "blocks":[{"id":"b1","item":"b1+b2","cleanup":"patched","coverage":0.32,
//               "confidence":0.99,"drawn":true,"font_size":23.5,"overflowed":false,
//               "unknown_characters":0}]}
// A failed page has "ok":false, its status class and "message". A path appears when known
// ("debug" only when a debug image was asked for), "coverage" and "confidence" only when
// known, "font_size" only for drawn text; a fallback adds "fallback_reason" and
// "fallback_cleanup". Then "warnings", an array of texts (what is likely wrong although the
// page rendered); a page not rendered again adds "skipped" with the reason.
std::string resultLine(const PageReport& report);

// The check of a page as one line of JSON, without its line feed:
//   {"line":3,"image":"...","output":"...","ok":false,
//    "problems":[{"status":1,"message":"Could not open image: p3.png"}],"warnings":[]}
// "ok" is true when there is no problem.
std::string checkLine(const PageCheckReport& report);

}  // namespace letterforge
