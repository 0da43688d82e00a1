// SerialIO over pseudo-terminals whose far end the test holds: one user at
// a time, the read time-out rule, a device that goes away, and the gap
// between frames. Durations are checked only against generous bounds.
#include "gateway/serial_io.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "gateway/line_silence.h"
#include "platform/serial_port.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

DCB Line(DWORD baud, BYTE byte_size, BYTE parity, BYTE stop_bits) {
  DCB dcb{};
  dcb.BaudRate = baud;
  dcb.ByteSize = byte_size;
  dcb.Parity = parity;
  dcb.StopBits = stop_bits;
  return dcb;
}

class SerialIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.IsReady());
    ASSERT_TRUE(io_.Open("COM7")) << io_.ErrorText();
  }

  // Reads `count` bytes, however many reads they take.
  void ReadExactly(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t got = 0; got < count;) {
      const std::int32_t read = io_.Read(bytes.data() + got, static_cast<DWORD>(count - got));
      ASSERT_GT(read, 0) << io_.ErrorText();
      got += static_cast<std::size_t>(read);
    }
  }

  PortsFolder ports_;
  PtyPort line_{ports_, 7};
  SerialIO io_;
};

// A second user in this process is refused in GatewayLifecycle's tests.
TEST_F(SerialIOTest, APortIsHeldByOneUserAtATimeAcrossProcesses) {
  const pid_t child = fork();
  if (child == 0) {
    SerialIO io;
    _exit(!io.Open("COM7") && io.ErrorText() == std::string(strerror(EBUSY)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 1) << "another process opened the port";
}

// Only COM and a number name a port: nothing that merely begins so opens
// the port of that number.
TEST(SerialIOName, OpensOnlyComAndANumber) {
  PortsFolder ports;
  PtyPort line(ports, 7);
  for (const char* name : {"COM7/../../x", "COM7x", "COM 7", "COM+7", "com7",
                           "COM", "COM4294967303", ""}) {
    SerialIO io;
    EXPECT_FALSE(io.Open(name)) << name;
  }
  SerialIO io;
  EXPECT_TRUE(io.Open("COM7")) << io.ErrorText();
}

// A read waits up to its time-out for the first byte and returns at once
// with whatever is waiting.
TEST_F(SerialIOTest, ReadWaitsForTheFirstByteUpToItsTimeOut) {
  char buffer[64];
  io_.SetTimeouts(3000, 200);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(io_.Read(buffer, sizeof buffer), 0);
  EXPECT_STREQ(io_.ErrorText(), "read time-out\n");
  EXPECT_GE(Clock::now() - start, milliseconds(150));

  ASSERT_TRUE(line_.WriteFar("\x01\x03\x02\x00\x0A"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(5, 5000));
  io_.SetTimeouts(3000, 60000);
  start = Clock::now();
  ASSERT_EQ(io_.Read(buffer, sizeof buffer), 5);
  EXPECT_LT(Clock::now() - start, milliseconds(30000));
  EXPECT_EQ(std::string(buffer, 5), std::string("\x01\x03\x02\x00\x0A", 5));
}

TEST_F(SerialIOTest, AWaitingReadFailsOnceTheDeviceIsGone) {
  std::thread unplug([this] {
    std::this_thread::sleep_for(milliseconds(200));
    line_.CloseFar();
  });
  io_.SetTimeouts(60000, 60000);
  char buffer[16];
  EXPECT_EQ(io_.Read(buffer, sizeof buffer), -2);
  unplug.join();
  EXPECT_STREQ(io_.ErrorText(), std::strerror(EIO));
  EXPECT_EQ(io_.Read(buffer, sizeof buffer), -2);
  EXPECT_EQ(io_.Write("x", 1), -1);
}

// A line that goes on talking after an abandoned exchange owes no more
// than the longest frame: the wait for the owed reply reads no further and
// does not wait for the line to fall silent, which it might never do. The
// frame is counted from the write that was abandoned, a write that a stop
// cut short too, never from an earlier exchange's reply.
TEST_F(SerialIOTest, AnOwedReplyIsWaitedOutNoFurtherThanTheLongestFrame) {
  io_.SetTimeouts(1000, 2000);
  ASSERT_EQ(io_.WriteAll("request", 7), 7);
  ASSERT_TRUE(line_.WriteFar(std::string(205, '\x11')));
  ReadExactly(205);
  io_.CancelTransfers();
  ASSERT_EQ(io_.WriteAll("request", 7), -1);
  io_.ResumeTransfers();
  OwedReply owed = io_.ReplyOwedSince(Clock::now());
  EXPECT_EQ(owed.bytes_in, 0u) << "the earlier reply counted as this one's";
  ASSERT_TRUE(line_.WriteFar(std::string(300, '\x55')));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(300, 5000));
  EXPECT_TRUE(io_.LetOwedReplyPass(owed));
  EXPECT_EQ(owed.bytes_in, 256u);
  EXPECT_TRUE(line_.WaitUntilQueuedAtGateway(44, 0)) << "read past the frame";
}

// An owed reply is over once the line has been quiet for the read time-out
// since its last byte, not since the request: a device that pauses inside
// its reply is waited for, though the rest comes later than a time-out
// after the request. (So it goes on a port that stays open with the reply
// owed, as after a stop that failed.)
TEST_F(SerialIOTest, AnOwedReplyIsOverOnlyAReadTimeOutAfterItsLastByte) {
  io_.SetTimeouts(1000, 1000);
  const std::string reply(205, '\x22');
  ASSERT_EQ(io_.WriteAll("request", 7), 7);  // an exchange before, answered
  ASSERT_TRUE(line_.WriteFar(reply));
  ReadExactly(reply.size());
  ASSERT_EQ(io_.WriteAll("request", 7), 7);
  const auto sent = Clock::now();
  std::this_thread::sleep_until(sent + milliseconds(800));
  ASSERT_TRUE(line_.WriteFar(reply.substr(0, 3)));
  ReadExactly(3);
  const auto last_byte = Clock::now();
  OwedReply owed = io_.ReplyOwedSince(sent);
  std::thread device([&] {
    std::this_thread::sleep_until(last_byte + milliseconds(400));
    line_.WriteFar(reply.substr(3));
  });
  EXPECT_TRUE(io_.LetOwedReplyPass(owed));
  device.join();
  EXPECT_EQ(owed.bytes_in, reply.size()) << "the wait ended before the rest of the reply came";
}

// Cancelling, as a stop does from another thread, ends a read or a write
// that would wait without limit; from then on every transfer and pause
// fails at once and nothing more reaches the line, but the port still
// purges. (The sleeps only let the waits begin; a cancel that comes first
// ends them just the same.)
TEST_F(SerialIOTest, CancelledTransfersEndTheirWaitsAndNothingMoreIsWritten) {
  io_.SetTimeouts(0, MAXDWORD);  // neither direction gives up by itself
  char buffer[16];
  std::int32_t read_result = 1;
  std::thread reader([&] { read_result = io_.Read(buffer, sizeof buffer); });
  std::this_thread::sleep_for(milliseconds(100));
  io_.CancelTransfers();
  reader.join();
  EXPECT_EQ(read_result, -2);
  EXPECT_STREQ(io_.ErrorText(), std::strerror(ECANCELED));
  EXPECT_EQ(io_.Write("\x01\x02", 2), -1);
  EXPECT_FALSE(io_.Pause(INFINITE));
  EXPECT_EQ(line_.ReadFar(1, 100), "");
  EXPECT_TRUE(io_.Purge());

  PtyPort unread_line(ports_, 8);  // its far end never reads
  SerialIO port;
  ASSERT_TRUE(port.Open("COM8")) << port.ErrorText();
  port.SetTimeouts(0, MAXDWORD);
  const std::string more_than_it_holds(1 << 20, 'x');
  std::int32_t write_result = 1;
  std::thread writer([&] {
    write_result = port.Write(more_than_it_holds.data(),
                              static_cast<DWORD>(more_than_it_holds.size()));
  });
  std::this_thread::sleep_for(milliseconds(100));
  port.CancelTransfers();
  writer.join();
  EXPECT_EQ(write_result, -1);
  // The far end's terminal had taken in some 4 KiB before the cancel: those
  // have left the port. The driver held more, which must not follow.
  EXPECT_LE(unread_line.ReadFar(more_than_it_holds.size(), 200).size(), 4096u)
      << "bytes that the cancelled write had queued reached the line";
}

// Every way an open fails gives back the descriptors it took: a port held
// by another user, a file that is no terminal, a link to nothing, a name
// that is no port.
TEST(SerialIOOpen, FailuresLeaveNoDescriptorOpen) {
  PortsFolder ports;
  PtyPort held_line(ports, 7);
  SerialIO holder;
  ASSERT_TRUE(holder.Open("COM7")) << holder.ErrorText();
  TempDir folder;
  ASSERT_TRUE(ports.Link("COM8", folder.Write("not-a-terminal", "x")));
  ASSERT_TRUE(ports.Link("COM9", folder.File("nothing-here")));
  const int before = OpenDescriptorCount();
  for (const char* name : {"COM7", "COM8", "COM9", "COM7x"}) {
    SerialIO io;
    EXPECT_FALSE(io.Open(name)) << name;
    EXPECT_EQ(OpenDescriptorCount(), before) << name;
  }
}

// Every bit of the frame counts, and the gap is rounded up, never down.
TEST(InterFrameSilence, IsThreeAndAHalfCharactersUpTo19200BaudThenFixed) {
  EXPECT_EQ(CharacterTime(Line(9600, 8, NOPARITY, ONESTOPBIT)),
            nanoseconds(1041667));  // 10 bits
  EXPECT_EQ(CharacterTime(Line(9600, 7, EVENPARITY, TWOSTOPBITS)),
            nanoseconds(1145834));  // 11 bits
  EXPECT_EQ(CharacterTime(Line(1200, 8, NOPARITY, ONE5STOPBITS)),
            nanoseconds(8750000));  // 10.5 bits
  EXPECT_EQ(InterFrameSilence(Line(9600, 8, NOPARITY, ONESTOPBIT)),
            nanoseconds(3645834));
  EXPECT_EQ(InterFrameSilence(Line(19200, 8, ODDPARITY, ONESTOPBIT)),
            nanoseconds(2005209));  // 11 bits at the last rate that counts
  EXPECT_EQ(InterFrameSilence(Line(1200, 8, NOPARITY, ONE5STOPBITS)),
            nanoseconds(30625000));
  EXPECT_EQ(InterFrameSilence(Line(19201, 8, NOPARITY, ONESTOPBIT)),
            microseconds(1750));
  EXPECT_EQ(InterFrameSilence(Line(115200, 7, EVENPARITY, TWOSTOPBITS)),
            microseconds(1750));
  EXPECT_EQ(InterFrameSilence(Line(0, 8, NOPARITY, ONESTOPBIT)), nanoseconds(0));

  LineSilence line;
  line.SetSilence(milliseconds(4));
  const auto now = LineSilence::Clock::now();
  EXPECT_EQ(line.Remaining(now), nanoseconds(0)) << "no byte yet";
  line.NoteByte(now);
  EXPECT_EQ(line.Remaining(now + milliseconds(1)), milliseconds(3));
  EXPECT_EQ(line.Remaining(now + milliseconds(4)), nanoseconds(0));
  EXPECT_EQ(line.Remaining(now + milliseconds(60)), nanoseconds(0));
}

// At 50 baud the gap is 700 ms: long enough that what is left of it right
// after a byte cannot have passed, however busy the machine.
TEST_F(SerialIOTest, EveryByteReadOrWrittenRestartsTheGapAndWaitingEndsIt) {
  DCB dcb{};
  ASSERT_TRUE(io_.GetDCB(dcb));
  dcb.BaudRate = 50;
  ASSERT_TRUE(io_.SetDCB(dcb)) << io_.ErrorText();
  io_.SetTimeouts(3000, 3000);
  EXPECT_EQ(io_.SilenceLeft(), nanoseconds(0)) << "nothing on the line yet";

  ASSERT_EQ(io_.WriteAll("\x01\x03", 2), 2);
  EXPECT_GT(io_.SilenceLeft(), nanoseconds(0));
  io_.WaitForSilence();
  EXPECT_EQ(io_.SilenceLeft(), nanoseconds(0));

  ASSERT_TRUE(line_.WriteFar("\x01"));
  char byte;
  ASSERT_EQ(io_.Read(&byte, 1), 1);
  EXPECT_GT(io_.SilenceLeft(), nanoseconds(0));
  EXPECT_LE(io_.SilenceLeft(), milliseconds(700));
  // A read that times out is no byte on the line.
  io_.WaitForSilence();
  io_.SetTimeouts(3000, 1);
  EXPECT_EQ(io_.Read(&byte, 1), 0);
  EXPECT_EQ(io_.SilenceLeft(), nanoseconds(0));
}

}  // namespace
