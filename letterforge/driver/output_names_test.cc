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
  EXPECT_EQ(outputNameWarnings(options, c.output), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputNameWarningsTest, ::testing::Values(
    NameCase{"ExtensionDecides", "", "out/p1.JPG", {}},
    NameCase{"FormatMatchesTheExtension", "jpeg", "out/p1.jpeg", {}},
    NameCase{"NoExtension", "webp", "out/p1", {}},
    NameCase{"DotInAFolderOnly", "png", "out.d/p1", {}},
    NameCase{"FormatAgainstTheExtension", "webp", "out/p1.png",
             {"the output out/p1.png is written as WebP, as the format option asks, not as its "
              "extension says"}},
    NameCase{"FormatForAnExtensionNotWritten", "jpeg", "out/p1.bmp",
             {"the output out/p1.bmp is written as JPEG, as the format option asks: .bmp is not a "
              "format letterforge writes"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace letterforge
