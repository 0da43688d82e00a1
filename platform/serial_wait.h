#pragma once
// Waiting on a serial port's descriptor until a point in time.
#include <chrono>
#include <cstdint>

// The point after which a wait gives up; `Never` for a wait without limit.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  static Deadline Never() { return Deadline(); }
  static Deadline After(std::uint64_t milliseconds);

  bool IsNever() const { return never_; }
  bool HasPassed() const { return !never_ && Clock::now() >= end_; }
  // What is left for poll(): -1 without limit, rounded up, capped.
  int PollMilliseconds() const;

 private:
  Deadline() = default;
  bool never_ = true;
  Clock::time_point end_{};
};

enum class Readiness { kReady, kTimedOut, kFailed };

// Waits until poll() reports `events` (or a hang-up or error, which the
// next read or write then reports) on fd. kFailed with errno. `hung_up`,
// when given, tells whether the line reported a hang-up or an error.
Readiness WaitUntilReady(int fd, short events, const Deadline& deadline,
                         bool* hung_up = nullptr);
