#include "platform/serial_wait.h"

#include <poll.h>

#include <cerrno>
#include <climits>

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

Readiness WaitUntilReady(int fd, short events, const Deadline& deadline,
                         bool* hung_up) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int result = poll(&entry, 1, deadline.PollMilliseconds());
    if (result > 0) {
      if ((entry.revents & POLLNVAL) != 0) {
        errno = EBADF;
        return Readiness::kFailed;
      }
      if (hung_up != nullptr)
        *hung_up = (entry.revents & (POLLHUP | POLLERR)) != 0;
      return Readiness::kReady;
    }
    if (result == 0) {
      if (deadline.HasPassed()) return Readiness::kTimedOut;
      continue;  // woke a little early or the cap was reached
    }
    if (errno != EINTR) return Readiness::kFailed;
  }
}
