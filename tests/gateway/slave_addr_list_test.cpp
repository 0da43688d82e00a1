// The unit-id list grammar: what each written form gives, and every form
// that is refused, on one port and across the ports of one gateway.
#include <numeric>
#include <string>

#include <gtest/gtest.h>

#include "gateway/slave_addr_list.h"

namespace {

class SlaveAddrList : public ::testing::Test {
 protected:
  // Parses one port's list against the ids that earlier ports took.
  bool Parse(const char* text) {
    return ParseSlaveAddrList(text, pattern, seen, ids);
  }
  UnitIdList ParseAlone(const char* text) {
    seen.reset();
    ids.clear();
    EXPECT_TRUE(Parse(text)) << text;
    return ids;
  }

  MyPcre pattern{kUnitIdPattern, 0};
  UnitIdSet seen;
  UnitIdList ids;
};

TEST_F(SlaveAddrList, NumbersAndRangesGiveIdsInWrittenOrder) {
  EXPECT_EQ(ParseAlone("1, 3-5"), (UnitIdList{1, 3, 4, 5}));
  EXPECT_EQ(ParseAlone("9,\t2 ,, 4-6"), (UnitIdList{9, 2, 4, 5, 6}));
  EXPECT_EQ(ParseAlone("0"), (UnitIdList{0}));
  EXPECT_EQ(ParseAlone("255"), (UnitIdList{255}));
  EXPECT_EQ(ParseAlone("254-255"), (UnitIdList{254, 255}));
  EXPECT_EQ(ParseAlone("007, 010-012"), (UnitIdList{7, 10, 11, 12}));
  EXPECT_EQ(ParseAlone("0000000000000000000042"), (UnitIdList{42}));
}

TEST_F(SlaveAddrList, FullRangeGivesAllIds) {
  UnitIdList all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(ParseAlone("0-255"), all);
  EXPECT_TRUE(seen.all());
}

TEST_F(SlaveAddrList, EmptyOrDelimiterOnlyTextGivesNoIds) {
  EXPECT_TRUE(ParseAlone("").empty());
  EXPECT_TRUE(ParseAlone(" ,\t, ").empty());
  EXPECT_TRUE(seen.none());
}

TEST_F(SlaveAddrList, MalformedTokensAreRefused) {
  for (const char* text :
       {"1 - 3", "1;2", "-", "1-", "-3", "a", "0x10", "+5", "1-2-3", "1..3",
        "\xd9\xa3",  // an Arabic-Indic digit is no \d here
        "5a"}) {
    ids.clear();
    seen.reset();
    EXPECT_FALSE(Parse(text)) << text;
  }
}

TEST_F(SlaveAddrList, OutOfRangeNumbersAreRefused) {
  // 4294967303 is 7 past 2^32: it must not wrap round to the id 7.
  for (const char* text : {"256", "0-256", "300-301", "4294967303",
                           "4294967296-4294967297", "99999999999999999999"}) {
    ids.clear();
    seen.reset();
    EXPECT_FALSE(Parse(text)) << text;
  }
}

TEST_F(SlaveAddrList, RangesMustAscend) {
  for (const char* text : {"5-5", "9-3", "0-0", "255-255"}) {
    ids.clear();
    seen.reset();
    EXPECT_FALSE(Parse(text)) << text;
  }
}

TEST_F(SlaveAddrList, AnIdListedTwiceOnOnePortIsRefused) {
  for (const char* text : {"1,1", "1-3,2", "2,1-3", "1-3 3-4", "007, 7"}) {
    ids.clear();
    seen.reset();
    EXPECT_FALSE(Parse(text)) << text;
  }
}

TEST_F(SlaveAddrList, AnIdTakenByAnEarlierPortIsRefused) {
  ASSERT_TRUE(Parse("1-3"));
  ASSERT_TRUE(Parse("10"));
  const UnitIdList before = ids;
  EXPECT_FALSE(Parse("4, 3"));
  EXPECT_FALSE(Parse("8-12"));
  // A refused list takes nothing: its good ids stay free for later ports.
  EXPECT_EQ(ids, before);
  EXPECT_FALSE(seen.test(4));
  EXPECT_FALSE(seen.test(8));
  EXPECT_TRUE(Parse("4-9"));
  EXPECT_EQ(ids, (UnitIdList{1, 2, 3, 10, 4, 5, 6, 7, 8, 9}));
}

TEST_F(SlaveAddrList, APatternThatFailedToCompileMatchesNothing) {
  MyPcre broken("((", 0);
  EXPECT_FALSE(ParseSlaveAddrList("1", broken, seen, ids));
  EXPECT_TRUE(ids.empty());
}

}  // namespace
