// Building the RTU request from a TCP request and the TCP reply from an
// RTU reply.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gateway/crc16.h"
#include "gateway/rtu_request.h"
#include "gateway/tcp_response.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A request buffer as ReadTcpRequest leaves it, with its header.
struct ReadRequest {
  Buffer buffer = Buffer(1024);
  MbapHeader header;

  explicit ReadRequest(const Bytes& frame) {
    std::copy(frame.begin(), frame.end(), buffer.begin());
    header.transaction_id =
        static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
    header.protocol_id = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
    header.length = static_cast<std::uint16_t>(frame[4] << 8 | frame[5]);
    header.unit_id = frame.size() > 6 ? frame[6] : 0;
  }
};

Bytes Head(const Buffer& buffer, std::uint32_t count) {
  return Bytes(buffer.begin(), buffer.begin() + count);
}

TEST(BuildRtuRequest, ForwardsUnitIdAndPduWithTheirCrc) {
  ReadRequest request({0x00, 0x01, 0x00, 0x00, 0x00, 0x06,  //
                       0x11, 0x03, 0x00, 0x6B, 0x00, 0x03});
  Buffer out(4096, 0xEE);
  const std::uint32_t n =
      BuildRtuRequest(out, request.buffer, 12, request.header);
  EXPECT_EQ(Head(out, n),
            (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
  EXPECT_EQ(out[n], 0xEE);
}

TEST(BuildRtuRequest, TakesOnlyTheHeaderLengthEvenWithBytesBehind) {
  ReadRequest request({0x00, 0x01, 0x00, 0x00, 0x00, 0x06,  //
                       0x11, 0x03, 0x00, 0x6B, 0x00, 0x03,  //
                       0x00, 0x02, 0x00, 0x00, 0x00, 0x06,  //
                       0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
  Buffer out(4096);
  const std::uint32_t n =
      BuildRtuRequest(out, request.buffer, 24, request.header);
  EXPECT_EQ(Head(out, n),
            (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
}

TEST(BuildRtuRequest, HandlesTheShortestAndLongestLengths) {
  Buffer out(4096);
  ReadRequest empty({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x42});
  EXPECT_EQ(Head(out, BuildRtuRequest(out, empty.buffer, 7, empty.header)),
            (Bytes{0xFF, 0xFF}));

  ReadRequest unit_only({0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01});
  const std::uint32_t n =
      BuildRtuRequest(out, unit_only.buffer, 7, unit_only.header);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(ModbusCrc16(out.data(), 3), 0);

  Bytes longest{0x00, 0x01, 0x00, 0x00, 0x00, 254};
  for (int i = 0; i < 254; ++i) longest.push_back(static_cast<std::uint8_t>(i));
  ReadRequest whole(longest);
  ASSERT_EQ(BuildRtuRequest(out, whole.buffer, 260, whole.header), 256u);
  EXPECT_EQ(Head(out, 254), Bytes(longest.begin() + 6, longest.end()));
  EXPECT_EQ(ModbusCrc16(out.data(), 256), 0);
}

TEST(BuildTcpResponse, PutsTheRequestIdsAndLengthBeforeTheReplyWithoutCrc) {
  Buffer reply(1024);
  const Bytes rtu{0x01, 0x03, 0x02, 0x00, 0x0A, 0x38, 0x43};
  std::copy(rtu.begin(), rtu.end(), reply.begin());
  MbapHeader header;
  header.transaction_id = 7;
  header.length = 6;
  header.unit_id = 0x11;  // the device's address goes back, not this
  Buffer out(4096);
  const std::uint32_t m = BuildTcpResponse(out, reply, header, 5);
  EXPECT_EQ(Head(out, m), (Bytes{0x00, 0x07, 0x00, 0x00, 0x00, 0x05,  //
                                 0x01, 0x03, 0x02, 0x00, 0x0A}));

  header.transaction_id = 0xFFFE;
  EXPECT_EQ(Head(out, BuildTcpResponse(out, reply, header, 0)),
            (Bytes{0xFF, 0xFE, 0x00, 0x00, 0x00, 0x00}));
}

}  // namespace
