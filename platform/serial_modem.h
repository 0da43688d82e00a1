#pragma once
// Modem control lines, the driver's RS-485 mode and its line-error
// counters. Pseudo-terminals and some adapters have none of these; the
// calls then fail with ENOTTY (or EINVAL), which IsMissingFeature names.

// Raises or drops RTS or DTR (TIOCM_RTS, TIOCM_DTR). False with errno.
bool SetModemLine(int fd, int line, bool on);
bool HasModemLines(int fd);
bool IsMissingFeature(int error);

// RS-485 mode: the driver raises RTS while it sends and drops it after the
// last bit. False with errno when the driver has no such mode or kept it
// off.
bool SetKernelRs485(int fd, bool on);
bool IsKernelRs485On(int fd);

// The driver's running totals of line errors.
struct LineErrorCounts {
  int overrun = 0;
  int parity = 0;
  int frame = 0;
  int brk = 0;
};
bool ReadLineErrorCounts(int fd, LineErrorCounts& counts);
