// Peers that misbehave: a silent or slow device, a reply with a wrong CRC,
// clients that hang up mid-request or stay idle. Each is logged with its
// own line and none keeps the gateway from serving the next request.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "gateway/sio_list.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

constexpr std::uint8_t kUnit = 7;  // COM1, where the test is the device
const std::string kReadPdu = Bytes({0x03, 0x00, 0x04, 0x00, 0x01});
const std::string kReplyPdu = Bytes({0x03, 0x02, 0x12, 0x34});

class GatewayFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = &gateway_.AddPort(1, "0-9", {1000, 500, 0});
    gateway_.StartDevice(gateway_.AddPort(2, "10-12"), 11);
  }
  // Sends a request for COM1 and checks that it reached the line.
  void SendToLine(RawModbusClient& client, std::uint16_t transaction) {
    ASSERT_TRUE(client.Send(TcpFrame(transaction, kUnit, kReadPdu)));
    const std::string on_line = RtuFrame(kUnit, kReadPdu);
    EXPECT_EQ(Hex(line_->ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
  }

  GatewayFixture gateway_;
  PtyPort* line_ = nullptr;
};

TEST_F(GatewayFaults, BadDeviceAnswersAreLoggedAndTheNextRequestServed) {
  std::string swapped_crc = RtuFrame(kUnit, kReplyPdu);
  std::swap(swapped_crc[swapped_crc.size() - 1],
            swapped_crc[swapped_crc.size() - 2]);
  const struct {
    std::string answer;
    const char* log;
  } cases[] = {
      {"", "client 127.0.0.1: modbus unit 7 did not answer in time"},
      {swapped_crc, "client 127.0.0.1: reply of modbus unit 7 has a wrong CRC"},
  };
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  std::uint16_t transaction = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    SendToLine(client, transaction++);
    ASSERT_TRUE(line_->WriteFar(c.answer));
    EXPECT_TRUE(gateway_.WaitForLogLine(c.log));
    // The next frame is the next request's reply: the failed one got none.
    SendToLine(client, transaction);
    ASSERT_TRUE(line_->WriteFar(RtuFrame(kUnit, kReplyPdu)));
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(TcpFrame(transaction++, kUnit, kReplyPdu)));
  }
}

// Each port waits for its device as long as its own RxTimeout, not its
// TxTimeout, and a request waits for a busy port no longer than the
// port's wait.
TEST_F(GatewayFaults, TimeOutsAreThePortsOwn) {
  PtyPort& patient = gateway_.AddPort(3, "20", {200, 1500, 0});
  PtyPort& hasty = gateway_.AddPort(4, "21", {1500, 200, 0});
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  // Sends a request for `unit` and answers it from the device after a delay.
  const auto ask = [&](PtyPort& line, std::uint8_t unit,
                       std::uint16_t transaction, int delay_ms) {
    ASSERT_TRUE(client.Send(TcpFrame(transaction, unit, kReadPdu)));
    const std::string on_line = RtuFrame(unit, kReadPdu);
    ASSERT_EQ(Hex(line.ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    ASSERT_TRUE(line.WriteFar(RtuFrame(unit, kReplyPdu)));
  };
  ask(patient, 20, 1, 700);
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(TcpFrame(1, 20, kReplyPdu)));
  ask(hasty, 21, 2, 700);
  EXPECT_TRUE(gateway_.WaitForLogLine("modbus unit 21 did not answer in time"));
  // The late reply went nowhere: the next frame answers the next request.
  ask(hasty, 21, 3, 0);
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(TcpFrame(3, 21, kReplyPdu)));
  EXPECT_EQ(gateway_.CountLogLines("did not answer in time"), 1);

  // While the port is held, a request gives up after the port's wait and
  // never reaches the line.
  int error = 1;
  ASSERT_NE(gSioList->Locks().Lock(20, error), nullptr);
  ASSERT_TRUE(client.Send(TcpFrame(5, 20, kReadPdu)));
  EXPECT_TRUE(gateway_.WaitForLogLine("lock COM Port fail: error code = -4"));
  gSioList->Locks().Unlock(20);
  EXPECT_EQ(Hex(patient.ReadFar(1, 300)), "");
}

TEST_F(GatewayFaults, ClientsThatHangUpMidRequestOrStayIdleAreDropped) {
  gateway_.Server().rx_timeout_ms = 300;
  ASSERT_TRUE(gateway_.Start());
  const std::string request = ReadRegister(1, 11, 5);
  for (const std::size_t sent : {0, 5, 7, 11}) {
    RawModbusClient client(gateway_.TcpPort());
    ASSERT_TRUE(client.Send(request.substr(0, sent)));
  }
  EXPECT_TRUE(gateway_.WaitForLogLines(
      "client 127.0.0.1 closed the connection", 4));
  RawModbusClient idle(gateway_.TcpPort());
  EXPECT_TRUE(idle.WaitForEnd());
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "client 127.0.0.1: connection failed or timed out"));
  RawModbusClient client(gateway_.TcpPort());
  EXPECT_EQ(Hex(client.Ask(request)), Hex(RegisterReply(1, 11, 5)));
}

TEST_F(GatewayFaults, MissingErrorTextGivesALineOfItsOwnNotThePreviousOne) {
  // Without the "ModbusTCP" 0 and "ModbusRTU" -5 entries.
  gateway_.WriteErrorTexts(
      "[ModbusTCP]\n-1=%s: connection failed or timed out\n"
      "[ModbusRTU]\n-4=%s: reply of %s has a wrong CRC\n");
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  // A unit no port serves first, so that the thread's line holds a text.
  ASSERT_TRUE(client.Send(TcpFrame(1, 99, kReadPdu)));
  ASSERT_TRUE(gateway_.WaitForLogLine("lock COM Port fail: error code = -3"));
  SendToLine(client, 2);
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "ModbusRTU error -5 (no text in the error-text file): client "
      "127.0.0.1, modbus unit 7"));
  client.Close();
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "ModbusTCP error 0 (no text in the error-text file): client 127.0.0.1"));
  EXPECT_EQ(gateway_.CountLogLines("lock COM Port fail"), 1);
}

}  // namespace
