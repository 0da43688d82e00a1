// Requests and replies relayed byte for byte: a client on a plain socket on
// one side, the test itself as the RTU device on the other, so that every
// byte on the line and on the connection can be compared.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/gateway_fixture.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

struct Exchange {
  const char* name;
  std::string request_pdu;
  std::string reply_pdu;
};

// One of each function code the gateway understands, with the reply a
// device would give.
const Exchange kExchanges[] = {
    {"read coils", Bytes({0x01, 0x00, 0x13, 0x00, 0x13}),
     Bytes({0x01, 0x03, 0xCD, 0x6B, 0x05})},
    {"read discrete inputs", Bytes({0x02, 0x00, 0xC4, 0x00, 0x16}),
     Bytes({0x02, 0x03, 0xAC, 0xDB, 0x35})},
    {"read holding registers", Bytes({0x03, 0x00, 0x6B, 0x00, 0x03}),
     Bytes({0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64})},
    {"read input registers", Bytes({0x04, 0x00, 0x08, 0x00, 0x01}),
     Bytes({0x04, 0x02, 0x00, 0x0A})},
    {"write single coil", Bytes({0x05, 0x00, 0xAC, 0xFF, 0x00}),
     Bytes({0x05, 0x00, 0xAC, 0xFF, 0x00})},
    {"write single register", Bytes({0x06, 0x00, 0x01, 0x00, 0x03}),
     Bytes({0x06, 0x00, 0x01, 0x00, 0x03})},
    {"write multiple coils",
     Bytes({0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01}),
     Bytes({0x0F, 0x00, 0x13, 0x00, 0x0A})},
    {"write multiple registers",
     Bytes({0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}),
     Bytes({0x10, 0x00, 0x01, 0x00, 0x02})},
    {"mask write register", Bytes({0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}),
     Bytes({0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25})},
    {"read/write multiple registers",
     Bytes({0x17, 0x00, 0x03, 0x00, 0x06, 0x00, 0x0E, 0x00, 0x03, 0x06, 0x00,
            0xFF, 0x00, 0xFF, 0x00, 0xFF}),
     Bytes({0x17, 0x0C, 0x00, 0xFE, 0x0A, 0xCD, 0x00, 0x01, 0x00, 0x03, 0x00,
            0x0D, 0x00, 0xFF})},
    {"longest request: length field 254",
     Bytes({0x17, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 0x79, 0xF3}) +
         std::string(243, '\x5A'),
     Bytes({0x17, 0x02, 0x12, 0x34})},
};

// The device pauses after the first byte and before the last byte of each
// reply, as a slow device or a busy line does: the gateway must wait for
// the whole reply, however many reads it takes.
TEST(GatewayRelay, EveryFunctionCodeAndItsExceptionReplyPassUnchanged) {
  GatewayFixture gateway;
  PtyPort& line = gateway.AddPort(1, "1-20");
  ASSERT_TRUE(gateway.Start());
  RawModbusClient client(gateway.TcpPort());
  constexpr std::uint8_t kUnit = 17;
  std::uint16_t transaction = 0xFFF0;
  for (const Exchange& exchange : kExchanges) {
    const int function = static_cast<std::uint8_t>(exchange.request_pdu[0]);
    for (const std::string& reply :
         {exchange.reply_pdu, Bytes({function | 0x80, 0x02})}) {
      SCOPED_TRACE(exchange.name);
      ++transaction;  // wraps past 0xFFFF on the way
      ASSERT_TRUE(client.Send(TcpFrame(transaction, kUnit, exchange.request_pdu)));
      const std::string on_line = RtuFrame(kUnit, exchange.request_pdu);
      EXPECT_EQ(Hex(line.ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
      const std::string answer = RtuFrame(kUnit, reply);
      ASSERT_TRUE(line.WriteFar(answer.substr(0, 1)));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ASSERT_TRUE(line.WriteFar(answer.substr(1, answer.size() - 2)));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ASSERT_TRUE(line.WriteFar(answer.substr(answer.size() - 1)));
      EXPECT_EQ(Hex(client.ReadFrame()), Hex(TcpFrame(transaction, kUnit, reply)));
    }
  }
}

}  // namespace
