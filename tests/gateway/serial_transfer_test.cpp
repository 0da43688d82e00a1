// SerialIO reading and writing over a pseudo-terminal whose far end the test
// holds: the read time-out rule, fragments, writes to a far end that stops
// reading, purging, and a device that goes away. Durations are checked only
// against generous bounds.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "gateway/serial_io.h"
#include "platform/serial_port.h"
#include "tests/support/pty_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string SystemText(int code) { return std::strerror(code); }

// Bytes that differ along their length, so that a lost or repeated run
// shows in a comparison.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class SerialTransfer : public ::testing::Test {
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

  PortsFolder ports_;
  PtyPort line_{ports_, 7};
  SerialIO io_;
};

TEST_F(SerialTransfer, ReadGivesNothingAfterTheReadTimeOut) {
  char buffer[16];
  Clock::duration elapsed;
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 200, elapsed), 0);
  EXPECT_STREQ(io_.ErrorText(), "read time-out\n");
  EXPECT_GE(elapsed, milliseconds(150));
  EXPECT_LT(elapsed, milliseconds(10000));
}

TEST_F(SerialTransfer, WaitingBytesComeBackAtOnce) {
  ASSERT_TRUE(line_.WriteFar("\x01\x03\x02\x00\x0A"));
  const std::string reply("\x01\x03\x02\x00\x0A", 5);
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(5, 5000));
  char buffer[64];
  Clock::duration elapsed;
  ASSERT_EQ(TimedRead(buffer, sizeof buffer, 60000, elapsed), 5);
  EXPECT_EQ(std::string(buffer, 5), reply);
  EXPECT_LT(elapsed, milliseconds(10000));
}

TEST_F(SerialTransfer, FirstByteToArriveEndsTheRead) {
  std::thread device([this] {
    std::this_thread::sleep_for(milliseconds(100));
    line_.WriteFar("A");
  });
  char buffer[64];
  Clock::duration elapsed;
  const std::int32_t got = TimedRead(buffer, sizeof buffer, 60000, elapsed);
  device.join();
  ASSERT_EQ(got, 1);
  EXPECT_EQ(buffer[0], 'A');
  EXPECT_LT(elapsed, milliseconds(10000));
}

TEST_F(SerialTransfer, FramesArriveInFragments) {
  ASSERT_TRUE(line_.WriteFar("abcde"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(5, 5000));
  char buffer[64];
  io_.SetTimeouts(3000, 2000);
  // A read never gives more than its capacity; the rest waits.
  ASSERT_EQ(io_.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  std::thread device([this] {
    std::this_thread::sleep_for(milliseconds(50));
    line_.WriteFar("fgh");
  });
  std::string frame;
  while (frame.size() < 6) {
    const std::int32_t got = io_.Read(buffer, sizeof buffer);
    if (got <= 0) break;
    frame.append(buffer, static_cast<std::size_t>(got));
  }
  device.join();
  EXPECT_EQ(frame, "cdefgh");
}

TEST_F(SerialTransfer, ReadConstantZeroDoesNotWait) {
  char buffer[8];
  Clock::duration elapsed;
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 0, elapsed), 0);
  EXPECT_STREQ(io_.ErrorText(), "read time-out\n");
  EXPECT_LT(elapsed, milliseconds(5000));
  ASSERT_TRUE(line_.WriteFar("xy"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(2, 5000));
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 0, elapsed), 2);
}

TEST_F(SerialTransfer, ReadConstantMaxWaitsForTheFirstByte) {
  std::thread device([this] {
    std::this_thread::sleep_for(milliseconds(300));
    line_.WriteFar("Z");
  });
  char buffer[8];
  Clock::duration elapsed;
  const std::int32_t got = TimedRead(buffer, sizeof buffer, MAXDWORD, elapsed);
  device.join();
  EXPECT_EQ(got, 1);
}

TEST_F(SerialTransfer, CompleteWriteLeavesTheWriteTimeOutText) {
  EXPECT_EQ(io_.Write("\x11\x05\x00\x01", 4), 4);
  EXPECT_STREQ(io_.ErrorText(), "write time-out");
  EXPECT_EQ(line_.ReadFar(4, 5000), std::string("\x11\x05\x00\x01", 4));
}

