// Peers that misbehave: devices that stay silent, stop in the middle of a
// reply, answer with a wrong CRC, send noise or vanish; clients that hang
// up in the middle of a request, send what is not Modbus TCP, leave before
// their reply or stay idle. Each is logged with its own line, and none
// keeps the gateway from serving the next well-behaved client. Every
// failure code of a reply takes the same path (their order is tested with
// the reply reader); a unit that no port serves, with pipelining.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "gateway/tcp_env.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

// COM1: the test is the device. COM2: a libmodbus device that serves
// well-behaved clients in between.
constexpr std::uint8_t kUnitOnTestLine = 7;
constexpr std::uint8_t kWellBehavedUnit = 11;
// How long the gateway waits for a device's reply on COM1.
constexpr std::uint32_t kDeviceTimeoutMs = 500;

const std::string kReadPdu = Bytes({0x03, 0x00, 0x04, 0x00, 0x01});
const std::string kReplyPdu = Bytes({0x03, 0x02, 0x12, 0x34});

// True when the well-behaved device answers the client's request.
bool IsServedByTheGoodDevice(RawModbusClient& client,
                             std::uint16_t transaction) {
  return client.Ask(ReadRegister(transaction, kWellBehavedUnit, 5)) ==
         RegisterReply(transaction, kWellBehavedUnit, 5);
}

class GatewayFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = &gateway_.AddPort(1, "0-9", {1000, kDeviceTimeoutMs, 0});
    gateway_.StartDevice(gateway_.AddPort(2, "10-12"), kWellBehavedUnit);
    ASSERT_TRUE(gateway_.Start());
  }

  void TearDown() override {
    RawModbusClient client(gateway_.TcpPort());
    EXPECT_TRUE(IsServedByTheGoodDevice(client, 0x7777))
        << "a well-behaved client was not served";
  }

  // The device's part on COM1: the request that reached it.
  void ExpectRequestOnLine(std::uint8_t unit, const std::string& pdu) {
    const std::string expected = RtuFrame(unit, pdu);
    EXPECT_EQ(Hex(line_->ReadFar(expected.size(), kHangGuardMs)),
              Hex(expected));
  }

  // One whole exchange on COM1 that must succeed: the port is usable again.
  void ExpectServedOnTestLine(RawModbusClient& client,
                              std::uint16_t transaction) {
    ASSERT_TRUE(client.Send(TcpFrame(transaction, kUnitOnTestLine, kReadPdu)));
    ExpectRequestOnLine(kUnitOnTestLine, kReadPdu);
    ASSERT_TRUE(line_->WriteFar(RtuFrame(kUnitOnTestLine, kReplyPdu)));
    // The first frame after a failed request is this request's reply: the
    // failed one got none.
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(TcpFrame(transaction, kUnitOnTestLine, kReplyPdu)));
  }

  // Sends a request to COM1 and answers it with `reply` as the device.
  void AnswerWith(RawModbusClient& client, std::string_view reply) {
    ASSERT_TRUE(client.Send(TcpFrame(1, kUnitOnTestLine, kReadPdu)));
    ExpectRequestOnLine(kUnitOnTestLine, kReadPdu);
    ASSERT_TRUE(line_->WriteFar(reply));
  }

  GatewayFixture gateway_;
  PtyPort* line_ = nullptr;
};

TEST_F(GatewayFaults, SilentDeviceIsLoggedAndTheNextRequestServed) {
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send(TcpFrame(1, kUnitOnTestLine, kReadPdu)));
  ExpectRequestOnLine(kUnitOnTestLine, kReadPdu);
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "client 127.0.0.1: modbus unit 7 did not answer in time"));
  ExpectServedOnTestLine(client, 2);
}

TEST_F(GatewayFaults, DeviceThatStopsInTheMiddleOfItsReplyIsLogged) {
  RawModbusClient client(gateway_.TcpPort());
  const std::string reply = RtuFrame(kUnitOnTestLine, kReplyPdu);
  AnswerWith(client, reply.substr(0, 3));
  EXPECT_TRUE(gateway_.WaitForLogLine("modbus unit 7 did not answer in time"));
  // The rest comes late; it must not be taken for the next reply.
  ASSERT_TRUE(line_->WriteFar(reply.substr(3)));
  ASSERT_TRUE(line_->WaitUntilQueuedAtGateway(reply.size() - 3, kHangGuardMs));
  ExpectServedOnTestLine(client, 2);
}

TEST_F(GatewayFaults, NoiseOnTheIdleLineIsDroppedBeforeTheRequest) {
  const std::string noise = Bytes({0x07, 0x03, 0x02, 0xFF, 0x00, 0x55, 0xAA});
  ASSERT_TRUE(line_->WriteFar(noise));
  ASSERT_TRUE(line_->WaitUntilQueuedAtGateway(noise.size(), kHangGuardMs));
  RawModbusClient client(gateway_.TcpPort());
  ExpectServedOnTestLine(client, 1);
  EXPECT_EQ(gateway_.CountLogLines("ModbusRTU"), 0);
  EXPECT_EQ(gateway_.CountLogLines("modbus unit"), 0);
}

