// TMyINI over real files: the order in which the line patterns are tried,
// line ends, what a failed load keeps, and the converting getters.
#include <cstdint>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "common/my_ini.h"
#include "tests/support/temp_dir.h"

namespace {

using Content = std::map<std::string, std::map<std::string, std::string>>;

std::string Text(const ci_string& s) { return std::string(ToView(s)); }
std::string Text(const AnsiString& s) { return s.str(); }

struct IniCase {
  const char* what;
  std::string bytes;
  int result;
  Content content;  // what the file holds afterwards
};

const IniCase kCases[] = {
    {"trimmed, split at the first equals; headers kept whole",
     "top=1\n[ Port A ]\n  key  =  a=b \t\nempty=\n\n  \n\t [a]b]  \nlast=x",
     kIniOk,
     {{"", {{"top", "1"}}},
      {" Port A ", {{"key", "a=b"}, {"empty", ""}}},
      {"a]b", {{"last", "x"}}}}},
    {"key-value is tried before header and comment",
     "[S]\n; a=b\n# plain comment\n[x=y]\n[S]\nk=2\n[Empty]\n", kIniOk,
     {{"S", {{"; a", "b"}, {"[x", "y]"}, {"k", "2"}}}}},
    {"a carriage return alone ends no line", "[A]\rk=v\rx=y\r", kIniBadLine,
     {}},
    {"a bad line stops the load and keeps the lines before it",
     "[S]\nk=v\n[a] b\nlater=1\n", kIniBadLine, {{"S", {{"k", "v"}}}}},
    {"an equals sign must follow a key", "[S]\nk=v\n=value\n", kIniBadLine,
     {{"S", {{"k", "v"}}}}},
};

template <class S>
class IniForm : public ::testing::Test {
 protected:
  int Load(const std::string& bytes) {
    return ini.Load(dir.Write("test.ini", bytes).c_str());
  }
  Content Read() const {
    Content content;
    for (const auto& [section, keys] : ini.Sections) {
      for (const auto& [key, value] : keys) {
        content[Text(section)][Text(key)] = Text(value);
      }
    }
    return content;
  }

  TempDir dir;
  TMyINI<S> ini;
};

using Forms = ::testing::Types<ci_string, AnsiString>;
TYPED_TEST_SUITE(IniForm, Forms);

// Every case with line feeds, and again with carriage return + line feed.
TYPED_TEST(IniForm, ReadsEveryLineFormWithEitherLineEnd) {
  for (const IniCase& c : kCases) {
    std::string crlf;
    for (char ch : c.bytes) crlf += ch == '\n' ? "\r\n" : std::string(1, ch);
    for (const std::string& bytes : {c.bytes, crlf}) {
      SCOPED_TRACE(std::string(c.what) + (bytes == c.bytes ? "" : " (CR LF)"));
      EXPECT_EQ(this->Load(bytes), c.result);
      EXPECT_EQ(this->Read(), c.content);
    }
  }
  ASSERT_EQ(this->Load("[S]\nk=v\n"), kIniOk);  // unreadable: nothing changes
  EXPECT_EQ(this->ini.Load(this->dir.path().c_str()), kIniCannotOpen);
  EXPECT_EQ(this->ini.Load(nullptr), kIniCannotOpen);
  EXPECT_EQ(this->Read(), Content({{"S", {{"k", "v"}}}}));
}

TEST(IniGetters, NumbersAndWordsReadAsFarAsTheyGoOrFail) {
  TempDir dir;
  MyINI ini;
  ASSERT_EQ(ini.Load(dir.Write("g.ini",
                               "[V]\nmixed=12abc\nword=abc\nempty=\n"
                               "huge=99999999999\nminus=-1\nbig16=70000\n")
                         .c_str()),
            kIniOk);
  std::int32_t number = 0;
  std::uint16_t small = 0;
  std::string word;
  ASSERT_EQ(ini.GetValue("V", "mixed", number), kIniOk);
  EXPECT_EQ(number, 12);
  ASSERT_EQ(ini.GetValue("V", "minus", number), kIniOk);
  EXPECT_EQ(number, -1);
  // Never wrapped round to the type's largest value.
  EXPECT_EQ(ini.GetValue("V", "minus", small), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "word", number), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "empty", word), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "huge", number), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "big16", small), kIniBadValue);
  number = 77;
  EXPECT_EQ(ini.GetValue("V", "nope", number), kIniNoKey);
  EXPECT_EQ(number, 77);  // untouched when nothing was found
}

}  // namespace
