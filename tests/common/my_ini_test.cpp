// TMyINI over real files: the line grammar and the order in which the
// patterns are tried, line ends, what a failed load keeps, both name
// rules and the converting getters.
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "common/my_ini.h"
#include "tests/support/temp_dir.h"

namespace {

using Content = std::map<std::string, std::map<std::string, std::string>>;

std::string Text(const ci_string& s) { return std::string(ToView(s)); }
std::string Text(const AnsiString& s) { return s.str(); }

template <class S>
Content ContentOf(const TMyINI<S>& ini) {
  Content content;
  for (const auto& [section, keys] : ini.Sections) {
    for (const auto& [key, value] : keys) {
      content[Text(section)][Text(key)] = Text(value);
    }
  }
  return content;
}

template <class S>
class IniForm : public ::testing::Test {
 protected:
  // Writes the bytes to a fresh file and loads it.
  int Load(const std::string& bytes) {
    return ini.Load(dir.Write("test.ini", bytes).c_str());
  }
  Content Read() const { return ContentOf(ini); }

  TempDir dir;
  TMyINI<S> ini;
};

using Forms = ::testing::Types<ci_string, AnsiString>;
struct FormName {
  template <class S>
  static std::string GetName(int) {
    return std::is_same_v<S, ci_string> ? "ci_string" : "AnsiString";
  }
};
TYPED_TEST_SUITE(IniForm, Forms, FormName);

TYPED_TEST(IniForm, KeyValueLinesAreTrimmedAndSplitAtTheFirstEquals) {
  ASSERT_EQ(this->Load("[S]\n"
                       "  key  =  some value \t\n"
                       "a=b=c\n"
                       "empty=\n"
                       "   = blank key\n"),
            kIniOk);
  EXPECT_EQ(this->Read(), (Content{{"S",
                                    {{"key", "some value"},
                                     {"a", "b=c"},
                                     {"empty", ""},
                                     {"", "blank key"}}}}));
}

TYPED_TEST(IniForm, HeaderNamesAreKeptWhole) {
  ASSERT_EQ(this->Load("top=1\n"
                       "[ Port A ]\nx=2\n"
                       "\t [a]b]  \ny=3\n"),
            kIniOk);
  EXPECT_EQ(this->Read(), (Content{{"", {{"top", "1"}}},
                                   {" Port A ", {{"x", "2"}}},
                                   {"a]b", {{"y", "3"}}}}));
}

TYPED_TEST(IniForm, KeyValueIsTriedBeforeHeaderAndComment) {
  ASSERT_EQ(this->Load("[S]\n"
                       "; a=b\n"
                       "# plain comment\n"
                       "  ; another\n"
                       "[x=y]\n"),
            kIniOk);
  EXPECT_EQ(this->Read(), (Content{{"S", {{"; a", "b"}, {"[x", "y]"}}}}));
}

TYPED_TEST(IniForm, ABadLineStopsTheLoadAndKeepsWhatCameBefore) {
  for (const char* bad : {"[]", "[a] ; note", "[a] b", "=value", "no equals",
                          "a=b\rc"}) {
    SCOPED_TRACE(bad);
    ASSERT_EQ(this->Load(std::string("[S]\nk=v\n") + bad + "\nlater=1\n"),
              kIniBadLine);
    EXPECT_EQ(this->Read(), (Content{{"S", {{"k", "v"}}}}));
    EXPECT_EQ(this->ini.FileName(), this->dir.File("test.ini"));
  }
}

TYPED_TEST(IniForm, CarriageReturnLineFeedReadsLikeLineFeed) {
  const std::string lines =
      "; head\n[A]\nk = v\n\n  \t \n[B]  \nx=1\ny=\nlast=no newline";
  ASSERT_EQ(this->Load(lines), kIniOk);
  const Content with_lf = this->Read();
  std::string crlf;
  for (char c : lines) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
  ASSERT_EQ(this->Load(crlf), kIniOk);
  EXPECT_EQ(this->Read(), with_lf);
  EXPECT_EQ(with_lf.at("B").at("last"), "no newline");
  EXPECT_EQ(with_lf.at("B").at("y"), "");
}

TYPED_TEST(IniForm, ACarriageReturnAloneEndsNoLine) {
  EXPECT_EQ(this->Load("[A]\rk=v\rx=y\r"), kIniBadLine);
  EXPECT_EQ(this->Read(), Content{});
  // Starting with a comment, the whole file is one comment line.
  EXPECT_EQ(this->Load("; c\r[A]\rk=v\rx=y\r"), kIniOk);
  EXPECT_EQ(this->Read(), Content{});
}

TYPED_TEST(IniForm, RepeatedKeysAndSectionsMerge) {
  ASSERT_EQ(this->Load("[S]\nk=1\n[T]\nt=0\n[S]\nk=2\nj=3\n[Empty]\n"), kIniOk);
  EXPECT_EQ(this->Read(), (Content{{"S", {{"k", "2"}, {"j", "3"}}},
                                   {"T", {{"t", "0"}}}}));
  TypeParam value("untouched");
  EXPECT_EQ(this->ini.GetValue(TypeParam("Empty"), TypeParam("k"), value),
            kIniNoSection);
  EXPECT_EQ(this->ini.GetValue(TypeParam("S"), TypeParam("zz"), value),
            kIniNoKey);
  EXPECT_EQ(Text(value), "untouched");
  EXPECT_EQ(Text(this->ini.GetString(TypeParam("S"), TypeParam("zz"))), "");
}

TYPED_TEST(IniForm, AFileThatCannotBeReadChangesNothing) {
  ASSERT_EQ(this->Load("[S]\nk=v\n"), kIniOk);
  const std::string loaded = this->ini.FileName();
  EXPECT_EQ(this->ini.Load(this->dir.File("missing.ini").c_str()),
            kIniCannotOpen);
  EXPECT_EQ(this->ini.Load(this->dir.path().c_str()), kIniCannotOpen);
  EXPECT_EQ(this->ini.Load(nullptr), kIniCannotOpen);
  EXPECT_EQ(this->Read(), (Content{{"S", {{"k", "v"}}}}));
  EXPECT_EQ(this->ini.FileName(), loaded);
  // An empty file is a good file: it replaces the content with nothing.
  EXPECT_EQ(this->Load(""), kIniOk);
  EXPECT_EQ(this->Read(), Content{});
}

TYPED_TEST(IniForm, AnyBytesGiveAResultNotACrash) {
  std::string bytes;
  for (int i = 0; i < 3; ++i) {
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>((c * 37 + i) & 0xFF);
  }
  const int result = this->Load(bytes);
  EXPECT_TRUE(result == kIniOk || result == kIniBadLine) << result;
  EXPECT_EQ(this->Load(std::string("k=a\0b\n", 6)), kIniOk);
  EXPECT_EQ(this->Read().at("").at("k"), std::string("a\0b", 3));
}

// One file read by both forms: names, order and trimming differ.
TEST(IniForms, DifferInNameRulesOrderAndTrimming) {
  TempDir dir;
  const std::string file = dir.Write(
      "c.ini",
      "[ServerInfo]\nTCPPort=502\nk=\x01value\x01\n"
      "[COM2]\nk=1\n[_x]\nk=1\n[COM10]\nk=1\n[ax]\nk=1\n");
  MyINI config;
  TMyINI<AnsiString> exact;
  ASSERT_EQ(config.Load(file.c_str()), kIniOk);
  ASSERT_EQ(exact.Load(file.c_str()), kIniOk);

  ci_string port;
  EXPECT_EQ(config.GetValue("SERVERINFO", "tcpport", port), kIniOk);
  EXPECT_EQ(port, "502");
  AnsiString text;
  EXPECT_EQ(exact.GetValue("SERVERINFO", "tcpport", text), kIniNoSection);
  EXPECT_EQ(exact.GetValue("ServerInfo", "tcpport", text), kIniNoKey);

  std::string exact_order, config_order;
  for (const auto& entry : exact.Sections) exact_order += entry.first.str() + " ";
  for (const auto& entry : config.Sections) config_order += Text(entry.first) + " ";
  EXPECT_EQ(exact_order, "COM10 COM2 ServerInfo _x ax ");
  EXPECT_EQ(config_order, "ax COM10 COM2 ServerInfo _x ");

  // Only the configuration form keeps control bytes other than white space.
  EXPECT_EQ(Text(config.GetString("ServerInfo", "k")), "\x01value\x01");
  EXPECT_EQ(exact.GetString("ServerInfo", "k").str(), "value");
}

class IniGetters : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ini.Load(dir.Write("g.ini",
                                 "[V]\n"
                                 "mixed=12abc\n"
                                 "word=abc\n"
                                 "empty=\n"
                                 "huge=99999999999\n"
                                 "minus=-1\n"
                                 "hex=0x10\n"
                                 "big16=70000\n"
                                 "words=  10.0.0.1  other words\n")
                           .c_str()),
              kIniOk);
  }
  template <class T>
  int Get(const char* key, T& value) {
    return ini.GetValue("V", key, value);
  }

  TempDir dir;
  MyINI ini;
};

