#include "letterforge/driver/block_flags.h"

#include <gtest/gtest.h>

#include "letterforge/driver/exit_status.h"

namespace letterforge {
namespace {

TEST(BlockFlagsTest, WordsInTheirOrder) {
  EXPECT_EQ(flagWords({}), std::vector<std::string>{});
  EXPECT_EQ(flagWords({.uncleaned = true, .overflowed = true, .unknownCharacters = true,
                       .spansBalloons = true, .noVerticalForms = true}),
            (std::vector<std::string>{"uncleaned", "overflowed", "unknown_characters",
                                      "spans_balloons", "no_vertical_forms"}));
}

TEST(BlockFlagsTest, FlaggedPageNamesTheBlocksOfEachFlagAskedFor) {
  const std::vector<BlockOutcome> blocks = {
      {.id = "a1", .flags = {.uncleaned = true, .overflowed = true}},
      {.id = "a2", .flags = {.spansBalloons = true}},
      {.id = "b\n1", .flags = {.uncleaned = true}}};
  EXPECT_EQ(flaggedPageFailure(blocks, {.uncleaned = true, .overflowed = true}),
            (RunFailure{"flagged blocks: uncleaned a1, b\\n1; overflowed a1", kExitFlagged}));
  EXPECT_EQ(flaggedPageFailure(blocks, {.unknownCharacters = true}), std::nullopt);
  EXPECT_EQ(flaggedPageFailure({}, {.uncleaned = true}), std::nullopt);
  EXPECT_TRUE(sharesFlag({.overflowed = true}, {.uncleaned = true, .overflowed = true}));
  EXPECT_FALSE(sharesFlag({.overflowed = true}, {.spansBalloons = true}));
}

}  // namespace
}  // namespace letterforge
