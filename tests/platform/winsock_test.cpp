// The socket layer where Linux differs from what the gateway expects,
// with real sockets on 127.0.0.1.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/winsock.h"
#include "tests/support/loopback_sockets.h"

namespace {

// A connected pair: `peer` is the client end, `accepted` the server end.
class ConnectedPair : public ::testing::Test {
 protected:
  void SetUp() override {
    int port = 0;
    listener_ = ListenOnLoopback(port);
    ASSERT_GE(listener_, 0);
    peer_ = ConnectLoopback(port);
    ASSERT_GE(peer_, 0);
    accepted_ = winsock::accept(listener_, nullptr, nullptr);
    ASSERT_NE(accepted_, INVALID_SOCKET);
  }
  void TearDown() override {
    for (int fd : {listener_, peer_, accepted_}) {
      if (fd >= 0) close(fd);
    }
  }

  int listener_ = -1;
  int peer_ = -1;
  SOCKET accepted_ = INVALID_SOCKET;
};

TEST(Winsock, ClosingAListeningSocketWakesTheThreadBlockedInAccept) {
  int port = 0;
  const SOCKET listener = ListenOnLoopback(port);
  ASSERT_GE(listener, 0);
  std::atomic<pid_t> tid{0};
  SOCKET result = 0;
  int error = 0;
  std::thread server([&] {
    tid = CurrentThreadId();
    result = winsock::accept(listener, nullptr, nullptr);
    error = winsock::WSAGetLastError();
  });
  ASSERT_TRUE(WaitUntil([&] { return tid != 0; }));
  ASSERT_TRUE(WaitUntilBlockedInAccept(tid));
  EXPECT_EQ(winsock::closesocket(listener), 0);
  server.join();  // hangs here if the close left accept asleep
  EXPECT_EQ(result, INVALID_SOCKET);
  EXPECT_EQ(error, EINVAL);
}

TEST_F(ConnectedPair, SendToAPeerThatHasGoneFailsWithoutASignal) {
  CloseWithReset(peer_);
  peer_ = -1;
  // The first failure reports the reset; from then on the system would
  // raise SIGPIPE, which would end this test program.
  const std::vector<char> block(64 * 1024, 'x');
  int error = 0;
  for (int attempt = 0; attempt < 100 && error != EPIPE; ++attempt) {
    if (winsock::send(accepted_, block.data(), block.size(), 0) ==
        SOCKET_ERROR) {
      error = winsock::WSAGetLastError();
    }
  }
  EXPECT_EQ(error, EPIPE);
}

TEST_F(ConnectedPair, TimeOutsAreGivenInMillisecondsAndReportedAsTimedOut) {
  const DWORD milliseconds = 1500;
  ASSERT_EQ(winsock::setsockopt(accepted_, SOL_SOCKET, SO_SNDTIMEO,
                                &milliseconds, sizeof milliseconds),
            0);
  timeval limit{};
  socklen_t length = sizeof limit;
  getsockopt(accepted_, SOL_SOCKET, SO_SNDTIMEO, &limit, &length);
  EXPECT_EQ(limit.tv_sec, 1);
  EXPECT_EQ(limit.tv_usec, 500000);

  const DWORD short_wait = 20;
  ASSERT_EQ(winsock::setsockopt(accepted_, SOL_SOCKET, SO_RCVTIMEO,
                                &short_wait, sizeof short_wait),
            0);
  char byte = 0;
  EXPECT_EQ(winsock::recv(accepted_, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(winsock::WSAGetLastError(), ETIMEDOUT);
}

TEST_F(ConnectedPair, NegativeLengthsAreRefused) {
  char byte = 0;
  EXPECT_EQ(winsock::send(accepted_, &byte, -1, 0), SOCKET_ERROR);
  EXPECT_EQ(winsock::recv(accepted_, &byte, -1, 0), SOCKET_ERROR);
  EXPECT_EQ(winsock::WSAGetLastError(), EINVAL);
}

}  // namespace
