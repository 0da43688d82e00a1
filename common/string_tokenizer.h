#pragma once
// StringTokenizer: walks a private copy of a text token by token, a token
// being a maximal run of characters that are not delimiters. Runs of
// delimiters act as one separator; no empty token is ever produced.
//
//   StringTokenizer<ci_string> tokens(list, ", \t");
//   while (tokens.HasMoreTokens()) { ci_string name; tokens.NextToken(name); }
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "common/ci_string.h"
#include "platform/ansi_string.h"

// The delimiters used when the caller gives none (or an empty set).
inline constexpr const char* kDefaultDelimiters = " \f\n\r\t\v";

// The delimiter policy. Both searches return a position or npos; a search
// from npos or from beyond the text gives npos.
template <class S>
class StrTkTraits;

// Delimiters compare without regard to letter case, like the text.
template <>
class StrTkTraits<ci_string> {
 public:
  explicit StrTkTraits(const char* delimiters);
  std::size_t SkipDelimiters(const ci_string& text, std::size_t pos) const;
  std::size_t FindDelimiter(const ci_string& text, std::size_t pos) const;

 private:
  ci_string delimiters_;
};

// Delimiters are a set of 256 bits, tested exactly (letter case counts).
template <>
class StrTkTraits<AnsiString> {
 public:
  explicit StrTkTraits(const char* delimiters);
  std::size_t SkipDelimiters(const AnsiString& text, std::size_t pos) const;
  std::size_t FindDelimiter(const AnsiString& text, std::size_t pos) const;

 private:
  bool IsDelimiter(char c) const {
    const auto byte = static_cast<unsigned char>(c);
    return (bits_[byte / 8] >> (byte % 8)) & 1u;
  }

  std::array<unsigned char, 32> bits_{};
};

template <class S>
class StringTokenizer {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  StringTokenizer(const S& text, const char* delimiters);

  // Positions on the first token again.
  void Rewind();
  // Hands out the next token and advances. When no token is left the
  // argument is not touched.
  void NextToken(S& token);

  // Start and end are equal only when both are npos: every token was given.
  bool HasMoreTokens() const { return start_ != end_; }
  std::size_t Start() const { return start_; }
  std::size_t End() const { return end_; }

 private:
  StrTkTraits<S> traits_;
  S text_;
  std::size_t start_ = npos;  // first character of the next token
  std::size_t end_ = npos;    // first delimiter after it, npos at the end
};

extern template class StringTokenizer<ci_string>;
extern template class StringTokenizer<AnsiString>;

using AnsiStrVector = std::vector<AnsiString>;

// Appends the tokens of `text` to `out` (never clears it) and returns the
// size of `out` afterwards.
int SplitTokens(const AnsiString& text, AnsiStrVector& out,
                const char* delimiters);
