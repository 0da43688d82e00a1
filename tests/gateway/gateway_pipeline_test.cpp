// Clients that do not wait: several requests in one send, requests split
// anywhere, and many clients at once. Every reply comes back in the order
// of the requests, with its transaction id, to the client that asked.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_fixture.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

constexpr std::uint8_t kUnitOnCom1 = 3;
constexpr std::uint8_t kUnitOnCom2 = 11;

class GatewayPipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway_.StartDevice(gateway_.AddPort(1, "1-5"), kUnitOnCom1);
    gateway_.StartDevice(gateway_.AddPort(2, "10-12"), kUnitOnCom2);
    ASSERT_TRUE(gateway_.Start());
  }

  GatewayFixture gateway_;
};

TEST_F(GatewayPipeline, KeepsRequestsSentTogetherOrSplitAtAnyByte) {
  RawModbusClient client(gateway_.TcpPort());
  // Unit 99 lives on no port: it gets no reply, the others in its send do.
  ASSERT_TRUE(client.Send(ReadRegister(1, kUnitOnCom1, 1) +
                          ReadRegister(2, 99, 2) +
                          ReadRegister(3, kUnitOnCom2, 3)));
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(RegisterReply(1, kUnitOnCom1, 1)));
  EXPECT_EQ(Hex(client.ReadFrame()), Hex(RegisterReply(3, kUnitOnCom2, 3)));
  EXPECT_TRUE(gateway_.WaitForLogLine("lock COM Port fail: error code = -3"));

  std::uint16_t transaction = 100;
  for (std::size_t split = 1; split < 12; ++split, transaction += 2) {
    SCOPED_TRACE("split after byte " + std::to_string(split));
    // A request with the head of the next behind it, then the tail.
    const std::string second = ReadRegister(transaction + 1, kUnitOnCom2, 8);
    ASSERT_TRUE(client.Send(ReadRegister(transaction, kUnitOnCom1, 7) +
                            second.substr(0, split)));
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(RegisterReply(transaction, kUnitOnCom1, 7)));
    ASSERT_TRUE(client.Send(second.substr(split)));
    EXPECT_EQ(Hex(client.ReadFrame()),
              Hex(RegisterReply(transaction + 1, kUnitOnCom2, 8)));
  }
}

// Each client asks under transaction ids and for registers of its own,
// two requests per send.
void RunClient(RawModbusClient& client, int index, std::latch& go) {
  go.arrive_and_wait();
  for (int k = 0; k < 20; k += 2) {
    std::string sent, expected;
    for (int j = k; j < k + 2; ++j) {
      const auto transaction = static_cast<std::uint16_t>(index * 1000 + j);
      const std::uint8_t unit = (index + j) % 2 ? kUnitOnCom2 : kUnitOnCom1;
      sent += ReadRegister(transaction, unit, index * 20 + j);
      expected += RegisterReply(transaction, unit, index * 20 + j);
    }
    ASSERT_TRUE(client.Send(sent));
    std::string received = client.ReadFrame();
    received += client.ReadFrame();
    ASSERT_EQ(Hex(received), Hex(expected)) << "client " << index;
  }
}

TEST_F(GatewayPipeline, FiftyClientsAtOnceEachGetTheirOwnReplies) {
  constexpr int kClients = 50;
  // Connected one after another: the listening queue is short.
  std::vector<std::unique_ptr<RawModbusClient>> connections;
  for (int index = 0; index < kClients; ++index) {
    connections.push_back(std::make_unique<RawModbusClient>(gateway_.TcpPort()));
  }
  ASSERT_TRUE(gateway_.WaitForLogLines("client from 127.0.0.1", kClients));
  std::latch go(kClients + 1);
  std::vector<std::thread> clients;
  for (int index = 0; index < kClients; ++index) {
    clients.emplace_back(RunClient, std::ref(*connections[index]), index,
                         std::ref(go));
  }
  go.arrive_and_wait();
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(gateway_.CountLogLines("ModbusRTU"), 0);
}

// The slow client's thread blocks in its send once the connection's
// buffers are full; it must not hold the port meanwhile.
TEST(GatewaySlowClient, DoesNotHoldThePortOfItsRequests) {
  GatewayFixture gateway;
  gateway.StartDevice(gateway.AddPort(2, "10-12"), kUnitOnCom2);
  gateway.Server().tx_timeout_ms = 60000;  // it stays blocked to the end
  ASSERT_TRUE(gateway.Start());
  RawModbusClient slow(gateway.TcpPort(), 4096);
  ASSERT_TRUE(gateway.WaitForLogLine("client from 127.0.0.1"));
  // The gateway's end would otherwise grow its buffer to megabytes.
  const int gateway_end = FindDescriptorConnectedTo(slow.LocalPort());
  const int send_buffer = 4096;
  ASSERT_EQ(setsockopt(gateway_end, SOL_SOCKET, SO_SNDBUF, &send_buffer,
                       sizeof send_buffer), 0);
  std::string requests;  // whose replies far exceed the socket buffers
  for (int t = 0; t < 400; ++t) {
    requests += TcpFrame(static_cast<std::uint16_t>(t), kUnitOnCom2,
                         Bytes({0x03, 0x00, 0x00, 0x00, 0x7D}));
  }
  ASSERT_TRUE(slow.Send(requests));
  ASSERT_TRUE(WaitUntilAThreadIsBlockedInSend());
  RawModbusClient client(gateway.TcpPort());
  for (std::uint16_t t = 1; t <= 3; ++t) {
    ASSERT_EQ(Hex(client.Ask(ReadRegister(t, kUnitOnCom2, t))),
              Hex(RegisterReply(t, kUnitOnCom2, t)));
  }
}

// Otherwise a client that sent two requests at once gets the second reply
// only when its delayed acknowledgement of the first goes out.
TEST_F(GatewayPipeline, SendsEachReplyWithoutWaitingForAnAcknowledgement) {
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_EQ(Hex(client.Ask(ReadRegister(1, kUnitOnCom1, 1))),
            Hex(RegisterReply(1, kUnitOnCom1, 1)));
  const int fd = FindDescriptorConnectedTo(client.LocalPort());
  ASSERT_GE(fd, 0);
  int no_delay = 0;
  socklen_t length = sizeof no_delay;
  getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &no_delay, &length);
  EXPECT_NE(no_delay, 0);
}

}  // namespace
