// ReadFile and WriteFile on serial ports, the pause between transfers and
// the cancelling of them all.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/serial_device.h"
#include "platform/serial_modem.h"
#include "platform/serial_port.h"
#include "platform/serial_wait.h"

namespace {

BOOL Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return 0;
}

// A read constant of 0 does not wait; MAXDWORD waits without limit.
Deadline ReadDeadline(const COMMTIMEOUTS& timeouts) {
  const DWORD constant = timeouts.ReadTotalTimeoutConstant;
  return constant == MAXDWORD ? Deadline::Never() : Deadline::After(constant);
}

Deadline WriteDeadline(const COMMTIMEOUTS& timeouts, DWORD count) {
  const std::uint64_t total =
      std::uint64_t{timeouts.WriteTotalTimeoutMultiplier} * count +
      timeouts.WriteTotalTimeoutConstant;
  return total == 0 ? Deadline::Never() : Deadline::After(total);
}

// In RS-485 toggle mode without the driver's help, RTS is up exactly while
// a write runs: raised by the constructor, dropped once the bytes are out.
class RtsDuringWrite {
 public:
  explicit RtsDuringWrite(const SerialDevice& device)
      : fd_(device.rts_toggle == RtsToggle::kByWrite ? device.fd() : -1) {}
  ~RtsDuringWrite() {
    if (fd_ >= 0) SetModemLine(fd_, TIOCM_RTS, false);
  }
  RtsDuringWrite(const RtsDuringWrite&) = delete;
  RtsDuringWrite& operator=(const RtsDuringWrite&) = delete;

  bool Raise() { return fd_ < 0 || SetModemLine(fd_, TIOCM_RTS, true); }

 private:
  const int fd_;
};

// What a cancelled write had queued must not reach the line after all.
bool DropQueuedOutput(int fd) {
  tcflush(fd, TCOFLUSH);
  errno = ECANCELED;
  return false;
}

