#include "gateway/crc16.h"

#include <array>

namespace {

using ByteTable = std::array<std::uint8_t, 256>;

// The usual 256-entry table of the reflected polynomial, one entry per
// value of (byte XOR low-order CRC byte).
constexpr std::uint16_t ReflectedTableEntry(unsigned index) {
  std::uint16_t value = static_cast<std::uint16_t>(index);
  for (int bit = 0; bit < 8; ++bit) {
    value = (value & 1) ? static_cast<std::uint16_t>((value >> 1) ^ 0xA001)
                        : static_cast<std::uint16_t>(value >> 1);
  }
  return value;
}

// The table is kept as two byte tables, its low-order and its high-order
// bytes, so that one step per byte works on the two CRC bytes apart.
constexpr ByteTable MakeByteTable(bool high_order) {
  ByteTable table{};
  for (unsigned i = 0; i < 256; ++i) {
    const std::uint16_t entry = ReflectedTableEntry(i);
    table[i] = static_cast<std::uint8_t>(high_order ? entry >> 8 : entry);
  }
  return table;
}

constexpr ByteTable kLowOrderBytes = MakeByteTable(false);
constexpr ByteTable kHighOrderBytes = MakeByteTable(true);

static_assert(kLowOrderBytes[1] == 0xC1 && kLowOrderBytes[2] == 0x81 &&
              kLowOrderBytes[3] == 0x40);
static_assert(kHighOrderBytes[1] == 0xC0 && kHighOrderBytes[2] == 0xC1 &&
              kHighOrderBytes[3] == 0x01);

}  // namespace

std::uint16_t ModbusCrc16(const std::uint8_t* data, std::uint16_t length) {
  std::uint8_t low = 0xFF;
  std::uint8_t high = 0xFF;
  for (std::uint16_t i = 0; i < length; ++i) {
    const std::uint8_t index = data[i] ^ low;
    low = kLowOrderBytes[index] ^ high;
    high = kHighOrderBytes[index];
  }
  return static_cast<std::uint16_t>(high << 8 | low);
}
