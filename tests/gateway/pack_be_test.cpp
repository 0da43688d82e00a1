// Big-endian packing and unpacking by format string.
#include "gateway/pack_be.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(UnpackBE, ReadsAModbusTcpHeader) {
  const std::uint8_t bytes[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11};
  std::uint16_t transaction = 0, protocol = 9, length = 0;
  std::uint8_t unit = 0;
  EXPECT_EQ(UnpackBE(bytes, "HHHB", &transaction, &protocol, &length, &unit),
            7);
  EXPECT_EQ(transaction, 1);
  EXPECT_EQ(protocol, 0);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(unit, 0x11);
}

TEST(UnpackBE, TakesLowerCaseLettersAndSkipsPaddingBytes) {
  const std::uint8_t bytes[] = {0xAB, 0x12, 0x34, 0xFF, 0x01, 0x02, 0x03, 0x04};
  std::uint16_t half = 0;
  std::uint32_t word = 0;
  EXPECT_EQ(UnpackBE(bytes, "xhxl", &half, &word), 8);
  EXPECT_EQ(half, 0x1234);
  EXPECT_EQ(word, 0x01020304u);
}

TEST(UnpackBE, StopsAtAnUnknownLetterKeepingFieldsStoredBefore) {
  const std::uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
  std::uint16_t first = 0, second = 0;
  EXPECT_EQ(UnpackBE(bytes, "HQH", &first, &second), -1);
  EXPECT_EQ(first, 0x1234);
  EXPECT_EQ(second, 0);
}

TEST(PackBE, PassesOverPaddingLeavingItsByteUnchanged) {
  std::uint8_t bytes[] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(PackBE(bytes, "BxH", 0x11, 0x2233), 4);
  EXPECT_EQ(bytes[0], 0x11);
  EXPECT_EQ(bytes[1], 0xEE);
  EXPECT_EQ(bytes[2], 0x22);
  EXPECT_EQ(bytes[3], 0x33);
  EXPECT_EQ(bytes[4], 0xEE);
}

TEST(PackBE, WritesTheLowOrderBitsOfEachIntBigEndian) {
  std::uint8_t bytes[7] = {};
  EXPECT_EQ(PackBE(bytes, "BhI", 0x1234, 0x12345, -2), 7);
  const std::uint8_t expected[] = {0x34, 0x23, 0x45, 0xFF, 0xFF, 0xFF, 0xFE};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;
}

TEST(PackBE, StopsAtAnUnknownLetterKeepingBytesWrittenBefore) {
  std::uint8_t bytes[] = {0, 0, 0, 0};
  EXPECT_EQ(PackBE(bytes, "HQH", 0x0102, 0x0304), -1);
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[1], 0x02);
  EXPECT_EQ(bytes[2], 0x00);
  EXPECT_EQ(PackBE(bytes, ""), 0);
}

}  // namespace
