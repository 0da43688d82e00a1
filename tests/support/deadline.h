#pragma once
// A time limit counted from its making, for the waits of the test helpers:
// poll(fd, 1, deadline.Left()) waits at most until then.
#include <chrono>

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
