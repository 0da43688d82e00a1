// Big-endian packing and unpacking by format string.
#include "gateway/pack_be.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UnpackBE, ReadsEachLetterSkipsPaddingAndStopsAtAnUnknownLetter) {
  const std::uint8_t header[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11};
  std::uint16_t transaction = 0, protocol = 9, length = 0;
  std::uint8_t unit = 0;
  EXPECT_EQ(UnpackBE(header, "HHHB", &transaction, &protocol, &length, &unit),
            7);
  EXPECT_EQ(transaction, 1);
  EXPECT_EQ(protocol, 0);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(unit, 0x11);

  const std::uint8_t bytes[] = {0xAB, 0x12, 0x34, 0xFF, 0x01, 0x02, 0x03, 0x04};
  std::uint16_t half = 0, untouched = 0;
  std::uint32_t word = 0;
  EXPECT_EQ(UnpackBE(bytes, "xhxl", &half, &word), 8);
  EXPECT_EQ(half, 0x1234);
  EXPECT_EQ(word, 0x01020304u);
  EXPECT_EQ(UnpackBE(bytes + 1, "HQH", &half, &untouched), -1);
  EXPECT_EQ(half, 0x1234);
  EXPECT_EQ(untouched, 0);
}

TEST(PackBE, WritesLowOrderBitsBigEndianPassesPaddingAndStopsAtAnUnknownLetter) {
  Bytes bytes(8, 0xEE);
  EXPECT_EQ(PackBE(bytes.data(), "BxhI", 0x1234, 0x12345, -2), 8);
  EXPECT_EQ(bytes, (Bytes{0x34, 0xEE, 0x23, 0x45, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(PackBE(bytes.data(), "HQH", 0x0102, 0x0304), -1);
  EXPECT_EQ(bytes, (Bytes{0x01, 0x02, 0x23, 0x45, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(PackBE(bytes.data(), ""), 0);
}

}  // namespace
