// StringTokenizer in the form the configuration and the unit-id lists use.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/string_tokenizer.h"

namespace {

using Strings = std::vector<std::string>;

Strings Tokens(const char* text, const char* delimiters) {
  StringTokenizer<ci_string> tokens(ci_string(text), delimiters);
  Strings out;
  while (tokens.HasMoreTokens() && out.size() <= 100) {  // 100: a loop
    ci_string token;
    tokens.NextToken(token);
    out.emplace_back(ToView(token));
  }
  return out;
}

// Runs and edges of delimiters give no empty tokens; no delimiters mean
// white space; a letter as delimiter matches either case.
TEST(StringTokenizer, SplitsAtAnyRunOfDelimiters) {
  const struct {
    const char* text;
    const char* delimiters;
    Strings tokens;
  } cases[] = {
      {"COM1, COM2\tCOM3", ", \t", {"COM1", "COM2", "COM3"}},
      {",,COM1,, COM2,,", ", \t", {"COM1", "COM2"}},
      {"COM1,", ", \t", {"COM1"}},
      {" , ", ", \t", {}},
      {"", ", \t", {}},
      {"a b\tc", "", {"a", "b", "c"}},
      {"a,b", "", {"a,b"}},
      {"a\fb\vc\r\nd", nullptr, {"a", "b", "c", "d"}},
      {"axbXc", "x", {"a", "b", "c"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tokens(c.text, c.delimiters), c.tokens) << c.text;
  }
}

TEST(StringTokenizer, NextTokenAfterTheLastLeavesTheArgumentAlone) {
  StringTokenizer<ci_string> tokens(ci_string("only,"), ",");
  ci_string token;
  tokens.NextToken(token);
  EXPECT_EQ(token, "only");
  EXPECT_FALSE(tokens.HasMoreTokens());
  EXPECT_EQ(tokens.Start(), tokens.End());
  token = ci_string("kept");
  tokens.NextToken(token);
  EXPECT_EQ(std::string(ToView(token)), "kept");
}

}  // namespace
