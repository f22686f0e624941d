// The command line of letterforge: the input split at NUL bytes into arguments.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "letterforge/driver/render_options.h"

namespace {

bool unitComponent(double c) { return c >= 0.0 && c <= 1.0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace letterforge;
  const std::vector<std::string> arguments = splitArguments(data, size);
  for (const std::string& argument : arguments) {
    if (const auto color = parseHexColor(argument)) {
      FUZZ_CHECK(unitComponent(color->red) && unitComponent(color->green) &&
                 unitComponent(color->blue) && color->alpha == 1.0);
    }
  }
  const auto options = parseRenderOptions(arguments);
  if (arguments.size() < 4) {
    FUZZ_CHECK(!options);
    return 0;
  }
  FUZZ_CHECK(options.has_value());
  // The bounds hold whatever was given, not-a-number included.
  const TypesetOptions& t = options->settings.typeset;
  FUZZ_CHECK(t.baseFontSize >= 6.0);
  FUZZ_CHECK(!std::isnan(t.maxFontSize));
  if (arguments.size() >= 6) FUZZ_CHECK(t.maxFontSize >= t.baseFontSize);
  FUZZ_CHECK(t.fontScale >= 0.5 && t.fontScale <= 2.0);
  FUZZ_CHECK(t.lineSpacing >= 0.8 && t.lineSpacing <= 2.0);
  FUZZ_CHECK(t.strokeWidth >= 0.0 && t.strokeWidth <= 40.0);
  FUZZ_CHECK(unitComponent(t.strokeColor.red) && unitComponent(t.strokeColor.green) &&
             unitComponent(t.strokeColor.blue));
  return 0;
}
