// Clients that do not wait: several requests in one send, requests split
// anywhere, and many clients at once. How the reader joins the pieces of
// one request is tested with the reader. Every reply must come back in the
// order of the requests, with its request's transaction id, to the client
// that asked.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_fixture.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

constexpr std::uint8_t kUnitOnCom1 = 3;
constexpr std::uint8_t kUnitOnCom2 = 11;

// Two ports, each with a libmodbus device.
class GatewayPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway_.StartDevice(gateway_.AddPort(1, "1-5"), kUnitOnCom1);
    gateway_.StartDevice(gateway_.AddPort(2, "10-12"), kUnitOnCom2);
    ASSERT_TRUE(gateway_.Start());
  }

  GatewayFixture gateway_;
};

TEST_F(GatewayPipeline, JoinsARequestSplitAtAnyByte) {
  RawModbusClient client(gateway_.TcpPort());
  const std::string first = ReadRegister(1, kUnitOnCom1, 7);
  std::uint16_t transaction = 100;
  for (std::size_t split = 1; split < first.size(); ++split) {
    SCOPED_TRACE("split after byte " + std::to_string(split));
    // A whole request with the head of the next one behind it, then the
    // tail once the first has been answered.
    const std::string second = ReadRegister(transaction + 1, kUnitOnCom2, 8);
    ASSERT_TRUE(client.Send(ReadRegister(transaction, kUnitOnCom1, 7) +
                            second.substr(0, split)));
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(RegisterReply(transaction, kUnitOnCom1, 7)));
    ASSERT_TRUE(client.Send(second.substr(split)));
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(RegisterReply(transaction + 1, kUnitOnCom2, 8)));
    transaction += 2;
  }
}

TEST_F(GatewayPipeline, AnswersMoreRequestsThanTheRequestBufferHolds) {
  // 120 requests of 12 bytes: more than one receive can take, and a
  // request that straddles the end of what one receive took.
  constexpr int kRequests = 120;
  std::string requests;
  for (int k = 0; k < kRequests; ++k) {
    requests += ReadRegister(static_cast<std::uint16_t>(5000 + k),
                             k % 2 == 0 ? kUnitOnCom1 : kUnitOnCom2, k);
  }
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send(requests));
  for (int k = 0; k < kRequests; ++k) {
    ASSERT_EQ(Hex(client.ReadFrame()),
              Hex(RegisterReply(static_cast<std::uint16_t>(5000 + k),
                                k % 2 == 0 ? kUnitOnCom1 : kUnitOnCom2, k)))
        << "reply " << k;
  }
}

TEST_F(GatewayPipeline, KeepsTheRequestsBehindOneThatFails) {
  // Unit 99 lives on no port: that request gets no reply, the ones that
  // came with it in the same send are answered.
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send(ReadRegister(1, kUnitOnCom1, 1) +
                          ReadRegister(2, 99, 2) +
                          ReadRegister(3, kUnitOnCom2, 3)));
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(RegisterReply(1, kUnitOnCom1, 1)));
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(RegisterReply(3, kUnitOnCom2, 3)));
  EXPECT_TRUE(gateway_.WaitForLogLine("lock COM Port fail: error code = -3"));
}

// Each client asks for registers that only it asks for, under transaction
// ids that only it uses, every second request pipelined with the next.
void RunClient(RawModbusClient& client, int index, int requests,
               std::latch& go) {
  go.arrive_and_wait();
  for (int k = 0; k < requests; k += 2) {
    std::string sent;
    std::string expected;
    for (int j = k; j < k + 2 && j < requests; ++j) {
      const auto transaction = static_cast<std::uint16_t>(index * 1000 + j);
      const std::uint8_t unit = (index + j) % 2 == 0 ? kUnitOnCom1 : kUnitOnCom2;
      const int address = index * requests + j;
      sent += ReadRegister(transaction, unit, address);
      expected += RegisterReply(transaction, unit, address);
    }
    ASSERT_TRUE(client.Send(sent));
    std::string received = client.ReadFrame();
    if (expected.size() > received.size()) received += client.ReadFrame();
    ASSERT_EQ(Hex(received), Hex(expected)) << "client " << index;
  }
}

TEST_F(GatewayPipeline, FiftyClientsAtOnceEachGetTheirOwnReplies) {
  constexpr int kClients = 50;
  constexpr int kRequestsEach = 20;
  // Connected one after another: the listening queue is short, and a
  // connection it cannot take waits a second for its retry.
  std::vector<std::unique_ptr<RawModbusClient>> connections;
  for (int index = 0; index < kClients; ++index) {
    connections.push_back(std::make_unique<RawModbusClient>(gateway_.TcpPort()));
    ASSERT_TRUE(connections.back()->IsConnected());
  }
  ASSERT_TRUE(gateway_.WaitForLogLines("client from 127.0.0.1", kClients));

  std::latch go(kClients + 1);
  std::vector<std::thread> clients;
  for (int index = 0; index < kClients; ++index) {
    clients.emplace_back(RunClient, std::ref(*connections[index]), index,
                         kRequestsEach, std::ref(go));
  }
  go.arrive_and_wait();
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(gateway_.CountLogLines("ModbusRTU"), 0);
}

// The gateway's end of the connection whose client end is bound to
// `client_port`, or -1.
int GatewayEndOf(int client_port) {
  for (int fd = 0; fd < 4096; ++fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == client_port) {
      return fd;
    }
  }
  return -1;
}

TEST_F(GatewayPipeline, SendsEachReplyWithoutWaitingForAnAcknowledgement) {
  // Otherwise a client that sent two requests at once gets the second
  // reply only when its delayed acknowledgement of the first goes out.
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_EQ(Hex(client.Ask(ReadRegister(1, kUnitOnCom1, 1))),
            Hex(RegisterReply(1, kUnitOnCom1, 1)));
  const int gateway_end = GatewayEndOf(client.LocalPort());
  ASSERT_NE(gateway_end, -1);
  int no_delay = 0;
  socklen_t length = sizeof no_delay;
  ASSERT_EQ(getsockopt(gateway_end, IPPROTO_TCP, TCP_NODELAY, &no_delay,
                       &length),
            0);
  EXPECT_NE(no_delay, 0);
}

}  // namespace
