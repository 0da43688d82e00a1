// Time-outs, purging, modem lines and the error state of a serial port.
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "platform/serial_device.h"
#include "platform/serial_modem.h"
#include "platform/serial_port.h"

namespace {

BOOL Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return 0;
}

void NoteNewErrors(int total, int& reported, DWORD flag, DWORD& errors) {
  if (total != reported) errors |= flag;
  reported = total;
}

}  // namespace

BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  if (timeouts == nullptr) return Fail(EINVAL);
  *timeouts = device->timeouts;
  return 1;
}

BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  // Only the read rule that never waits to fill the buffer is built.
  if (timeouts == nullptr || timeouts->ReadIntervalTimeout != MAXDWORD ||
      timeouts->ReadTotalTimeoutMultiplier != MAXDWORD) {
    return Fail(EINVAL);
  }
  device->timeouts = *timeouts;
  return 1;
}

BOOL PurgeComm(HANDLE port, DWORD flags) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  const DWORD all = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR |
                    PURGE_RXCLEAR;
  if ((flags & ~all) != 0) return Fail(EINVAL);
  const bool input = (flags & PURGE_RXCLEAR) != 0;
  const bool output = (flags & PURGE_TXCLEAR) != 0;
  if (!input && !output) return 1;
  const int queues = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
  if (tcflush(device->fd(), queues) != 0) return Fail(errno);
  return 1;
}

BOOL EscapeCommFunction(HANDLE port, DWORD function) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  bool done;
  switch (function) {
    case SETRTS: done = SetModemLine(device->fd(), TIOCM_RTS, true); break;
    case CLRRTS: done = SetModemLine(device->fd(), TIOCM_RTS, false); break;
    case SETDTR: done = SetModemLine(device->fd(), TIOCM_DTR, true); break;
    case CLRDTR: done = SetModemLine(device->fd(), TIOCM_DTR, false); break;
    default: return Fail(EINVAL);
  }
  return done ? 1 : Fail(errno);
}

BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  int waiting = 0;
  int unsent = 0;
  if (ioctl(device->fd(), TIOCINQ, &waiting) != 0 ||
      ioctl(device->fd(), TIOCOUTQ, &unsent) != 0) {
    return Fail(errno);
  }
  DWORD new_errors = 0;
  LineErrorCounts totals;
  if (ReadLineErrorCounts(device->fd(), totals)) {
    LineErrorCounts& reported = device->reported_errors;
    NoteNewErrors(totals.overrun, reported.overrun, CE_OVERRUN, new_errors);
    NoteNewErrors(totals.parity, reported.parity, CE_RXPARITY, new_errors);
    NoteNewErrors(totals.frame, reported.frame, CE_FRAME, new_errors);
    NoteNewErrors(totals.brk, reported.brk, CE_BREAK, new_errors);
  }
  if (errors != nullptr) *errors = new_errors;
  if (status != nullptr) {
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(waiting);
    status->cbOutQue = static_cast<DWORD>(unsent);
  }
  return 1;
}