TEST_F(IniGetters, NumbersAndWordsReadAsFarAsTheyGo) {
  std::int32_t number = 0;
  std::uint32_t unsigned_number = 0;
  std::uint16_t small = 0;
  std::string word;
  EXPECT_EQ(Get("mixed", number), kIniOk);
  EXPECT_EQ(number, 12);
  EXPECT_EQ(Get("hex", number), kIniOk);
  EXPECT_EQ(number, 0);
  // A minus sign wraps the unsigned types.
  EXPECT_EQ(Get("minus", unsigned_number), kIniOk);
  EXPECT_EQ(unsigned_number, 4294967295u);
  EXPECT_EQ(Get("minus", small), kIniOk);
  EXPECT_EQ(small, 65535);
  EXPECT_EQ(Get("words", word), kIniOk);
  EXPECT_EQ(word, "10.0.0.1");
}

TEST_F(IniGetters, ValuesWithoutANumberOrTooLargeFail) {
  std::int32_t number = 0;
  std::uint32_t unsigned_number = 0;
  std::uint16_t small = 0;
  std::string word;
  EXPECT_EQ(Get("word", number), kIniBadValue);
  EXPECT_EQ(Get("empty", unsigned_number), kIniBadValue);
  EXPECT_EQ(Get("empty", word), kIniBadValue);
  EXPECT_EQ(Get("huge", number), kIniBadValue);
  EXPECT_EQ(Get("huge", unsigned_number), kIniBadValue);
  EXPECT_EQ(Get("big16", small), kIniBadValue);
  EXPECT_EQ(ini.GetValue("Nope", "mixed", number), kIniNoSection);
  EXPECT_EQ(ini.GetValue("V", "nope", number), kIniNoKey);
}

}  // namespace
