#pragma once
// The silence that separates Modbus RTU frames on a serial line: a device
// takes a gap of 3.5 character times as the end of a frame, so a request
// that follows the previous reply sooner can run into it and both read as
// one corrupt frame. Above 19200 baud the gap is a fixed 1.75 ms.
#include <chrono>

struct DCB;

// The time one character takes on the line: start bit, data bits, parity
// bit and stop bits at the DCB's baud rate. Zero when the rate is 0.
std::chrono::nanoseconds CharacterTime(const DCB& dcb);

// The least gap between two frames on a line set up as the DCB says.
std::chrono::nanoseconds InterFrameSilence(const DCB& dcb);

// When the line last carried a byte, and how much of the silence after it
// is still to pass. Used by one thread at a time, like its port.
class LineSilence {
 public:
  using Clock = std::chrono::steady_clock;

  void SetSilence(std::chrono::nanoseconds silence) { silence_ = silence; }
  // A byte went out or came in at `when`.
  void NoteByte(Clock::time_point when) { last_byte_ = when; }
  Clock::time_point LastByte() const { return last_byte_; }
  // Zero once the silence has passed (or no byte was ever noted).
  Clock::duration Remaining(Clock::time_point now) const;

 private:
  std::chrono::nanoseconds silence_{0};
  Clock::time_point last_byte_{};  // the clock's epoch: long ago
};
