#include "letterforge/driver/output_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace letterforge {
namespace {

struct NameCase {
  const char* name;
  std::string format;  // empty: none given
  std::string output;
  std::string debug;
  std::vector<std::string> expected;
};
class OutputNameWarningsTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputNameWarningsTest, SayWhenTheNameAndTheFormatDisagree) {
  const NameCase& c = GetParam();
  JobOptions options;
  std::string failure;
  if (!c.format.empty()) {
    ASSERT_TRUE(setJobOption(options, "format", c.format, failure)) << failure;
  }
  EXPECT_EQ(outputNameWarnings(options, c.output, c.debug), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputNameWarningsTest, ::testing::Values(
    NameCase{"ExtensionDecides", "", "out/p1.JPG", "out/d1.webp", {}},
    NameCase{"FormatMatchesTheExtension", "jpeg", "out/p1.jpeg", "", {}},
    NameCase{"NoExtension", "", "out/p1", "out/d1", {}},
    NameCase{"DotInAFolderOnly", "", "out.d/p1", "", {}},
    NameCase{"FormatAgainstTheExtension", "webp", "out/p1.png", "",
             {"the output out/p1.png is written as WebP, as the format option asks, not as its "
              "extension says"}},
    NameCase{"ExtensionOfNoWrittenFormat", "", "out/p1.tif", "out/d1.gif",
             {"the output out/p1.tif is written as PNG: .tif is not a format letterforge writes",
              "the debug image out/d1.gif is written as PNG: .gif is not a format letterforge writes"}},
    NameCase{"FormatGivenForAnUnknownExtension", "jpeg", "out/p1.bmp", "",
             {"the output out/p1.bmp is written as JPEG: .bmp is not a format letterforge writes"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
