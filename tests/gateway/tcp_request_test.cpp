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
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "gateway/crc16.h"
#include "gateway/rtu_request.h"
#include "gateway/tcp_env.h"
#include "gateway/tcp_response.h"
#include "tests/support/loopback_sockets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

// A Modbus TCP request for `unit` with `pdu`.
Bytes TcpRequest(std::uint16_t transaction, std::uint8_t unit,
                 const Bytes& pdu) {
  const auto length = static_cast<std::uint16_t>(pdu.size() + 1);
  return Bytes{static_cast<std::uint8_t>(transaction >> 8),
               static_cast<std::uint8_t>(transaction),
               0,
               0,
               static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length),
               unit} +
         pdu;
}

// The RTU frame of that request: unit id, PDU, CRC low-order byte first.
Bytes RtuFrame(std::uint8_t unit, const Bytes& pdu) {
  Bytes frame = Bytes{unit} + pdu;
  const std::uint16_t crc =
      ModbusCrc16(frame.data(), static_cast<std::uint16_t>(frame.size()));
  frame.push_back(static_cast<std::uint8_t>(crc));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

const Bytes kReadPdu{0x03, 0x00, 0x6B, 0x00, 0x03};
const Bytes kWritePdu{0x06, 0x00, 0x01, 0x00, 0x2A};
const Bytes kWriteManyPdu{0x10, 0x00, 0x01, 0x00, 0x02,
                          0x04, 0x00, 0x0A, 0x01, 0x02};

class TcpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int port = 0;
    const int listener = ListenOnLoopback(port);
    ASSERT_GE(listener, 0);
    peer_ = ConnectLoopback(port);
    const SOCKET accepted = accept(listener, nullptr, nullptr);
    close(listener);
    ASSERT_GE(peer_, 0);
    ASSERT_GE(accepted, 0);
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

  void Send(const Bytes& bytes) {
    ASSERT_EQ(send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }

  // Sends from another thread in pieces of `piece` bytes with a pause
  // between them, so that the reader meets them one by one.
  void SendInPieces(Bytes bytes, std::size_t piece) {
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

  void CloseFromPeer() {
    close(peer_);
    peer_ = -1;
  }

  std::int32_t Read() {
    return ReadTcpRequest(*client_, request_, header_, read_ahead_);
  }

  // The RTU frame that the request just read becomes.
  Bytes BuiltRtuFrame(std::int32_t received) {
    const std::uint32_t n = BuildRtuRequest(out_, request_, received, header_);
    return Bytes(out_.begin(), out_.begin() + n);
  }

  // What the gateway does between two requests: it reads the device's
  // reply into the request buffer.
  void OverwriteWithReply() {
    std::fill(request_.begin(), request_.end(), 0xA5);
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
  Send(
      {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03, 0x00, 0x6B, 0x00, 0x03});
  const std::int32_t received = Read();
  ASSERT_EQ(received, 12);
  EXPECT_EQ(header_.transaction_id, 1);
  EXPECT_EQ(header_.protocol_id, 0);
  EXPECT_EQ(header_.length, 6);
  EXPECT_EQ(header_.unit_id, 0x11);
  EXPECT_EQ(BuiltRtuFrame(received),
            (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
  EXPECT_EQ(read_ahead_.count, 0u);
}

TEST_F(TcpRequestTest, ReadsARequestArrivingOneByteAtATime) {
  SendInPieces(TcpRequest(0x1234, 0x11, kReadPdu), 1);
  const std::int32_t received = Read();
  ASSERT_EQ(received, 12);
  EXPECT_EQ(header_.transaction_id, 0x1234);
  EXPECT_EQ(BuiltRtuFrame(received), RtuFrame(0x11, kReadPdu));
}

TEST_F(TcpRequestTest, ReadsTheLongestRequestWhole) {
  Bytes pdu{0x10};
  for (int i = 0; i < 252; ++i) pdu.push_back(static_cast<std::uint8_t>(i));
  const Bytes request = TcpRequest(9, 0x05, pdu);
  ASSERT_EQ(request.size(), 260u);
  SendInPieces(request, 50);
  const std::int32_t received = Read();
  ASSERT_EQ(received, 260);
  EXPECT_EQ(header_.length, 254);
  EXPECT_EQ(BuiltRtuFrame(received), RtuFrame(0x05, pdu));
}

TEST_F(TcpRequestTest, KeepsASecondRequestSentInTheSameSend) {
  Send({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03,
        0x00, 0x6B, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00,
        0x00, 0x06, 0x01, 0x06, 0x00, 0x01, 0x00, 0x2A});
  // The first read takes in both; its frame is the first request alone.
  std::int32_t received = Read();
  ASSERT_EQ(received, 24);
  EXPECT_EQ(header_.transaction_id, 1);
  EXPECT_EQ(BuiltRtuFrame(received),
            (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
  EXPECT_EQ(read_ahead_.count, 12u);
  OverwriteWithReply();

  // The second comes from what was read ahead, with nothing more sent.
  received = Read();
  ASSERT_EQ(received, 12);
  EXPECT_EQ(header_.transaction_id, 2);
  EXPECT_EQ(header_.unit_id, 0x01);
  EXPECT_EQ(BuiltRtuFrame(received), RtuFrame(0x01, kWritePdu));
  EXPECT_EQ(read_ahead_.count, 0u);

  CloseFromPeer();
  EXPECT_EQ(Read(), kTcpPeerClosed);
}

TEST_F(TcpRequestTest, AnswersThreeRequestsSentTogetherInOrder) {
  const Bytes requests = TcpRequest(101, 0x11, kReadPdu) +
                         TcpRequest(102, 0x12, kWriteManyPdu) +
                         TcpRequest(103, 0x13, kWritePdu);
  Send(requests);

  // Serve them as the gateway does, with a device that echoes the frame:
  // the reply is read into the request buffer, the TCP reply built in the
  // output buffer.
  std::vector<Bytes> frames;
  for (int i = 0; i < 3; ++i) {
    const std::int32_t received = Read();
    ASSERT_GT(received, 0) << "request " << i;
    const Bytes frame = BuiltRtuFrame(received);
    frames.push_back(frame);
    std::copy(frame.begin(), frame.end(), request_.begin());
    const auto n = static_cast<std::int32_t>(frame.size() - 2);
    const std::uint32_t m = BuildTcpResponse(out_, request_, header_, n);
    ASSERT_EQ(client_->SendAll(out_.data(), static_cast<std::int32_t>(m), 0),
              static_cast<std::int32_t>(m));
  }
  EXPECT_EQ(frames[0], RtuFrame(0x11, kReadPdu));
  EXPECT_EQ(frames[1], RtuFrame(0x12, kWriteManyPdu));
  EXPECT_EQ(frames[2], RtuFrame(0x13, kWritePdu));

  // Each TCP reply carries its request's transaction id, in order.
  const Bytes expected = Slice(TcpRequest(101, 0x11, kReadPdu), 0, 12) +
                         Slice(TcpRequest(102, 0x12, kWriteManyPdu), 0, 17) +
                         Slice(TcpRequest(103, 0x13, kWritePdu), 0, 12);
  Bytes replies(expected.size());
  std::size_t got = 0;
  while (got < replies.size()) {
    const ssize_t n =
        recv(peer_, replies.data() + got, replies.size() - got, 0);
    ASSERT_GT(n, 0);
    got += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(replies, expected);
}

TEST_F(TcpRequestTest, CompletesAHalfRequestWithTheBytesThatFollow) {
  const Bytes requests =
      TcpRequest(7, 0x11, kReadPdu) + TcpRequest(8, 0x12, kWriteManyPdu);
  Send(Slice(requests, 0, 18));  // the first and six bytes of the second
  std::int32_t received = Read();
  ASSERT_EQ(received, 18);
  EXPECT_EQ(header_.transaction_id, 7);
  EXPECT_EQ(BuiltRtuFrame(received), RtuFrame(0x11, kReadPdu));
  OverwriteWithReply();

  SendInPieces(Slice(requests, 18, requests.size()), 1);
  received = Read();
  ASSERT_EQ(received, 17);
  EXPECT_EQ(header_.transaction_id, 8);
  EXPECT_EQ(header_.unit_id, 0x12);
  EXPECT_EQ(BuiltRtuFrame(received), RtuFrame(0x12, kWriteManyPdu));
}

TEST_F(TcpRequestTest, KeepsTheNextRequestAlignedBehindALengthZeroRequest) {
  // A length of 0 passes; its frame is 6 bytes, but the reader needs 7
  // before it can judge a header, so it reads into the next request.
  Send(Bytes{0x00, 0x05, 0x00, 0x00, 0x00, 0x00} +
       TcpRequest(6, 0x11, kReadPdu));
  std::int32_t received = Read();
  ASSERT_EQ(received, 18);
  EXPECT_EQ(header_.length, 0);
  EXPECT_EQ(BuiltRtuFrame(received), (Bytes{0xFF, 0xFF}));
  OverwriteWithReply();

  received = Read();
  ASSERT_EQ(received, 12);
  EXPECT_EQ(header_.transaction_id, 6);
  EXPECT_EQ(BuiltRtuFrame(received), RtuFrame(0x11, kReadPdu));
}

TEST_F(TcpRequestTest, ReportsPeerClosedWhenTheConnectionEndsFirst) {
  CloseFromPeer();
  EXPECT_EQ(Read(), kTcpPeerClosed);
}

TEST_F(TcpRequestTest, ReportsPeerClosedWhenTheHeaderIsCutOff) {
  Send({0x00, 0x01, 0x00});
  CloseFromPeer();
  EXPECT_EQ(Read(), kTcpPeerClosed);
}

TEST_F(TcpRequestTest, ReportsPeerClosedWhenTheRequestIsCutOff) {
  Send(Slice(TcpRequest(1, 0x11, kReadPdu), 0, 7));
  CloseFromPeer();
  EXPECT_EQ(Read(), kTcpPeerClosed);
}

TEST_F(TcpRequestTest, ReportsPeerClosedWhenARequestReadAheadIsCutOff) {
  const Bytes requests =
      TcpRequest(1, 0x11, kReadPdu) + TcpRequest(2, 0x11, kReadPdu);
  Send(Slice(requests, 0, 20));
  CloseFromPeer();
  ASSERT_EQ(Read(), 20);
  EXPECT_EQ(Read(), kTcpPeerClosed);
  EXPECT_EQ(read_ahead_.count, 0u);
}

TEST_F(TcpRequestTest, ChecksTheProtocolIdBeforeTheLength) {
  Send({0x00, 0x01, 0x00, 0x01, 0x01, 0x2C, 0x11});  // protocol 1, length 300
  EXPECT_EQ(Read(), kTcpNotModbus);
  EXPECT_EQ(read_ahead_.count, 0u);
}

TEST_F(TcpRequestTest, RefusesATooLongRequestAsSoonAsItsHeaderIsIn) {
  // Length 255 makes 261 bytes. Nothing follows the header: a reader that
  // waited for the rest would run into the receive time-out instead.
  Send({0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x11});
  EXPECT_EQ(Read(), kTcpTooLong);
}

TEST_F(TcpRequestTest, ChecksTheProtocolIdAndLengthOfARequestReadAhead) {
  Send(TcpRequest(1, 0x11, kReadPdu) +
       Bytes{0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x11});
  ASSERT_EQ(Read(), 19);
  EXPECT_EQ(Read(), kTcpTooLong);
  EXPECT_EQ(read_ahead_.count, 0u);
}

TEST_F(TcpRequestTest, ReportsAReceiveTimeOutAsAFailedReceive) {
  client_->SetRecvTimeout(100);
  Send(Slice(TcpRequest(1, 0x11, kReadPdu), 0, 9));
  EXPECT_EQ(Read(), kTcpReceiveFailed);
  EXPECT_EQ(read_ahead_.count, 0u);
}

TEST_F(TcpRequestTest, ReportsAResetConnectionAsAFailedReceive) {
  Send({0x00, 0x01});
  CloseWithReset(peer_);
  peer_ = -1;
  EXPECT_EQ(Read(), kTcpReceiveFailed);
}

}  // namespace
