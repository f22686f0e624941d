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
  FUZZ_CHECK(options->baseFontSize >= 6.0);
  FUZZ_CHECK(!std::isnan(options->maxFontSize));
  if (arguments.size() >= 6) FUZZ_CHECK(options->maxFontSize >= options->baseFontSize);
  FUZZ_CHECK(options->fontScale >= 0.5 && options->fontScale <= 2.0);
  FUZZ_CHECK(options->lineSpacing >= 0.8 && options->lineSpacing <= 2.0);
  FUZZ_CHECK(options->strokeWidth >= 0.0 && options->strokeWidth <= 40.0);
  FUZZ_CHECK(unitComponent(options->strokeColor.red) && unitComponent(options->strokeColor.green) &&
             unitComponent(options->strokeColor.blue));
  return 0;
}