TEST_F(GatewayFaults, ReplyWithAWrongCrcIsLoggedAndNotRelayed) {
  RawModbusClient client(gateway_.TcpPort());
  std::string reply = RtuFrame(kUnitOnTestLine, kReplyPdu);
  std::swap(reply[reply.size() - 1], reply[reply.size() - 2]);
  AnswerWith(client, reply);
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "client 127.0.0.1: reply of modbus unit 7 has a wrong CRC"));
  ExpectServedOnTestLine(client, 2);
}

TEST_F(GatewayFaults, DeviceLineThatGoesAwayFailsItsRequestsOnly) {
  RawModbusClient client(gateway_.TcpPort());
  line_->CloseFar();
  ASSERT_TRUE(client.Send(TcpFrame(1, kUnitOnTestLine, kReadPdu)));
  // The write to the line fails with the system's text of it.
  EXPECT_TRUE(gateway_.WaitForLogLine("Input/output error"));
  // The connection stays and is served on the other port.
  EXPECT_TRUE(IsServedByTheGoodDevice(client, 2));
}

TEST_F(GatewayFaults, ClientThatHangsUpInTheMiddleOfARequestIsLogged) {
  const std::string request = TcpFrame(1, kWellBehavedUnit, kReadPdu);
  for (const std::size_t sent : {std::size_t{0}, std::size_t{5},
                                 std::size_t{7}, std::size_t{11}}) {
    RawModbusClient client(gateway_.TcpPort());
    ASSERT_TRUE(client.Send(request.substr(0, sent)));
    client.Close();
  }
  EXPECT_TRUE(gateway_.WaitForLogLines("client 127.0.0.1 closed the connection",
                                       4));
}

TEST_F(GatewayFaults, ClientThatIsNotModbusTcpIsDropped) {
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send("GET / HTTP/1.0\r\n\r\n"));
  EXPECT_TRUE(client.WaitForEnd());
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "client 127.0.0.1 sent a request with a protocol id other than 0"));
}

TEST_F(GatewayFaults, ClientThatLeavesBeforeItsReplyEndsItsConnection) {
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send(TcpFrame(1, kUnitOnTestLine, kReadPdu)));
  ExpectRequestOnLine(kUnitOnTestLine, kReadPdu);
  client.Reset();
  ASSERT_TRUE(line_->WriteFar(RtuFrame(kUnitOnTestLine, kReplyPdu)));
  // The reply cannot be sent; that ends the connection's thread.
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "client 127.0.0.1: connection failed or timed out"));
  EXPECT_TRUE(WaitUntil([] { return gWinTCPEnv->ClientCount() == 0; }));
  RawModbusClient next(gateway_.TcpPort());
  ExpectServedOnTestLine(next, 2);
}

TEST(GatewayIdleClient, IsDroppedAfterTheReceiveTimeOut) {
  GatewayFixture gateway;
  gateway.StartDevice(gateway.AddPort(1, "10-12"), kWellBehavedUnit);
  gateway.Server().rx_timeout_ms = 300;
  ASSERT_TRUE(gateway.Start());
  RawModbusClient idle(gateway.TcpPort());
  EXPECT_TRUE(idle.WaitForEnd());
  EXPECT_TRUE(gateway.WaitForLogLine(
      "client 127.0.0.1: connection failed or timed out"));

  RawModbusClient client(gateway.TcpPort());
  EXPECT_TRUE(IsServedByTheGoodDevice(client, 1));
}

// Error texts without the "ModbusTCP" 0 and "ModbusRTU" -5 entries.
constexpr char kIncompleteErrorTexts[] =
    "[ModbusTCP]\n-1=%s: connection failed or timed out\n"
    "[ModbusRTU]\n-4=%s: reply of %s has a wrong CRC\n";

TEST(GatewayErrorTexts, MissingTextGivesALineOfItsOwnNotThePreviousOne) {
  GatewayFixture gateway;
  PtyPort& line = gateway.AddPort(1, "7", {1000, kDeviceTimeoutMs, 0});
  gateway.WriteErrorTexts(kIncompleteErrorTexts);
  ASSERT_TRUE(gateway.Start());

  RawModbusClient client(gateway.TcpPort());
  // A lock failure first, so that the thread's line holds a text.
  ASSERT_TRUE(client.Send(TcpFrame(1, 99, kReadPdu)));
  ASSERT_TRUE(gateway.WaitForLogLine("lock COM Port fail: error code = -3"));
  ASSERT_TRUE(client.Send(TcpFrame(2, kUnitOnTestLine, kReadPdu)));
  const std::string on_line = RtuFrame(kUnitOnTestLine, kReadPdu);
  EXPECT_EQ(line.ReadFar(on_line.size(), kHangGuardMs), on_line);
  EXPECT_TRUE(gateway.WaitForLogLine(
      "ModbusRTU error -5 (no text in the error-text file): client "
      "127.0.0.1, modbus unit 7"));
  client.Close();
  EXPECT_TRUE(gateway.WaitForLogLine(
      "ModbusTCP error 0 (no text in the error-text file): client 127.0.0.1"));
  EXPECT_EQ(gateway.CountLogLines("lock COM Port fail"), 1);
}

}  // namespace