TEST_F(SerialTransfer, WriteAllOfNothingWritesNothing) {
  EXPECT_EQ(io_.WriteAll("", 0), 0);
  EXPECT_EQ(line_.ReadFar(1, 100), "");
}

TEST_F(SerialTransfer, WritesToAFarEndThatStopsReadingTimeOut) {
  const std::string bytes = Pattern(4 << 20);  // far more than a line buffers
  io_.SetTimeouts(300, 1000);
  const Clock::time_point start = Clock::now();
  const std::int32_t first = io_.Write(bytes.data(), bytes.size());
  EXPECT_GT(first, 0);
  EXPECT_LT(first, static_cast<std::int32_t>(bytes.size()));
  EXPECT_STREQ(io_.ErrorText(), "write time-out");
  // With the line still full nothing more goes: WriteAll reports 0, not the
  // bytes of its first round.
  EXPECT_EQ(io_.WriteAll(bytes.data() + first, bytes.size() - first), 0);
  EXPECT_STREQ(io_.ErrorText(), "write time-out");
  EXPECT_LT(Clock::now() - start, milliseconds(20000));

  // What the first write counted arrived, once, in order.
  const std::string arrived = line_.ReadFar(first, 10000);
  EXPECT_EQ(arrived, bytes.substr(0, first));
}

TEST_F(SerialTransfer, WriteWithoutTimeOutWaitsForTheFarEnd) {
  const std::string bytes = Pattern(1 << 20);
  io_.SetTimeouts(0, 1000);
  std::string arrived;
  std::thread device([&] { arrived = line_.ReadFar(bytes.size(), 60000); });
  EXPECT_EQ(io_.WriteAll(bytes.data(), bytes.size()),
            static_cast<std::int32_t>(bytes.size()));
  device.join();
  EXPECT_TRUE(arrived == bytes) << arrived.size() << " bytes arrived";
}

TEST_F(SerialTransfer, PurgeDiscardsPendingInput) {
  ASSERT_TRUE(line_.WriteFar("stale reply"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(11, 5000));
  EXPECT_TRUE(io_.Purge());
  EXPECT_EQ(line_.QueuedAtGateway(), 0u);
  char buffer[16];
  Clock::duration elapsed;
  EXPECT_EQ(TimedRead(buffer, sizeof buffer, 100, elapsed), 0);
}

TEST(SerialTransferOpen, OpeningDiscardsWhatArrivedBefore) {
  PortsFolder ports;
  PtyPort line(ports, 9);
  ASSERT_TRUE(line.IsReady());
  ASSERT_TRUE(line.WriteFar("noise"));
  ASSERT_TRUE(line.WaitUntilQueuedAtGateway(5, 5000));
  SerialIO io;
  ASSERT_TRUE(io.Open("COM9"));
  io.SetTimeouts(1000, 100);
  char buffer[16];
  EXPECT_EQ(io.Read(buffer, sizeof buffer), 0);
}

TEST_F(SerialTransfer, EveryOperationFailsOnceTheDeviceIsGone) {
  line_.CloseFar();
  io_.SetTimeouts(60000, 60000);
  const std::string gone = SystemText(EIO);
  char buffer[16];
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(io_.Read(buffer, sizeof buffer), -2);
  EXPECT_EQ(io_.ErrorText(), gone);
  EXPECT_LT(Clock::now() - start, milliseconds(10000));
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

TEST_F(SerialTransfer, DeviceGoingAwayEndsAWaitingRead) {
  std::thread unplug([this] {
    std::this_thread::sleep_for(milliseconds(200));
    line_.CloseFar();
  });
  char buffer[16];
  Clock::duration elapsed;
  const std::int32_t got = TimedRead(buffer, sizeof buffer, 60000, elapsed);
  unplug.join();
  EXPECT_EQ(got, -2);
  EXPECT_EQ(io_.ErrorText(), SystemText(EIO));
  EXPECT_LT(elapsed, milliseconds(10000));
}

}  // namespace
