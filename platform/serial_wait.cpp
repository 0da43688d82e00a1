#include "platform/serial_wait.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

Deadline Deadline::After(std::uint64_t milliseconds) {
  Deadline deadline;
  deadline.never_ = false;
  deadline.end_ = Clock::now() + std::chrono::milliseconds(milliseconds);
  return deadline;
}

int Deadline::PollMilliseconds() const {
  if (never_) return -1;
  const auto left = end_ - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto milliseconds =
      std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
}

CancelSignal::~CancelSignal() {
  if (fd_ >= 0) close(fd_);
}

bool CancelSignal::Raise() {
  raised_ = true;
  // The count only grows; one that stays above 0 keeps the descriptor
  // readable, so a wait that begins later ends at once too.
  const std::uint64_t one = 1;
  for (;;) {
    if (write(fd_, &one, sizeof one) == sizeof one) return true;
    if (errno != EINTR) return false;
  }
}

Readiness WaitUntilReady(int fd, short events, const CancelSignal& cancel,
                         const Deadline& deadline, bool* hung_up) {
  for (;;) {
    if (cancel.IsRaised()) return Readiness::kCancelled;
    // poll() passes over an entry whose descriptor is negative: with fd -1
    // only the signal is watched.
    pollfd entries[] = {{cancel.fd(), POLLIN, 0}, {fd, events, 0}};
    const int result = poll(entries, 2, deadline.PollMilliseconds());
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
      continue;  // woke a little early or the cap was reached
    }
    if (errno != EINTR) return Readiness::kFailed;
  }
}

Readiness SleepUntil(const CancelSignal& cancel, const Deadline& deadline) {
  return WaitUntilReady(-1, 0, cancel, deadline);
}
