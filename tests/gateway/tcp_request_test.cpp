// The Modbus TCP request reader over a real loopback connection: every
// failure code, in the order of its checks. Requests that arrive whole, in
// pieces or several at once are read in the gateway's pipeline tests.
#include "gateway/tcp_request.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "gateway/tcp_env.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"

namespace {

enum class Then { kNothing, kClose, kReset, kShortTimeOut };

struct Failure {
  const char* name;
  std::string sent;
  Then then;
  std::int32_t first;  // the result of a read before the failing one, or 0
  std::int32_t result;
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

const std::string kRequest = TcpFrame(1, 0x11, Bytes({3, 0, 0x6B, 0, 3}));
// Headers of protocol 1 (and length 300), of lengths 255, 256 and 1.
const std::string kProtocol1 = Bytes({0, 1, 0, 1, 0x01, 0x2C, 0x11});
const std::string kLength1 = Bytes({0, 3, 0, 0, 0x00, 0x01, 0x11});
const std::string kLength255 = Bytes({0, 1, 0, 0, 0x00, 0xFF, 0x11});
const std::string kLength256 = Bytes({0, 2, 0, 0, 0x01, 0x00, 0x11});

const Failure kFailures[] = {
    {"ClosedBeforeARequest", "", Then::kClose, 0, kTcpPeerClosed},
    {"ClosedInTheHeader", kRequest.substr(0, 3), Then::kClose, 0,
     kTcpPeerClosed},
    {"ClosedInARequestReadAhead", kRequest + kRequest.substr(0, 8),
     Then::kClose, 20, kTcpPeerClosed},
    {"ProtocolIdBeforeLength", kProtocol1, Then::kNothing, 0, kTcpNotModbus},
    // Nothing follows the header: a reader that waited for the rest would
    // run into the receive time-out instead.
    {"TooLongAsSoonAsTheHeaderIsIn", kLength255, Then::kNothing, 0,
     kTcpTooLong},
    {"TooLongReadAhead", kRequest + kLength256, Then::kNothing, 19,
     kTcpTooLong},
    {"NoRoomForAFunctionCode", kLength1 + kRequest, Then::kNothing, 0,
     kTcpTooShort},
    {"ReceiveTimeOut", kRequest.substr(0, 9), Then::kShortTimeOut, 0,
     kTcpReceiveFailed},
    {"ConnectionReset", kRequest.substr(0, 2), Then::kReset, 0,
     kTcpReceiveFailed},
};

class TcpRequestFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(TcpRequestFailure, IsReportedWithItsCodeAndLeavesNothingReadAhead) {
  const Failure& failure = GetParam();
  WinTCPEnv env;
  int peer = -1;
  SOCKET accepted = INVALID_SOCKET;
  ASSERT_TRUE(LoopbackPair(peer, accepted));
  BasicClient client(new ClientStub{accepted, &env});
  client.SetRecvTimeout(failure.then == Then::kShortTimeOut ? 100 : 10000);
  ASSERT_EQ(send(peer, failure.sent.data(), failure.sent.size(), 0),
            static_cast<ssize_t>(failure.sent.size()));
  if (failure.then == Then::kClose) close(peer);
  if (failure.then == Then::kReset) CloseWithReset(peer);

  Buffer request(1024);
  MbapHeader header;
  TcpReadAhead read_ahead;
  if (failure.first != 0) {
    ASSERT_EQ(ReadTcpRequest(client, request, header, read_ahead),
              failure.first);
  }
  EXPECT_EQ(ReadTcpRequest(client, request, header, read_ahead),
            failure.result);
  EXPECT_EQ(read_ahead.count, 0u);
  if (failure.then == Then::kNothing || failure.then == Then::kShortTimeOut) {
    close(peer);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, TcpRequestFailure, ::testing::ValuesIn(kFailures),
    [](const ::testing::TestParamInfo<Failure>& info) {
      return std::string(info.param.name);
    });

}  // namespace
