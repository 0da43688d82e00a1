// The gateway's life: connections counted against MaxConnections, clients
// that leave with requests still queued, a stop with clients still
// connected or waiting on a silent device, a start that fails and one that
// follows, and a server that runs short of descriptors or cannot start a
// client thread.
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateway/serial_io.h"
#include "gateway/tcp_env.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

constexpr std::uint8_t kUnit = 3;
constexpr char kAtMaximum[] = "warning: client connections arrives at maximum";

// True when the client gets its answer from the device.
bool IsServed(RawModbusClient& client, std::uint16_t transaction = 1) {
  return client.Ask(ReadRegister(transaction, kUnit, 9)) ==
         RegisterReply(transaction, kUnit, 9);
}

// COM1: a device for units 1-5. COM2: unit 7, a line without a device.
class GatewayLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway_.StartDevice(gateway_.AddPort(1, "1-5"), kUnit);
    silent_line_ = &gateway_.AddPort(2, "7", {1000, 1000, 0});
  }

  GatewayFixture gateway_;
  PtyPort* silent_line_ = nullptr;
};

TEST_F(GatewayLifecycle, MaxConnectionsTwoTakesTheNextClientOnceOneHasLeft) {
  gateway_.Server().max_connections = 2;
  ASSERT_TRUE(gateway_.Start());
  auto first = std::make_unique<RawModbusClient>(gateway_.TcpPort());
  RawModbusClient second(gateway_.TcpPort());
  ASSERT_TRUE(IsServed(*first) && IsServed(second));
  RawModbusClient third(gateway_.TcpPort());
  EXPECT_TRUE(third.WaitForEnd());
  EXPECT_TRUE(gateway_.WaitForLogLine(kAtMaximum));
  first.reset();
  ASSERT_TRUE(WaitUntil([] { return gWinTCPEnv->ClientCount() < 2; }));
  RawModbusClient fourth(gateway_.TcpPort());
  EXPECT_TRUE(IsServed(fourth));
  EXPECT_EQ(gateway_.CountLogLines(kAtMaximum), 1);
}

// Eight clients, as many as may connect, queue a thousand reads each of a
// unit whose device never answers, then leave: each costs its port one read
// time-out at most, after which its slot is free for a new client.
class ClientsThatLeft : public GatewayLifecycle,
                        public ::testing::WithParamInterface<bool> {
 protected:
  void Leave(RawModbusClient& client) {
    if (GetParam()) {
      client.CloseWithReset();
    } else {
      client.Close();
    }
  }
};

TEST_P(ClientsThatLeft, FreeTheirSlotsWithoutServingWhatTheyQueued) {
  constexpr std::uint8_t kDead = 8;
  PtyPort& dead_line = gateway_.AddPort(3, "8", {200, 200, 0});
  gateway_.Server().max_connections = 8;
  ASSERT_TRUE(gateway_.Start());
  std::string reads;
  for (std::uint16_t t = 0; t < 1000; ++t) reads += ReadRegister(t, kDead, 1);
  std::vector<std::unique_ptr<RawModbusClient>> leavers;
  for (int i = 0; i < 8; ++i) {
    leavers.push_back(std::make_unique<RawModbusClient>(gateway_.TcpPort()));
    ASSERT_TRUE(leavers.back()->Send(reads));
  }
  ASSERT_TRUE(WaitUntil([] { return gWinTCPEnv->ClientCount() == 8; }));
  const std::string first = RtuFrame(kDead, Bytes({0x03, 0, 1, 0, 1}));
  ASSERT_EQ(dead_line.ReadFar(first.size(), kHangGuardMs), first);
  for (auto& client : leavers) Leave(*client);

  bool served = false;
  for (const Deadline guard(60000); !served && !guard.Passed();) {
    RawModbusClient next(gateway_.TcpPort());  // refused while all are taken
    served = IsServed(next);
    if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(served) << "the departed clients still hold every slot";
}

INSTANTIATE_TEST_SUITE_P(Leaving, ClientsThatLeft, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "WithReset" : "WithFin";
                         });

