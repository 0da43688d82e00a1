// The client registry with real connections and real client threads: a
// server thread accepts and starts one thread per connection, as the
// gateway's does, while connections open and close on many threads.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gateway/tcp_env.h"
#include "tests/support/loopback_sockets.h"

namespace {

// Echoes every byte back until the connection ends.
DWORD EchoUntilClosed(LPVOID stub) {
  BasicClient client(static_cast<ClientStub*>(stub));
  char buffer[256];
  int received;
  while ((received = client.Recv(buffer, sizeof buffer, 0)) > 0) {
    if (client.SendAll(buffer, received, 0) != received) break;
  }
  return 0;
}

TEST(ClientRegistry, CountsHundredsOfConnectionsOpenedAndClosedConcurrently) {
  WinTCPEnv env;
  const int port = FreeLoopbackPort();
  ASSERT_EQ(env.Listen(port, "127.0.0.1"), WinTCPEnv::kOk);
  std::thread server([&] {
    SOCKET accepted;
    while (env.Accept(port, accepted) == WinTCPEnv::kOk) {
      if (!env.StartClientThread(accepted, EchoUntilClosed)) close(accepted);
    }
  });
  // A connection whose client thread has answered: it is registered.
  auto connect_served = [port] {
    const int fd = ConnectLoopback(port);
    char byte = 'q';
    EXPECT_TRUE(fd >= 0 && send(fd, &byte, 1, 0) == 1 &&
                recv(fd, &byte, 1, 0) == 1);
    return fd;
  };
  constexpr int kOpeners = 8, kEach = 25;
  constexpr unsigned kLive = kOpeners * kEach;
  // The status bar reads the count from another thread without a lock.
  std::atomic<bool> stop_reading{false};
  std::thread status([&] {
    while (!stop_reading) EXPECT_LE(env.ClientCount(), 2 * kLive);
  });

  std::vector<std::vector<int>> connections(kOpeners);
  auto on_every_opener = [&](auto work) {
    std::vector<std::thread> openers;
    for (int i = 0; i < kOpeners; ++i) openers.emplace_back(work, i);
    for (auto& opener : openers) opener.join();
  };
  on_every_opener([&](int i) {
    for (int n = 0; n < kEach; ++n) connections[i].push_back(connect_served());
  });
  EXPECT_EQ(env.ClientCount(), kLive);
  // Connections end while new ones arrive, so socket numbers are handed
  // out again at once; a stale entry would throw the count off.
  on_every_opener([&](int i) {
    for (int& fd : connections[i]) {
      close(fd);
      fd = connect_served();
    }
  });
  EXPECT_TRUE(WaitUntil([&] { return env.ClientCount() == kLive; }))
      << env.ClientCount();

  EXPECT_EQ(env.StopListening(), WinTCPEnv::kOk);
  server.join();
  env.ShutdownClients();
  env.WaitForClients();
  EXPECT_EQ(env.ClientCount(), 0u);
  stop_reading = true;
  status.join();
  for (auto& list : connections) {
    for (int fd : list) {
      char byte;
      EXPECT_EQ(recv(fd, &byte, 1, 0), 0);  // shut down by the server
      close(fd);
    }
  }
}

}  // namespace
