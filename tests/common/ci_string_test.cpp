// ci_string: what letter case and byte order do to the names of sections,
// keys and ports. Hashing is tested where ports are looked up by name.
#include <string>

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

}  // namespace
