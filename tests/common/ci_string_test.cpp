// ci_string: what letter case, byte order and hashing do to the names of
// sections, keys and ports.
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

#include "common/ci_string.h"

namespace {

TEST(CiString, EqualityIgnoresTheCaseOfAsciiLettersOnly) {
  const ci_string name("Com1");
  EXPECT_EQ(std::string(ToView(name)), "Com1");  // kept as written
  EXPECT_EQ(name, "COM1");
  EXPECT_EQ(ci_string("SERIALPORTS"), ci_string("SerialPorts"));
  EXPECT_NE(ci_string("COM1"), ci_string("COM1 "));
  // The Latin-1 forms of e-acute stay apart; so do '@' and '`'.
  EXPECT_NE(ci_string("\xE9"), ci_string("\xC9"));
  EXPECT_NE(ci_string("@"), ci_string("`"));
}

TEST(CiString, OrdersByFoldedUnsignedBytes) {
  EXPECT_LT(ci_string("COM1"), ci_string("com2"));
  // 'a' folds to 'A' (0x41), before '_' (0x5F); plain bytes say otherwise.
  EXPECT_LT(ci_string("a"), ci_string("_"));
  EXPECT_LT(std::string("_"), std::string("a"));
  EXPECT_LT(ci_string("z"), ci_string("\x80"));  // high bytes are large
  EXPECT_LT(ci_string("COM"), ci_string("com1"));  // a prefix sorts first
}

TEST(CiString, CaseVariantsHashAlike) {
  const std::hash<ci_string> hash;
  EXPECT_EQ(hash("Com1"), hash("COM1"));
  EXPECT_EQ(hash("Com1"), hash("com1"));
  const std::unordered_set<ci_string> ports{"COM1", "com1", "Com2"};
  EXPECT_EQ(ports.size(), 2u);
}

}  // namespace
