#include "platform/serial_wait.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

Deadline Deadline::After(std::uint64_t milliseconds) {
  return At(Clock::now() + std::chrono::milliseconds(milliseconds));
}

Deadline Deadline::At(Clock::time_point end) {
  Deadline deadline;
  deadline.never_ = false;
  deadline.end_ = end;
  return deadline;
}

bool Deadline::TimeLeft(timespec& left) const {
  if (never_) return false;
  const auto rest = std::max(end_ - Clock::now(), Clock::duration::zero());
  const auto seconds = std::chrono::floor<std::chrono::seconds>(rest);
  left.tv_sec = static_cast<time_t>(seconds.count());
  left.tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(rest - seconds)
          .count());
  return true;
}

std::int32_t Deadline::MillisecondsLeft() const {
  constexpr std::int64_t kMost = std::numeric_limits<std::int32_t>::max();
  if (never_) return static_cast<std::int32_t>(kMost);
  const auto rest = std::max(end_ - Clock::now(), Clock::duration::zero());
  const std::int64_t milliseconds =
      std::chrono::ceil<std::chrono::milliseconds>(rest).count();
  return static_cast<std::int32_t>(std::min(milliseconds, kMost));
}

CancelSignal::~CancelSignal() {
  if (fd_ >= 0) close(fd_);
}

bool CancelSignal::Raise() {
  std::lock_guard<std::mutex> hold(mutex_);
  raised_ = true;
  // The count only grows; one that stays above 0 keeps the descriptor
  // readable, so a wait that begins later ends at once too.
  const std::uint64_t one = 1;
  for (;;) {
    if (write(fd_, &one, sizeof one) == sizeof one) return true;
    if (errno != EINTR) return false;
  }
}

void CancelSignal::Lower() {
  std::lock_guard<std::mutex> hold(mutex_);
  // Reading an eventfd takes its whole count: the descriptor is quiet again.
  std::uint64_t count = 0;
  while (read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
  raised_ = false;
}

Readiness WaitUntilReady(int fd, short events, const CancelSignal& cancel,
                         const Deadline& deadline, bool* hung_up) {
  for (;;) {
    if (cancel.IsRaised()) return Readiness::kCancelled;
    // poll() passes over an entry whose descriptor is negative: with fd -1
    // only the signal is watched.
    pollfd entries[] = {{cancel.fd(), POLLIN, 0}, {fd, events, 0}};
    // ppoll, not poll: a wait of a few milliseconds, such as the gap
    // between frames, must not grow to the next whole millisecond.
    timespec left{};
    const int result =
        ppoll(entries, 2, deadline.TimeLeft(left) ? &left : nullptr, nullptr);
    if (result > 0) {
      if (entries[0].revents != 0) return Readiness::kCancelled;
      const short revents = entries[1].revents;
      if ((revents & POLLNVAL) != 0) {
        errno = EBADF;
        return Readiness::kFailed;
      }
      if (hung_up != nullptr) *hung_up = (revents & (POLLHUP | POLLERR)) != 0;
      return Readiness::kReady;
    }
    if (result == 0) {
      if (deadline.HasPassed()) return Readiness::kTimedOut;
      continue;  // woke a little early
    }
    if (errno != EINTR) return Readiness::kFailed;
  }
}

Readiness SleepUntil(const CancelSignal& cancel, const Deadline& deadline) {
  return WaitUntilReady(-1, 0, cancel, deadline);
}
