// Requests and replies relayed byte for byte: a client on a plain socket
// on one side, the test itself as the RTU device on the other, so that
// every byte on the line and on the connection can be compared.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/gateway_fixture.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

struct Exchange {
  std::string name;
  std::string request_pdu;
  std::string reply_pdu;
};

// Named in test listings by its name rather than its bytes.
void PrintTo(const Exchange& exchange, std::ostream* out) {
  *out << exchange.name;
}

std::string Registers(int count, int first_value) {
  std::string data;
  for (int k = 0; k < count; ++k) {
    data += Bytes({(first_value + k) >> 8, (first_value + k) & 0xFF});
  }
  return data;
}

// One of each function code the gateway understands, with the reply a
// device would give.
const Exchange kNormalExchanges[] = {
    {"ReadCoils", Bytes({0x01, 0x00, 0x13, 0x00, 0x13}),
     Bytes({0x01, 0x03, 0xCD, 0x6B, 0x05})},
    {"ReadDiscreteInputs", Bytes({0x02, 0x00, 0xC4, 0x00, 0x16}),
     Bytes({0x02, 0x03, 0xAC, 0xDB, 0x35})},
    {"ReadHoldingRegisters", Bytes({0x03, 0x00, 0x6B, 0x00, 0x03}),
     Bytes({0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64})},
    {"ReadInputRegisters", Bytes({0x04, 0x00, 0x08, 0x00, 0x01}),
     Bytes({0x04, 0x02, 0x00, 0x0A})},
    {"WriteSingleCoil", Bytes({0x05, 0x00, 0xAC, 0xFF, 0x00}),
     Bytes({0x05, 0x00, 0xAC, 0xFF, 0x00})},
    {"WriteSingleRegister", Bytes({0x06, 0x00, 0x01, 0x00, 0x03}),
     Bytes({0x06, 0x00, 0x01, 0x00, 0x03})},
    {"WriteMultipleCoils",
     Bytes({0x0F, 0x00, 0x13, 0x00, 0x0A, 0x02, 0xCD, 0x01}),
     Bytes({0x0F, 0x00, 0x13, 0x00, 0x0A})},
    {"WriteMultipleRegisters",
     Bytes({0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}),
     Bytes({0x10, 0x00, 0x01, 0x00, 0x02})},
    {"MaskWriteRegister", Bytes({0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}),
     Bytes({0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25})},
    {"ReadWriteMultipleRegisters",
     Bytes({0x17, 0x00, 0x03, 0x00, 0x06, 0x00, 0x0E, 0x00, 0x03, 0x06, 0x00,
            0xFF, 0x00, 0xFF, 0x00, 0xFF}),
     Bytes({0x17, 0x0C, 0x00, 0xFE, 0x0A, 0xCD, 0x00, 0x01, 0x00, 0x03, 0x00,
            0x0D, 0x00, 0xFF})},
};

// Each of them, then the largest frames the gateway takes (260 bytes of
// request, a reply of 125 registers), then an exception reply to each.
std::vector<Exchange> AllExchanges() {
  std::vector<Exchange> all(std::begin(kNormalExchanges),
                            std::end(kNormalExchanges));
  const std::string write_123 = Bytes({0x10, 0x00, 0x20, 0x00, 123});
  all.push_back({"LargestRequest",
                 write_123 + Bytes({246}) + Registers(123, 500), write_123});
  all.push_back({"LargestReply", Bytes({0x03, 0x00, 0x00, 0x00, 125}),
                 Bytes({0x03, 250}) + Registers(125, 700)});
  int code = 0;  // exception codes 1 to 6 in turn
  for (const Exchange& exchange : kNormalExchanges) {
    const int function = static_cast<std::uint8_t>(exchange.request_pdu[0]);
    all.push_back({"ExceptionOf" + exchange.name, exchange.request_pdu,
                   Bytes({function | 0x80, ++code % 6 + 1})});
  }
  return all;
}

class GatewayRelay : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = &gateway_.AddPort(1, "1-20,200");
    ASSERT_TRUE(gateway_.Start());
  }

  // The device's part: the RTU request that reached the line.
  std::string TakeRequest(std::size_t length) {
    return line_->ReadFar(length, kHangGuardMs);
  }

  GatewayFixture gateway_;
  PtyPort* line_ = nullptr;
};

class GatewayRelayOf : public GatewayRelay,
                       public ::testing::WithParamInterface<Exchange> {};

TEST_P(GatewayRelayOf, SendsTheRequestToTheLineAndTheReplyBackUnchanged) {
  const Exchange& exchange = GetParam();
  constexpr std::uint8_t kUnit = 17;
  constexpr std::uint16_t kTransaction = 0xBEEF;
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send(TcpFrame(kTransaction, kUnit, exchange.request_pdu)));

  const std::string on_line = RtuFrame(kUnit, exchange.request_pdu);
  EXPECT_EQ(Hex(TakeRequest(on_line.size())), Hex(on_line));
  ASSERT_TRUE(line_->WriteFar(RtuFrame(kUnit, exchange.reply_pdu)));

  EXPECT_EQ(Hex(client.ReadFrame()),
            Hex(TcpFrame(kTransaction, kUnit, exchange.reply_pdu)));
}

INSTANTIATE_TEST_SUITE_P(
    EveryFunctionCode, GatewayRelayOf, ::testing::ValuesIn(AllExchanges()),
    [](const ::testing::TestParamInfo<Exchange>& info) {
      return info.param.name;
    });

TEST_F(GatewayRelay, AnswersTheTransactionIdsOfOneConnectionEachInTurn) {
  RawModbusClient client(gateway_.TcpPort());
  const std::string request = Bytes({0x06, 0x00, 0x07, 0x00, 0x01});
  for (const std::uint16_t transaction : {0x0000, 0x0001, 0x7FFF, 0xFFFF}) {
    ASSERT_TRUE(client.Send(TcpFrame(transaction, 200, request)));
    EXPECT_EQ(Hex(TakeRequest(8)), Hex(RtuFrame(200, request)));
    ASSERT_TRUE(line_->WriteFar(RtuFrame(200, request)));
    EXPECT_EQ(Hex(client.ReadFrame()), Hex(TcpFrame(transaction, 200, request)));
  }
}

}  // namespace
