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

TYPED_TEST(Tokenizer, SplitsAtAnyMixOfCommaBlankAndTab) {
  EXPECT_EQ(Tokens<TypeParam>("COM1, COM2\tCOM3", ", \t"),
            (Strings{"COM1", "COM2", "COM3"}));
}

TYPED_TEST(Tokenizer, RunsAndEdgesOfDelimitersGiveNoEmptyTokens) {
  EXPECT_EQ(Tokens<TypeParam>(",,COM1,, COM2,,", ", \t"),
            (Strings{"COM1", "COM2"}));
  EXPECT_EQ(Tokens<TypeParam>("COM1,", ", \t"), (Strings{"COM1"}));
  EXPECT_EQ(Tokens<TypeParam>(",", ", \t"), Strings{});
  EXPECT_EQ(Tokens<TypeParam>(" , ", ", \t"), Strings{});
  EXPECT_EQ(Tokens<TypeParam>("", ", \t"), Strings{});
}

TYPED_TEST(Tokenizer, EmptyDelimitersMeanWhiteSpace) {
  EXPECT_EQ(Tokens<TypeParam>("a b\tc", ""), (Strings{"a", "b", "c"}));
  EXPECT_EQ(Tokens<TypeParam>("a,b", ""), (Strings{"a,b"}));
  EXPECT_EQ(Tokens<TypeParam>("a\fb\vc\r\nd", nullptr),
            (Strings{"a", "b", "c", "d"}));
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

TEST(TokenizerForms, DelimiterCaseMattersOnlyInTheAnsiForm) {
  EXPECT_EQ(Tokens<ci_string>("axbXc", "x"), (Strings{"a", "b", "c"}));
  EXPECT_EQ(Tokens<AnsiString>("axbXc", "x"), (Strings{"a", "bXc"}));
}

TEST(TokenizerForms, HighBytesAreDelimitersByTheirUnsignedValue) {
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
