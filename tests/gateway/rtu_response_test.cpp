// Reading a device's RTU reply from a real pseudo-terminal: the gateway's
// side is a SerialIO on the terminal, the device's side writes into its
// master. Replies arrive whole and in pieces; every failure code and the
// order of its checks; the CRC check and the table of reply readers.
#include "gateway/rtu_response.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string_view>
#include <thread>
#include <vector>

#include "gateway/crc16.h"
#include "gateway/rtu_func_table.h"
#include "gateway/serial_io.h"
#include "gateway/tcp_response.h"
#include "tests/support/pty_port.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithCrc(Bytes frame) {
  const std::uint16_t crc =
      ModbusCrc16(frame.data(), static_cast<std::uint16_t>(frame.size()));
  frame.push_back(static_cast<std::uint8_t>(crc));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

const Bytes kReadReply{0x01, 0x03, 0x02, 0x00, 0x0A, 0x38, 0x43};

class RtuResponseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gInitialRTU_FuncTbl.Build();
    ASSERT_TRUE(line_.IsReady());
    ASSERT_TRUE(port_.Open(line_.Name().c_str()));
    // Long enough never to pass while a test's device still writes; the
    // tests that expect silence shorten it.
    port_.SetTimeouts(1000, 10000);
  }

  void TearDown() override {
    if (device_.joinable()) device_.join();
    gInitialRTU_FuncTbl.Destroy();
  }

  static bool DeviceWrite(PtyPort& line, const Bytes& bytes) {
    return line.WriteFar(std::string_view(
        reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

  // The device answers at once: the whole answer is waiting at the port
  // before the reader starts, so that its first read takes it all.
  void Answer(const Bytes& bytes) {
    ASSERT_TRUE(DeviceWrite(line_, bytes));
    ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(bytes.size(), 10000));
  }

  // The device answers from another thread in the given pieces, with a
  // pause before each, so that the reader meets them one by one.
  void AnswerInPieces(const Bytes& bytes, std::vector<std::size_t> pieces) {
    device_ = std::thread([this, bytes, pieces] {
      std::size_t at = 0;
      for (std::size_t piece : pieces) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (!DeviceWrite(line_, Slice(bytes, at, at + piece))) return;
        at += piece;
      }
    });
  }

  std::int32_t Read(std::uint8_t address) {
    return ReadRtuResponse(port_, reply_, address);
  }

  Bytes ReplyBytes(std::size_t count) { return Slice(reply_, 0, count); }

  PortsFolder ports_;
  PtyPort line_{ports_, 1};
  SerialIO port_;
  std::thread device_;
  Buffer reply_ = Buffer(1024);
};

TEST_F(RtuResponseTest, ReadsAReadReplyAndRelaysItWithoutCrc) {
  Answer(kReadReply);
  const std::int32_t n = Read(0x01);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(ReplyBytes(7), kReadReply);

  MbapHeader header;
  header.transaction_id = 7;
  Buffer out(4096);
  const std::uint32_t m = BuildTcpResponse(out, reply_, header, n);
  EXPECT_EQ(Slice(out, 0, m), (Bytes{0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0x01,
                                     0x03, 0x02, 0x00, 0x0A}));
}

TEST_F(RtuResponseTest, ReadsEveryKindOfReplyByItsFunctionByte) {
  const std::vector<Bytes> replies{
      WithCrc({0x11, 0x01, 0x01, 0x05}),                    // coils
      WithCrc({0x11, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02}),  // input registers
      WithCrc({0x11, 0x06, 0x00, 0x01, 0x00, 0x2A}),        // write one
      WithCrc({0x11, 0x0F, 0x00, 0x13, 0x00, 0x0A}),        // write coils
      WithCrc({0x11, 0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}),  // mask
      WithCrc({0x11, 0x17, 0x02, 0x00, 0xFE}),                    // read/write
      WithCrc({0x11, 0x97, 0x04}),                                // exception
      {0x11, 0x83, 0x02, 0xC1, 0x34},                             // exception
  };
  for (const Bytes& reply : replies) {
    Answer(reply);
    EXPECT_EQ(Read(0x11), static_cast<std::int32_t>(reply.size()) - 2)
        << "function byte " << int{reply[1]};
  }
}

TEST_F(RtuResponseTest, ReadsAReplyArrivingInPieces) {
  AnswerInPieces(kReadReply, {2, 1, 3, 1});
  EXPECT_EQ(Read(0x01), 5);
  EXPECT_EQ(ReplyBytes(7), kReadReply);
}

TEST_F(RtuResponseTest, ReadsTheLongestReplyArrivingOneByteAtATime) {
  Bytes reply{0x05, 0x03, 0xFF};
  for (int i = 0; i < 255; ++i) reply.push_back(static_cast<std::uint8_t>(i));
  reply = WithCrc(reply);
  ASSERT_EQ(reply.size(), 260u);
  AnswerInPieces(reply, std::vector<std::size_t>(reply.size(), 1));
  EXPECT_EQ(Read(0x05), 258);
  EXPECT_EQ(ReplyBytes(260), reply);
}

