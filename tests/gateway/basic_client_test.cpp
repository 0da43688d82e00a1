// One accepted connection as its client thread uses it, against a real
// peer on 127.0.0.1 that reads, stays silent or vanishes.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gateway/tcp_env.h"
#include "platform/winsock.h"
#include "tests/support/loopback_sockets.h"

namespace {

class BasicClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SOCKET accepted = INVALID_SOCKET;
    ASSERT_TRUE(LoopbackPair(peer_, accepted));
    client_ = std::make_unique<BasicClient>(new ClientStub{accepted, &env_});
  }
  void TearDown() override {
    client_.reset();
    if (peer_ >= 0) close(peer_);
  }

  WinTCPEnv env_;
  int peer_ = -1;
  std::unique_ptr<BasicClient> client_;
};

TEST_F(BasicClientTest, SendAllDeliversEveryByteInOrderRecvThenSeesTheEnd) {
  std::vector<char> sent(8 * 1024 * 1024);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7);
  std::vector<char> received;
  std::thread reader([&] {
    char chunk[65536];
    ssize_t n;
    while (received.size() < sent.size() &&
           (n = recv(peer_, chunk, sizeof chunk, 0)) > 0) {
      received.insert(received.end(), chunk, chunk + n);
    }
    send(peer_, "a", 1, 0);  // the last byte, then the end
    shutdown(peer_, SHUT_WR);
  });
  EXPECT_EQ(client_->SendAll(sent.data(), sent.size(), 0),
            static_cast<std::int32_t>(sent.size()));
  EXPECT_EQ(client_->SendAll(sent.data(), 0, 0), 0);  // one empty send
  reader.join();
  EXPECT_TRUE(received == sent);
  char byte;
  EXPECT_EQ(client_->Recv(&byte, 1, 0), 1);
  EXPECT_EQ(client_->Recv(&byte, 1, 0), 0);
}

TEST_F(BasicClientTest, RecvAndSendAllFailWhenThePeerVanishes) {
  EXPECT_STREQ(client_->PeerAddress(), "127.0.0.1");
  CloseWithReset(peer_);
  peer_ = -1;
  char byte;
  EXPECT_EQ(client_->Recv(&byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(winsock::WSAGetLastError(), ECONNRESET);
  // The failure, not the bytes sent, and no SIGPIPE that would end this
  // program.
  const std::vector<char> reply(1024 * 1024, 'r');
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_LT(client_->SendAll(reply.data(), reply.size(), 0), 1);
  }
  // A socket without a peer: the address cannot be read.
  BasicClient unconnected(
      new ClientStub{socket(AF_INET, SOCK_STREAM, 0), &env_});
  EXPECT_STREQ(unconnected.PeerAddress(), "0.0.0.0");
}

TEST_F(BasicClientTest, TimeOutsEndASilentOrStalledExchange) {
  client_->SetRecvTimeout(20);
  char byte;
  EXPECT_EQ(client_->Recv(&byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(winsock::WSAGetLastError(), ETIMEDOUT);

  // The peer never reads: the buffers fill, the send times out and the
  // bytes that did go out are not reported.
  client_->SetSendTimeout(20);
  const std::vector<char> flood(64 * 1024 * 1024, 'f');
  EXPECT_EQ(client_->SendAll(flood.data(), flood.size(), 0), SOCKET_ERROR);
  EXPECT_EQ(winsock::WSAGetLastError(), ETIMEDOUT);
}

}  // namespace
