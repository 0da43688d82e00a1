// The listening side of the TCP environment with real sockets on
// 127.0.0.1: a failed Listen, sockets closed on exec, and a stop that wakes
// the server thread's accept.
#include "gateway/tcp_env.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/loopback_sockets.h"

namespace {

class TcpEnvListen : public ::testing::Test {
 protected:
  WinTCPEnv env_;
  int port_ = FreeLoopbackPort();
};

TEST_F(TcpEnvListen, FailedListenLeavesNoSocketAndALaterListenSucceeds) {
  const int descriptors = OpenDescriptorCount();
  // A group above 255 is no address; cut to its low byte it would bind
  // every interface, or 127.0.0.1.
  for (const char* ip : {"256.256.256.256", "127.0.0.257", "127.0.0.-1"}) {
    EXPECT_EQ(env_.Listen(port_, ip), WinTCPEnv::kBindFailed) << ip;
    EXPECT_EQ(env_.LastError(), EINVAL);
  }
  // 192.0.2.1 is no address of this machine; bind fails without traffic.
  EXPECT_EQ(env_.Listen(port_, "192.0.2.1"), WinTCPEnv::kBindFailed);
  EXPECT_EQ(env_.LastError(), EADDRNOTAVAIL);
  int taken_port = 0;
  const int other = ListenOnLoopback(taken_port);
  EXPECT_EQ(env_.Listen(taken_port, "127.0.0.1"), WinTCPEnv::kBindFailed);
  EXPECT_EQ(env_.LastError(), EADDRINUSE);
  close(other);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(env_.IsListening(), 0u);
  EXPECT_EQ(env_.Listen(port_, "127.0.0.1"), WinTCPEnv::kOk);
}

// A program started from the window (a browser) must not keep the
// gateway's port bound after a stop.
TEST_F(TcpEnvListen, SocketsAreNotInheritedByProgramsTheGatewayStarts) {
  ASSERT_EQ(env_.Listen(port_, "127.0.0.1"), WinTCPEnv::kOk);
  const int listening = FindListeningDescriptor(port_);
  ASSERT_GE(listening, 0);
  EXPECT_TRUE(fcntl(listening, F_GETFD) & FD_CLOEXEC);
  const int client = ConnectLoopback(port_);
  SOCKET accepted = INVALID_SOCKET;
  ASSERT_EQ(env_.Accept(port_, accepted), WinTCPEnv::kOk);
  EXPECT_TRUE(fcntl(accepted, F_GETFD) & FD_CLOEXEC);
  close(accepted);
  close(client);
}

TEST_F(TcpEnvListen, StopEndsTheAcceptOfTheServerThreadBeforeItReturns) {
  ASSERT_EQ(env_.Listen(port_, "127.0.0.1"), WinTCPEnv::kOk);
  std::atomic<pid_t> tid{0};
  std::int32_t result = 0;
  std::thread server([&] {
    tid = CurrentThreadId();
    SOCKET accepted;
    result = env_.Accept(port_, accepted);
  });
  ASSERT_TRUE(WaitUntil([&] { return tid != 0; }));
  ASSERT_TRUE(WaitUntilBlockedInAccept(tid));
  EXPECT_EQ(env_.StopListening(), WinTCPEnv::kOk);
  EXPECT_EQ(FindListeningDescriptor(port_), -1);
  server.join();
  EXPECT_EQ(result, WinTCPEnv::kAcceptFailed);
}

}  // namespace
