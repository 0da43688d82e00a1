#include "gateway/ipv4_text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kHighestGroup = 255;

// One group: a decimal number from 0 to 255, with optional leading blanks
// and plus sign. A larger or negative number is refused rather than cut to
// its low byte, which would bind some other address (999 would be 231).
bool ReadGroup(const char*& cursor, std::uint8_t& group) {
  while (std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
  if (*cursor == '+') ++cursor;
  if (!std::isdigit(static_cast<unsigned char>(*cursor))) return false;
  unsigned value = 0;
  while (std::isdigit(static_cast<unsigned char>(*cursor))) {
    value = value * 10 + static_cast<unsigned>(*cursor - '0');
    if (value > kHighestGroup) return false;  // also keeps it from overflowing
    ++cursor;
  }
  group = static_cast<std::uint8_t>(value);
  return true;
}

}  // namespace

bool ParseIpv4Text(const char* text, in_addr& address) {
  std::uint8_t bytes[4];
  const char* cursor = text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *cursor++ != '.') return false;
    if (!ReadGroup(cursor, bytes[i])) return false;
  }
  std::memcpy(&address.s_addr, bytes, sizeof bytes);
  return true;
}

std::string Ipv4Text(const in_addr& address) {
  unsigned char bytes[4];
  std::memcpy(bytes, &address.s_addr, sizeof bytes);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1],
                bytes[2], bytes[3]);
  return text;
}
