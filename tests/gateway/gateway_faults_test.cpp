// Peers that misbehave: a silent device, a reply with a wrong CRC, a reply
// that answers another request, clients that hang up mid-request or stay
// idle. Each is logged with its own line and none keeps the gateway from
// serving the next request.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "gateway/sio_list.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

// COM1, where the test is the device: units 7 and 8.
constexpr std::uint8_t kUnit = 7;
constexpr std::uint8_t kOtherUnit = 8;
const std::string kReadPdu = Bytes({0x03, 0x00, 0x04, 0x00, 0x01});
const std::string kReplyPdu = Bytes({0x03, 0x02, 0x12, 0x34});

class GatewayFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    // The port wait (1 s) outlasts one read time-out (0.5 s) but not three.
    line_ = &gateway_.AddPort(1, "0-9", {500, 500, 0});
    gateway_.StartDevice(gateway_.AddPort(2, "10-12"), 11);
  }
  // Sends a request and checks that it reached the line.
  void SendToLine(RawModbusClient& client, const std::string& tcp_request) {
    ASSERT_TRUE(client.Send(tcp_request));
    const std::string on_line =
        RtuFrame(static_cast<std::uint8_t>(tcp_request[6]), PduOf(tcp_request));
    EXPECT_EQ(Hex(line_->ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
  }
  // Serves a register read of the simulated devices' kind on COM1.
  void ServeRegister(RawModbusClient& client, std::uint16_t transaction,
                     std::uint8_t unit, int address) {
    SendToLine(client, ReadRegister(transaction, unit, address));
    ASSERT_TRUE(line_->WriteFar(
        RtuFrame(unit, PduOf(RegisterReply(transaction, unit, address)))));
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(RegisterReply(transaction, unit, address)));
  }

  GatewayFixture gateway_;
  PtyPort* line_ = nullptr;
};

