#include "bench/frame_gaps.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/gap_device.h"
#include "bench/load_run.h"
#include "bench/read_frames.h"
#include "tests/support/gateway_fixture.h"

namespace {

using Duration = GapDevice::Clock::duration;

constexpr int kClientsPerPort = 10;  // a request always waits for the line
constexpr double kBitsPerChar = 10;  // 8N1

double Ms(Duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// The gateway in this process with a gap-noting device on each port, unit
// p on COMp, the ports set to `baud`. Devices go before the gateway's
// fixture, which owns their lines.
class GappedGateway {
 public:
  GappedGateway(int ports, long baud) {
    gateway_.Server().max_connections = 1000;
    PortOptions options;
    options.baudrate = static_cast<std::uint32_t>(baud);
    for (int p = 1; p <= ports; ++p) {
      PtyPort& line = gateway_.AddPort(p, std::to_string(p), options);
      devices_.push_back(std::make_unique<GapDevice>(
          line.FarFd(), static_cast<std::uint8_t>(p), baud));
    }
    ok_ = gateway_.Start() &&
          gateway_.WaitForLogLine("start server successful");
  }
  bool IsReady() const { return ok_; }
  std::unique_ptr<RegisterReader> Reader(int index, int ports) {
    auto reader = std::make_unique<TcpRegisterReader>(
        gateway_.TcpPort(), static_cast<std::uint8_t>(index % ports + 1));
    if (!reader->IsConnected() || !reader->ReadOnce()) return nullptr;
    return reader;
  }
  std::vector<Duration> Gaps() {
    std::vector<Duration> all;
    for (auto& device : devices_) {
      const std::vector<Duration> gaps = device->Gaps();
      all.insert(all.end(), gaps.begin(), gaps.end());
    }
    return all;
  }

 private:
  GatewayFixture gateway_;
  std::vector<std::unique_ptr<GapDevice>> devices_;
  bool ok_ = false;
};

bool MeasureOne(long baud, int ports, double seconds) {
  GappedGateway gateway(ports, baud);
  if (!gateway.IsReady()) {
    std::fprintf(stderr, "gateway_bench: gap set-up at %ld baud failed\n",
                 baud);
    return false;
  }
  LoadWindow window;
  window.warm_up = std::chrono::milliseconds(500);
  window.measured = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  LoadTally tally;
  const int clients = kClientsPerPort * ports;
  if (!RunLoad(
          clients, [&](int i) { return gateway.Reader(i, ports); }, window,
          tally)) {
    std::fprintf(stderr, "gateway_bench: a client could not start\n");
    return false;
  }
  const LoadFigures figures = tally.Figures();
  std::vector<Duration> gaps = gateway.Gaps();
  std::sort(gaps.begin(), gaps.end());
  const double silence_ms = Ms(GapDevice::Silence(baud));
  const auto broke = std::count_if(gaps.begin(), gaps.end(), [&](Duration gap) {
    return Ms(gap) < silence_ms;
  });
  // Per port: bytes on the wire, and the best a line can do with the
  // silence after each frame.
  const double per_port = figures.per_second / ports;
  const double char_s = kBitsPerChar / static_cast<double>(baud);
  const double wire_s = (kRtuRequestSize + kRtuReplySize) * char_s;
  const double busy = per_port * wire_s;
  const double best = 1.0 / (wire_s + 2 * silence_ms / 1000.0);
  std::printf("%7ld %5d | %9.1f %6.1f%% %6.1f%% | %7zu %7ld %6.2f%% | %7.2f %7.2f %7.2f\n",
              baud, ports, per_port, 100.0 * busy, 100.0 * per_port / best,
              gaps.size(), static_cast<long>(broke),
              gaps.empty() ? 0.0 : 100.0 * broke / gaps.size(), silence_ms,
              gaps.empty() ? 0.0 : Ms(gaps.front()),
              gaps.empty() ? 0.0 : Ms(gaps[gaps.size() / 2]));
  if (figures.failures > 0)
    std::printf("  (%zu requests without the right reply)\n", figures.failures);
  std::fflush(stdout);
  return true;
}

}  // namespace

bool MeasureFrameGaps(double seconds) {
  std::printf(
      "\nGaps between frames: %d clients per port, devices holding each "
      "exchange for its wire time\n(8N1; a gap is the quiet time from a "
      "reply to the next request on its line)\n\n",
      kClientsPerPort);
  std::printf("%7s %5s | %9s %7s %7s | %7s %7s %7s | %7s %7s %7s\n", "baud",
              "ports", "tps/port", "busy", "of max", "gaps", "broke",
              "share", "need ms", "min ms", "p50 ms");
  for (long baud : {9600L, 115200L}) {
    for (int ports : {1, 4}) {
      if (!MeasureOne(baud, ports, seconds)) return false;
    }
  }
  std::printf(
      "\nbusy: share of the line's time that carried bytes; of max: "
      "transactions against\nthe most a line can carry with the silence "
      "(\"need\") after each frame;\nbroke: requests that followed their "
      "line's previous reply sooner than \"need\".\n");
  return true;
}
