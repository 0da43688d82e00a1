// ErrorMessageDatabase over real files: lookups by exact section and "%d"
// key, reloading, and formatting that never lets a file's text act as a
// printf format.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/error_message_db.h"
#include "common/string_args.h"
#include "tests/support/temp_dir.h"

namespace {

class ErrorTexts : public ::testing::Test {
 protected:
  bool Load(const std::string& bytes, const char* name = "texts.ini") {
    return db.Load(dir.Write(name, bytes).c_str());
  }
  // The Format result, or "<none>" when there is no text.
  std::string Format1(const char* section, int code, const char* argument) {
    AnsiString out("<none>");
    db.Format(section, code, out, argument);
    return out.str();
  }
  std::string Format2(const char* section, int code, const char* first,
                      const char* second) {
    AnsiString out("<none>");
    db.Format(section, code, out, first, second);
    return out.str();
  }

  TempDir dir;
  ErrorMessageDatabase db;
};

TEST_F(ErrorTexts, NothingIsFoundBeforeTheFirstLoad) {
  AnsiString text("before");
  EXPECT_FALSE(db.GetMessage("Setting", -2, text));
  EXPECT_FALSE(db.Format("Setting", -2, text, "a", "b"));
  EXPECT_EQ(text.str(), "before");
}

TEST_F(ErrorTexts, KeysAreTheCodeAsPercentDPrintsItInAnExactSection) {
  ASSERT_TRUE(Load("[Setting]\n0=zero\n-10=minus ten\n-05=padded\n+5=plus\n"
                   "[setting]\n-2=lower case section\n"));
  EXPECT_EQ(Format1("Setting", 0, ""), "zero");
  EXPECT_EQ(Format1("Setting", -10, ""), "minus ten");
  EXPECT_EQ(Format1("Setting", -5, ""), "<none>");
  EXPECT_EQ(Format1("Setting", 5, ""), "<none>");
  EXPECT_EQ(Format1("Setting", -2, ""), "<none>");
}

TEST_F(ErrorTexts, RawTextsStayAsWrittenAndEmptyTextsCount) {
  ASSERT_TRUE(Load("[S]\n-1=port %s: 100%%\n-2=\n"));
  AnsiString text;
  EXPECT_TRUE(db.GetMessage("S", -1, text));
  EXPECT_EQ(text.str(), "port %s: 100%%");
  EXPECT_TRUE(db.GetMessage("S", -2, text));
  EXPECT_EQ(text.str(), "");
  EXPECT_EQ(Format1("S", -2, "x"), "");
}

TEST_F(ErrorTexts, ALaterFileReplacesAnUnreadableOneDoesNot) {
  ASSERT_TRUE(Load("[S]\n-1=first\n-2=only first\n", "a.ini"));
  ASSERT_TRUE(Load("[S]\n-1=second\n", "b.ini"));
  EXPECT_EQ(Format1("S", -1, ""), "second");
  EXPECT_EQ(Format1("S", -2, ""), "<none>");
  EXPECT_FALSE(db.Load(dir.File("missing.ini").c_str()));
  EXPECT_EQ(Format1("S", -1, ""), "second");
  // A file with a bad line is reported, keeping the lines above it.
  EXPECT_FALSE(Load("[S]\n-1=third\nbroken line\n-2=lost\n", "c.ini"));
  EXPECT_EQ(Format1("S", -1, ""), "third");
  EXPECT_EQ(Format1("S", -2, ""), "<none>");
}

TEST_F(ErrorTexts, FormatFillsStringsInOrder) {
  ASSERT_TRUE(Load("[T]\n"
                   "0=%s closed the connection\n"
                   "-1=%s: %s did not answer\n"
                   "-2=no argument used\n"
                   "-3=100%% of %s\n"));
  EXPECT_EQ(Format1("T", 0, "client 1.2.3.4"),
            "client 1.2.3.4 closed the connection");
  // One "%s" with two arguments: the second is simply not used.
  EXPECT_EQ(Format2("T", 0, "client 1.2.3.4", "modbus unit 7"),
            "client 1.2.3.4 closed the connection");
  EXPECT_EQ(Format2("T", -1, "client 1.2.3.4", "modbus unit 7"),
            "client 1.2.3.4: modbus unit 7 did not answer");
  EXPECT_EQ(Format1("T", -2, "x"), "no argument used");
  EXPECT_EQ(Format1("T", -3, ""), "100% of ");
}

// Texts from a wrong or hostile file: every "%" form that is not "%s"
// (within the arguments) or "%%" comes out as written.
TEST_F(ErrorTexts, HostileTextsComeOutLiterally) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%d %i %u %x %p", "%d %i %u %x %p"},
      {"%n%n%n%s", "%n%n%nA"},
      {"%s %s %s %s", "A B %s %s"},
      {"%5s|%-9s|%.1s|%ls|%1$s", "%5s|%-9s|%.1s|%ls|%1$s"},
      {"trailing %", "trailing %"},
      {"%%s is %s", "%s is A"},
      {"%%%s%%", "%A%"},
      {"%S %z %", "%S %z %"},
  };
  std::string file = "[H]\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    file += std::to_string(-static_cast<int>(i)) + "=" + cases[i].text + "\n";
  }
  ASSERT_TRUE(Load(file));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].text);
    EXPECT_EQ(Format2("H", -static_cast<int>(i), "A", "B"), cases[i].expected);
  }
}

TEST_F(ErrorTexts, ArgumentsAreInsertedNotInterpreted) {
  ASSERT_TRUE(Load("[H]\n-1=port %s: %s\n"));
  EXPECT_EQ(Format2("H", -1, "%s%n%d", "%%"), "port %s%n%d: %%");
  const std::string long_argument(1 << 20, 'x');
  // One argument for two "%s": the second stays as written.
  EXPECT_EQ(Format1("H", -1, long_argument.c_str()),
            "port " + long_argument + ": %s");
}

// For texts that keep to "%s" and "%%", the result is printf's, exactly.
TEST(FillStringArgs, MatchesPrintfForWellFormedTexts) {
  const char* pieces[] = {"%s", "%%", "abc", " ", "-", "\xE9", "%%s", ":"};
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int strings = 0;
    const int length = static_cast<int>(random() % 8);
    for (int i = 0; i < length; ++i) {
      const char* piece = pieces[random() % std::size(pieces)];
      if (std::string(piece) == "%s" && ++strings > 2) continue;
      text += piece;
    }
    char expected[256];
    std::snprintf(expected, sizeof expected, text.c_str(), "first", "2nd");
    ASSERT_EQ(FillStringArgs(text.c_str(), {"first", "2nd"}), expected)
        << text;
  }
}

}  // namespace
