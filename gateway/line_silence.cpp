#include "gateway/line_silence.h"

#include "platform/serial_port.h"

namespace {

using std::chrono::nanoseconds;

constexpr DWORD kFixedGapAbove = 19200;  // baud
constexpr nanoseconds kFixedGap{1750000};

// One character in half bits, so that one and a half stop bits stay exact.
unsigned HalfBitsPerCharacter(const DCB& dcb) {
  const unsigned parity = dcb.Parity != NOPARITY ? 1 : 0;
  const unsigned stop_half_bits = dcb.StopBits == TWOSTOPBITS    ? 4
                                  : dcb.StopBits == ONE5STOPBITS ? 3
                                                                 : 2;
  return 2 * (1 + dcb.ByteSize + parity) + stop_half_bits;
}

// `quarter_bits` quarter bits at `baud`, rounded up: a gap cut short by
// rounding would no longer be the gap a device waits for.
nanoseconds QuarterBitsTime(unsigned long long quarter_bits, DWORD baud) {
  if (baud == 0) return nanoseconds{0};
  const unsigned long long divisor = 4ULL * baud;
  return nanoseconds{(quarter_bits * 1000000000ULL + divisor - 1) / divisor};
}

}  // namespace

nanoseconds CharacterTime(const DCB& dcb) {
  return QuarterBitsTime(2ULL * HalfBitsPerCharacter(dcb), dcb.BaudRate);
}

nanoseconds InterFrameSilence(const DCB& dcb) {
  if (dcb.BaudRate > kFixedGapAbove) return kFixedGap;
  // 3.5 characters: 7 times the half bits of one, in quarter bits.
  return QuarterBitsTime(7ULL * HalfBitsPerCharacter(dcb), dcb.BaudRate);
}

LineSilence::Clock::duration LineSilence::Remaining(
    Clock::time_point now) const {
  const Clock::time_point quiet_from = last_byte_ + silence_;
  if (now >= quiet_from) return Clock::duration::zero();
  return quiet_from - now;
}
