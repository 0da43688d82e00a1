// ci_string: what letter case, byte order and hashing do to the names of
// sections, keys and ports.
#include <map>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

#include "common/ci_string.h"

namespace {

TEST(CiString, EqualityIgnoresLetterCaseOnly) {
  EXPECT_EQ(ci_string("SERIALPORTS"), ci_string("SerialPorts"));
  EXPECT_NE(ci_string("COM1"), ci_string("COM1 "));
  EXPECT_NE(ci_string("COM1"), ci_string("COM"));
  // Only ASCII letters fold: the Latin-1 forms of e-acute stay apart, and
  // '@' (0x40) and '`' (0x60) are not "letters" of one another.
  EXPECT_NE(ci_string("\xE9"), ci_string("\xC9"));
  EXPECT_NE(ci_string("@"), ci_string("`"));
}

TEST(CiString, KeepsTheLettersAsWritten) {
  const ci_string name("Com1");
  EXPECT_EQ(std::string(ToView(name)), "Com1");
  EXPECT_EQ(name, "COM1");
  EXPECT_EQ(name, "com1");
}

TEST(CiString, OrdersByFoldedUnsignedBytes) {
  EXPECT_LT(ci_string("COM1"), ci_string("com2"));
  // Folding to upper case puts 'a' (as 'A', 0x41) before '_' (0x5F),
  // although plain byte order puts '_' first.
  EXPECT_LT(ci_string("a"), ci_string("_"));
  EXPECT_LT(std::string("_"), std::string("a"));
  // Bytes above 0x7F are large, not negative.
  EXPECT_LT(ci_string("z"), ci_string("\x80"));
  // A proper prefix sorts first.
  EXPECT_LT(ci_string("COM"), ci_string("com1"));
  EXPECT_GT(ci_char_traits::compare("b", "A", 1), 0);
}

TEST(CiString, MapsKeyedByItMergeCaseVariants) {
  std::map<ci_string, int> keys;
  keys["TCPPort"] = 1;
  keys["tcpport"] = 2;
  keys["_x"] = 3;
  keys["ax"] = 4;
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(std::string(ToView(keys.begin()->first)), "ax");
  EXPECT_EQ(keys["TCPPORT"], 2);
}

TEST(CiString, SearchesIgnoreCase) {
  const ci_string text("axbXc");
  EXPECT_EQ(text.find('X'), 1u);
  EXPECT_EQ(text.find("BX"), 2u);
  EXPECT_EQ(text.find_first_of("C"), 4u);
}

TEST(CiString, CaseVariantsHashAlike) {
  const std::hash<ci_string> hash;
  EXPECT_EQ(hash("Com1"), hash("COM1"));
  EXPECT_EQ(hash("Com1"), hash("com1"));
  std::unordered_set<ci_string> ports{"COM1", "com1", "Com2"};
  EXPECT_EQ(ports.size(), 2u);
}

}  // namespace
