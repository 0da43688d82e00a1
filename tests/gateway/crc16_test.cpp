// The CRC-16 of RTU frames: known values, and every table entry against a
// bit-at-a-time computation of the same polynomial.
#include "gateway/crc16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

std::uint16_t BitwiseCrc16(const std::vector<std::uint8_t>& data) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                      : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return crc;
}

std::uint16_t Crc(const std::vector<std::uint8_t>& data) {
  return ModbusCrc16(data.data(), static_cast<std::uint16_t>(data.size()));
}

TEST(ModbusCrc16, GivesTheCheckValueOverTheNineDigits) {
  const std::vector<std::uint8_t> digits{'1', '2', '3', '4', '5',
                                         '6', '7', '8', '9'};
  EXPECT_EQ(Crc(digits), 0x4B37);
}

TEST(ModbusCrc16, MatchesKnownRequestFramesLowOrderByteFirst) {
  EXPECT_EQ(Crc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 0x0A84);  // 84 0A
  EXPECT_EQ(Crc({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}), 0x8776);  // 76 87
}

TEST(ModbusCrc16, IsAllOnesOverNothingAndZeroOverAFrameWithItsCrc) {
  EXPECT_EQ(ModbusCrc16(nullptr, 0), 0xFFFF);
  EXPECT_EQ(Crc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}), 0);
  EXPECT_EQ(Crc({0x01, 0x03, 0x02, 0x00, 0x0A, 0x38, 0x43}), 0);
}

TEST(ModbusCrc16, AgreesWithTheBitwiseComputationForEveryByteAndLongData) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::vector<std::uint8_t> one{static_cast<std::uint8_t>(byte)};
    ASSERT_EQ(Crc(one), BitwiseCrc16(one)) << "byte " << byte;
  }
  std::mt19937 random(20240601);
  for (std::size_t size : {2u, 17u, 256u, 1024u}) {
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
    EXPECT_EQ(Crc(data), BitwiseCrc16(data)) << "size " << size;
  }
}

}  // namespace
