// The gateway's life: connections counted against MaxConnections, a stop
// with clients still connected, a start that fails and one that follows,
// and a server that runs short of descriptors or cannot start a client
// thread.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <fstream>
#include <string>
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

// The position of the first log line that contains `text`; npos if none.
std::size_t LinePosition(const std::vector<std::string>& lines,
                         const std::string& text) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return i;
  }
  return std::string::npos;
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
  // A request at a device that will not answer: the stop waits for it,
  // but not for the two the client sent ahead, which no reply could reach.
  RawModbusClient at_device(gateway_.TcpPort());
  ASSERT_TRUE(at_device.Send(ReadRegister(1, 7, 1) + ReadRegister(2, 7, 1) +
                             ReadRegister(3, 7, 1)));
  const std::string on_line = RtuFrame(7, Bytes({0x03, 0, 1, 0, 1}));
  ASSERT_EQ(silent_line_->ReadFar(on_line.size(), kHangGuardMs), on_line);
  ASSERT_TRUE(gateway_.WaitForLogLines("client from", 4));

  EXPECT_TRUE(gateway_.Stop());
  for (RawModbusClient* client : {&idle, &halfway, &at_device}) {
    EXPECT_TRUE(client->WaitForEnd());
  }
  ASSERT_TRUE(gateway_.WaitForLogLine("stop server successful"));
  // The stop waited for the request at the silent device.
  const std::vector<std::string> lines = gateway_.LogLines();
  EXPECT_NE(lines.back().find("stop server successful"), std::string::npos);
  EXPECT_LT(LinePosition(lines, "modbus unit 7 did not answer in time"),
            LinePosition(lines, "stop server successful"));
  EXPECT_EQ(gateway_.CountLogLines("modbus unit 7 did not answer in time"), 1);
  EXPECT_EQ(gWinTCPEnv->ClientCount(), 0u);
  EXPECT_EQ(gWinTCPEnv->IsListening(), 0u);

  ASSERT_TRUE(gateway_.Start());
  RawModbusClient again(gateway_.TcpPort());
  EXPECT_TRUE(IsServed(again));
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
