// Reading Modbus TCP requests over a real loopback connection: the
// gateway's side is a BasicClient over the accepted socket, the client's
// side a plain socket. Requests arrive whole, in pieces, several in one
// send, and cut off; every failure code and the order of its checks.
#include "gateway/tcp_request.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "gateway/rtu_request.h"
#include "gateway/tcp_env.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"

namespace {

const std::string kReadPdu = Bytes({0x03, 0x00, 0x6B, 0x00, 0x03});
const std::string kWritePdu = Bytes({0x06, 0x00, 0x01, 0x00, 0x2A});

class TcpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SOCKET accepted = INVALID_SOCKET;
    ASSERT_TRUE(LoopbackPair(peer_, accepted));
    const int on = 1;
    setsockopt(peer_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = std::make_unique<BasicClient>(new ClientStub{accepted, &env_});
    // A reader that waits for bytes that never come fails instead of
    // hanging the test.
    client_->SetRecvTimeout(10000);
  }
  void TearDown() override {
    if (sender_.joinable()) sender_.join();
    client_.reset();
    if (peer_ >= 0) close(peer_);
  }

  void Send(const std::string& bytes) {
    ASSERT_EQ(send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Sends from another thread in pieces with a pause between them, so that
  // the reader meets them one by one.
  void SendInPieces(std::string bytes, std::size_t piece) {
    if (sender_.joinable()) sender_.join();
    sender_ = std::thread([this, bytes = std::move(bytes), piece] {
      for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::size_t count = std::min(piece, bytes.size() - at);
        if (send(peer_, bytes.data() + at, count, MSG_NOSIGNAL) !=
            static_cast<ssize_t>(count)) {
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }

  // Between two requests the gateway reads the device's reply into the
  // request buffer: a read must not depend on what the last one left.
  std::int32_t Read() {
    std::fill(request_.begin(), request_.end(), 0xA5);
    return ReadTcpRequest(*client_, request_, header_, read_ahead_);
  }
  // The RTU frame that the request just read becomes.
  std::string Frame(std::int32_t received) {
    const std::uint32_t n = BuildRtuRequest(out_, request_, received, header_);
    return std::string(out_.begin(), out_.begin() + n);
  }

  WinTCPEnv env_;
  std::unique_ptr<BasicClient> client_;
  int peer_ = -1;
  std::thread sender_;
  Buffer request_ = Buffer(1024);
  Buffer out_ = Buffer(4096);
  MbapHeader header_;
  TcpReadAhead read_ahead_;
};

TEST_F(TcpRequestTest, ReadsARequestAndItsHeader) {
  Send(Bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03, 0x00, 0x6B,
              0x00, 0x03}));
  const std::int32_t received = Read();
  ASSERT_EQ(received, 12);
  EXPECT_EQ(header_.transaction_id, 1);
  EXPECT_EQ(header_.protocol_id, 0);
  EXPECT_EQ(header_.length, 6);
  EXPECT_EQ(header_.unit_id, 0x11);
  EXPECT_EQ(Hex(Frame(received)), "11 03 00 6B 00 03 76 87");
  EXPECT_EQ(read_ahead_.count, 0u);
}

TEST_F(TcpRequestTest, ReadsRequestsArrivingInPieces) {
  SendInPieces(TcpFrame(0x1234, 0x11, kReadPdu), 1);
  ASSERT_EQ(Read(), 12);
  EXPECT_EQ(header_.transaction_id, 0x1234);
  EXPECT_EQ(Hex(Frame(12)), Hex(RtuFrame(0x11, kReadPdu)));

  std::string longest = Bytes({0x10});
  for (int i = 0; i < 252; ++i) longest += static_cast<char>(i);
  SendInPieces(TcpFrame(9, 0x05, longest), 50);
  ASSERT_EQ(Read(), 260);
  EXPECT_EQ(header_.length, 254);
  EXPECT_EQ(Hex(Frame(260)), Hex(RtuFrame(0x05, longest)));
}

// A client may send its next requests before it has the replies (the
// gateway's tests send them split at every byte, and many at once).
TEST_F(TcpRequestTest, KeepsWhatFollowsARequestForTheNextRead) {
  // Two in one send: the first read takes in both, its frame is the first
  // request alone; the second comes with nothing more sent.
  Send(TcpFrame(1, 0x11, kReadPdu) + TcpFrame(2, 0x01, kWritePdu));
  ASSERT_EQ(Read(), 24);
  EXPECT_EQ(header_.transaction_id, 1);
  EXPECT_EQ(Hex(Frame(24)), Hex(RtuFrame(0x11, kReadPdu)));
  EXPECT_EQ(read_ahead_.count, 12u);
  ASSERT_EQ(Read(), 12);
  EXPECT_EQ(header_.transaction_id, 2);
  EXPECT_EQ(Hex(Frame(12)), Hex(RtuFrame(0x01, kWritePdu)));
  EXPECT_EQ(read_ahead_.count, 0u);

  // A length of 0 passes with a frame of 6 bytes; the reader needs 7 to
  // judge a header, so it reads into the next request and keeps it aligned.
  Send(Bytes({0x00, 0x05, 0x00, 0x00, 0x00, 0x00}) +
       TcpFrame(6, 0x11, kReadPdu));
  ASSERT_EQ(Read(), 18);
  EXPECT_EQ(Hex(Frame(18)), "FF FF");
  ASSERT_EQ(Read(), 12);
  EXPECT_EQ(header_.transaction_id, 6);
  EXPECT_EQ(Hex(Frame(12)), Hex(RtuFrame(0x11, kReadPdu)));
}

enum class Then { kNothing, kClose, kReset, kShortTimeOut };

struct Failure {
  const char* name;
  std::string sent;
  Then then;
  std::int32_t first;   // the result of a read before the failing one, or 0
  std::int32_t result;
};

void PrintTo(const Failure& failure, std::ostream* out) {
  *out << failure.name;
}

const std::string kRequest = TcpFrame(1, 0x11, kReadPdu);

// Headers of protocol 1 (and length 300), of length 255 and of length 256.
const std::string kProtocol1 = Bytes({0, 1, 0, 1, 0x01, 0x2C, 0x11});
const std::string kLength255 = Bytes({0, 1, 0, 0, 0x00, 0xFF, 0x11});
const std::string kLength256 = Bytes({0, 2, 0, 0, 0x01, 0x00, 0x11});

const Failure kFailures[] = {
    {"ClosedBeforeARequest", "", Then::kClose, 0, kTcpPeerClosed},
    {"ClosedInTheHeader", kRequest.substr(0, 3), Then::kClose, 0,
     kTcpPeerClosed},
    {"ClosedInTheRequest", kRequest.substr(0, 7), Then::kClose, 0,
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
    {"ReceiveTimeOut", kRequest.substr(0, 9), Then::kShortTimeOut, 0,
     kTcpReceiveFailed},
    {"ConnectionReset", kRequest.substr(0, 2), Then::kReset, 0,
     kTcpReceiveFailed},
};

class TcpRequestFailure : public TcpRequestTest,
                          public ::testing::WithParamInterface<Failure> {};

TEST_P(TcpRequestFailure, IsReportedWithItsCodeAndLeavesNothingReadAhead) {
  const Failure& failure = GetParam();
  if (!failure.sent.empty()) Send(failure.sent);
  switch (failure.then) {
    case Then::kClose:
      close(peer_);
      peer_ = -1;
      break;
    case Then::kReset:
      CloseWithReset(peer_);
      peer_ = -1;
      break;
    case Then::kShortTimeOut:
      client_->SetRecvTimeout(100);
      break;
    case Then::kNothing:
      break;
  }
  if (failure.first != 0) {
    ASSERT_EQ(Read(), failure.first);
  }
  EXPECT_EQ(Read(), failure.result);
  EXPECT_EQ(read_ahead_.count, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, TcpRequestFailure, ::testing::ValuesIn(kFailures),
    [](const ::testing::TestParamInfo<Failure>& info) {
      return std::string(info.param.name);
    });

}  // namespace
