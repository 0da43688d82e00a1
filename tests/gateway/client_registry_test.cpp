// The client registry with real connections and real client threads: a
// server thread accepts and starts one thread per connection, as the
// gateway's does.
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

// Ends as soon as it has taken its connection over.
DWORD EndAtOnce(LPVOID stub) {
  BasicClient client(static_cast<ClientStub*>(stub));
  return 0;
}

class ClientRegistry : public ::testing::Test {
 protected:
  // Accepts and hands every connection to a new client thread until the
  // listening socket is closed.
  void StartServer(LPTHREAD_START_ROUTINE routine) {
    ASSERT_EQ(env_.Listen(port_, "127.0.0.1"), WinTCPEnv::kOk);
    server_ = std::thread([this, routine] {
      SOCKET accepted;
      while (env_.Accept(port_, accepted) == WinTCPEnv::kOk) {
        if (!env_.StartClientThread(accepted, routine)) close(accepted);
      }
    });
  }
  void TearDown() override {
    if (server_.joinable()) {
      env_.StopListening();
      server_.join();
    }
    env_.ShutdownClients();
    env_.WaitForClients();
  }

  // A connection whose client thread has answered: it is registered.
  int ConnectServed() {
    const int fd = ConnectLoopback(port_);
    char byte = 'q';
    if (fd < 0 || send(fd, &byte, 1, 0) != 1 || recv(fd, &byte, 1, 0) != 1) {
      ADD_FAILURE() << "connection not served";
    }
    return fd;
  }

  WinTCPEnv env_;
  int port_ = FreeLoopbackPort();
  std::thread server_;
};

TEST_F(ClientRegistry, CountsHundredsOfConnectionsOpenedAndClosedConcurrently) {
  StartServer(EchoUntilClosed);
  constexpr int kOpeners = 8;
  constexpr int kEach = 25;
  constexpr unsigned kLive = kOpeners * kEach;

  // The status bar's reader: counts are read from another thread at any
  // time without a lock.
  std::atomic<bool> stop_reading{false};
  std::thread status([&] {
    while (!stop_reading) {
      EXPECT_LE(env_.ClientCount(), 2 * kLive);
      EXPECT_LE(env_.IsListening(), 1u);
    }
  });

  std::vector<std::vector<int>> connections(kOpeners);
  auto on_every_opener = [&](auto work) {
    std::vector<std::thread> openers;
    for (int i = 0; i < kOpeners; ++i) openers.emplace_back(work, i);
    for (auto& opener : openers) opener.join();
  };
  on_every_opener([&](int i) {
    for (int n = 0; n < kEach; ++n) connections[i].push_back(ConnectServed());
  });
  EXPECT_EQ(env_.ClientCount(), kLive);

  // Connections end while new ones arrive, so socket numbers are handed
  // out again at once; a stale entry would throw the count off.
  on_every_opener([&](int i) {
    for (int& fd : connections[i]) {
      close(fd);
      fd = ConnectServed();
    }
  });
  EXPECT_TRUE(WaitUntil([&] { return env_.ClientCount() == kLive; }))
      << env_.ClientCount();

  // The stop: every client thread sees its connection shut down and ends.
  EXPECT_EQ(env_.StopListening(), WinTCPEnv::kOk);
  server_.join();
  env_.ShutdownClients();
  env_.WaitForClients();
  EXPECT_EQ(env_.ClientCount(), 0u);
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

TEST_F(ClientRegistry, WaitForClientsReturnsOnceTheLastClientHasEnded) {
  env_.WaitForClients();  // nothing registered: at once
  StartServer(EchoUntilClosed);
  const int first = ConnectServed(), second = ConnectServed(),
            last = ConnectServed();
  ASSERT_EQ(env_.ClientCount(), 3u);

  std::atomic<bool> returned{false};
  std::atomic<unsigned> count_at_return{99};
  std::thread waiter([&] {
    env_.WaitForClients();
    count_at_return = env_.ClientCount();
    returned = true;
  });
  close(first);
  close(second);
  ASSERT_TRUE(WaitUntil([&] { return env_.ClientCount() == 1; }));
  EXPECT_FALSE(returned);
  close(last);
  waiter.join();
  EXPECT_EQ(count_at_return, 0u);
}

TEST_F(ClientRegistry, ThreadsThatEndAtOnceLeaveNoEntryBehind) {
  StartServer(EndAtOnce);
  for (int round = 0; round < 100; ++round) {
    const int fd = ConnectLoopback(port_);
    ASSERT_GE(fd, 0);
    char byte;
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0);  // the thread closed it
    close(fd);
  }
  env_.WaitForClients();
  EXPECT_EQ(env_.ClientCount(), 0u);
}

}  // namespace
