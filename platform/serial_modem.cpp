#include "platform/serial_modem.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

bool SetModemLine(int fd, int line, bool on) {
  return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

bool HasModemLines(int fd) {
  int lines = 0;
  return ioctl(fd, TIOCMGET, &lines) == 0;
}

bool IsMissingFeature(int error) {
  return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP;
}

bool SetKernelRs485(int fd, bool on) {
  serial_rs485 mode{};
  if (on) mode.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  if (ioctl(fd, TIOCSRS485, &mode) != 0) return false;
  // The driver returns what it made of the request.
  if (on && (mode.flags & SER_RS485_ENABLED) == 0) {
    errno = EOPNOTSUPP;
    return false;
  }
  return true;
}

bool IsKernelRs485On(int fd) {
  serial_rs485 mode{};
  return ioctl(fd, TIOCGRS485, &mode) == 0 &&
         (mode.flags & SER_RS485_ENABLED) != 0;
}

bool ReadLineErrorCounts(int fd, LineErrorCounts& counts) {
  serial_icounter_struct icount{};
  if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
  counts.overrun = icount.overrun + icount.buf_overrun;
  counts.parity = icount.parity;
  counts.frame = icount.frame;
  counts.brk = icount.brk;
  return true;
}
