#include "platform/cores.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <string>
#include <thread>

namespace platform {
namespace {

struct IdleCoresCase {
  const char* name;
  int usable, held, wanted, granted;
};

class IdleCoresTest : public testing::TestWithParam<IdleCoresCase> {};

TEST_P(IdleCoresTest, GrantsTheIdleCoresUpToTheWanted) {
  const IdleCoresCase& c = GetParam();
  EXPECT_EQ(idleCoresFor(c.usable, c.held, c.wanted), c.granted);
}

// A page of 13 bands wants 12 helpers.
INSTANTIATE_TEST_SUITE_P(Cases, IdleCoresTest,
                         testing::Values(IdleCoresCase{"LonePageOnTwoCores", 2, 1, 12, 1},
                                         IdleCoresCase{"LonePageOnEightCores", 8, 1, 12, 7},
                                         IdleCoresCase{"BatchFillingTwoCores", 2, 2, 12, 0},
                                         IdleCoresCase{"BatchOfTwoJobsOnFourCores", 4, 2, 12, 2},
                                         IdleCoresCase{"MoreJobsThanCores", 2, 3, 12, 0},
                                         IdleCoresCase{"FewerBandsThanIdleCores", 8, 1, 2, 2},
                                         IdleCoresCase{"PageOfOneBand", 8, 1, 0, 0},
                                         IdleCoresCase{"NegativeWanted", 8, 0, -3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CoresTest, HelpersTakeOnlyTheCoresNoThreadHolds) {
  const int cores = usableCores();
  ASSERT_GE(cores, 1);
  const CoreClaim page;
  const HelperCores first(1000);
  EXPECT_EQ(first.count(), cores - 1);
  const HelperCores second(1000);
  EXPECT_EQ(second.count(), 0);
}

TEST(CoresTest, HelpersAreGivenBackWhenTheirWorkEnds) {
  const int cores = usableCores();
  std::optional<HelperCores> held(std::in_place, 1000);
  EXPECT_EQ(held->count(), cores);
  held.reset();
  const HelperCores again(1);
  EXPECT_EQ(again.count(), 1);
}

TEST(CoresTest, AThreadClaimsOneCoreHoweverOftenItAsks) {
  const int cores = usableCores();
  const CoreClaim outer;
  const CoreClaim inner;
  EXPECT_EQ(HelperCores(1000).count(), cores - 1);
}

TEST(CoresTest, ClaimsOfOtherThreadsCount) {
  const int cores = usableCores();
  std::optional<int> helpers;
  const CoreClaim mine;
  std::thread other([&] {
    const CoreClaim theirs;
    helpers = HelperCores(1000).count();
  });
  other.join();
  EXPECT_EQ(*helpers, std::max(cores - 2, 0));
}

struct CoreLimitCase {
  const char* name;
  int limit;
  bool limits;  // whether the usable cores become the limit rather than the affinity's
};

class CoreLimitTest : public testing::TestWithParam<CoreLimitCase> {};

TEST_P(CoreLimitTest, HelpersTakeOnlyTheLimitsIdleCores) {
  const CoreLimitCase& c = GetParam();
  limitCores(0);
  const int usable = c.limits ? std::min(c.limit, usableCores()) : usableCores();
  limitCores(c.limit);
  const CoreClaim page;
  EXPECT_EQ(std::pair(usableCores(), HelperCores(1000).count()), std::pair(usable, usable - 1));
  limitCores(0);
}

INSTANTIATE_TEST_SUITE_P(Cases, CoreLimitTest,
                         testing::Values(CoreLimitCase{"OneCoreOfAWorkerProcess", 1, true},
                                         CoreLimitCase{"LimitAboveTheAffinity", 1000, true},
                                         CoreLimitCase{"ZeroLiftsTheLimit", 0, false},
                                         CoreLimitCase{"NegativeLiftsTheLimit", -2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CoresTest, NoneWantedNoneGiven) {
  EXPECT_EQ(HelperCores(0).count(), 0);
  EXPECT_EQ(HelperCores(-3).count(), 0);
}

}  // namespace
}  // namespace platform