// A client alone on its line that queued a thousand requests and left: the
// first request that fails ends it, whether its device is silent or no
// port serves the unit, so it costs one time-out at most and leaves one
// line about the failure and one about its end.
TEST_F(GatewayLifecycle, AClientThatLeftAloneOnItsLineEndsAtItsFirstFailure) {
  PtyPort& dead_line = gateway_.AddPort(3, "8", {300, 300, 0});
  ASSERT_TRUE(gateway_.Start());
  const auto queue_of = [](std::uint8_t unit) {
    std::string reads;
    for (std::uint16_t t = 0; t < 1000; ++t) reads += ReadRegister(t, unit, 1);
    return reads;
  };
  const auto ends_alone = [&] {
    return WaitUntil([] { return gWinTCPEnv->ClientCount() == 0; },
                     std::chrono::seconds(10));
  };

  RawModbusClient to_silent_unit(gateway_.TcpPort());
  ASSERT_TRUE(to_silent_unit.Send(queue_of(8)));
  const std::string first = RtuFrame(8, Bytes({0x03, 0, 1, 0, 1}));
  ASSERT_EQ(Hex(dead_line.ReadFar(first.size(), kHangGuardMs)), Hex(first));
  to_silent_unit.Close();
  EXPECT_TRUE(ends_alone()) << "each queued request waits for the device";
  // The thread logs its failure, then its end; both may still be queued.
  EXPECT_TRUE(gateway_.WaitForLogLine(" closed the connection"));
  EXPECT_EQ(gateway_.CountLogLines("did not answer in time"), 1);
  EXPECT_EQ(gateway_.CountLogLines(" closed the connection"), 1);

  RawModbusClient to_no_port(gateway_.TcpPort());
  ASSERT_TRUE(to_no_port.SendAndClose(queue_of(99)));
  EXPECT_TRUE(ends_alone());
  EXPECT_TRUE(gateway_.WaitForLogLines(" closed the connection", 2));
  EXPECT_EQ(gateway_.CountLogLines("lock COM Port fail: error code = -3"), 1);
}

// Where a request waits when its client's connection is reset.
enum class ResetFinds { kWaitingForThePort, kInTheRtsDelay, kWaitingOutAnOwedReply };
const char* const kResetFindsNames[] = {"WaitingForThePort", "InTheRtsDelay",
                                        "WaitingOutAnOwedReply"};

class ResetClients : public GatewayLifecycle,
                     public ::testing::WithParamInterface<ResetFinds> {};

