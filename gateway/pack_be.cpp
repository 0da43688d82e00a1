#include "gateway/pack_be.h"

#include <cstdarg>

namespace {

constexpr int kBadFormat = -1;

// Bytes of one field letter, 0 for a letter outside the format alphabet.
int FieldSize(char letter) {
  switch (letter) {
    case 'B':
    case 'x':
      return 1;
    case 'H':
    case 'h':
      return 2;
    case 'I':
    case 'L':
    case 'i':
    case 'l':
      return 4;
    default:
      return 0;
  }
}

void PutBigEndian(std::uint8_t* out, std::uint32_t value, int size) {
  for (int i = size - 1; i >= 0; --i) {
    out[i] = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
}

std::uint32_t GetBigEndian(const std::uint8_t* in, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | in[i];
  return value;
}

}  // namespace

int PackBE(std::uint8_t* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int offset = 0;
  for (const char* letter = format; *letter != '\0'; ++letter) {
    const int size = FieldSize(*letter);
    if (size == 0) {
      offset = kBadFormat;
      break;
    }
    if (*letter != 'x') {
      const auto value = static_cast<std::uint32_t>(va_arg(args, int));
      PutBigEndian(out + offset, value, size);
    }
    offset += size;
  }
  va_end(args);
  return offset;
}

int UnpackBE(const std::uint8_t* in, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int offset = 0;
  for (const char* letter = format; *letter != '\0'; ++letter) {
    const int size = FieldSize(*letter);
    if (size == 0) {
      offset = kBadFormat;
      break;
    }
    if (*letter != 'x') {
      const std::uint32_t value = GetBigEndian(in + offset, size);
      if (size == 1) {
        *va_arg(args, std::uint8_t*) = static_cast<std::uint8_t>(value);
      } else if (size == 2) {
        *va_arg(args, std::uint16_t*) = static_cast<std::uint16_t>(value);
      } else {
        *va_arg(args, std::uint32_t*) = value;
      }
    }
    offset += size;
  }
  va_end(args);
  return offset;
}
