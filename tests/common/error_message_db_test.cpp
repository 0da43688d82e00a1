// ErrorMessageDatabase over real files: lookups by exact section and "%d"
// key, reloading, and formatting that never lets a file's text act as a
// printf format.
#include <cstdio>
#include <random>
#include <string>

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
  // The text filled with "A" and "B", or "<none>" when there is no text.
  std::string Format(const char* section, int code) {
    AnsiString out("<none>");
    db.Format(section, code, out, "A", "B");
    return out.str();
  }

  TempDir dir;
  ErrorMessageDatabase db;
};

TEST_F(ErrorTexts, KeysAreTheCodeAsPercentDPrintsItInAnExactSection) {
  AnsiString text("before");
  EXPECT_FALSE(db.GetMessage("Setting", -2, text));  // nothing loaded yet
  EXPECT_FALSE(db.Format("Setting", -2, text, "a", "b"));
  EXPECT_EQ(text.str(), "before");

  ASSERT_TRUE(Load("[Setting]\n0=zero\n-10=minus ten\n-05=padded\n+5=plus\n"
                   "[setting]\n-2=lower case section\n"
                   "[S]\n-1=%s: 100%%\n-2=\n"));
  EXPECT_EQ(Format("Setting", 0), "zero");
  EXPECT_EQ(Format("Setting", -10), "minus ten");
  for (const int code : {-5, 5, -2}) {
    EXPECT_EQ(Format("Setting", code), "<none>") << code;
  }
  // The raw text stays as written; an empty text is a text.
  EXPECT_TRUE(db.GetMessage("S", -1, text));
  EXPECT_EQ(text.str(), "%s: 100%%");
  EXPECT_EQ(Format("S", -2), "");
}

TEST_F(ErrorTexts, ALaterFileReplacesAnUnreadableOneDoesNot) {
  ASSERT_TRUE(Load("[S]\n-1=first\n-2=only first\n", "a.ini"));
  ASSERT_TRUE(Load("[S]\n-1=second\n", "b.ini"));
  EXPECT_EQ(Format("S", -1), "second");
  EXPECT_EQ(Format("S", -2), "<none>");
  EXPECT_FALSE(db.Load(dir.File("missing.ini").c_str()));
  EXPECT_EQ(Format("S", -1), "second");
  // A file with a bad line is reported, keeping the lines above it.
  EXPECT_FALSE(Load("[S]\n-1=third\nbroken line\n-2=lost\n", "c.ini"));
  EXPECT_EQ(Format("S", -1), "third");
  EXPECT_EQ(Format("S", -2), "<none>");
}

// Texts of a good file, and of a wrong or hostile one: "%s" takes the
// arguments in order (those beyond stay as written), "%%" is one percent
// sign, and every other "%" form comes out as written.
TEST_F(ErrorTexts, FormatFillsStringsAndTakesNothingElseAsAFormat) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%s closed the connection", "A closed the connection"},
      {"%s: %s did not answer", "A: B did not answer"},
      {"no argument used", "no argument used"},
      {"100%% of %s", "100% of A"},
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
    EXPECT_EQ(Format("H", -static_cast<int>(i)), cases[i].expected)
        << cases[i].text;
  }
}

TEST_F(ErrorTexts, ArgumentsAreInsertedNotInterpreted) {
  ASSERT_TRUE(Load("[H]\n-1=port %s: %s\n"));
  AnsiString out;
  ASSERT_TRUE(db.Format("H", -1, out, "%s%n%d", "%%"));
  EXPECT_EQ(out.str(), "port %s%n%d: %%");
  const std::string long_argument(1 << 20, 'x');
  ASSERT_TRUE(db.Format("H", -1, out, long_argument.c_str()));
  EXPECT_EQ(out.str(), "port " + long_argument + ": %s");
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