// A client whose connection is reset while its request waits: for the
// port, in the port's RTS delay, or for the reply that a stop left the
// line owing to pass. The request is dropped before anything goes on the
// line: a write would be carried out for a client that has gone, and a
// read would hold the line for a time-out that no reply could end.
TEST_P(ResetClients, GetNothingOntoTheLine) {
  const ResetFinds where = GetParam();
  const std::uint32_t rts_delay = where == ResetFinds::kInTheRtsDelay ? 1000 : 0;
  PtyPort& dead_line = gateway_.AddPort(3, "8", {500, 500, rts_delay});
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient holder(gateway_.TcpPort());
  if (where != ResetFinds::kInTheRtsDelay) {  // at a device that never answers
    ASSERT_TRUE(holder.Send(ReadRegister(1, 8, 1)));
    const std::string held = RtuFrame(8, Bytes({0x03, 0, 1, 0, 1}));
    ASSERT_EQ(Hex(dead_line.ReadFar(held.size(), kHangGuardMs)), Hex(held));
  }
  if (where == ResetFinds::kWaitingOutAnOwedReply) {
    ASSERT_TRUE(gateway_.Stop());  // the line owes the holder's reply
    ASSERT_TRUE(gateway_.Start());
  }
  // A byte on the idle line, which the request's thread drops once it has
  // the port: with the owed reply, or by the purge before the RTS delay.
  if (where != ResetFinds::kWaitingForThePort) {
    ASSERT_TRUE(dead_line.WriteFar("\x55"));
    ASSERT_TRUE(dead_line.WaitUntilQueuedAtGateway(1, kHangGuardMs));
  }
  RawModbusClient leaver(gateway_.TcpPort());
  ASSERT_TRUE(leaver.Send(ReadRegister(2, 8, 2)));
  ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(leaver) == 0; }));
  if (where != ResetFinds::kWaitingForThePort) {
    ASSERT_TRUE(dead_line.WaitUntilReadByGateway(kHangGuardMs));
  }
  leaver.CloseWithReset();

  const int ended_by_the_stop = where == ResetFinds::kWaitingOutAnOwedReply ? 1 : 0;
  ASSERT_TRUE(gateway_.WaitForLogLines(" closed the connection", ended_by_the_stop + 1));
  EXPECT_EQ(Hex(dead_line.ReadFar(1, 200)), "");
  EXPECT_EQ(gateway_.CountLogLines("did not answer in time"),
            where == ResetFinds::kWaitingForThePort ? 1 : 0);
  if (where != ResetFinds::kWaitingOutAnOwedReply) {
    EXPECT_EQ(Hex(holder.Ask(ReadRegister(3, kUnit, 3))),
              Hex(RegisterReply(3, kUnit, 3)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Waits, ResetClients,
    ::testing::Values(ResetFinds::kWaitingForThePort, ResetFinds::kInTheRtsDelay,
                      ResetFinds::kWaitingOutAnOwedReply),
    [](const ::testing::TestParamInfo<ResetFinds>& info) {
      return std::string(kResetFindsNames[static_cast<int>(info.param)]);
    });

// A client that ends its sending after its requests still gets every
// reply that its device gives.
TEST_F(GatewayLifecycle, AClientThatHalfClosesGetsItsReplies) {
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  ASSERT_TRUE(client.Send(ReadRegister(1, kUnit, 1) + ReadRegister(2, kUnit, 2) +
                          ReadRegister(3, kUnit, 3)));
  ASSERT_TRUE(client.CloseSending());
  for (std::uint16_t t = 1; t <= 3; ++t) {
    EXPECT_EQ(Hex(client.ReadFrame()), Hex(RegisterReply(t, kUnit, t)));
  }
  EXPECT_TRUE(client.WaitForEnd());
}

TEST_F(GatewayLifecycle, StopEndsEveryConnectionAndAStartServesAgain) {
  ASSERT_TRUE(gateway_.Start());
  {  // a client that came and went leaves nothing for the stop to wait on
    RawModbusClient gone(gateway_.TcpPort());
    ASSERT_TRUE(IsServed(gone));
  }
  ASSERT_TRUE(WaitUntil([] { return gWinTCPEnv->ClientCount() == 0; }));
  RawModbusClient idle(gateway_.TcpPort());
  RawModbusClient halfway(gateway_.TcpPort());
  ASSERT_TRUE(halfway.Send(ReadRegister(1, kUnit, 1).substr(0, 5)));
  // A request at a device that will not answer, and two sent ahead of it:
  // no reply to any of them could reach the client once the stop begins.
  RawModbusClient at_device(gateway_.TcpPort());
  ASSERT_TRUE(at_device.Send(ReadRegister(1, 7, 1) + ReadRegister(2, 7, 1) +
                             ReadRegister(3, 7, 1)));
  const std::string on_line = RtuFrame(7, Bytes({0x03, 0, 1, 0, 1}));
  ASSERT_EQ(silent_line_->ReadFar(on_line.size(), kHangGuardMs), on_line);
  RawModbusClient waiting_for_port(gateway_.TcpPort());
  ASSERT_TRUE(waiting_for_port.Send(ReadRegister(4, 7, 1)));
  ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(waiting_for_port) == 0; }));
  ASSERT_TRUE(gateway_.WaitForLogLines("client from", 5));
  // Each connection's own end: "closed the connection" (0) or "connection
  // failed or timed out" (-1).
  const auto connection_ends = [&] {
    return gateway_.CountLogLines(" closed the connection") +
           gateway_.CountLogLines(": connection failed or timed out");
  };
  const int ends_before_stop = connection_ends();

  EXPECT_TRUE(gateway_.Stop());
  for (RawModbusClient* client :
       {&idle, &halfway, &at_device, &waiting_for_port}) {
    EXPECT_TRUE(client->WaitForEnd());
  }
  ASSERT_TRUE(gateway_.WaitForLogLine("stop server successful"));
  const std::vector<std::string> lines = gateway_.LogLines();
  EXPECT_NE(lines.back().find("stop server successful"), std::string::npos);
  EXPECT_EQ(connection_ends() - ends_before_stop, 4)
      << "one line for each client that the stop ended";
  // The stop abandoned the exchange rather than waiting for the device,
  // and wrote nothing more to its line.
  EXPECT_EQ(gateway_.CountLogLines("modbus unit 7"), 0);
  EXPECT_EQ(Hex(silent_line_->ReadFar(1, 100)), "");
  EXPECT_EQ(gWinTCPEnv->ClientCount(), 0u);
  EXPECT_EQ(gWinTCPEnv->IsListening(), 0u);

  ASSERT_TRUE(gateway_.Start());
  RawModbusClient again(gateway_.TcpPort());
  EXPECT_TRUE(IsServed(again));
}

