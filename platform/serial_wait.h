#pragma once
// Waiting on a serial port's descriptor until a point in time, or until
// the port's transfers are cancelled.
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

// The point after which a wait gives up; `Never` for a wait without limit.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  static Deadline Never() { return Deadline(); }
  static Deadline After(std::uint64_t milliseconds);
  static Deadline At(Clock::time_point end);

  bool IsNever() const { return never_; }
  bool HasPassed() const { return !never_ && Clock::now() >= end_; }
  // What is left for ppoll(): false without limit; otherwise `left` holds
  // the time to the deadline (zero once it has passed).
  bool TimeLeft(timespec& left) const;
  // What is left in whole milliseconds, rounded up; INT32_MAX at most.
  std::int32_t MillisecondsLeft() const;

 private:
  Deadline() = default;
  bool never_ = true;
  Clock::time_point end_{};
};

// Cuts the waits of one port short: once raised, from any thread, every
// wait given it ends at once, until it is lowered again. An eventfd, so
// that poll() watches it beside the port's descriptor; the signal owns it.
class CancelSignal {
 public:
  explicit CancelSignal(int event_fd) : fd_(event_fd) {}
  ~CancelSignal();
  CancelSignal(const CancelSignal&) = delete;
  CancelSignal& operator=(const CancelSignal&) = delete;

  // False with errno when the signal could not be sent.
  bool Raise();
  // For a stop that did not happen after all: waits end by their own
  // rules again.
  void Lower();
  bool IsRaised() const { return raised_.load(); }
  int fd() const { return fd_; }

  // Runs `step` (a write to the line) unless the signal is raised, and
  // holds Raise off meanwhile: a step either began before the signal was
  // raised or never begins. False when the signal was raised.
  template <class Step>
  bool RunUnlessRaised(Step&& step) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (raised_.load()) return false;
    step();
    return true;
  }

 private:
  const int fd_;
  std::atomic<bool> raised_{false};
  std::mutex mutex_;
};

enum class Readiness { kReady, kTimedOut, kCancelled, kFailed };

// Waits until poll() reports `events` (or a hang-up or error, which the
// next read or write then reports) on fd, or the signal is raised.
// kFailed with errno. `hung_up`, when given, tells whether the line
// reported a hang-up or an error.
Readiness WaitUntilReady(int fd, short events, const CancelSignal& cancel,
                         const Deadline& deadline, bool* hung_up = nullptr);

// Sleeps until the deadline (kTimedOut) unless the signal is raised first.
Readiness SleepUntil(const CancelSignal& cancel, const Deadline& deadline);
