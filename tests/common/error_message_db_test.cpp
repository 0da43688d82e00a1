// ErrorMessageDatabase over real files: lookups by exact section and "%d"
// key, the shipped texts, and formatting that never lets a file's text
// act as a printf format.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/error_message_db.h"
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

TEST_F(ErrorTexts, KeysAreExactAndAFailedLoadKeepsTheLinesAboveIt) {
  ASSERT_TRUE(Load("[S]\n0=zero\n-05=padded\n+5=plus\n[s]\n-2=lower\n"));
  EXPECT_EQ(Format("S", 0), "zero");
  for (const int code : {-5, 5, -2}) EXPECT_EQ(Format("S", code), "<none>");
  EXPECT_FALSE(db.Load(dir.File("missing.ini").c_str()));
  EXPECT_EQ(Format("S", 0), "zero");
  EXPECT_FALSE(Load("[S]\n-1=third\nbroken line\n-2=lost\n", "c.ini"));
  EXPECT_EQ(Format("S", -1), "third");
  EXPECT_EQ(Format("S", -2), "<none>");
  EXPECT_EQ(Format("S", 0), "<none>");  // the earlier file is replaced
}

int CountStrings(const std::string& text) {
  int count = 0;
  for (std::size_t at = text.find("%s"); at != std::string::npos;
       at = text.find("%s", at + 2)) {
    ++count;
  }
  return count;
}

TEST_F(ErrorTexts, EveryShippedCodeHasATextWithItsArguments) {
  ASSERT_TRUE(db.Load(SourceConfigPath("ErrorMsg_EN.ini").c_str()));
  const struct {
    const char* section;
    std::vector<int> codes;
    int strings;
  } expected[] = {
      {"Setting", {-2, -3, -4, -14, -15, -16}, 0},
      {"Setting", {-5, -6, -7, -8, -9, -10, -11, -13}, 1},
      {"ComList", {-1, -2, -3}, 1},
      {"ModbusTCP", {0, -1, -2, -3, -4}, 1},
      {"ModbusRTU", {-1, -2, -3, -4, -5, -6}, 2},
  };
  for (const auto& group : expected) {
    for (const int code : group.codes) {
      AnsiString text;
      ASSERT_TRUE(db.GetMessage(group.section, code, text))
          << group.section << code;
      EXPECT_FALSE(text.IsEmpty());
      EXPECT_EQ(CountStrings(text.str()), group.strings)
          << group.section << code;
    }
  }
}

// Hostile texts: "%s" takes the arguments in order (those beyond stay as
// written), "%%" is one percent sign, every other "%" comes out as written.
TEST_F(ErrorTexts, FormatFillsStringsAndTakesNothingElseAsAFormat) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%d %i %u %x %p", "%d %i %u %x %p"},
      {"%n%n%n%s", "%n%n%nA"},
      {"%s %s %s %s", "A B %s %s"},
      {"%5s|%-9s|%.1s|%ls|%1$s", "%5s|%-9s|%.1s|%ls|%1$s"},
      {"%%%s%% trailing %", "%A% trailing %"},
      {"%%s\xE9%s", "%s\xE9" "A"},
  };
  std::string file = "[H]\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    file += std::to_string(-static_cast<int>(i)) + "=" + cases[i].text + "\n";
  }
  ASSERT_TRUE(Load(file + "-9=port %s: %s\n"));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Format("H", -static_cast<int>(i)), cases[i].expected)
        << cases[i].text;
  }
  AnsiString out;
  ASSERT_TRUE(db.Format("H", -9, out, "%s%n%d", "%%"));  // arguments too
  EXPECT_EQ(out.str(), "port %s%n%d: %%");
}

}  // namespace
