// What a stop does to the serial lines: no frame starts on one once the
// stop has begun, every wait of an exchange ends at once without a line
// that blames a device, a reply that the stop left a device sending never
// reaches a client of the next run, and every descriptor comes back.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "gateway/tcp_env.h"
#include "platform/serial_path.h"
#include "tests/support/deadline.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

using std::chrono::milliseconds;

// The log without its time stamps ("hh:mm:ss - ").
std::vector<std::string> UnstampedLog(GatewayFixture& gateway) {
  std::vector<std::string> lines;
  for (const std::string& line : gateway.LogLines()) {
    lines.push_back(line.size() > 11 ? line.substr(11) : line);
  }
  return lines;
}

struct LineSpeed {
  std::uint32_t baud;
  std::uint32_t rx_timeout_ms;  // room for the device's slowest reply
};

void PrintTo(const LineSpeed& speed, std::ostream* out) {
  *out << speed.baud << " baud";
}

class StopWhileADeviceAnswers : public ::testing::TestWithParam<LineSpeed> {
 protected:
  GatewayFixture gateway_;
};

// Client A reads 100 registers; the device takes the time the exchange
// would take on the line, and the stop comes while it answers. Run follows
// at once, and client B reads 100 other registers of the same device: a
// reply of the same shape, which no check of the reply could tell from
// A's. B must get its own registers, never A's.
TEST_P(StopWhileADeviceAnswers, AnotherClientOfTheNextRunGetsOnlyItsOwnReply) {
  const LineSpeed speed = GetParam();
  PtyPort& line =
      gateway_.AddPort(1, "1", {1000, speed.rx_timeout_ms, 0, speed.baud});
  gateway_.StartDevice(line, 1, {"--line", std::to_string(speed.baud)});
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient a(gateway_.TcpPort());
  ASSERT_TRUE(a.Send(ReadRegisters(1, 1, 0, 100)));
  ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(a) == 0; }));
  // A quarter of the exchange's time on the line: request, reply and the
  // gaps behind them, ten bits a character.
  const auto exchange_ms = (8 + 3.5 + 205 + 3.5) * 10 * 1000 / speed.baud;
  std::this_thread::sleep_for(milliseconds(static_cast<int>(exchange_ms / 4)));
  ASSERT_TRUE(gateway_.Stop());

  ASSERT_TRUE(gateway_.Start());
  RawModbusClient b(gateway_.TcpPort());
  const std::string reply = b.Ask(ReadRegisters(2, 1, 500, 100));
  ASSERT_NE(Hex(reply), Hex(RegistersReply(2, 1, 0, 100)))
      << "client B got client A's registers";
  EXPECT_EQ(Hex(reply), Hex(RegistersReply(2, 1, 500, 100)));
}

INSTANTIATE_TEST_SUITE_P(Lines, StopWhileADeviceAnswers,
                         ::testing::Values(LineSpeed{9600, 1000},
                                           LineSpeed{1200, 3000}),
                         [](const ::testing::TestParamInfo<LineSpeed>& info) {
                           return "At" + std::to_string(info.param.baud) +
                                  "Baud";
                         });

constexpr std::uint32_t kNoLimit = 4294967295u;
constexpr int kLongestDialogTimeoutMs = 60000;  // what no limit counts as

// How a device answers a request whose exchange the stop cuts short, the
// read time-outs of the run that abandons it and of the next one, and how
// long the line must then be quiet after the reply's last byte before the
// next request goes out: the longer time-out.
struct LateAnswer {
  const char* name;
  std::uint32_t rx_timeout_at_stop_ms;
  std::uint32_t rx_timeout_at_run_ms;
  std::size_t bytes_before_stop;  // of the reply, sent before the stop
  int first_bytes_after_ms;       // from the request
  int run_after_ms;               // from the request; 0: right after the stop
  int rest_after_ms;              // from the request, in the next run
  int pause_in_rest_ms;  // >0: the rest comes as 3 bytes, a pause, the others
  const char* port_at_run;  // the port's name in the file at Run
  int quiet_after_ms;
};

void PrintTo(const LateAnswer& answer, std::ostream* out) { *out << answer.name; }

