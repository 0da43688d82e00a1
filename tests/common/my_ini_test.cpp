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

struct IniCase {
  const char* what;
  std::string bytes;
  int result;
  Content content;  // what the file holds afterwards
};

const Content kBeforeBadLine{{"S", {{"k", "v"}}}};

// A bad line stops the load and keeps what came before it.
IniCase BadLine(const char* line) {
  return {line, std::string("[S]\nk=v\n") + line + "\nlater=1\n", kIniBadLine,
          kBeforeBadLine};
}

const IniCase kCases[] = {
    {"key-value lines are trimmed and split at the first equals",
     "[S]\n  key  =  some value \t\na=b=c\nempty=\n   = blank key\n", kIniOk,
     {{"S",
       {{"key", "some value"}, {"a", "b=c"}, {"empty", ""}, {"", "blank key"}}}}},
    {"header names are kept whole", "top=1\n[ Port A ]\nx=2\n\t [a]b]  \ny=3\n",
     kIniOk,
     {{"", {{"top", "1"}}}, {" Port A ", {{"x", "2"}}}, {"a]b", {{"y", "3"}}}}},
    {"key-value is tried before header and comment",
     "[S]\n; a=b\n# plain comment\n  ; another\n[x=y]\n", kIniOk,
     {{"S", {{"; a", "b"}, {"[x", "y]"}}}}},
    {"repeated keys and sections merge, an empty section is none",
     "[S]\nk=1\n[T]\nt=0\n[S]\nk=2\nj=3\n[Empty]\n", kIniOk,
     {{"S", {{"k", "2"}, {"j", "3"}}}, {"T", {{"t", "0"}}}}},
    {"blank lines, and a last line without a line end",
     "; head\n[A]\nk = v\n\n  \t \n[B]  \ny=\nlast=no newline", kIniOk,
     {{"A", {{"k", "v"}}}, {"B", {{"y", ""}, {"last", "no newline"}}}}},
    {"a zero byte in a value", std::string("k=a\0b\n", 6), kIniOk,
     {{"", {{"k", std::string("a\0b", 3)}}}}},
    {"a carriage return alone ends no line", "[A]\rk=v\rx=y\r", kIniBadLine,
     {}},
    {"...so after a comment the file is one comment", "; c\r[A]\rk=v\rx=y\r",
     kIniOk, {}},
    {"an empty file replaces the content with nothing", "", kIniOk, {}},
    BadLine("[]"), BadLine("[a] ; note"), BadLine("[a] b"), BadLine("=value"),
    BadLine("no equals"), BadLine("a=b\rc"),
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
struct FormName {
  template <class S>
  static std::string GetName(int) {
    return std::is_same_v<S, ci_string> ? "ci_string" : "AnsiString";
  }
};
TYPED_TEST_SUITE(IniForm, Forms, FormName);

// Every case with line feeds, and again with carriage return + line feed.
TYPED_TEST(IniForm, ReadsEveryLineFormWithEitherLineEnd) {
  for (const IniCase& c : kCases) {
    std::string crlf;
    for (char ch : c.bytes) crlf += ch == '\n' ? "\r\n" : std::string(1, ch);
    for (const std::string& bytes : {c.bytes, crlf}) {
      SCOPED_TRACE(std::string(c.what) + (bytes == c.bytes ? "" : " (CR LF)"));
      EXPECT_EQ(this->Load(bytes), c.result);
      EXPECT_EQ(this->Read(), c.content);
      EXPECT_EQ(this->ini.FileName(), this->dir.File("test.ini"));
    }
  }
}

TYPED_TEST(IniForm, AFileThatCannotBeReadChangesNothing) {
  ASSERT_EQ(this->Load("[S]\nk=v\n"), kIniOk);
  const std::string loaded = this->ini.FileName();
  EXPECT_EQ(this->ini.Load(this->dir.File("missing.ini").c_str()),
            kIniCannotOpen);
  EXPECT_EQ(this->ini.Load(this->dir.path().c_str()), kIniCannotOpen);
  EXPECT_EQ(this->ini.Load(nullptr), kIniCannotOpen);
  EXPECT_EQ(this->Read(), kBeforeBadLine);
  EXPECT_EQ(this->ini.FileName(), loaded);

  std::string bytes;  // any bytes give a result, not a crash
  for (int c = 0; c < 768; ++c) bytes += static_cast<char>(c * 37 + c / 256);
  const int result = this->Load(bytes);
  EXPECT_TRUE(result == kIniOk || result == kIniBadLine) << result;
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
  for (const auto& [name, keys] : exact.Sections) exact_order += Text(name) + ' ';
  for (const auto& [name, keys] : config.Sections) {
    config_order += Text(name) + ' ';
  }
  EXPECT_EQ(exact_order, "COM10 COM2 ServerInfo _x ax ");
  EXPECT_EQ(config_order, "ax COM10 COM2 ServerInfo _x ");

  // Only the configuration form keeps control bytes other than white space.
  EXPECT_EQ(Text(config.GetString("ServerInfo", "k")), "\x01value\x01");
  EXPECT_EQ(exact.GetString("ServerInfo", "k").str(), "value");
}

TEST(IniGetters, NumbersAndWordsReadAsFarAsTheyGoOrFail) {
  TempDir dir;
  MyINI ini;
  ASSERT_EQ(ini.Load(dir.Write("g.ini",
                               "[V]\nmixed=12abc\nword=abc\nempty=\n"
                               "huge=99999999999\nminus=-1\nhex=0x10\n"
                               "big16=70000\nwords=  10.0.0.1  other words\n"
                               "[Empty]\n")
                         .c_str()),
            kIniOk);
  std::int32_t number = 0;
  std::uint32_t unsigned_number = 0;
  std::uint16_t small = 0;
  std::string word;
  EXPECT_EQ(ini.GetValue("V", "mixed", number), kIniOk);
  EXPECT_EQ(number, 12);
  EXPECT_EQ(ini.GetValue("V", "hex", number), kIniOk);
  EXPECT_EQ(number, 0);
  // A minus sign wraps the unsigned types.
  EXPECT_EQ(ini.GetValue("V", "minus", unsigned_number), kIniOk);
  EXPECT_EQ(unsigned_number, 4294967295u);
  EXPECT_EQ(ini.GetValue("V", "minus", small), kIniOk);
  EXPECT_EQ(small, 65535);
  EXPECT_EQ(ini.GetValue("V", "words", word), kIniOk);
  EXPECT_EQ(word, "10.0.0.1");

  EXPECT_EQ(ini.GetValue("V", "word", number), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "empty", unsigned_number), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "empty", word), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "huge", number), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "huge", unsigned_number), kIniBadValue);
  EXPECT_EQ(ini.GetValue("V", "big16", small), kIniBadValue);
  number = 77;
  EXPECT_EQ(ini.GetValue("Empty", "mixed", number), kIniNoSection);
  EXPECT_EQ(ini.GetValue("V", "nope", number), kIniNoKey);
  EXPECT_EQ(number, 77);  // untouched when nothing was found
  EXPECT_EQ(Text(ini.GetString("V", "nope")), "");
}

}  // namespace
