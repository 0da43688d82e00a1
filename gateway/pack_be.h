#pragma once
// Big-endian fields by a format string, one letter per field, left to
// right:
//   B      1 byte   (PackBE: an int's low-order 8 bits; UnpackBE: uint8_t*)
//   H, h   2 bytes  (an int's low-order 16 bits; uint16_t*)
//   I, L, i, l  4 bytes  (an int of 32 bits; uint32_t*)
//   x      1 byte passed over: left as it is, no argument
// Both return the number of bytes passed over, or -1 at the first letter
// outside this list; what was written or stored before that stays.
// The caller sizes the bytes for the format; nothing is bounds-checked.
#include <cstdint>

int PackBE(std::uint8_t* out, const char* format, ...);
int UnpackBE(const std::uint8_t* in, const char* format, ...);