class StopWhileADeviceAnswersLate : public ::testing::TestWithParam<LateAnswer> {
 protected:
  // The test plays the device: the client's request must reach the line,
  // and the reply written there must reach the client.
  void Exchange(PtyPort& line, RawModbusClient& client, const std::string& request,
                const std::string& reply) {
    const std::string on_line = RtuFrame(1, PduOf(request));
    ASSERT_TRUE(client.Send(request));
    ASSERT_EQ(Hex(line.ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
    ASSERT_TRUE(line.WriteFar(RtuFrame(1, PduOf(reply))));
    ASSERT_EQ(Hex(client.ReadFrame()), Hex(reply));
  }

  GatewayFixture gateway_;
};

// Client A reads 100 registers twice, on a line that so has carried more
// than a frame's worth of replies, then a third time; that reply comes late,
// or in pieces with pauses. The stop comes before the reply is over, Run
// follows, and client B asks for 100 other registers. B's request must not
// go out before A's reply is over by the reader's rule, must go out then
// (not wait for ever), and B must get its own registers; so must client C,
// which asks the same shape behind B.
TEST_P(StopWhileADeviceAnswersLate, TheNextRequestWaitsUntilTheReplyIsOver) {
  const LateAnswer answer = GetParam();
  PtyPort& line = gateway_.AddPort(1, "1", {1000, answer.rx_timeout_at_stop_ms});
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient a(gateway_.TcpPort());
  for (std::uint16_t t = 0; t < 2; ++t)
    Exchange(line, a, ReadRegisters(t, 1, 100 * t, 100), RegistersReply(t, 1, 100 * t, 100));
  const std::string a_request = ReadRegisters(2, 1, 0, 100);
  ASSERT_TRUE(a.Send(a_request));
  const std::string a_on_line = RtuFrame(1, PduOf(a_request));
  ASSERT_EQ(Hex(line.ReadFar(a_on_line.size(), kHangGuardMs)), Hex(a_on_line));
  const auto asked = std::chrono::steady_clock::now();
  const std::string a_reply = RtuFrame(1, PduOf(RegistersReply(2, 1, 0, 100)));
  if (answer.bytes_before_stop > 0) {
    std::this_thread::sleep_until(asked + milliseconds(answer.first_bytes_after_ms));
    ASSERT_TRUE(line.WriteFar(a_reply.substr(0, answer.bytes_before_stop)));
    ASSERT_TRUE(line.WaitUntilReadByGateway(kHangGuardMs));
  }
  ASSERT_TRUE(gateway_.Stop());

  gateway_.OptionsOf(line).rx_timeout_ms = answer.rx_timeout_at_run_ms;
  gateway_.OptionsOf(line).written_as = answer.port_at_run;
  // A name of another number leads to the line through a link of its own.
  const DWORD number_at_run = ComNumberOfName(answer.port_at_run).value_or(0);
  if (number_at_run != line.Number()) {
    ASSERT_TRUE(gateway_.LinkPort("COM" + std::to_string(number_at_run), line.DevicePath()));
  }
  std::this_thread::sleep_until(asked + milliseconds(answer.run_after_ms));
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient b(gateway_.TcpPort());
  const std::string b_request = ReadRegisters(3, 1, 500, 100);
  ASSERT_TRUE(b.Send(b_request));
  ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(b) == 0; }));
  std::string rest = a_reply.substr(answer.bytes_before_stop);
  std::vector<std::pair<int, std::string>> pieces = {{answer.rest_after_ms, rest}};
  if (answer.pause_in_rest_ms > 0) {
    pieces = {{answer.rest_after_ms, rest.substr(0, 3)},
              {answer.rest_after_ms + answer.pause_in_rest_ms, rest.substr(3)}};
  }
  for (const auto& [after_ms, piece] : pieces) {
    std::this_thread::sleep_until(asked + milliseconds(after_ms));
    ASSERT_EQ(Hex(line.ReadFar(1, 0)), "")
        << "client B's request went out before A's reply was over";
    ASSERT_TRUE(line.WriteFar(piece));
  }
  const auto replied = std::chrono::steady_clock::now();

  const std::string b_on_line = RtuFrame(1, PduOf(b_request));
  ASSERT_EQ(Hex(line.ReadFar(b_on_line.size(), answer.quiet_after_ms + kHangGuardMs)),
            Hex(b_on_line))
      << "client B's request never went out";
  EXPECT_GE(std::chrono::steady_clock::now() - replied,
            milliseconds(answer.quiet_after_ms))
      << "client B's request went out while A's reply could still go on";
  RawModbusClient c(gateway_.TcpPort());
  const std::string c_request = ReadRegisters(4, 1, 700, 100);
  ASSERT_TRUE(c.Send(c_request));
  ASSERT_TRUE(line.WriteFar(RtuFrame(1, PduOf(RegistersReply(3, 1, 500, 100)))));
  EXPECT_EQ(Hex(b.ReadFrame()), Hex(RegistersReply(3, 1, 500, 100)));
  const std::string c_on_line = RtuFrame(1, PduOf(c_request));
  ASSERT_EQ(Hex(line.ReadFar(c_on_line.size(), kHangGuardMs)), Hex(c_on_line));
  ASSERT_TRUE(line.WriteFar(RtuFrame(1, PduOf(RegistersReply(4, 1, 700, 100)))));
  EXPECT_EQ(Hex(c.ReadFrame()), Hex(RegistersReply(4, 1, 700, 100)));

  // With the reply over the line owes nothing more: after another Stop, a
  // Run whose port reads without limit sends client D's request at once,
  // never after a quiet minute.
  ASSERT_TRUE(gateway_.Stop());
  gateway_.OptionsOf(line).rx_timeout_ms = kNoLimit;
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient d(gateway_.TcpPort());
  Exchange(line, d, ReadRegisters(5, 1, 900, 100), RegistersReply(5, 1, 900, 100));
}

