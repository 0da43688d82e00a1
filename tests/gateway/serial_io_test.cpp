// SerialIO over pseudo-terminals whose far end the test holds: opening by
// name and number, exclusive use across processes, the read time-out rule,
// fragments, writes to a far end that stops reading, purging, a device
// that goes away, and the error texts. Durations are checked only against
// generous bounds.
#include "gateway/serial_io.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/serial_port.h"
#include "tests/support/pty_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string SystemText(int code) { return std::strerror(code); }

TEST(SerialOpen, TakesTheNumberThatLeadsTheNameOrGivenAlone) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(line.IsReady());
  for (const char* name : {"COM3", "COM3x"}) {
    SerialIO io;
    ASSERT_TRUE(io.Open(name)) << name << ": " << io.ErrorText();
    EXPECT_EQ(io.WriteAll(name, 4), 4);
    EXPECT_EQ(line.ReadFar(4, 5000), std::string(name, 4));
  }
  SerialIO by_number;
  ASSERT_TRUE(by_number.OpenByNumber(3)) << by_number.ErrorText();
  EXPECT_EQ(by_number.WriteAll("3", 1), 1);
  EXPECT_EQ(line.ReadFar(1, 5000), "3");
}

TEST(SerialOpen, ANameWithoutANumberOrAnotherNumberOpensNothing) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(ports.Link("COM13", "/nonexistent/ttyUSB9"));
  for (const char* name : {"com3", "Port3", "COM", "", "3", "COM13"}) {
    SerialIO io;
    EXPECT_FALSE(io.Open(name)) << name;
    const bool missing_device = std::string(name) == "COM13";
    EXPECT_EQ(io.ErrorText(), SystemText(missing_device ? ENOENT : ENODEV))
        << name;
    DCB dcb;
    EXPECT_FALSE(io.GetDCB(dcb)) << name;
  }
  SerialIO io;
  EXPECT_FALSE(io.Open(nullptr));
}

// Tries to open the port in a child process, which then holds it until
// `release` is readable. Its outcome goes to `report`: 0 opened, 1 busy,
// 2 another failure.
pid_t OpenInChild(const char* name, int report, int release) {
  const pid_t child = fork();
  if (child != 0) return child;
  SerialIO io;
  const bool opened = io.Open(name);
  const bool busy = !opened && io.ErrorText() == SystemText(EBUSY);
  const char outcome = opened ? 0 : busy ? 1 : 2;
  (void)!write(report, &outcome, 1);
  char go;
  if (opened) (void)!read(release, &go, 1);
  _exit(0);
}

char Outcome(int report) {
  char outcome = -1;
  return read(report, &outcome, 1) == 1 ? outcome : -1;
}

bool Ended(pid_t child) {
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status);
}

TEST(SerialOpen, APortIsHeldByOneUserAtATimeAcrossProcesses) {
  PortsFolder ports;
  PtyPort line(ports, 5);
  ASSERT_TRUE(line.IsReady());
  int report[2], release[2];
  ASSERT_EQ(pipe(report), 0);
  ASSERT_EQ(pipe(release), 0);
  {
    SerialIO io;
    ASSERT_TRUE(io.Open("COM5"));
    SerialIO second;  // in this process
    EXPECT_FALSE(second.Open("COM5"));
    EXPECT_EQ(second.ErrorText(), SystemText(EBUSY));
    const pid_t child = OpenInChild("COM5", report[1], release[0]);
    EXPECT_EQ(Outcome(report[0]), 1);
    EXPECT_TRUE(Ended(child));
  }
  // Held by another process: busy here until it ends.
  const pid_t holder = OpenInChild("COM5", report[1], release[0]);
  ASSERT_EQ(Outcome(report[0]), 0);
  SerialIO io;
  EXPECT_FALSE(io.Open("COM5"));
  EXPECT_EQ(io.ErrorText(), SystemText(EBUSY));
  ASSERT_EQ(write(release[1], "x", 1), 1);
  EXPECT_TRUE(Ended(holder));
  EXPECT_TRUE(io.Open("COM5")) << io.ErrorText();
  for (int fd : {report[0], report[1], release[0], release[1]}) close(fd);
}