// Hands the bytes to the driver until all are taken or time is up;
// `accepted` counts them. False with errno.
bool QueueBytes(int fd, CancelSignal& cancel, const BYTE* bytes, DWORD count,
                const Deadline& deadline, DWORD& accepted) {
  accepted = 0;
  while (accepted < count) {
    ssize_t written = 0;
    // Checked and written in one step, so that no byte starts on the line
    // once the port's transfers are cancelled.
    if (!cancel.RunUnlessRaised(
            [&] { written = write(fd, bytes + accepted, count - accepted); })) {
      return DropQueuedOutput(fd);
    }
    if (written > 0) {
      accepted += static_cast<DWORD>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return false;
    const Readiness readiness = WaitUntilReady(fd, POLLOUT, cancel, deadline);
    if (readiness == Readiness::kTimedOut) return true;
    if (readiness == Readiness::kCancelled) return DropQueuedOutput(fd);
    if (readiness == Readiness::kFailed) return false;
  }
  return true;
}

// Waits until the driver's queue is empty and the last byte has left the
// line, so that RTS may drop at once. When time runs out first, what is
// still queued is discarded and counted in `unsent` (at most the
// `accepted` bytes of this write): a caller that writes the rest again must
// not send those bytes twice. False with errno.
bool WaitUntilSent(int fd, const CancelSignal& cancel, DWORD baud_rate,
                   const Deadline& deadline, DWORD accepted, DWORD& unsent) {
  unsent = 0;
  for (;;) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
    if (queued <= 0) break;
    if (deadline.HasPassed()) {
      tcflush(fd, TCOFLUSH);
      unsent = static_cast<DWORD>(queued);
      if (unsent > accepted) unsent = accepted;
      return true;
    }
    // About the time the queue needs at ten bits a byte, in 1 ms steps at
    // least, and never past the deadline.
    long long pause_ms = baud_rate > 0 ? 10'000LL * queued / baud_rate : 1;
    pause_ms = std::max(1LL, pause_ms);
    if (!deadline.IsNever())
      pause_ms = std::min<long long>(pause_ms, deadline.MillisecondsLeft());
    const Readiness slept = SleepUntil(
        cancel, Deadline::After(static_cast<std::uint64_t>(pause_ms)));
    if (slept == Readiness::kCancelled) return DropQueuedOutput(fd);
    if (slept == Readiness::kFailed) return false;
  }
  while (tcdrain(fd) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

BOOL ReadFile(HANDLE port, void* buffer, DWORD capacity, DWORD* read_count,
              void* overlapped) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  if (overlapped != nullptr || read_count == nullptr ||
      (buffer == nullptr && capacity > 0)) {
    return Fail(EINVAL);
  }
  *read_count = 0;
  if (device->cancel.IsRaised()) return Fail(ECANCELED);
  if (capacity == 0) return 1;
  const Deadline deadline = ReadDeadline(device->timeouts);
  bool hung_up = false;
  for (;;) {
    const ssize_t got = read(device->fd(), buffer, capacity);
    if (got > 0) {
      *read_count = static_cast<DWORD>(got);
      return 1;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN) return Fail(errno);
    // Nothing to read. On a line that reported a hang-up (far end closed,
    // adapter unplugged) that is the end of the data and a failure, not a
    // read that found nothing; the system gives no error of its own there.
    if (hung_up) return Fail(EIO);
    const Readiness readiness = WaitUntilReady(
        device->fd(), POLLIN, device->cancel, deadline, &hung_up);
    if (readiness == Readiness::kTimedOut) return 1;
    if (readiness == Readiness::kCancelled) return Fail(ECANCELED);
    if (readiness == Readiness::kFailed) return Fail(errno);
  }
}

BOOL WriteFile(HANDLE port, const void* buffer, DWORD count, DWORD* written,
               void* overlapped) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  if (overlapped != nullptr || written == nullptr ||
      (buffer == nullptr && count > 0)) {
    return Fail(EINVAL);
  }
  *written = 0;
  if (device->cancel.IsRaised()) return Fail(ECANCELED);
  const int fd = device->fd();
  if (count == 0) {
    // Still asks the device, so that a vanished one reports it.
    static const char kNothing = 0;
    return write(fd, &kNothing, 0) < 0 ? Fail(errno) : 1;
  }
  const Deadline deadline = WriteDeadline(device->timeouts, count);
  RtsDuringWrite rts(*device);
  if (!rts.Raise()) return Fail(errno);
  DWORD accepted = 0;
  DWORD unsent = 0;
  if (!QueueBytes(fd, device->cancel, static_cast<const BYTE*>(buffer), count,
                  deadline, accepted) ||
      !WaitUntilSent(fd, device->cancel, device->dcb.BaudRate, deadline,
                     accepted, unsent)) {
    return Fail(errno);
  }
  *written = accepted - unsent;
  return 1;
}

BOOL SleepComm(HANDLE port, DWORD milliseconds) {
  return SleepCommUntil(port, std::chrono::steady_clock::now() +
                                  std::chrono::milliseconds(milliseconds));
}

BOOL SleepCommUntil(HANDLE port, std::chrono::steady_clock::time_point until) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  switch (SleepUntil(device->cancel, Deadline::At(until))) {
    case Readiness::kCancelled:
      return Fail(ECANCELED);
    case Readiness::kFailed:
      return Fail(errno);
    default:
      return 1;
  }
}

BOOL WaitCommInputUntil(HANDLE port,
                        std::chrono::steady_clock::time_point until,
                        BOOL* arrived) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  if (arrived == nullptr) return Fail(EINVAL);
  *arrived = 0;
  switch (WaitUntilReady(device->fd(), POLLIN, device->cancel,
                         Deadline::At(until))) {
    case Readiness::kReady:
      *arrived = 1;
      return 1;
    case Readiness::kTimedOut:
      return 1;
    case Readiness::kCancelled:
      return Fail(ECANCELED);
    default:
      return Fail(errno);
  }
}

BOOL CancelCommIo(HANDLE port) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  return device->cancel.Raise() ? 1 : Fail(errno);
}

BOOL ResumeCommIo(HANDLE port) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  device->cancel.Lower();
  return 1;
}
