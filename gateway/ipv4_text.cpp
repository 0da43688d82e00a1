#include "gateway/ipv4_text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// One signed decimal number. Only its low-order byte is kept, computed
// modulo 256 as the digits come, so no length of digits can overflow.
bool ReadLowByte(const char*& cursor, std::uint8_t& low_byte) {
  while (std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
  bool negative = false;
  if (*cursor == '+' || *cursor == '-') {
    negative = *cursor == '-';
    ++cursor;
  }
  if (!std::isdigit(static_cast<unsigned char>(*cursor))) return false;
  unsigned value = 0;
  while (std::isdigit(static_cast<unsigned char>(*cursor))) {
    value = (value * 10 + static_cast<unsigned>(*cursor - '0')) & 0xFFu;
    ++cursor;
  }
  low_byte = static_cast<std::uint8_t>(negative ? 0u - value : value);
  return true;
}

}  // namespace

bool ParseIpv4Text(const char* text, in_addr& address) {
  std::uint8_t bytes[4];
  const char* cursor = text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *cursor++ != '.') return false;
    if (!ReadLowByte(cursor, bytes[i])) return false;
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