TEST(SerialOpen, OpeningAndPurgeDiscardPendingInput) {
  PortsFolder ports;
  PtyPort line(ports, 9);
  ASSERT_TRUE(line.WriteFar("noise"));
  ASSERT_TRUE(line.WaitUntilQueuedAtGateway(5, 5000));
  SerialIO io;
  ASSERT_TRUE(io.Open("COM9"));
  io.SetTimeouts(1000, 100);
  char buffer[16];
  EXPECT_EQ(io.Read(buffer, sizeof buffer), 0);
  ASSERT_TRUE(line.WriteFar("stale reply"));
  ASSERT_TRUE(line.WaitUntilQueuedAtGateway(11, 5000));
  EXPECT_TRUE(io.Purge());
  EXPECT_EQ(line.QueuedAtGateway(), 0u);
  EXPECT_EQ(io.Read(buffer, sizeof buffer), 0);
}

class SerialIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.IsReady());
    ASSERT_TRUE(io_.Open(line_.Name().c_str())) << io_.ErrorText();
  }

  // Reads with the given read time-out; `elapsed` receives how long it took.
  std::int32_t TimedRead(char* buffer, DWORD capacity, DWORD timeout_ms,
                         Clock::duration& elapsed) {
    io_.SetTimeouts(3000, timeout_ms);
    const Clock::time_point start = Clock::now();
    const std::int32_t got = io_.Read(buffer, capacity);
    elapsed = Clock::now() - start;
    return got;
  }
  // The far end writes after a pause, from another thread.
  std::thread Later(int pause_ms, std::string bytes) {
    return std::thread([this, pause_ms, bytes] {
      std::this_thread::sleep_for(milliseconds(pause_ms));
      line_.WriteFar(bytes);
    });
  }

  PortsFolder ports_;
  PtyPort line_{ports_, 7};
  SerialIO io_;
};

// A read waits up to its time-out for the first byte and returns with
// whatever has come then.
TEST_F(SerialIOTest, ReadWaitsForTheFirstByteUpToItsTimeOut) {
  char buffer[64];
  Clock::duration elapsed;
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 200, elapsed), 0);
  EXPECT_STREQ(io_.ErrorText(), "read time-out\n");
  EXPECT_GE(elapsed, milliseconds(150));
  EXPECT_LT(elapsed, milliseconds(10000));
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 0, elapsed), 0);  // no wait
  EXPECT_LT(elapsed, milliseconds(5000));

  ASSERT_TRUE(line_.WriteFar("\x01\x03\x02\x00\x0A"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(5, 5000));
  ASSERT_EQ(TimedRead(buffer, sizeof buffer, 0, elapsed), 5);
  EXPECT_EQ(std::string(buffer, 5), std::string("\x01\x03\x02\x00\x0A", 5));

  // MAXDWORD never times out; the first byte ends the read.
  std::thread device = Later(100, "A");
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, MAXDWORD, elapsed), 1);
  device.join();
  EXPECT_EQ(buffer[0], 'A');
  EXPECT_LT(elapsed, milliseconds(10000));
}