// A device that stays silent under a 30 s read time-out, and a write that
// waits for the same port meanwhile: the stop cuts the wait short and the
// write never reaches the line. In the next run the line takes no request
// while the device may still answer the abandoned read, and a stop cuts
// that wait short too.
TEST_F(GatewayLifecycle, StopCutsALongReplyWaitShortAndWritesNothingMore) {
  constexpr std::uint8_t kSlow = 8;
  PtyPort& slow_line = gateway_.AddPort(3, "8", {1000, 30000, 0});
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient reader(gateway_.TcpPort());
  ASSERT_TRUE(reader.Send(ReadRegister(1, kSlow, 1)));
  const std::string read_on_line = RtuFrame(kSlow, Bytes({0x03, 0, 1, 0, 1}));
  ASSERT_EQ(Hex(slow_line.ReadFar(read_on_line.size(), kHangGuardMs)),
            Hex(read_on_line));
  RawModbusClient writer(gateway_.TcpPort());
  ASSERT_TRUE(writer.Send(TcpFrame(2, kSlow, Bytes({0x06, 0, 1, 0, 0x2A}))));
  // Read by its thread, which then waits for the port.
  ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(writer) == 0; }));

  EXPECT_TRUE(StopsWithinGuard(gateway_))
      << "the stop waits out the device's read time-out";
  EXPECT_EQ(Hex(slow_line.ReadFar(1, 100)), "") << "written after the stop";
  EXPECT_EQ(gateway_.CountLogLines("modbus unit 8"), 0);

  // Two runs more: a stop that cuts the wait for the owed reply short
  // leaves it owed to the run after.
  for (std::uint16_t run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(gateway_.Start());
    RawModbusClient again(gateway_.TcpPort());
    ASSERT_TRUE(again.Send(ReadRegister(2 + run, kSlow, 1)));
    ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(again) == 0; }));
    EXPECT_EQ(Hex(slow_line.ReadFar(1, 300)), "")
        << "written while the abandoned read could still be answered";
    EXPECT_TRUE(StopsWithinGuard(gateway_))
        << "the stop waits for the abandoned reply";
    EXPECT_EQ(Hex(slow_line.ReadFar(1, 100)), "") << "written after the stop";
  }
}

TEST_F(GatewayLifecycle, AFailedStartFreesWhatItOpenedAndTheNextOneServes) {
  {  // COM2, opened after COM1, is held by another program
    SerialIO holder;
    ASSERT_TRUE(holder.Open("COM2"));
    EXPECT_FALSE(gateway_.Start());
    EXPECT_TRUE(gateway_.WaitForLogLine("can't open serial port COM2"));
    SerialIO other;
    EXPECT_TRUE(other.Open("COM1")) << other.ErrorText();
  }
  // The TCP port is taken, after both serial ports were opened.
  int port = gateway_.TcpPort();
  const int taken = ListenOnLoopback(port);
  ASSERT_GE(taken, 0);
  EXPECT_FALSE(gateway_.Start());
  EXPECT_TRUE(gateway_.WaitForLogLine(" - " + std::to_string(EADDRINUSE)));
  for (const char* name : {"COM1", "COM2"}) {  // free for another program
    SerialIO other;
    EXPECT_TRUE(other.Open(name)) << name << ": " << other.ErrorText();
  }
  EXPECT_EQ(gWinTCPEnv->IsListening(), 0u);
  close(taken);

  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  EXPECT_TRUE(IsServed(client));
}