TEST_F(RtuResponseTest, LeavesTheNextReplyForTheNextRead) {
  const Bytes write_echo = WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x2A});
  Answer(kReadReply);
  ASSERT_EQ(Read(0x01), 5);
  Answer(write_echo);
  EXPECT_EQ(Read(0x01), 6);
  EXPECT_EQ(ReplyBytes(8), write_echo);
}

TEST_F(RtuResponseTest, ReportsTimedOutWhenNoByteComes) {
  port_.SetTimeouts(1000, 50);
  EXPECT_EQ(Read(0x01), kRtuTimedOut);
}

TEST_F(RtuResponseTest, ReportsTimedOutWhenTheHeaderIsCutOff) {
  port_.SetTimeouts(1000, 50);
  Answer({0x01});
  EXPECT_EQ(Read(0x01), kRtuTimedOut);
}

TEST_F(RtuResponseTest, ReportsTimedOutWhenTheRestIsCutOff) {
  port_.SetTimeouts(1000, 50);
  Answer(Slice(kReadReply, 0, 5));
  EXPECT_EQ(Read(0x01), kRtuTimedOut);
  EXPECT_EQ(ReplyBytes(5), Slice(kReadReply, 0, 5));  // kept for the caller
}

TEST_F(RtuResponseTest, ReportsTimedOutWhenTheByteCountIsMissing) {
  port_.SetTimeouts(1000, 50);
  Answer({0x01, 0x03});
  EXPECT_EQ(Read(0x01), kRtuTimedOut);
}

TEST_F(RtuResponseTest, ChecksTheAddressBeforeTheFunctionByte) {
  Answer({0x02, 0x07});  // wrong address and no reader for 0x07
  EXPECT_EQ(Read(0x01), kRtuWrongAddress);
}

TEST_F(RtuResponseTest, RefusesAnUnknownFunctionByteOnceTwoBytesAreIn) {
  // Nothing follows: a reader that waited for more would time out.
  Answer({0x01, 0x07});
  EXPECT_EQ(Read(0x01), kRtuNoReader);
}

TEST_F(RtuResponseTest, ReportsABadCrc) {
  Answer({0x01, 0x03, 0x02, 0x00, 0x0A, 0x43, 0x38});
  EXPECT_EQ(Read(0x01), kRtuBadCrc);
}

TEST_F(RtuResponseTest, CountsBytesBehindTheReplyInTheSameReadIntoTheCrc) {
  Bytes reply = kReadReply;
  reply.push_back(0x99);
  Answer(reply);
  EXPECT_EQ(Read(0x01), kRtuBadCrc);
}

TEST_F(RtuResponseTest, ReportsAFailedReadWhenTheLineHangsUpAtOnce) {
  line_.CloseFar();
  EXPECT_EQ(Read(0x01), kRtuReadFailed);
}

TEST_F(RtuResponseTest, ReportsAFailedReadWhenTheLineHangsUpMidReply) {
  Answer(Slice(kReadReply, 0, 4));
  line_.CloseFar();
  EXPECT_EQ(Read(0x01), kRtuReadFailed);
}

TEST(CheckRtuCrc, GivesTheLengthWithoutCrcOrBadCrc) {
  const Bytes swapped{0x01, 0x03, 0x02, 0x00, 0x0A, 0x43, 0x38};
  const Bytes exception{0x01, 0x83, 0x02, 0xC0, 0xF1};
  EXPECT_EQ(CheckRtuCrc(kReadReply.data(), 7), 5);
  EXPECT_EQ(CheckRtuCrc(swapped.data(), 7), kRtuBadCrc);
  EXPECT_EQ(CheckRtuCrc(exception.data(), 5), 3);
  EXPECT_EQ(CheckRtuCrc(kReadReply.data(), 0), kRtuBadCrc);
}

TEST(RtuFuncTbl, NamesTheReaderOfEveryKnownFunctionByteAndNoOther) {
  std::map<int, RtuFrameReader> expected;
  for (int f : {0x01, 0x02, 0x03, 0x04, 0x17}) {
    expected[f] = &ReadRtuByteCountFrame;
  }
  for (int f : {0x05, 0x06, 0x0F, 0x10}) expected[f] = &ReadRtuFixedFrame<8>;
  expected[0x16] = &ReadRtuFixedFrame<10>;
  for (int f : {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x8F, 0x90, 0x96, 0x97}) {
    expected[f] = &ReadRtuFixedFrame<5>;
  }
  RTU_FuncTbl[0x07] = &ReadRtuFixedFrame<5>;  // a stale entry is emptied

  gInitialRTU_FuncTbl.Build();
  for (int f = 0; f < 256; ++f) {
    const auto known = expected.find(f);
    EXPECT_EQ(RTU_FuncTbl[f], known == expected.end() ? nullptr : known->second)
        << "function byte " << f;
  }
  gInitialRTU_FuncTbl.Destroy();
  EXPECT_EQ(RTU_FuncTbl[0x03], &ReadRtuByteCountFrame);  // left as it was
}

}  // namespace
