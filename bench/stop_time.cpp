#include "bench/stop_time.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateway/tcp_env.h"
#include "tests/support/deadline.h"
#include "tests/support/gateway_fixture.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

constexpr int kClients = 2;
constexpr std::uint32_t kReadTimeoutMs = 30000;
constexpr std::uint8_t kUnit = 1;

using Clock = std::chrono::steady_clock;

// Starts the gateway and puts the clients' requests in the port's hands:
// the first on the line, the others waiting for the port. The clients
// stay connected through the stop.
bool BusyWithSilentDevice(GatewayFixture& gateway, PtyPort& line,
                          std::vector<std::unique_ptr<RawModbusClient>>& clients) {
  if (!gateway.Start()) return false;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<RawModbusClient>(gateway.TcpPort()));
    const auto transaction = static_cast<std::uint16_t>(i + 1);
    if (!clients.back()->Send(ReadRegister(transaction, kUnit, 1))) return false;
  }
  const std::string first = RtuFrame(kUnit, Bytes({0x03, 0, 1, 0, 1}));
  if (line.ReadFar(first.size(), kHangGuardMs) != first) return false;
  if (!WaitUntil([] { return gWinTCPEnv->ClientCount() == kClients; }))
    return false;
  // Time for the others' threads to read their requests and queue.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return true;
}

}  // namespace

bool MeasureStopTime(int rounds) {
  std::vector<double> stop_ms;
  for (int round = 0; round < rounds; ++round) {
    // A line of its own each round: after a stop, the line would first
    // wait out the read time-out of the request that the stop abandoned.
    GatewayFixture gateway;
    PtyPort& line = gateway.AddPort(1, std::to_string(kUnit),
                                    {1000, kReadTimeoutMs, 0});
    std::vector<std::unique_ptr<RawModbusClient>> clients;
    if (!BusyWithSilentDevice(gateway, line, clients)) {
      std::fprintf(stderr, "gateway_bench: the stop's set-up failed\n");
      return false;
    }
    const Clock::time_point start = Clock::now();
    gateway.Stop();
    stop_ms.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(stop_ms.begin(), stop_ms.end());
  std::printf(
      "\nStop while %d clients wait on a silent device (port read time-out "
      "%u ms),\none request on the line and one waiting for the port, "
      "%d stops:\n  min %.1f ms, median %.1f ms, max %.1f ms\n",
      kClients, kReadTimeoutMs, rounds, stop_ms.front(),
      stop_ms[stop_ms.size() / 2], stop_ms.back());
  std::fflush(stdout);
  return true;
}
