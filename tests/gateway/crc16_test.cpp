// The CRC-16 of RTU frames: the check value, known frames, and every byte
// against the bit-at-a-time computation of the tests' own frame builder.
#include "gateway/crc16.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/modbus_frames.h"

namespace {

std::uint16_t Crc(const std::string& bytes) {
  return ModbusCrc16(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                     static_cast<std::uint16_t>(bytes.size()));
}

TEST(ModbusCrc16, GivesTheCheckValueAndKnownFrames) {
  EXPECT_EQ(Crc("123456789"), 0x4B37);
  EXPECT_EQ(Crc(Bytes({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03})), 0x8776);
  EXPECT_EQ(ModbusCrc16(nullptr, 0), 0xFFFF);
  // Over a frame with its CRC, low-order byte first: 0.
  EXPECT_EQ(Crc(Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A})), 0);
}

TEST(ModbusCrc16, AgreesWithTheBitwiseComputationForEveryByteAndLongData) {
  for (int byte = 0; byte < 256; ++byte) {
    ASSERT_EQ(Crc(Bytes({byte})), Crc16(Bytes({byte}))) << "byte " << byte;
  }
  std::mt19937 random(20240601);
  for (std::size_t size : {2u, 17u, 256u, 1024u}) {
    std::string data(size, '\0');
    for (char& byte : data) byte = static_cast<char>(random());
    EXPECT_EQ(Crc(data), Crc16(data)) << "size " << size;
  }
}

}  // namespace
