#pragma once
// AnsiString: the 8-bit text type of the log, the forms and the error
// texts. A plain value type; positions in its interface count from 1, as
// the callers expect of this string.
#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class AnsiString {
 public:
  AnsiString() = default;
  AnsiString(const char* text) : text_(text != nullptr ? text : "") {}
  AnsiString(const char* text, std::size_t length) : text_(text, length) {}
  AnsiString(std::string text) : text_(std::move(text)) {}
  AnsiString(std::string_view text) : text_(text) {}
  // The decimal text of a number.
  explicit AnsiString(int number) : text_(std::to_string(number)) {}

  // Never null: an empty string gives "".
  const char* c_str() const { return text_.c_str(); }
  const char* data() const { return text_.data(); }
  int Length() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }
  const std::string& str() const { return text_; }
  std::string_view view() const { return text_; }

  AnsiString& operator+=(const AnsiString& other) {
    text_ += other.text_;
    return *this;
  }
  AnsiString& operator+=(const char* other) {
    if (other != nullptr) text_ += other;
    return *this;
  }
  AnsiString& operator+=(char c) {
    text_ += c;
    return *this;
  }

  // Replaces the content with printf-style output; grows as needed.
  AnsiString& sprintf(const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  // Appends printf-style output.
  AnsiString& cat_sprintf(const char* format, ...)
      __attribute__((format(printf, 2, 3)));

  // A copy without the bytes 0x00 to 0x20 at either end.
  AnsiString Trim() const;
  // `count` characters from position `index` (1-based); clipped to the text.
  AnsiString SubString(int index, int count) const;
  // Inserts `other` before position `index` (1-based; clipped to the text).
  AnsiString& Insert(const AnsiString& other, int index);
  // Position (1-based) of the first occurrence of `other`, 0 when none.
  int Pos(const AnsiString& other) const;

  // Byte order, each byte taken as unsigned; a proper prefix sorts first.
  friend bool operator==(const AnsiString& a, const AnsiString& b) {
    return a.text_ == b.text_;
  }
  friend std::strong_ordering operator<=>(const AnsiString& a,
                                          const AnsiString& b) {
    return a.text_.compare(b.text_) <=> 0;
  }

 private:
  std::string text_;
};

inline AnsiString operator+(AnsiString a, const AnsiString& b) {
  a += b;
  return a;
}
inline AnsiString operator+(AnsiString a, const char* b) {
  a += b;
  return a;
}
inline AnsiString operator+(const char* a, const AnsiString& b) {
  AnsiString result(a);
  result += b;
  return result;
}

template <>
struct std::hash<AnsiString> {
  std::size_t operator()(const AnsiString& s) const noexcept {
    return std::hash<std::string>{}(s.str());
  }
};
