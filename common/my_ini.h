#pragma once
// TMyINI: reads an INI file into a map from section to a map from key to
// value. Each line is classified by four patterns tried in a fixed order
// (key=value, section header, blank, comment); the first match wins.
// Values are not interpreted here; typed getters convert on request.
//
// Two forms: TMyINI<ci_string> (MyINI) for the configuration, where names
// ignore letter case, and TMyINI<AnsiString> for the error texts, where
// names compare exactly. The options dialog's working copy is the
// AnsiString form holding what MyINI read (see LoadEditableIni).
#include <cstdint>
#include <istream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/ci_string.h"
#include "common/my_pcre.h"
#include "platform/ansi_string.h"

// Results of TMyINI operations.
inline constexpr int kIniOk = 0;
inline constexpr int kIniCannotOpen = -1;
inline constexpr int kIniBadLine = -2;
inline constexpr int kIniNoSection = -3;
inline constexpr int kIniNoKey = -4;
inline constexpr int kIniBadValue = -7;

// The whole of a regular file in one read; false when it cannot be read.
bool ReadWholeFile(const char* file_name, std::string& buffer);

// The offset of the stream's end; the read position is kept. -1 for a
// stream already in a failed state.
std::int32_t GetStreamLength(std::istream& stream);

// Reads `value` from a stored value by the stream's formatted extraction
// (numbers in decimal, read as far as they go; a std::string gets the
// first word). A minus sign before a number of an unsigned type is
// refused. kIniOk or kIniBadValue; on kIniBadValue `value` is not to be
// used.
template <class T>
int ConvertIniValue(std::string_view text, T& value) {
  std::istringstream stream{std::string(text)};
  if constexpr (std::is_unsigned_v<T>) {
    // The extraction would take "-1" as the type's largest value: a
    // time-out of "for ever" where the operator meant none.
    stream >> std::ws;
    if (stream.peek() == '-') return kIniBadValue;
  }
  stream >> value;
  return (stream.fail() || stream.bad()) ? kIniBadValue : kIniOk;
}

template <class S>
class TMyINI {
 public:
  using KeyMap = std::map<S, S>;
  using SectionMap = std::map<S, KeyMap>;

  TMyINI();

  // 0; kIniCannotOpen with nothing changed; kIniBadLine with the lines
  // before the bad one stored and the file name remembered.
  int Load(const char* file_name);

  // As Load, with `bytes` taken as the content of the file `file_name`.
  int LoadBytes(const std::string& bytes, const char* file_name);

  // The whole value. 0; kIniNoSection or kIniNoKey with `value` untouched.
  int GetValue(const S& section, const S& key, S& value) const;

  // The value converted by ConvertIniValue: 0, kIniNoSection, kIniNoKey,
  // or kIniBadValue; on any result but 0 the output is not to be used.
  template <class T>
    requires(std::is_same_v<S, ci_string> && !std::is_same_v<T, S>)
  int GetValue(const S& section, const S& key, T& value) const {
    const S* text = Find(section, key);
    if (text == nullptr) return FindResult(section);
    return ConvertIniValue(ToView(*text), value);
  }

  // Takes over what `other` read, as `other` read it: its file name, and
  // its names and values in this form's string type. Names that `other`
  // took for one (letter case aside, say) stay one entry here.
  template <class Other>
  void CopyFrom(const TMyINI<Other>& other) {
    Sections.clear();
    for (const auto& [section, keys] : other.Sections) {
      KeyMap& copy = Sections[S(section.data(), section.size())];
      for (const auto& [key, value] : keys)
        copy[S(key.data(), key.size())] = S(value.data(), value.size());
    }
    file_name_ = other.FileName();
  }

  // The value, or "" when the section or the key is missing.
  S GetString(const S& section, const S& key) const;

  // The name given to the last Load that could open its file.
  const std::string& FileName() const { return file_name_; }

  SectionMap Sections;

 private:
  // The stored value, or null when the section or the key is missing.
  const S* Find(const S& section, const S& key) const;
  int FindResult(const S& section) const {
    return Sections.count(section) == 0 ? kIniNoSection : kIniNoKey;
  }
  int ParseBuffer(const std::string& buffer);

  std::string file_name_;
  MyPcre section_pattern_;
  MyPcre key_value_pattern_;
  MyPcre blank_pattern_;
  MyPcre comment_pattern_;
};

extern template class TMyINI<ci_string>;
extern template class TMyINI<AnsiString>;

using MyINI = TMyINI<ci_string>;
