// The gateway's benchmark: N Modbus TCP clients read 10 holding registers
// through the gateway, running in this process, from simulated RTU devices
// on pseudo-terminals; the same requests also go straight to the devices
// over their lines, so the difference is what the gateway adds. Then the
// devices emulate real line speeds, and the gateway's throughput is set
// against what the line can carry at most, and the gaps it leaves between
// frames on the line are measured. Last, the time a stop takes while
// clients wait on a silent device.
//
//   gateway_bench [--seconds S] [--rounds R] [--line-seconds S]
//                 [--ports LIST] [--clients LIST] [--stop-rounds R]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/frame_gaps.h"
#include "bench/load_run.h"
#include "bench/read_frames.h"
#include "bench/register_readers.h"
#include "bench/stop_time.h"
#include "tests/support/child_process.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/pty_port.h"

namespace {

struct Options {
  // Measured time of each side of an unthrottled comparison, in `rounds`
  // windows that alternate between the two sides.
  double seconds = 2.0;
  int rounds = 4;
  double line_seconds = 6.0;  // the same for each line speed; 0: none
  std::vector<int> ports = {1, 4};
  std::vector<int> clients = {1, 10, 100};
  int stop_rounds = 3;  // 0: no stop measured
};

// Characters on the line for one transaction: the request, a 3.5-character
// gap, the reply and the gap after it.
constexpr double kCharsPerTransaction =
    kRtuRequestSize + 3.5 + kRtuReplySize + 3.5;
constexpr double kBitsPerChar = 10;  // start, 8 data, stop

std::chrono::milliseconds Milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

// The unit of client `index` when `ports` ports serve units 1 to `ports`,
// one device each: the clients are spread evenly over the ports.
std::uint8_t UnitOfClient(int index, int ports) {
  return static_cast<std::uint8_t>(index % ports + 1);
}

std::vector<std::string> DeviceArguments(long line_baud) {
  if (line_baud == 0) return {};
  return {"--line", std::to_string(line_baud)};
}

// Devices on their own pseudo-terminals, each reached straight by the
// direct clients. Made before the gateway's fixture, whose own ports
// folder then takes over the environment until it is gone.
class DirectDevices {
 public:
  DirectDevices(int ports, long line_baud) {
    for (int p = 0; p < ports; ++p) {
      lines_.push_back(std::make_unique<PtyPort>(folder_, p + 1));
      PtyPort& pty = *lines_.back();
      std::vector<std::string> argv = {LibmodbusDevicePath(), "--fd", "3",
                                       "--unit", std::to_string(p + 1)};
      for (const std::string& arg : DeviceArguments(line_baud))
        argv.push_back(arg);
      devices_.push_back(std::make_unique<ChildProcess>(argv, pty.FarFd()));
      std::string ready;
      if (!devices_.back()->ReadLine(ready, 10000) || ready != "ready") {
        ok_ = false;
      }
      masters_.push_back(std::make_unique<SharedRtuLine>(pty.DevicePath()));
      ok_ = ok_ && pty.IsReady() && masters_.back()->IsOpen();
    }
  }
  bool IsReady() const { return ok_; }
  std::unique_ptr<RegisterReader> Reader(int index) {
    const int ports = static_cast<int>(masters_.size());
    return std::make_unique<RtuRegisterReader>(*masters_[index % ports],
                                               UnitOfClient(index, ports));
  }

 private:
  PortsFolder folder_;
  std::vector<std::unique_ptr<PtyPort>> lines_;
  std::vector<std::unique_ptr<ChildProcess>> devices_;  // end before lines
  std::vector<std::unique_ptr<SharedRtuLine>> masters_;
  bool ok_ = true;
};

// The gateway in this process with one device per port, unit p on COMp.
// The fixture stops it when it goes.
class GatewayUnderTest {
 public:
  GatewayUnderTest(int ports, long line_baud) {
    // Room for every client and for reconnections after a lost reply.
    gateway_.Server().max_connections = 1000;
    // The ports set to the emulated speed: it decides the gap between frames.
    PortOptions options;
    if (line_baud > 0) options.baudrate = static_cast<std::uint32_t>(line_baud);
    for (int p = 1; p <= ports; ++p) {
      PtyPort& line = gateway_.AddPort(p, std::to_string(p), options);
      gateway_.StartDevice(line, p, DeviceArguments(line_baud));
    }
    ok_ = gateway_.Start() &&
          gateway_.WaitForLogLine("start server successful");
  }
  bool IsReady() const { return ok_; }
  // A client whose first request has been served. The clients connect one
  // after another: the gateway listens with a backlog of 5, and a burst of
  // connections beyond it would wait for the system's SYN retransmission
  // (a second or more) before the benchmark could start.
  std::unique_ptr<RegisterReader> Reader(int index, int ports) {
    auto reader = std::make_unique<TcpRegisterReader>(
        gateway_.TcpPort(), UnitOfClient(index, ports));
    if (!reader->IsConnected() || !reader->ReadOnce()) return nullptr;
    return reader;
  }

