// Reading a device's RTU reply from a real pseudo-terminal: the gateway's
// side is a SerialIO on the terminal, the device's side writes into its
// master. Replies arrive whole and in pieces; every failure code and the
// order of its checks. The reply of every function code is read in the
// gateway's relay tests.
#include "gateway/rtu_response.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "gateway/rtu_func_table.h"
#include "gateway/serial_io.h"
#include "gateway/tcp_response.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/pty_port.h"

namespace {

const std::string kReadReply =
    Bytes({0x01, 0x03, 0x02, 0x00, 0x0A, 0x38, 0x43});

class RtuResponseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gInitialRTU_FuncTbl.Build();
    ASSERT_TRUE(line_.IsReady());
    ASSERT_TRUE(port_.Open(line_.Name().c_str()));
    // Long enough never to pass while a test's device still writes.
    port_.SetTimeouts(1000, 10000);
  }
  void TearDown() override {
    if (device_.joinable()) device_.join();
    gInitialRTU_FuncTbl.Destroy();
  }

  // The whole answer waits at the port before the reader starts, so that
  // its first read takes it all.
  void Answer(const std::string& bytes) {
    ASSERT_TRUE(line_.WriteFar(bytes));
    ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(bytes.size(), 10000));
  }
  // The device answers from another thread in the given pieces, with a
  // pause before each, so that the reader meets them one by one.
  void AnswerInPieces(const std::string& bytes,
                      std::vector<std::size_t> pieces) {
    if (device_.joinable()) device_.join();
    device_ = std::thread([this, bytes, pieces] {
      std::size_t at = 0;
      for (std::size_t piece : pieces) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (!line_.WriteFar(bytes.substr(at, piece))) return;
        at += piece;
      }
    });
  }

  std::int32_t Read(std::uint8_t address) {
    return ReadRtuResponse(port_, reply_, address);
  }
  std::string ReplyBytes(std::size_t count) {
    return std::string(reply_.begin(), reply_.begin() + count);
  }

  PortsFolder ports_;
  PtyPort line_{ports_, 1};
  SerialIO port_;
  std::thread device_;
  Buffer reply_ = Buffer(1024);
};

TEST_F(RtuResponseTest, ReadsAReadReplyAndRelaysItWithoutCrc) {
  Answer(kReadReply);
  const std::int32_t n = Read(0x01);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(ReplyBytes(7), kReadReply);

  MbapHeader header;
  header.transaction_id = 7;
  header.unit_id = 0x11;  // the device's address goes back, not this
  Buffer out(4096);
  const std::uint32_t m = BuildTcpResponse(out, reply_, header, n);
  EXPECT_EQ(Hex(std::string(out.begin(), out.begin() + m)),
            "00 07 00 00 00 05 01 03 02 00 0A");
}

TEST_F(RtuResponseTest, ReadsRepliesArrivingInPieces) {
  AnswerInPieces(kReadReply, {2, 1, 3, 1});
  EXPECT_EQ(Read(0x01), 5);
  EXPECT_EQ(ReplyBytes(7), kReadReply);

  std::string longest = Bytes({0x03, 0xFF});
  for (int i = 0; i < 255; ++i) longest += static_cast<char>(i);
  const std::string reply = RtuFrame(0x05, longest);
  ASSERT_EQ(reply.size(), 260u);
  AnswerInPieces(reply, std::vector<std::size_t>(reply.size(), 1));
  EXPECT_EQ(Read(0x05), 258);
  EXPECT_EQ(ReplyBytes(260), reply);
}

struct Failure {
  const char* name;
  std::string answer;
  bool hang_up;  // the device's end closes after the answer
  std::int32_t result;
};

void PrintTo(const Failure& failure, std::ostream* out) {
  *out << failure.name;
}

// A reader that waited for more than the check needs would meet the short
// read time-out of these tests and report kRtuTimedOut instead.
const Failure kFailures[] = {
    {"NoByteComes", "", false, kRtuTimedOut},
    {"HeaderCutOff", Bytes({0x01}), false, kRtuTimedOut},
    {"ByteCountMissing", Bytes({0x01, 0x03}), false, kRtuTimedOut},
    {"RestCutOff", kReadReply.substr(0, 5), false, kRtuTimedOut},
    {"AddressBeforeFunctionByte", Bytes({0x02, 0x07}), false, kRtuWrongAddress},
    {"UnknownFunctionByteOnceTwoBytesAreIn", Bytes({0x01, 0x07}), false,
     kRtuNoReader},
    {"SwappedCrc", Bytes({0x01, 0x03, 0x02, 0x00, 0x0A, 0x43, 0x38}), false,
     kRtuBadCrc},
    {"BytesBehindTheReplyInTheSameRead", kReadReply + Bytes({0x99}), false,
     kRtuBadCrc},
    {"HangUpAtOnce", "", true, kRtuReadFailed},
    {"HangUpMidReply", kReadReply.substr(0, 4), true, kRtuReadFailed},
};

class RtuResponseFailure : public RtuResponseTest,
                           public ::testing::WithParamInterface<Failure> {};

TEST_P(RtuResponseFailure, IsReportedWithItsCodeKeepingTheBytesRead) {
  const Failure& failure = GetParam();
  port_.SetTimeouts(1000, 50);
  if (!failure.answer.empty()) Answer(failure.answer);
  if (failure.hang_up) line_.CloseFar();
  EXPECT_EQ(Read(0x01), failure.result);
  // A hang-up discards what the line still held.
  if (!failure.hang_up) {
    EXPECT_EQ(ReplyBytes(failure.answer.size()), failure.answer);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, RtuResponseFailure, ::testing::ValuesIn(kFailures),
    [](const ::testing::TestParamInfo<Failure>& info) {
      return std::string(info.param.name);
    });

}  // namespace
