#include "common/my_ini.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace {

// Every pattern begins with "^" and ends with "$"; multi-line mode makes
// them hold at line starts and ends, and first-line mode keeps a try from
// running past the line it starts on. Only the line feed ends a line: a
// carriage return before it is taken by "\r?" or "\s*?".
constexpr const char* kSectionPattern = "^[\\t ]*?\\[(.+?)\\]\\s*?$";
constexpr const char* kKeyValuePattern = "^([^=\\n]+?)=([^\\r\\n]*)\\r?$";
constexpr const char* kBlankPattern = "^\\s*$";
constexpr const char* kCommentPattern = "^[\\t ]*?(;|#).*$";
constexpr int kLineOptions = PCRE_MULTILINE | PCRE_FIRSTLINE;

constexpr const char* kCiTrimSet = " \f\n\r\t\v";

ci_string Trimmed(const ci_string& text) {
  const std::size_t first = text.find_first_not_of(kCiTrimSet);
  if (first == ci_string::npos) return ci_string();
  const std::size_t last = text.find_last_not_of(kCiTrimSet);
  return text.substr(first, last - first + 1);
}

AnsiString Trimmed(const AnsiString& text) { return text.Trim(); }

template <class S>
S Capture(const std::string& buffer, const MatchedPoint& point) {
  if (point.start < 0 || point.end < point.start) return S();
  return S(buffer.data() + point.start,
           static_cast<std::size_t>(point.end - point.start));
}

}  // namespace

// Only regular files count as readable: a directory opens on this system
// but reports a meaningless size.
bool ReadWholeFile(const char* file_name, std::string& buffer) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file_name, error)) return false;
  std::ifstream file(file_name, std::ios::binary);
  if (!file.is_open()) return false;
  const std::int32_t length = GetStreamLength(file);
  if (length < 0) return false;
  buffer.resize(static_cast<std::size_t>(length));
  file.read(buffer.data(), length);
  return file.gcount() == length;
}

std::int32_t GetStreamLength(std::istream& stream) {
  if (stream.fail()) return -1;
  const std::streampos position = stream.tellg();
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.tellg();
  stream.seekg(position);
  if (end < 0 || end > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(end);
}

template <class S>
TMyINI<S>::TMyINI()
    : section_pattern_(kSectionPattern, kLineOptions),
      key_value_pattern_(kKeyValuePattern, kLineOptions),
      blank_pattern_(kBlankPattern, kLineOptions),
      comment_pattern_(kCommentPattern, kLineOptions) {}

template <class S>
int TMyINI<S>::Load(const char* file_name) {
  // Read first, so that a file that cannot be read changes nothing.
  std::string buffer;
  if (file_name == nullptr || !ReadWholeFile(file_name, buffer)) {
    return kIniCannotOpen;
  }
  return LoadBytes(buffer, file_name);
}

template <class S>
int TMyINI<S>::LoadBytes(const std::string& bytes, const char* file_name) {
  Sections.clear();
  file_name_ = file_name;
  return ParseBuffer(bytes);
}

template <class S>
int TMyINI<S>::ParseBuffer(const std::string& buffer) {
  const char* data = buffer.data();
  const int length = static_cast<int>(buffer.size());
  std::vector<MatchedPoint> key_value(key_value_pattern_.SlotCount());
  std::vector<MatchedPoint> header(section_pattern_.SlotCount());
  S section;  // keys above the first header live in the section ""
  int offset = 0;
  while (offset < length) {
    MatchedPoint line;
    // A key=value line wins over every other form, so "; a=b" is a key.
    if (key_value_pattern_.Exec(data, length, offset, 0) >= 1) {
      key_value_pattern_.GetMatches(key_value);
      Sections[section][Trimmed(Capture<S>(buffer, key_value[1]))] =
          Trimmed(Capture<S>(buffer, key_value[2]));
      line = key_value[0];
    } else if (section_pattern_.Exec(data, length, offset, 0) >= 1) {
      section_pattern_.GetMatches(header);
      section = Capture<S>(buffer, header[1]);  // never trimmed
      line = header[0];
    } else if (blank_pattern_.Exec(data, length, offset, 0) >= 1) {
      blank_pattern_.GetMatch(line, 0);
    } else if (comment_pattern_.Exec(data, length, offset, 0) >= 1) {
      comment_pattern_.GetMatch(line, 0);
    } else {
      return kIniBadLine;
    }
    // A match ends at its line's line feed (or the buffer's end): step over.
    offset = (line.end > offset ? line.end : offset) + 1;
  }
  return kIniOk;
}

template <class S>
const S* TMyINI<S>::Find(const S& section, const S& key) const {
  const auto keys = Sections.find(section);
  if (keys == Sections.end()) return nullptr;
  const auto value = keys->second.find(key);
  return value == keys->second.end() ? nullptr : &value->second;
}

template <class S>
int TMyINI<S>::GetValue(const S& section, const S& key, S& value) const {
  const S* text = Find(section, key);
  if (text == nullptr) return FindResult(section);
  value = *text;
  return kIniOk;
}

template <class S>
S TMyINI<S>::GetString(const S& section, const S& key) const {
  const S* text = Find(section, key);
  return text == nullptr ? S() : *text;
}

template class TMyINI<ci_string>;
template class TMyINI<AnsiString>;