 private:
  GatewayFixture gateway_;
  bool ok_ = false;
};

// Both sides of one comparison, measured in `rounds` windows that take
// turns: straight to the device, then through the gateway, and again.
bool Compare(int clients, const ReaderMaker& straight_reader,
             const ReaderMaker& gateway_reader, LoadWindow window,
             double seconds, int rounds, LoadFigures& through,
             LoadFigures& straight) {
  window.measured = Milliseconds(seconds / rounds);
  LoadTally straight_tally, through_tally;
  for (int round = 0; round < rounds; ++round) {
    if (!RunLoad(clients, straight_reader, window, straight_tally) ||
        !RunLoad(clients, gateway_reader, window, through_tally)) {
      std::fprintf(stderr, "gateway_bench: a client could not start\n");
      return false;
    }
  }
  through = through_tally.Figures();
  straight = straight_tally.Figures();
  return true;
}

// The time one request holds a busy port, through the gateway minus
// straight to the device (us).
double AddedPortTimeUs(const LoadFigures& through, const LoadFigures& straight,
                       int busy_ports) {
  if (through.per_second <= 0 || straight.per_second <= 0) return 0;
  return busy_ports * (1e6 / through.per_second - 1e6 / straight.per_second);
}

void PrintFailures(const char* what, const LoadFigures& figures) {
  if (figures.failures > 0) {
    std::printf("  (%s: %zu requests without the right reply)\n", what,
                figures.failures);
  }
}

bool CompareUnthrottled(const Options& options) {
  std::printf(
      "Read 10 holding registers: through the gateway against straight to "
      "the device\n(unthrottled pseudo-terminals, one device per port, "
      "clients spread over the ports;\nthe gateway's ports are set to "
      "115200 baud and it keeps their 1.75 ms of silence before\neach "
      "request, which the direct side does not: that alone bounds a port "
      "to about 570 req/s)\n\n");
  std::printf("%5s %7s | %10s %9s %9s | %10s %9s %9s | %9s %9s\n", "ports",
              "clients", "gw req/s", "p50 us", "p99 us", "dir req/s",
              "p50 us", "p99 us", "added p50", "added/req");
  for (int ports : options.ports) {
    DirectDevices direct(ports, 0);
    GatewayUnderTest gateway(ports, 0);
    if (!direct.IsReady() || !gateway.IsReady()) {
      std::fprintf(stderr, "gateway_bench: set-up with %d ports failed\n",
                   ports);
      return false;
    }
    for (int clients : options.clients) {
      LoadFigures through, straight;
      if (!Compare(
              clients, [&](int i) { return direct.Reader(i); },
              [&](int i) { return gateway.Reader(i, ports); },
              LoadWindow{}, options.seconds, options.rounds, through,
              straight)) {
        return false;
      }
      std::printf(
          "%5d %7d | %10.0f %9.1f %9.1f | %10.0f %9.1f %9.1f | %9.1f %9.1f\n",
          ports, clients, through.per_second, through.p50_us, through.p99_us,
          straight.per_second, straight.p50_us, straight.p99_us,
          through.p50_us - straight.p50_us,
          AddedPortTimeUs(through, straight, std::min(ports, clients)));
      PrintFailures("gateway", through);
      PrintFailures("direct", straight);
      std::fflush(stdout);
    }
  }
  std::printf(
      "\nadded p50: the gateway's p50 latency minus the direct one, in us.\n"
      "added/req: the time a request keeps its port, through the gateway "
      "minus direct:\n  busy ports x (1 / gw req/s - 1 / dir req/s), busy "
      "ports = min(ports, clients), in us.\n  With one client it is the added "
      "mean latency; where clients queue for a port,\n  the added p50 is "
      "about this times the queue's length.\n");
  return true;
}

bool MeasureLineSpeeds(const Options& options) {
  constexpr int kClients = 10;
  // A slow line is hardly disturbed by other load; long windows keep the
  // share of warm-up time small.
  constexpr int kLineRounds = 2;
  // Every client's request has been through the line once before the
  // window opens: at 9600 baud that takes 10 x 42 ms.
  LoadWindow line_window;
  line_window.warm_up = std::chrono::milliseconds(500);
  std::printf(
      "\nLine speed: %d clients, one port, the device holding each exchange "
      "for its wire time\ntheoretical transactions/s = baud / (%.0f bits x "
      "(%zu + 3.5 + %zu + 3.5) characters) = baud / %.0f\n(request %zu "
      "bytes, reply %zu bytes, a 3.5-character gap after each frame)\n"
      "The device's hold takes in the gap after its reply, and the gateway "
      "keeps that\nsilence itself as well, so it pays for it twice here; "
      "the gap table below\nmeasures the line as a device sees it.\n\n",
      kClients, kBitsPerChar, kRtuRequestSize, kRtuReplySize,
      kBitsPerChar * kCharsPerTransaction, kRtuRequestSize, kRtuReplySize);
  std::printf("%7s %12s | %10s %7s %9s | %10s %7s\n", "baud", "theory tps",
              "gw tps", "share", "p50 ms", "dir tps", "share");
  for (long baud : {9600L, 115200L}) {
    DirectDevices direct(1, baud);
    GatewayUnderTest gateway(1, baud);
    if (!direct.IsReady() || !gateway.IsReady()) {
      std::fprintf(stderr, "gateway_bench: set-up at %ld baud failed\n",
                   baud);
      return false;
    }
    LoadFigures through, straight;
    if (!Compare(
            kClients, [&](int i) { return direct.Reader(i); },
            [&](int i) { return gateway.Reader(i, 1); }, line_window,
            options.line_seconds, kLineRounds, through, straight)) {
      return false;
    }
    const double theory =
        static_cast<double>(baud) / (kBitsPerChar * kCharsPerTransaction);
    std::printf("%7ld %12.1f | %10.1f %6.1f%% %9.2f | %10.1f %6.1f%%\n", baud,
                theory, through.per_second,
                100.0 * through.per_second / theory, through.p50_us / 1000.0,
                straight.per_second, 100.0 * straight.per_second / theory);
    PrintFailures("gateway", through);
    PrintFailures("direct", straight);
    std::fflush(stdout);
  }
  return true;
}

bool ParseSeconds(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value >= 0 && value < 3600;
}

// A comma-separated list of counts from 1 to `most`.
bool ParseCounts(const char* text, int most, std::vector<int>& counts) {
  counts.clear();
  for (;;) {
    char* end = nullptr;
    const long count = std::strtol(text, &end, 10);
    if (end == text || count < 1 || count > most) return false;
    counts.push_back(static_cast<int>(count));
    if (*end == '\0') return true;
    if (*end != ',') return false;
    text = end + 1;
  }
}

// One count from `least` to 100.
bool ParseCount(const char* text, int least, int& count) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < least || value > 100) return false;
  count = static_cast<int>(value);
  return true;
}

