#include "bench/gap_device.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/read_frames.h"
#include "gateway/crc16.h"

namespace {

constexpr int kBitsPerChar = 10;  // start, 8 data, stop

// The device's reply: register k of `unit` holds unit * 1000 + k.
void BuildReply(std::uint8_t* reply, std::uint8_t unit) {
  reply[0] = unit;
  reply[1] = 0x03;
  reply[2] = 2 * kRegisterCount;
  for (unsigned k = 0; k < kRegisterCount; ++k) {
    const unsigned value = unit * 1000u + k;
    reply[3 + 2 * k] = static_cast<std::uint8_t>(value >> 8);
    reply[4 + 2 * k] = static_cast<std::uint8_t>(value & 0xff);
  }
  const std::uint16_t crc = ModbusCrc16(reply, kRtuReplySize - 2);
  reply[kRtuReplySize - 2] = static_cast<std::uint8_t>(crc & 0xff);
  reply[kRtuReplySize - 1] = static_cast<std::uint8_t>(crc >> 8);
}

}  // namespace

GapDevice::GapDevice(int fd, std::uint8_t unit, long baud)
    : fd_(fd),
      unit_(unit),
      char_time_(std::chrono::nanoseconds(kBitsPerChar * 1000000000LL / baud)),
      silence_(Silence(baud)),
      thread_([this] { Serve(); }) {}

GapDevice::~GapDevice() {
  stop_ = true;
  thread_.join();
}

std::vector<GapDevice::Clock::duration> GapDevice::Gaps() {
  std::lock_guard<std::mutex> guard(mutex_);
  return gaps_;
}

GapDevice::Clock::duration GapDevice::Silence(long baud) {
  if (baud > 19200) return std::chrono::microseconds(1750);
  return std::chrono::nanoseconds(35 * 1000000000LL / baud);
}

void GapDevice::HoldForExchange(Clock::time_point start) const {
  // The sleep wakes late by the timer's latency; the last stretch is
  // watched on the clock.
  const auto end =
      start + char_time_ * (kRtuRequestSize + kRtuReplySize) + silence_;
  std::this_thread::sleep_until(end - std::chrono::microseconds(300));
  while (Clock::now() < end) {
  }
}

void GapDevice::Serve() {
  std::uint8_t request[kRtuRequestSize];
  std::uint8_t expected[kRtuRequestSize];
  BuildRtuRead(expected, unit_);
  std::uint8_t reply[kRtuReplySize];
  BuildReply(reply, unit_);
  std::size_t have = 0;
  Clock::time_point first_byte{}, last_reply{};
  bool replied = false;
  while (!stop_) {
    pollfd line{fd_, POLLIN, 0};
    if (poll(&line, 1, 50) <= 0) continue;
    const ssize_t got = read(fd_, request + have, sizeof request - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;  // the line is gone
    if (have == 0) first_byte = Clock::now();
    have += static_cast<std::size_t>(got);
    if (have < sizeof request) continue;
    have = 0;
    if (std::memcmp(request, expected, sizeof request) != 0) continue;
    if (replied) {
      std::lock_guard<std::mutex> guard(mutex_);
      gaps_.push_back(first_byte - last_reply);
    }
    HoldForExchange(first_byte);
    // Taken before the write: the gateway may read the reply before this
    // thread runs again.
    last_reply = Clock::now();
    if (write(fd_, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply))
      return;
    replied = true;
  }
}
