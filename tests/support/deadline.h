#pragma once
// Waits of the tests and their helpers, with limits meant only to end a
// test that would otherwise hang.
#include <chrono>
#include <functional>
#include <thread>

// A time limit counted from its making: poll(fd, 1, deadline.Left()) waits
// at most until then.
class Deadline {
 public:
  explicit Deadline(int milliseconds)
      : end_(Clock::now() + std::chrono::milliseconds(milliseconds)) {}

  // Milliseconds left, 0 once the limit has passed.
  int Left() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end_ - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  }
  bool Passed() const { return Clock::now() >= end_; }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point end_;
};

// Polls `condition` until it holds; false if it still does not after
// `limit`.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const Deadline deadline(static_cast<int>(limit.count()));
  while (!condition()) {
    if (deadline.Passed()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