bool ParseOption(const char* name, const char* value, Options& options) {
  if (std::strcmp(name, "--seconds") == 0)
    return ParseSeconds(value, options.seconds) && options.seconds > 0;
  if (std::strcmp(name, "--line-seconds") == 0)
    return ParseSeconds(value, options.line_seconds);
  if (std::strcmp(name, "--rounds") == 0)
    return ParseCount(value, 1, options.rounds);
  if (std::strcmp(name, "--stop-rounds") == 0)
    return ParseCount(value, 0, options.stop_rounds);
  if (std::strcmp(name, "--ports") == 0)
    return ParseCounts(value, 16, options.ports);
  if (std::strcmp(name, "--clients") == 0)
    return ParseCounts(value, 500, options.clients);
  return false;
}

int Usage() {
  std::fprintf(stderr,
               "usage: gateway_bench [--seconds S] [--rounds R] "
               "[--line-seconds S] [--ports LIST] [--clients LIST] "
               "[--stop-rounds R]\n"
               "  --seconds S       measured time of each side of an "
               "unthrottled comparison (default 2)\n"
               "  --rounds R        in R windows that alternate between "
               "the sides (default 4)\n"
               "  --line-seconds S  measured time of each side at each line "
               "speed (default 6; 0 leaves them out)\n"
               "  --ports LIST      port counts of the unthrottled runs "
               "(default 1,4)\n"
               "  --clients LIST    client counts of the unthrottled runs "
               "(default 1,10,100)\n"
               "  --stop-rounds R   stops timed while clients wait on a "
               "silent device (default 3; 0 leaves them out)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 == argc || !ParseOption(argv[i], argv[i + 1], options))
      return Usage();
  }
  std::printf("gateway_bench: %u cores\n\n",
              std::thread::hardware_concurrency());
  if (!CompareUnthrottled(options)) return 1;
  if (options.line_seconds > 0 && !MeasureLineSpeeds(options)) return 1;
  if (options.line_seconds > 0 && !MeasureFrameGaps(options.line_seconds / 2))
    return 1;
  if (options.stop_rounds > 0 && !MeasureStopTime(options.stop_rounds))
    return 1;
  return 0;
}
