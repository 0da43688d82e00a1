// The small text helpers: case-blind names, tokens, log stamps, system
// error texts and the capture guards of MyPcre.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ci_string.h"
#include "common/log_text.h"
#include "common/my_pcre.h"
#include "common/string_tokenizer.h"

namespace {

// Lookups that differ only in letter case are driven through the
// configuration readers; here what must not fold, and the order.
TEST(CiString, FoldsAsciiLettersOnlyAndOrdersByFoldedUnsignedBytes) {
  EXPECT_NE(ci_string("\xE9"), ci_string("\xC9"));  // Latin-1 stays apart
  EXPECT_NE(ci_string("@"), ci_string("`"));
  EXPECT_LT(ci_string("a"), ci_string("_"));  // 'A' (0x41) before '_'
  EXPECT_LT(ci_string("z"), ci_string("\x80"));
  EXPECT_LT(ci_string("COM"), ci_string("com1"));
}

std::vector<std::string> Tokens(const char* text, const char* delimiters) {
  StringTokenizer<ci_string> tokens(ci_string(text), delimiters);
  std::vector<std::string> out;
  while (tokens.HasMoreTokens() && out.size() <= 100) {  // 100: a loop
    ci_string token;
    tokens.NextToken(token);
    out.emplace_back(ToView(token));
  }
  return out;
}

TEST(StringTokenizer, RunsAndEdgesOfDelimitersGiveNoEmptyTokens) {
  using Strings = std::vector<std::string>;
  EXPECT_EQ(Tokens(",,COM1,, COM2\t,", ", \t"), Strings({"COM1", "COM2"}));
  EXPECT_EQ(Tokens("a\fb\vc\r\nd", nullptr), Strings({"a", "b", "c", "d"}));
  EXPECT_EQ(Tokens("axbXc", "x"), Strings({"a", "b", "c"}));
}

TEST(LogText, TimeStampIsPaddedAndAnUnknownCodeStillHasAText) {
  SYSTEMTIME time{};
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 7;
  EXPECT_EQ(TimeStampPrefix(time).str(), "09:05:07 - ");
  AnsiString text("old content");
  SysErrorText(text, -1);
  EXPECT_EQ(text.str(), "unknow error code-1");
}

int RunOn(MyPcre& pattern, const char* subject, int start = 0) {
  return pattern.Exec(subject, static_cast<int>(std::strlen(subject)), start,
                      0);
}

TEST(MyPcre, GivesGroupOffsetsAndRefusesCapturesTheLastRunDidNotSet) {
  MyPcre broken("(ab", 0);
  EXPECT_EQ(broken.Status(), MyPcre::kCompileFailed);
  EXPECT_EQ(RunOn(broken, "ab"), MyPcre::kCompileFailed);

  MyPcre item("(a)(x)?(b)", 0);
  MatchedPoint point{5, 6};
  EXPECT_EQ(item.GetMatch(point, 0), MyPcre::kNoSuchMatch);  // no run yet
  ASSERT_EQ(RunOn(item, "zzab", 1), 4);
  std::vector<MatchedPoint> large(5, MatchedPoint{9, 9});
  EXPECT_EQ(item.GetMatches(large), 4);
  EXPECT_EQ(large[0].start, 2);
  EXPECT_EQ(large[0].end, 4);
  EXPECT_EQ(large[2].start, -1);  // the group that took no part
  EXPECT_EQ(large[3].start, 3);
  EXPECT_EQ(large[4].start, 9);  // the tail stays
  std::vector<MatchedPoint> small(2, MatchedPoint{9, 9});
  EXPECT_EQ(item.GetMatches(small), MyPcre::kNoSuchMatch);
  EXPECT_EQ(small[0].start, 9);
  EXPECT_EQ(item.GetMatch(point, 4), MyPcre::kNoSuchMatch);
  EXPECT_EQ(item.GetMatch(point, -1), MyPcre::kNoSuchMatch);
  EXPECT_EQ(point.start, 5);
  EXPECT_LT(RunOn(item, "xyz"), 1);  // hides the offsets of the run before
  EXPECT_EQ(item.GetMatch(point, 0), MyPcre::kNoSuchMatch);
}

}  // namespace