// Each answer fails the exchange: it is logged, the client gets nothing,
// and the port is free at once for a request that another client sent to
// another unit of the line meanwhile.
TEST_F(GatewayFaults, AFailedExchangeIsLoggedRelaysNothingAndFreesThePort) {
  std::string swapped_crc = RtuFrame(kUnit, kReplyPdu);
  std::swap(swapped_crc[swapped_crc.size() - 1],
            swapped_crc[swapped_crc.size() - 2]);
  const std::string kWriteRegisters =
      Bytes({0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02});
  const std::string kMaskWrite =
      Bytes({0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25});
  const char* const kTimedOut = "modbus unit 7 did not answer in time";
  const char* const kBadCrc = "reply of modbus unit 7 has a wrong CRC";
  const char* const kNoAnswer = "reply of modbus unit 7 does not answer";
  const struct {
    const char* name;
    std::string request_pdu;
    std::string answer;
    const char* log;
  } cases[] = {
      {"silent", kReadPdu, "", kTimedOut},
      {"wrong CRC", kReadPdu, swapped_crc, kBadCrc},
      {"another function code", kReadPdu,
       RtuFrame(kUnit, Bytes({0x04, 0x02, 0x12, 0x34})), kNoAnswer},
      {"exception of another code", kReadPdu,
       RtuFrame(kUnit, Bytes({0x84, 0x02})), kNoAnswer},
      {"fewer registers than asked",
       Bytes({0x03, 0x00, 0x64, 0x00, 0x03}), RtuFrame(kUnit, kReplyPdu),
       kNoAnswer},
      {"byte count of other coils", Bytes({0x01, 0x00, 0x13, 0x00, 0x13}),
       RtuFrame(kUnit, Bytes({0x01, 0x02, 0xCD, 0x6B})), kNoAnswer},
      {"another coil value", Bytes({0x05, 0x00, 0xAC, 0xFF, 0x00}),
       RtuFrame(kUnit, Bytes({0x05, 0x00, 0xAC, 0x00, 0x00})), kNoAnswer},
      {"another register address", Bytes({0x06, 0x00, 0x01, 0x00, 0x03}),
       RtuFrame(kUnit, Bytes({0x06, 0x00, 0x02, 0x00, 0x03})), kNoAnswer},
      {"another quantity written", kWriteRegisters,
       RtuFrame(kUnit, Bytes({0x10, 0x00, 0x01, 0x00, 0x01})), kNoAnswer},
      {"another mask", kMaskWrite,
       RtuFrame(kUnit, Bytes({0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x24})),
       kNoAnswer},
  };
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  RawModbusClient other(gateway_.TcpPort());
  std::uint16_t transaction = 1;
  std::map<std::string, int> logged;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SendToLine(client, TcpFrame(transaction++, kUnit, c.request_pdu));
    ASSERT_TRUE(other.Send(ReadRegister(transaction, kOtherUnit, 5)));
    ASSERT_TRUE(line_->WriteFar(c.answer));
    EXPECT_TRUE(gateway_.WaitForLogLines(c.log, ++logged[c.log]));
    const std::string on_line = RtuFrame(
        kOtherUnit, PduOf(ReadRegister(transaction, kOtherUnit, 5)));
    EXPECT_EQ(Hex(line_->ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
    ASSERT_TRUE(line_->WriteFar(
        RtuFrame(kOtherUnit, PduOf(RegisterReply(transaction, kOtherUnit, 5)))));
    EXPECT_EQ(Hex(other.ReadFrame()),
              Hex(RegisterReply(transaction++, kOtherUnit, 5)));
    // The failed request got no reply: the next frame answers the next one.
    ServeRegister(client, transaction++, kUnit, 4);
    if (HasFailure()) return;  // the rest would only wait out their guards
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

// A reply that comes after the port's read time-out belongs to no request:
// the next request, though it asks the very same, gets the fresh reply.
TEST_F(GatewayFaults, ALateReplyIsNeverRelayedAsTheNextOne) {
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  SendToLine(client, TcpFrame(1, kUnit, kReadPdu));
  ASSERT_TRUE(gateway_.WaitForLogLine("modbus unit 7 did not answer in time"));
  const std::string stale = RtuFrame(kUnit, Bytes({0x03, 0x02, 0x0B, 0xAD}));
  ASSERT_TRUE(line_->WriteFar(stale));
  ASSERT_TRUE(line_->WaitUntilQueuedAtGateway(stale.size(), kHangGuardMs));
  SendToLine(client, TcpFrame(2, kUnit, kReadPdu));
  ASSERT_TRUE(line_->WriteFar(RtuFrame(kUnit, kReplyPdu)));
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(TcpFrame(2, kUnit, kReplyPdu)));
}

// Each of the poller's requests holds the port for its read time-out, and
// its next one is read at once; the other client must still get its turns.
TEST_F(GatewayFaults, APollerOfADeadUnitDoesNotStarveAnotherClientOfItsPort) {
  constexpr std::uint8_t kDead = 9;
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient poller(gateway_.TcpPort());
  std::string polls;  // far longer than the other client's wait for the port
  for (std::uint16_t t = 0; t < 5; ++t) polls += ReadRegister(t, kDead, 1);
  ASSERT_TRUE(poller.Send(polls));
  RawModbusClient client(gateway_.TcpPort());
  for (std::uint16_t t = 1; t <= 2; ++t) {
    ASSERT_TRUE(gateway_.WaitForLogLines("modbus unit 9 did not answer", t));
    ASSERT_TRUE(client.Send(ReadRegister(t, kUnit, 4)));
    const std::string asked =
        RtuFrame(kUnit, PduOf(ReadRegister(t, kUnit, 4)));
    std::string on_line;  // polls until the client's request comes
    do {
      on_line = line_->ReadFar(asked.size(), kHangGuardMs);
      ASSERT_EQ(on_line.size(), asked.size()) << "the client never got the port";
    } while (on_line != asked);
    ASSERT_TRUE(line_->WriteFar(
        RtuFrame(kUnit, PduOf(RegisterReply(t, kUnit, 4)))));
    EXPECT_EQ(Hex(client.ReadFrame()), Hex(RegisterReply(t, kUnit, 4)));
  }
  EXPECT_EQ(gateway_.CountLogLines("lock COM Port fail"), 0);
}

TEST_F(GatewayFaults, ClientsThatHangUpStayIdleOrSendNoFunctionCodeAreDropped) {
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

  // Headers of length 0 and 1, a sound request for COM1 behind each.
  for (const int length : {0, 1}) {
    RawModbusClient hostile(gateway_.TcpPort());
    ASSERT_TRUE(hostile.Send(Bytes({0, 9, 0, 0, 0, length, kUnit}) +
                             ReadRegister(10, kUnit, 4)));
    EXPECT_TRUE(hostile.WaitForEnd());
  }
  EXPECT_TRUE(gateway_.WaitForLogLines(
      "client 127.0.0.1 sent a request too short", 2));
  ServeRegister(client, 2, kUnit, 4);  // the first bytes on the line
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
  SendToLine(client, TcpFrame(2, kUnit, kReadPdu));
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "ModbusRTU error -5 (no text in the error-text file): client "
      "127.0.0.1, modbus unit 7"));
  client.Close();
  EXPECT_TRUE(gateway_.WaitForLogLine(
      "ModbusTCP error 0 (no text in the error-text file): client 127.0.0.1"));
  EXPECT_EQ(gateway_.CountLogLines("lock COM Port fail"), 1);
}

}  // namespace
