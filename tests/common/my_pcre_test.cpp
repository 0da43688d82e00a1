// MyPcre: compile failures and the guards of the getters. Matching, with
// offsets into a whole file and groups that take no part, is tested
// through its users: the INI reader and the unit-id lists.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "common/my_pcre.h"

namespace {

int RunOn(MyPcre& pattern, const char* subject, int start = 0) {
  return pattern.Exec(subject, static_cast<int>(std::strlen(subject)), start,
                      0);
}

TEST(MyPcre, APatternThatDoesNotCompileNeverMatches) {
  MyPcre broken("(ab", 0);
  EXPECT_EQ(broken.Status(), MyPcre::kCompileFailed);
  EXPECT_FALSE(broken.ErrorText().empty());
  EXPECT_EQ(RunOn(broken, "ab"), MyPcre::kCompileFailed);
  MatchedPoint point{7, 8};
  EXPECT_EQ(broken.GetMatch(point, 0), MyPcre::kNoSuchMatch);
  EXPECT_EQ(point.start, 7);
}

TEST(MyPcre, GettersRefuseWhatTheLastRunDidNotSet) {
  MyPcre item("(a)(b)?", 0);
  MatchedPoint point{5, 6};
  EXPECT_EQ(item.GetMatch(point, 0), MyPcre::kNoSuchMatch);  // no run yet
  ASSERT_EQ(RunOn(item, "ab"), 3);
  EXPECT_EQ(item.GetMatch(point, 3), MyPcre::kNoSuchMatch);
  EXPECT_EQ(item.GetMatch(point, -1), MyPcre::kNoSuchMatch);
  EXPECT_EQ(point.start, 5);
  // Too small a vector is refused whole; a larger one keeps its tail.
  std::vector<MatchedPoint> small(2, MatchedPoint{9, 9});
  EXPECT_EQ(item.GetMatches(small), MyPcre::kNoSuchMatch);
  EXPECT_EQ(small[0].start, 9);
  std::vector<MatchedPoint> large(5, MatchedPoint{9, 9});
  EXPECT_EQ(item.GetMatches(large), 3);
  EXPECT_EQ(large[2].start, 1);
  EXPECT_EQ(large[3].start, 9);
  // A run without a match hides the offsets of the one before.
  EXPECT_LT(RunOn(item, "xyz"), 1);
  EXPECT_EQ(item.GetMatch(point, 0), MyPcre::kNoSuchMatch);
}

}  // namespace