INSTANTIATE_TEST_SUITE_P(
    Devices, StopWhileADeviceAnswersLate,
    ::testing::Values(
        // A port whose reads wait without limit, behind an adapter that
        // hands the reply on in bursts: a pause far longer than the gap
        // between frames ends no reply. The one case that waits a minute.
        LateAnswer{"InBurstsWithoutAReadLimit", kNoLimit, kNoLimit, 0, 0, 0, 1000, 50,
                   "COM1", kLongestDialogTimeoutMs},
        // The operator raises the read time-out before Run for a slow
        // device, or lowers it: the longer one holds.
        LateAnswer{"RaisedBeforeRunForASlowDevice", 300, 1500, 0, 0, 0, 1000, 0, "COM1", 1500},
        LateAnswer{"LoweredBeforeRun", 1500, 300, 0, 0, 0, 1000, 0, "COM1", 1500},
        // 3 bytes after 600 ms, the other 202 after 900 ms more.
        LateAnswer{"InPiecesWithinTheReadTimeOut", 1000, 1000, 3, 600, 0, 1500, 0, "COM1", 1000},
        // Run comes later than the read time-out after the reply's first
        // bytes; what came while the port was closed was never seen.
        LateAnswer{"InPiecesAcrossALateRun", 500, 500, 3, 100, 750, 1000, 0, "COM1", 500},
        // The device answers only after a Run that came later than the
        // read time-out after the request: the quiet time starts at the
        // reopening, whether or not the reply had begun.
        LateAnswer{"SilentUntilARunLaterThanTheReadTimeOut", 500, 500, 0, 0, 750, 1000, 0,
                   "COM1", 500},
        // The same port under another name, and the same line under
        // another number that links to its device.
        LateAnswer{"OnAPortRenamedBeforeRun", 500, 500, 0, 0, 0, 300, 0, "COM01", 500},
        LateAnswer{"OnALineThatAnotherNumberLeadsTo", 500, 500, 0, 0, 0, 300, 0, "COM2", 500}),
    [](const ::testing::TestParamInfo<LateAnswer>& info) {
      return std::string(info.param.name);
    });

// True while `fd` is a socket that listens.
bool Listens(int fd) {
  int listening = 0;
  socklen_t length = sizeof listening;
  return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 &&
         listening != 0;
}

// The far end of a line whose device answers every read of one register at
// once, so that the line is never idle while clients keep asking. Once the
// gateway's listening socket no longer listens, which a stop brings about
// only after it has cancelled the ports, it counts every byte that still
// reaches the line. What was queued before it saw that is put aside: it
// may have been written before.
class BusyLine {
 public:
  BusyLine(PtyPort& line, int listening_fd)
      : line_(line), listening_fd_(listening_fd), thread_([this] { Run(); }) {}
  ~BusyLine() {
    done_ = true;
    thread_.join();
  }

