// The shipped error texts: every code that the components report has an
// English text with the right number of "%s", and nothing else. The
// shipped configuration is loaded by the setting tests.
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "common/my_ini.h"
#include "tests/support/temp_dir.h"

namespace {

int CountStrings(const std::string& text) {
  int count = 0;
  for (std::size_t at = text.find("%s"); at != std::string::npos;
       at = text.find("%s", at + 2)) {
    ++count;
  }
  return count;
}

// Every '%' of the text is part of "%s" or "%%".
bool OnlyStringsAndPercents(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 >= text.size() || (text[i + 1] != 's' && text[i + 1] != '%')) {
      return false;
    }
    ++i;
  }
  return true;
}

class ShippedErrorTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(file.Load(SourceConfigPath("ErrorMsg_EN.ini").c_str()), kIniOk);
  }
  // Each code of the section has a text with exactly `strings` "%s".
  void ExpectCodes(const char* section, std::set<int> codes, int strings) {
    SCOPED_TRACE(section);
    const auto found = file.Sections.find(section);
    ASSERT_NE(found, file.Sections.end());
    std::set<int> present;
    for (const auto& [key, text] : found->second) {
      SCOPED_TRACE(key.str());
      // Keys are plain "%d" numbers; anything else is a stray line.
      char* end = nullptr;
      const long code = std::strtol(key.c_str(), &end, 10);
      ASSERT_TRUE(!key.IsEmpty() && *end == '\0' &&
                  AnsiString(static_cast<int>(code)) == key);
      present.insert(static_cast<int>(code));
      EXPECT_FALSE(text.IsEmpty());
      EXPECT_TRUE(OnlyStringsAndPercents(text.str()));
      if (codes.count(static_cast<int>(code)) != 0) {
        EXPECT_EQ(CountStrings(text.str()), strings);
      }
    }
    for (int code : codes) EXPECT_EQ(present.count(code), 1u) << code;
  }

  TMyINI<AnsiString> file;
};

TEST_F(ShippedErrorTexts, CoverEveryCodeWithItsArguments) {
  EXPECT_EQ(file.Sections.size(), 4u);
  ExpectCodes("Setting", {-2, -3, -4, -14, -15, -16}, 0);
  ExpectCodes("Setting", {-5, -6, -7, -8, -9, -10, -11, -13}, 1);
  ExpectCodes("ComList", {-1, -2, -3}, 1);
  // 0 and -1 also serve a failed send with a second argument, which a
  // single "%s" leaves out.
  ExpectCodes("ModbusTCP", {0, -1, -2, -3}, 1);
  ExpectCodes("ModbusRTU", {-1, -2, -3, -4, -5}, 2);
}

}  // namespace
