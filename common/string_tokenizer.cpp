#include "common/string_tokenizer.h"

namespace {

const char* DelimitersOrDefault(const char* delimiters) {
  return (delimiters == nullptr || *delimiters == '\0') ? kDefaultDelimiters
                                                        : delimiters;
}

ci_string Slice(const ci_string& text, std::size_t start, std::size_t count) {
  return text.substr(start, count);
}

AnsiString Slice(const AnsiString& text, std::size_t start,
                 std::size_t count) {
  return AnsiString(text.view().substr(start, count));
}

}  // namespace

StrTkTraits<ci_string>::StrTkTraits(const char* delimiters)
    : delimiters_(DelimitersOrDefault(delimiters)) {}

std::size_t StrTkTraits<ci_string>::SkipDelimiters(const ci_string& text,
                                                   std::size_t pos) const {
  return text.find_first_not_of(delimiters_, pos);
}

std::size_t StrTkTraits<ci_string>::FindDelimiter(const ci_string& text,
                                                  std::size_t pos) const {
  return text.find_first_of(delimiters_, pos);
}

StrTkTraits<AnsiString>::StrTkTraits(const char* delimiters) {
  for (const char* c = DelimitersOrDefault(delimiters); *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    bits_[byte / 8] |= static_cast<unsigned char>(1u << (byte % 8));
  }
}

std::size_t StrTkTraits<AnsiString>::SkipDelimiters(const AnsiString& text,
                                                    std::size_t pos) const {
  const std::string& bytes = text.str();
  for (std::size_t p = pos; p < bytes.size(); ++p) {
    if (!IsDelimiter(bytes[p])) return p;
  }
  return std::string::npos;
}

std::size_t StrTkTraits<AnsiString>::FindDelimiter(const AnsiString& text,
                                                   std::size_t pos) const {
  const std::string& bytes = text.str();
  for (std::size_t p = pos; p < bytes.size(); ++p) {
    if (IsDelimiter(bytes[p])) return p;
  }
  return std::string::npos;
}

template <class S>
StringTokenizer<S>::StringTokenizer(const S& text, const char* delimiters)
    : traits_(delimiters), text_(text) {
  Rewind();
}

template <class S>
void StringTokenizer<S>::Rewind() {
  start_ = traits_.SkipDelimiters(text_, 0);
  end_ = traits_.FindDelimiter(text_, start_);
}

template <class S>
void StringTokenizer<S>::NextToken(S& token) {
  if (start_ == npos) return;
  if (end_ != npos) {
    token = Slice(text_, start_, end_ - start_);
    start_ = traits_.SkipDelimiters(text_, end_);
    end_ = traits_.FindDelimiter(text_, start_);
  } else {
    token = Slice(text_, start_, npos);
    start_ = npos;
  }
}

template class StringTokenizer<ci_string>;
template class StringTokenizer<AnsiString>;

int SplitTokens(const AnsiString& text, AnsiStrVector& out,
                const char* delimiters) {
  StringTokenizer<AnsiString> tokens(text, delimiters);
  while (tokens.HasMoreTokens()) {
    AnsiString token;
    tokens.NextToken(token);
    out.push_back(token);
  }
  return static_cast<int>(out.size());
}