  int BytesAfterStop() const { return bytes_after_stop_.load(); }

 private:
  static constexpr std::size_t kReadFrameSize = 8;

  void Run() {
    bool stop_seen = false;
    std::string pending;
    while (!done_) {
      if (!stop_seen && !Listens(listening_fd_)) {
        Drain();
        stop_seen = true;
        continue;
      }
      // A short wait: the stop must be seen well within the time that
      // its shutdown of the listening socket takes.
      pollfd readable{line_.FarFd(), POLLIN, 0};
      const timespec a_moment{0, 20000};
      if (ppoll(&readable, 1, &a_moment, nullptr) <= 0) continue;
      char bytes[512];
      const ssize_t got = read(line_.FarFd(), bytes, sizeof bytes);
      if (got <= 0) continue;
      if (stop_seen) {
        bytes_after_stop_ += static_cast<int>(got);
        continue;
      }
      pending.append(bytes, static_cast<std::size_t>(got));
      for (; pending.size() >= kReadFrameSize;
           pending.erase(0, kReadFrameSize)) {
        const int unit = static_cast<std::uint8_t>(pending[0]);
        line_.WriteFar(RtuFrame(static_cast<std::uint8_t>(unit),
                                Bytes({0x03, 0x02, 0x00, unit})));
      }
    }
  }

  void Drain() {
    char bytes[512];
    while (read(line_.FarFd(), bytes, sizeof bytes) > 0) {
    }
  }

  PtyPort& line_;
  const int listening_fd_;
  std::atomic<bool> done_{false};
  std::atomic<int> bytes_after_stop_{0};
  std::thread thread_;
};

// Clients that ask one read after the other until their connection ends.
class AskingClients {
 public:
  AskingClients(int tcp_port, std::vector<std::uint8_t> units) {
    for (const std::uint8_t unit : units) {
      threads_.emplace_back([tcp_port, unit] {
        RawModbusClient client(tcp_port);
        for (std::uint16_t t = 0; !client.Ask(ReadRegister(t, unit, 0)).empty();
             ++t) {
        }
      });
    }
  }
  ~AskingClients() {
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::vector<std::thread> threads_;
};

// Three lines kept busy by two clients each, stopped again and again: the
// stop may come at any point of an exchange.
TEST(StopWhileClientsKeepAsking, NoFrameReachesALineOnceTheStopHasBegun) {
  GatewayFixture gateway;
  // Short read time-outs: each run first waits out the reply that the
  // stop before it abandoned.
  std::vector<PtyPort*> lines;
  for (unsigned unit = 1; unit <= 3; ++unit) {
    lines.push_back(
        &gateway.AddPort(unit, std::to_string(unit), {1000, 20, 0}));
  }
  for (int round = 0; round < 60; ++round) {
    ASSERT_TRUE(gateway.Start());
    const int listening = FindListeningDescriptor(gateway.TcpPort());
    ASSERT_GE(listening, 0);
    std::vector<std::unique_ptr<BusyLine>> busy_lines;
    for (PtyPort* line : lines) {
      busy_lines.push_back(std::make_unique<BusyLine>(*line, listening));
    }
    {
      AskingClients clients(gateway.TcpPort(), {1, 1, 2, 2, 3, 3});
      std::this_thread::sleep_for(milliseconds(60));
      ASSERT_TRUE(gateway.Stop());
    }
    std::this_thread::sleep_for(milliseconds(5));  // late bytes arrive
    int late = 0;
    for (const auto& line : busy_lines) late += line->BytesAfterStop();
    busy_lines.clear();
    ASSERT_EQ(late, 0) << "bytes written after the stop began, round " << round;
  }
}

// Where the thread of a request can be waiting when the stop comes.
enum class ExchangeWait { kRtsDelay, kGapBetweenFrames, kDeviceReply };

const char* WaitName(ExchangeWait wait) {
  switch (wait) {
    case ExchangeWait::kRtsDelay:
      return "InTheRtsDelay";
    case ExchangeWait::kGapBetweenFrames:
      return "InTheGapBetweenFrames";
    case ExchangeWait::kDeviceReply:
      return "WaitingForTheReply";
  }
  return "";
}

void PrintTo(ExchangeWait wait, std::ostream* out) { *out << WaitName(wait); }

class StopDuringAnExchange : public ::testing::TestWithParam<ExchangeWait> {
 protected:
  static PortOptions LineFor(ExchangeWait wait) {
    switch (wait) {
      case ExchangeWait::kRtsDelay:
        return {1000, 1000, 30000, 115200};
      case ExchangeWait::kGapBetweenFrames:
        return {1000, 1000, 0, 1};  // 3.5 characters: 35 s
      case ExchangeWait::kDeviceReply:
        return {1000, 30000, 0, 115200};
    }
    return {};
  }

