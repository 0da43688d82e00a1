// The RTU reply reader on a real pseudo-terminal: every failure code, in
// the order of its checks. Good replies of every function code are read
// in the gateway's tests with real devices.
#include "gateway/rtu_response.h"

#include <gtest/gtest.h>

#include "gateway/rtu_func_table.h"
#include "gateway/serial_io.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/pty_port.h"

namespace {

const std::string kReadReply = RtuFrame(0x01, Bytes({0x03, 0x02, 0x00, 0x0A}));

struct Failure {
  const char* name;
  std::string answer;
  bool hang_up;  // the device's end closes after the answer
  std::int32_t result;
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

// A reader that waited for more than the check needs would meet the short
// read time-out and report kRtuTimedOut instead.
const Failure kFailures[] = {
    {"NoByteComes", "", false, kRtuTimedOut},
    {"ByteCountMissing", Bytes({0x01, 0x03}), false, kRtuTimedOut},
    {"RestCutOff", kReadReply.substr(0, 5), false, kRtuTimedOut},
    {"AddressBeforeFunctionByte", Bytes({0x02, 0x07}), false, kRtuWrongAddress},
    {"UnknownFunctionByteOnceTwoBytesAreIn", Bytes({0x01, 0x07}), false,
     kRtuNoReader},
    {"SwappedCrc", Bytes({0x01, 0x03, 0x02, 0x00, 0x0A, 0x43, 0x38}), false,
     kRtuBadCrc},
    {"BytesBehindTheReplyInTheSameRead", kReadReply + Bytes({0x99}), false,
     kRtuBadCrc},
    {"HangUpMidReply", kReadReply.substr(0, 4), true, kRtuReadFailed},
};

class RtuResponseFailure : public ::testing::TestWithParam<Failure> {
 protected:
  void SetUp() override { gInitialRTU_FuncTbl.Build(); }
  void TearDown() override { gInitialRTU_FuncTbl.Destroy(); }
};

TEST_P(RtuResponseFailure, IsReportedWithItsCodeKeepingTheBytesRead) {
  const Failure& failure = GetParam();
  PortsFolder ports;
  PtyPort line(ports, 1);
  SerialIO port;
  ASSERT_TRUE(port.Open(line.Name().c_str()));
  port.SetTimeouts(1000, 50);
  // The whole answer waits at the port, so that the first read takes it.
  ASSERT_TRUE(line.WriteFar(failure.answer));
  ASSERT_TRUE(line.WaitUntilQueuedAtGateway(failure.answer.size(), 10000));
  if (failure.hang_up) line.CloseFar();
  Buffer reply(1024);
  EXPECT_EQ(ReadRtuResponse(port, reply, 0x01), failure.result);
  if (!failure.hang_up) {  // a hang-up discards what the line still held
    EXPECT_EQ(std::string(reply.begin(), reply.begin() + failure.answer.size()),
              failure.answer);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, RtuResponseFailure, ::testing::ValuesIn(kFailures),
    [](const ::testing::TestParamInfo<Failure>& info) {
      return std::string(info.param.name);
    });

}  // namespace
