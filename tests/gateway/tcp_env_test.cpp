// The listening side of the TCP environment: Listen, Accept and
// StopListening with real sockets on 127.0.0.1 and a real server thread.
#include "gateway/tcp_env.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

#include "gateway/ipv4_text.h"
#include "tests/support/loopback_sockets.h"

namespace {

// Binds a plain socket to `ip`:port without listening: whether the port
// is free on that address, without sending anything anywhere.
bool CanBind(const char* ip, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip, &address.sin_addr);
  const bool bound =
      bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
      0;
  close(fd);
  return bound;
}

class TcpEnvListen : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GT(port_, 0); }

  // Connects a client and accepts it through the environment.
  void ExpectConnectionAccepted(std::int32_t port_key) {
    const int client = ConnectLoopback(port_);
    ASSERT_GE(client, 0);
    SOCKET accepted = INVALID_SOCKET;
    EXPECT_EQ(env_.Accept(port_key, accepted), WinTCPEnv::kOk);
    EXPECT_NE(accepted, INVALID_SOCKET);
    close(accepted);
    close(client);
  }

  WinTCPEnv env_;
  int port_ = FreeLoopbackPort();
};

TEST(Ipv4Text, KeepsTheLowByteOfFourNumbersAndIgnoresTheRest) {
  const struct {
    const char* text;
    const char* address;
  } cases[] = {
      {"999.1.1.1", "231.1.1.1"},
      {"10.0.0.5 lan side", "10.0.0.5"},
      {"-1.+2. 3.4", "255.2.3.4"},
      {"1.2.3.99999999999999999999", "1.2.3.255"},
  };
  for (const auto& c : cases) {
    in_addr address{};
    ASSERT_TRUE(ParseIpv4Text(c.text, address)) << c.text;
    EXPECT_EQ(Ipv4Text(address), c.address) << c.text;
  }
  for (const char* text : {"10.0.0", "1..2.3.4", "localhost", "1.2.3.", ""}) {
    in_addr address{};
    EXPECT_FALSE(ParseIpv4Text(text, address)) << text;
  }
}

// No address (null or empty) listens on every interface; a loopback
// address there only, whatever follows it.
TEST_F(TcpEnvListen, ListensOnTheAddressItIsGiven) {
  const struct {
    const char* ip;
    bool everywhere;
  } cases[] = {{nullptr, true},
               {"", true},
               {"127.0.0.1", false},
               {"127.0.0.1 primary", false},
               {" 127.0.0.1", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ip == nullptr ? "null" : c.ip);
    ASSERT_EQ(env_.Listen(port_, c.ip), WinTCPEnv::kOk);
    EXPECT_EQ(env_.IsListening(), 1u);
    EXPECT_EQ(CanBind("127.0.0.2", port_), !c.everywhere);
    ExpectConnectionAccepted(port_);
    EXPECT_EQ(env_.StopListening(), WinTCPEnv::kOk);
    // A stopped port is closed and free at once.
    EXPECT_EQ(FindListeningDescriptor(port_), -1);
    SOCKET accepted = INVALID_SOCKET;
    EXPECT_EQ(env_.Accept(port_, accepted), WinTCPEnv::kNotListening);
    EXPECT_EQ(env_.StopListening(), WinTCPEnv::kNotListening);
  }
  EXPECT_EQ(env_.LastError(), 0);
}

TEST_F(TcpEnvListen, FailedListenLeavesNoSocketAndALaterListenSucceeds) {
  const int descriptors = OpenDescriptorCount();
  // 192.0.2.1 is no address of this machine; bind fails without traffic.
  EXPECT_EQ(env_.Listen(port_, "192.0.2.1"), WinTCPEnv::kBindFailed);
  EXPECT_EQ(env_.LastError(), EADDRNOTAVAIL);
  // A text that is not four numbers is refused the same way.
  EXPECT_EQ(env_.Listen(port_, "10.0.0"), WinTCPEnv::kBindFailed);
  EXPECT_EQ(env_.LastError(), EINVAL);
  // A port that another socket listens on.
  int taken_port = 0;
  const int other = ListenOnLoopback(taken_port);
  EXPECT_EQ(env_.Listen(taken_port, "127.0.0.1"), WinTCPEnv::kBindFailed);
  EXPECT_EQ(env_.LastError(), EADDRINUSE);
  close(other);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(env_.IsListening(), 0u);

  ASSERT_EQ(env_.Listen(port_, "127.0.0.1"), WinTCPEnv::kOk);
  ExpectConnectionAccepted(port_);
  // A second listen on the port is refused; errors stay until cleared.
  EXPECT_EQ(env_.Listen(port_, "127.0.0.1"), WinTCPEnv::kPortTaken);
  EXPECT_EQ(env_.LastError(), EADDRINUSE);
  EXPECT_EQ(env_.IsListening(), 1u);
  env_.ClearLastError();
  EXPECT_EQ(env_.LastError(), 0);
}

TEST_F(TcpEnvListen, SocketsAreNotInheritedByProgramsTheGatewayStarts) {
  // A program started from the window (a browser) must not keep the
  // gateway's port bound after a stop.
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
  SOCKET accepted = 0;
  std::thread server([&] {
    tid = CurrentThreadId();
    result = env_.Accept(port_, accepted);
  });
  ASSERT_TRUE(WaitUntil([&] { return tid != 0; }));
  ASSERT_TRUE(WaitUntilBlockedInAccept(tid));

  EXPECT_EQ(env_.StopListening(), WinTCPEnv::kOk);
  // Stored by the failed accept before the stop could go on.
  EXPECT_EQ(env_.LastError(), EINVAL);
  EXPECT_EQ(env_.IsListening(), 0u);
  server.join();
  EXPECT_EQ(result, WinTCPEnv::kAcceptFailed);
  EXPECT_EQ(accepted, INVALID_SOCKET);
}

TEST(TcpEnvLifetime, GlobalEnvironmentClosesItsListeningSocketsWhenDestroyed) {
  const int descriptors = OpenDescriptorCount();
  gWinTCPEnv.Build();
  EXPECT_EQ(gWinTCPEnv->LastError(), 0);  // the socket library started
  ASSERT_EQ(gWinTCPEnv->Listen(FreeLoopbackPort(), "127.0.0.1"), 0);
  ASSERT_EQ(gWinTCPEnv->Listen(FreeLoopbackPort(), nullptr), 0);
  EXPECT_EQ(gWinTCPEnv->IsListening(), 2u);
  gWinTCPEnv.Destroy();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

}  // namespace