  GatewayFixture gateway_;
};

// The stop ends the wait at once, nothing more reaches the line, and the
// log says only that the client's connection ended: the request failed
// because of the stop, not because of a device or a port.
TEST_P(StopDuringAnExchange, EndsItAtOnceWithOneLineForTheClient) {
  const ExchangeWait wait = GetParam();
  PtyPort& line = gateway_.AddPort(1, "1", LineFor(wait));
  ASSERT_TRUE(gateway_.Start());
  RawModbusClient client(gateway_.TcpPort());
  const std::string on_line = RtuFrame(1, Bytes({0x03, 0, 1, 0, 1}));
  if (wait == ExchangeWait::kGapBetweenFrames) {
    // One exchange first: its reply starts the gap that the next waits for.
    ASSERT_TRUE(client.Send(ReadRegister(1, 1, 1)));
    ASSERT_EQ(Hex(line.ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
    ASSERT_TRUE(line.WriteFar(RtuFrame(1, Bytes({0x03, 0x02, 0x03, 0xE9}))));
    ASSERT_FALSE(client.ReadFrame().empty());
  }
  ASSERT_TRUE(client.Send(ReadRegister(2, 1, 1)));
  if (wait == ExchangeWait::kDeviceReply) {
    ASSERT_EQ(Hex(line.ReadFar(on_line.size(), kHangGuardMs)), Hex(on_line));
  } else {
    ASSERT_TRUE(WaitUntil([&] { return UnreadByGateway(client) == 0; }));
    std::this_thread::sleep_for(milliseconds(100));  // into the wait
  }

  EXPECT_TRUE(StopsWithinGuard(gateway_)) << "the stop waits out the wait";
  EXPECT_EQ(Hex(line.ReadFar(1, 100)), "") << "written after the stop";
  EXPECT_TRUE(client.WaitForEnd());
  const std::vector<std::string> expected = {
      "start server successful", "client from 127.0.0.1",
      "client 127.0.0.1 closed the connection", "stop server successful"};
  EXPECT_EQ(UnstampedLog(gateway_), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, StopDuringAnExchange,
    ::testing::Values(ExchangeWait::kRtsDelay, ExchangeWait::kGapBetweenFrames,
                      ExchangeWait::kDeviceReply),
    [](const ::testing::TestParamInfo<ExchangeWait>& info) {
      return std::string(WaitName(info.param));
    });

// Runs that serve a client, abandon an exchange at their stop and then
// wait for its reply in the next run give back every descriptor they took.
TEST(RunAndStop, GiveBackEveryDescriptor) {
  GatewayFixture gateway;
  gateway.StartDevice(gateway.AddPort(1, "1"), 1);
  PtyPort& silent_line = gateway.AddPort(2, "2", {100, 100, 0});
  const int before = OpenDescriptorCount();
  for (int run = 0; run < 5; ++run) {
    ASSERT_TRUE(gateway.Start());
    RawModbusClient served(gateway.TcpPort());
    ASSERT_EQ(Hex(served.Ask(ReadRegister(1, 1, 1))),
              Hex(RegisterReply(1, 1, 1)));
    RawModbusClient abandoned(gateway.TcpPort());
    ASSERT_TRUE(abandoned.Send(ReadRegister(2, 2, 1)));
    ASSERT_FALSE(silent_line.ReadFar(8, kHangGuardMs).empty());
    ASSERT_TRUE(gateway.Stop());
  }
  // A client thread closes its socket a moment after it has left the
  // registry that the stop waits to see empty.
  EXPECT_TRUE(WaitUntil([&] { return OpenDescriptorCount() == before; },
                        std::chrono::seconds(10)))
      << OpenDescriptorCount() << " descriptors open, " << before << " before";
}

}  // namespace