TEST_F(GatewayLifecycle, KeepsListeningThroughADescriptorShortage) {
  ASSERT_TRUE(gateway_.Start());
  // The client's socket exists before the shortage: connecting needs no
  // new descriptor on this side, accepting needs one on the gateway's.
  RawModbusClient client;
  // Every free descriptor taken, up to a lowered limit.
  rlimit former{};
  getrlimit(RLIMIT_NOFILE, &former);
  rlimit lowered = former;
  lowered.rlim_cur = std::min<rlim_t>(OpenDescriptorCount() + 64, former.rlim_cur);
  setrlimit(RLIMIT_NOFILE, &lowered);
  std::vector<int> taken;
  for (int fd; (fd = dup(STDIN_FILENO)) >= 0;) taken.push_back(fd);
  EXPECT_TRUE(client.Connect(gateway_.TcpPort()));
  EXPECT_TRUE(gateway_.WaitForLogLine("Too many open files"));
  for (const int fd : taken) close(fd);
  setrlimit(RLIMIT_NOFILE, &former);

  EXPECT_EQ(Hex(client.Ask(ReadRegister(5, kUnit, 2))),
            Hex(RegisterReply(5, kUnit, 2)));
  EXPECT_EQ(gateway_.CountLogLines("stop server successful"), 0);
  EXPECT_EQ(gateway_.CountLogLines("Too many open files"), 1);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their allocators need the address space
#else
constexpr bool kSanitized = false;
#endif

rlim_t MappedKb() {
  std::ifstream status("/proc/self/status");
  std::string field;
  rlim_t kb = 0;
  while (status >> field && field != "VmSize:") {}
  status >> kb;
  return kb;
}

DWORD Park(LPVOID released) {
  static_cast<std::atomic<bool>*>(released)->wait(false);
  return 0;
}

// Lowers the address space limit to what the process maps now and a
// little more: room for small allocations, none for a client thread's
// stack. Stacks that ended threads left for reuse are taken first by
// threads that wait, until a new thread needs a new mapping.
class AddressSpaceShortage {
 public:
  AddressSpaceShortage() {
    rlim_t before = 0;
    do {
      before = MappedKb();
      parked_.push_back(
          CreateThread(nullptr, 0x80000, Park, &released_, 0, nullptr));
    } while (MappedKb() < before + 512);
    getrlimit(RLIMIT_AS, &former_);
    rlimit lowered = former_;
    lowered.rlim_cur = (MappedKb() + 256) * 1024;
    setrlimit(RLIMIT_AS, &lowered);
  }
  ~AddressSpaceShortage() {
    setrlimit(RLIMIT_AS, &former_);
    released_ = true;
    released_.notify_all();
    for (HANDLE thread : parked_) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
  }

 private:
  rlimit former_{};
  std::atomic<bool> released_{false};
  std::vector<HANDLE> parked_;
};

TEST_F(GatewayLifecycle, KeepsAcceptingWhenAClientThreadCannotStart) {
  if (kSanitized) GTEST_SKIP() << "no address space limit under sanitizers";
  ASSERT_TRUE(gateway_.Start());
  // Once the server thread has logged and the line has been collected,
  // both threads have made their memory pools: nothing maps or unmaps a
  // large region while the limit holds.
  ASSERT_TRUE(gateway_.WaitForLogLine("start server successful"));
  {
    AddressSpaceShortage shortage;
    RawModbusClient refused(gateway_.TcpPort());
    EXPECT_TRUE(refused.WaitForEnd());  // closed: no thread to serve it
  }
  EXPECT_TRUE(gateway_.WaitForLogLine("Resource temporarily unavailable"));
  RawModbusClient client(gateway_.TcpPort());
  EXPECT_TRUE(IsServed(client));
}

}  // namespace
