// StringTokenizer in both forms, and SplitTokens.
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "common/string_tokenizer.h"

namespace {

std::string Text(const ci_string& s) { return std::string(ToView(s)); }
std::string Text(const AnsiString& s) { return s.str(); }

template <class S>
std::vector<std::string> Tokens(const char* text, const char* delimiters) {
  StringTokenizer<S> tokens(S(text), delimiters);
  std::vector<std::string> out;
  while (tokens.HasMoreTokens()) {
    S token;
    tokens.NextToken(token);
    out.push_back(Text(token));
    if (out.size() > 100) break;  // a loop that never ends is a failure
  }
  return out;
}

using Strings = std::vector<std::string>;

// What both forms must agree on.
template <class S>
class Tokenizer : public ::testing::Test {};
using Forms = ::testing::Types<ci_string, AnsiString>;
struct FormName {
  template <class S>
  static std::string GetName(int) {
    return std::is_same_v<S, ci_string> ? "ci_string" : "AnsiString";
  }
};
TYPED_TEST_SUITE(Tokenizer, Forms, FormName);

// Runs and edges of delimiters give no empty tokens; empty delimiters
// mean white space.
TYPED_TEST(Tokenizer, SplitsAtAnyRunOfDelimiters) {
  const struct {
    const char* text;
    const char* delimiters;
    Strings tokens;
  } cases[] = {
      {"COM1, COM2\tCOM3", ", \t", {"COM1", "COM2", "COM3"}},
      {",,COM1,, COM2,,", ", \t", {"COM1", "COM2"}},
      {"COM1,", ", \t", {"COM1"}},
      {",", ", \t", {}},
      {" , ", ", \t", {}},
      {"", ", \t", {}},
      {"a b\tc", "", {"a", "b", "c"}},
      {"a,b", "", {"a,b"}},
      {"a\fb\vc\r\nd", nullptr, {"a", "b", "c", "d"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tokens<TypeParam>(c.text, c.delimiters), c.tokens) << c.text;
  }
}

TYPED_TEST(Tokenizer, NextTokenAfterTheLastLeavesTheArgumentAlone) {
  StringTokenizer<TypeParam> tokens(TypeParam("only,"), ",");
  TypeParam token;
  tokens.NextToken(token);
  EXPECT_EQ(Text(token), "only");
  EXPECT_FALSE(tokens.HasMoreTokens());
  EXPECT_EQ(tokens.Start(), tokens.End());
  token = TypeParam("kept");
  tokens.NextToken(token);
  EXPECT_EQ(Text(token), "kept");
}

TEST(TokenizerForms, DelimitersMatchByCaseOnlyInTheAnsiFormAndAsUnsigned) {
  EXPECT_EQ(Tokens<ci_string>("axbXc", "x"), (Strings{"a", "b", "c"}));
  EXPECT_EQ(Tokens<AnsiString>("axbXc", "x"), (Strings{"a", "bXc"}));
  EXPECT_EQ(Tokens<AnsiString>("a\xE9" "b\xFF" "c", "\xE9\xFF"),
            (Strings{"a", "b", "c"}));
  EXPECT_EQ(Tokens<AnsiString>("a\xC9" "b", "\xE9"), (Strings{"a\xC9" "b"}));
}

TEST(SplitTokens, AppendsAndCountsWhatWasThere) {
  AnsiStrVector out{"x", "y"};
  EXPECT_EQ(SplitTokens("a,b", out, ", \t"), 4);
  EXPECT_EQ(out, (AnsiStrVector{"x", "y", "a", "b"}));
  EXPECT_EQ(SplitTokens("", out, ", \t"), 4);
  EXPECT_EQ(SplitTokens(" ,\t", out, ", \t"), 4);
}

}  // namespace
