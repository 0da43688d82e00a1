// The time stamp of log lines and the text of system error codes.
#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/log_text.h"

namespace {

SYSTEMTIME At(WORD hour, WORD minute, WORD second) {
  SYSTEMTIME time{};
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  return time;
}

TEST(TimeStamp, PrefixHasTwoDigitsPerFieldOnA24HourClock) {
  EXPECT_EQ(TimeStampPrefix(At(0, 0, 0)).str(), "00:00:00 - ");
  EXPECT_EQ(TimeStampPrefix(At(9, 5, 7)).str(), "09:05:07 - ");
  EXPECT_EQ(TimeStampPrefix(At(23, 59, 59)).str(), "23:59:59 - ");
}

TEST(TimeStamp, PutsTheLocalTimeInFrontOfTheLine) {
  AnsiString line("abc");
  TimeStamp(line);
  ASSERT_EQ(line.Length(), 14) << line.str();
  EXPECT_EQ(line.str()[2], ':');
  EXPECT_EQ(line.str()[5], ':');
  EXPECT_EQ(line.str().substr(8), " - abc");
  AnsiString empty;
  TimeStamp(empty);
  EXPECT_EQ(empty.Length(), 11);
}

TEST(SysErrorText, GivesTheSystemTextOrTheUnknownNumberWithoutABlank) {
  AnsiString text("old content");
  SysErrorText(text, EACCES);
  EXPECT_EQ(text.str(), strerrordesc_np(EACCES));
  SysErrorText(text, -1);
  EXPECT_EQ(text.str(), "unknow error code-1");
  SysErrorText(text, 99999);
  EXPECT_EQ(text.str(), "unknow error code99999");
}

}  // namespace
