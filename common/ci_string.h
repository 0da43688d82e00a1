#pragma once
// ci_string: a string whose comparisons ignore the case of ASCII letters.
// The names of sections, keys and serial ports in the configuration are
// ci_strings, so SerialPorts, serialports and SERIALPORTS name one key.
// The letters are kept as written; only comparing and searching fold them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct ci_char_traits : std::char_traits<char> {
  // Plain ASCII folding: only 'a'..'z' change. Bytes 0x80..0xFF stay as
  // they are, so the Latin-1 small and capital forms of a letter differ.
  static constexpr unsigned char upper(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 32)
                                        : byte;
  }

  static constexpr bool eq(char a, char b) { return upper(a) == upper(b); }
  static constexpr bool lt(char a, char b) { return upper(a) < upper(b); }

  // The difference of the folded bytes at the first position that differs.
  static constexpr int compare(const char* s1, const char* s2,
                               std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const int difference = int{upper(s1[i])} - int{upper(s2[i])};
      if (difference != 0) return difference;
    }
    return 0;
  }

  static constexpr const char* find(const char* s, std::size_t n,
                                    const char& c) {
    for (std::size_t i = 0; i < n; ++i) {
      if (eq(s[i], c)) return s + i;
    }
    return nullptr;
  }
};

using ci_string = std::basic_string<char, ci_char_traits>;

// Two plain strings compared as ci_strings compare: ASCII letter case aside.
inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         ci_char_traits::compare(a.data(), b.data(), a.size()) == 0;
}

// The bytes of a ci_string as a plain view, for printing and for the
// string types that do not share its traits.
inline std::string_view ToView(const ci_string& text) {
  return std::string_view(text.data(), text.size());
}

// Names that differ only in letter case compare equal, so they must hash
// alike: the hash runs over the folded bytes (FNV-1a).
template <>
struct std::hash<ci_string> {
  std::size_t operator()(const ci_string& text) const noexcept {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
      hash ^= ci_char_traits::upper(c);
      hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
  }
};
