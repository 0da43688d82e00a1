#include "platform/ansi_string.h"

#include <cstdarg>
#include <cstdio>

namespace {

void AppendFormatted(std::string& out, const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed <= 0) return;
  const std::size_t old_size = out.size();
  out.resize(old_size + static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(out.data() + old_size, static_cast<std::size_t>(needed) + 1,
                 format, args);
  out.resize(old_size + static_cast<std::size_t>(needed));
}

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

AnsiString& AnsiString::sprintf(const char* format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  AppendFormatted(out, format, args);
  va_end(args);
  text_ = std::move(out);
  return *this;
}

AnsiString& AnsiString::cat_sprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatted(text_, format, args);
  va_end(args);
  return *this;
}

AnsiString AnsiString::Trim() const {
  std::size_t first = 0;
  std::size_t last = text_.size();
  while (first < last && IsTrimmed(text_[first])) ++first;
  while (last > first && IsTrimmed(text_[last - 1])) --last;
  return AnsiString(text_.substr(first, last - first));
}

AnsiString AnsiString::SubString(int index, int count) const {
  if (index < 1) index = 1;
  const auto start = static_cast<std::size_t>(index - 1);
  if (start >= text_.size() || count <= 0) return AnsiString();
  return AnsiString(text_.substr(start, static_cast<std::size_t>(count)));
}

AnsiString& AnsiString::Insert(const AnsiString& other, int index) {
  if (index < 1) index = 1;
  std::size_t at = static_cast<std::size_t>(index - 1);
  if (at > text_.size()) at = text_.size();
  text_.insert(at, other.text_);
  return *this;
}

int AnsiString::Pos(const AnsiString& other) const {
  const std::size_t at = text_.find(other.text_);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}
