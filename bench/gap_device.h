#pragma once
// A simulated device for measuring the gaps between frames on a line: it
// serves the benchmark's one request (read 10 holding registers of its
// unit) on the far end of a pseudo-terminal, holding each exchange for the
// wire time of a real 8N1 line (the request, the silence that ends it and
// the reply), and notes for every request how long the line had been
// quiet since its previous reply.
//
// A pseudo-terminal carries bytes without line timing, so the request is
// taken to go on the wire when its first byte arrives, and the reply to
// have left it when the device writes it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class GapDevice {
 public:
  using Clock = std::chrono::steady_clock;

  // Serves `fd` (not owned) until destroyed.
  GapDevice(int fd, std::uint8_t unit, long baud);
  ~GapDevice();
  GapDevice(const GapDevice&) = delete;
  GapDevice& operator=(const GapDevice&) = delete;

  // The quiet time before each request that followed a reply, so far.
  std::vector<Clock::duration> Gaps();

  // The silence that ends a frame at `baud`: 3.5 characters, 1.75 ms above
  // 19200 baud. The device keeps it before replying, and a gap shorter
  // than it breaks the silence.
  static Clock::duration Silence(long baud);

 private:
  void Serve();
  // Holds until the reply to a request that began at `start` has left.
  void HoldForExchange(Clock::time_point start) const;

  const int fd_;
  const std::uint8_t unit_;
  const Clock::duration char_time_;
  const Clock::duration silence_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Clock::duration> gaps_;
  std::thread thread_;
};
