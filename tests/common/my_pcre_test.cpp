// MyPcre: compile failures, capture offsets and the guards of the getters.
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

TEST(MyPcre, AGroupThatTookNoPartReportsMinusOne) {
  MyPcre item("^((\\d+)|(\\d+-\\d+))$", 0);
  ASSERT_EQ(item.SlotCount(), 4);
  ASSERT_EQ(RunOn(item, "3-7"), 4);
  std::vector<MatchedPoint> points(item.SlotCount());
  ASSERT_EQ(item.GetMatches(points), 4);
  EXPECT_EQ(points[1].end, 3);
  EXPECT_EQ(points[2].start, -1);
  EXPECT_EQ(points[2].end, -1);
  EXPECT_EQ(points[3].start, 0);
  EXPECT_EQ(points[3].end, 3);
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

TEST(MyPcre, OffsetsCountFromTheSubjectAndTheLengthBoundsIt) {
  MyPcre line("^(\\w+)$", PCRE_MULTILINE);
  ASSERT_EQ(RunOn(line, "one\ntwo\n", 4), 2);
  MatchedPoint word;
  ASSERT_EQ(line.GetMatch(word, 1), 0);
  EXPECT_EQ(word.start, 4);
  EXPECT_EQ(word.end, 7);
  // The byte before the offset stays visible: mid-line, "^" cannot hold.
  EXPECT_LT(RunOn(line, "one\ntwo\n", 5), 1);

  MyPcre tail("c$", 0);
  const char bytes[] = {'a', 'b', 'c', 'X'};  // no terminating zero
  EXPECT_EQ(tail.Exec(bytes, 3, 0, 0), 1);
  EXPECT_LT(tail.Exec(bytes, 4, 0, 0), 1);
  EXPECT_LT(tail.Exec(bytes, 3, 10, 0), 0);  // PCRE's error, not a crash
}

}  // namespace