TEST_F(SerialIOTest, FramesArriveInFragments) {
  ASSERT_TRUE(line_.WriteFar("abcde"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(5, 5000));
  char buffer[64];
  io_.SetTimeouts(3000, 2000);
  // A read never gives more than its capacity; the rest waits.
  ASSERT_EQ(io_.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  std::thread device = Later(50, "fgh");
  std::string frame;
  while (frame.size() < 6) {
    const std::int32_t got = io_.Read(buffer, sizeof buffer);
    if (got <= 0) break;
    frame.append(buffer, static_cast<std::size_t>(got));
  }
  device.join();
  EXPECT_EQ(frame, "cdefgh");
}

// Bytes that differ along their length, so that a lost or repeated run
// shows in a comparison.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST_F(SerialIOTest, WritesToAFarEndThatStopsReadingTimeOut) {
  EXPECT_EQ(io_.WriteAll("", 0), 0);
  // Even a complete write leaves this text.
  EXPECT_EQ(io_.Write("\x11\x05", 2), 2);
  EXPECT_STREQ(io_.ErrorText(), "write time-out");
  EXPECT_EQ(line_.ReadFar(3, 100), "\x11\x05");

  const std::string bytes = Pattern(4 << 20);  // far more than a line buffers
  io_.SetTimeouts(300, 1000);
  const Clock::time_point start = Clock::now();
  const std::int32_t first = io_.Write(bytes.data(), bytes.size());
  EXPECT_GT(first, 0);
  EXPECT_LT(first, static_cast<std::int32_t>(bytes.size()));
  // With the line still full nothing more goes: WriteAll reports 0, not the
  // bytes of its first round.
  EXPECT_EQ(io_.WriteAll(bytes.data() + first, bytes.size() - first), 0);
  EXPECT_STREQ(io_.ErrorText(), "write time-out");
  EXPECT_LT(Clock::now() - start, milliseconds(20000));
  // What the first write counted arrived, once, in order.
  EXPECT_EQ(line_.ReadFar(first, 10000), bytes.substr(0, first));
}

TEST_F(SerialIOTest, WriteWithoutTimeOutWaitsForTheFarEnd) {
  const std::string bytes = Pattern(1 << 20);
  io_.SetTimeouts(0, 1000);
  std::string arrived;
  std::thread device([&] { arrived = line_.ReadFar(bytes.size(), 60000); });
  EXPECT_EQ(io_.WriteAll(bytes.data(), bytes.size()),
            static_cast<std::int32_t>(bytes.size()));
  device.join();
  EXPECT_TRUE(arrived == bytes) << arrived.size() << " bytes arrived";
}

TEST_F(SerialIOTest, RefusedSettingsKeepTheCacheAndRtsNeedsModemLines) {
  DCB good;
  ASSERT_TRUE(io_.GetDCB(good));
  good.BaudRate = 19200;
  ASSERT_TRUE(io_.SetDCB(good));
  DCB bad = good;
  bad.StopBits = ONE5STOPBITS;
  EXPECT_FALSE(io_.SetDCB(bad));
  EXPECT_EQ(io_.ErrorText(), SystemText(ENOTSUP));
  DCB cached;
  ASSERT_TRUE(io_.GetDCB(cached));
  EXPECT_EQ(std::memcmp(&cached, &good, sizeof(DCB)), 0);
  // A pseudo-terminal has no modem lines.
  EXPECT_FALSE(io_.SetRTS(true));
  EXPECT_EQ(io_.ErrorText(), SystemText(ENOTTY));
  EXPECT_FALSE(io_.SetRTS(false));
}

TEST_F(SerialIOTest, EveryOperationFailsOnceTheDeviceIsGone) {
  // A read that waits ends when the device goes away.
  std::thread unplug([this] {
    std::this_thread::sleep_for(milliseconds(200));
    line_.CloseFar();
  });
  char buffer[16];
  Clock::duration elapsed;
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 60000, elapsed), -2);
  unplug.join();
  const std::string gone = SystemText(EIO);
  EXPECT_EQ(io_.ErrorText(), gone);
  EXPECT_LT(elapsed, milliseconds(10000));

  io_.SetTimeouts(60000, 60000);
  EXPECT_EQ(io_.Read(buffer, sizeof buffer), -2);
  EXPECT_EQ(io_.Write("x", 1), -1);
  EXPECT_EQ(io_.ErrorText(), gone);
  EXPECT_EQ(io_.WriteAll("xyz", 3), -1);
  EXPECT_EQ(io_.WriteAll("", 0), -1);
  EXPECT_FALSE(io_.Purge());
  EXPECT_EQ(io_.ErrorText(), gone);
  EXPECT_FALSE(io_.SetRTS(true));
  EXPECT_EQ(io_.ErrorText(), gone);
  DCB dcb;
  ASSERT_TRUE(io_.GetDCB(dcb));  // the cached copy
  EXPECT_FALSE(io_.SetDCB(dcb));
  EXPECT_EQ(io_.ErrorText(), gone);
  EXPECT_FALSE(io_.ClearError());
}

}  // namespace
