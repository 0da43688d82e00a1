// Opening and closing serial ports.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "platform/serial_device.h"
#include "platform/serial_line.h"
#include "platform/serial_path.h"
#include "platform/serial_port.h"

namespace {

// Unix98 pseudo-terminal slaves use the majors 136 to 143.
bool IsPseudoTerminal(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0) return false;
  const unsigned major_number = major(status.st_rdev);
  return major_number >= 136 && major_number <= 143;
}

int OpenFlags(DWORD access) {
  const bool read = (access & GENERIC_READ) != 0;
  const bool write = (access & GENERIC_WRITE) != 0;
  const int mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  // Non-blocking: the open must not wait for a carrier, and the transfer
  // functions wait with their own time-outs.
  return mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
}

// The lock keeps out every other opener that asks for exclusive use, root
// included; TIOCEXCL (set last, once nothing can fail any more) also keeps
// out programs that do not lock, as long as they do not run as root.
bool Lock(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno == EWOULDBLOCK) errno = EBUSY;
  return false;
}

DCB InitialDcb(int fd) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.fBinary = 1;
  LineSettings line;
  if (ReadLineSettings(fd, line)) dcb.BaudRate = line.baud_rate;
  // Linux raises DTR and RTS when it opens a line.
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl =
      IsKernelRs485On(fd) ? RTS_CONTROL_TOGGLE : RTS_CONTROL_ENABLE;
  return dcb;
}

HANDLE Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return INVALID_HANDLE_VALUE;
}

}  // namespace

SerialDevice::SerialDevice(int fd, int cancel_fd, bool exclusive,
                           bool frame_is_fixed, const DCB& initial)
    : dcb(initial),
      // Until told otherwise a read waits for its first byte.
      timeouts{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0},
      cancel(cancel_fd),
      fd_(fd),
      exclusive_(exclusive),
      frame_is_fixed_(frame_is_fixed) {
  ReadLineErrorCounts(fd, reported_errors);
  if (dcb.fRtsControl == RTS_CONTROL_TOGGLE) rts_toggle = RtsToggle::kByDriver;
}

SerialDevice::~SerialDevice() {
  if (fd_ >= 0) close(fd_);
}

bool SerialDevice::OnClose() {
  // A pseudo-terminal outlives our descriptor while its far end is open;
  // left exclusive, nobody but root could open it again.
  if (exclusive_) ioctl(fd_, TIOCNXCL);
  if (rs485_switched_on) SetKernelRs485(fd_, false);
  const int result = close(fd_);
  fd_ = -1;
  if (result != 0) {
    SetLastError(static_cast<DWORD>(errno));
    return false;
  }
  return true;
}

SerialDevice* AsSerialDevice(HANDLE handle) {
  auto* device =
      IsUsableHandle(handle) ? dynamic_cast<SerialDevice*>(handle) : nullptr;
  if (device == nullptr) SetLastError(EBADF);
  return device;
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE template_file) {
  const std::optional<DWORD> number = ComNumberOfPath(path);
  if (!number) return Fail(ENOENT);
  if (creation != OPEN_EXISTING || flags != 0 || template_file != nullptr ||
      (access & (GENERIC_READ | GENERIC_WRITE)) == 0) {
    return Fail(EINVAL);
  }
  const int fd = open(ComDevicePath(*number).c_str(), OpenFlags(access));
  if (fd < 0) return Fail(errno);
  const bool exclusive = share_mode == 0;
  const int cancel_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  const bool ready = cancel_fd >= 0 && isatty(fd) &&
                     (!exclusive || Lock(fd)) && MakeLineRaw(fd) &&
                     (!exclusive || ioctl(fd, TIOCEXCL) == 0);
  if (!ready) {
    const int error = errno;
    close(fd);
    if (cancel_fd >= 0) close(cancel_fd);
    return Fail(error);
  }
  return new SerialDevice(fd, cancel_fd, exclusive, IsPseudoTerminal(fd),
                          InitialDcb(fd));
}

BOOL GetCommLineId(HANDLE port, COMMLINEID* id) {
  const SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  struct stat status;
  if (id == nullptr || fstat(device->fd(), &status) != 0) {
    SetLastError(static_cast<DWORD>(id == nullptr ? EINVAL : errno));
    return 0;
  }
  if (S_ISCHR(status.st_mode))
    *id = {1, status.st_rdev, 0};
  else
    *id = {0, status.st_dev, status.st_ino};
  return 1;
}
