#pragma once
// The object behind a serial port's handle, shared by the files of the
// serial part of the layer. Used by one thread at a time, like the port;
// only its cancel signal is raised from another thread.
#include "platform/handle.h"
#include "platform/serial_modem.h"
#include "platform/serial_port.h"
#include "platform/serial_wait.h"

// Who drops RTS after a write in RTS_CONTROL_TOGGLE mode.
enum class RtsToggle {
  kOff,       // RTS is the caller's (or hardware flow control's)
  kByDriver,  // the driver's RS-485 mode
  kByWrite,   // WriteFile raises it before and drops it after the bytes
};

class SerialDevice final : public KernelObject {
 public:
  // `exclusive`: the port is locked and in exclusive mode. The device owns
  // both descriptors: the port's and the eventfd of its cancel signal.
  SerialDevice(int fd, int cancel_fd, bool exclusive, bool frame_is_fixed,
               const DCB& dcb);
  ~SerialDevice() override;

  // Leaves exclusive mode, switches off the RS-485 mode that this port
  // switched on, and closes the descriptor (which drops the lock).
  bool OnClose() override;

  int fd() const { return fd_; }
  // A pseudo-terminal: always eight bits without parity, whatever is set.
  bool frame_is_fixed() const { return frame_is_fixed_; }

  // The last settings applied; GetCommState overlays what termios holds.
  DCB dcb;
  COMMTIMEOUTS timeouts;
  RtsToggle rts_toggle = RtsToggle::kOff;
  bool rs485_switched_on = false;
  // Totals at the last ClearCommError, to report only what is new.
  LineErrorCounts reported_errors;
  // Raised by CancelCommIo; ends the waits of ReadFile, WriteFile and
  // SleepComm.
  CancelSignal cancel;

 private:
  int fd_;
  const bool exclusive_;
  const bool frame_is_fixed_;
};

// The serial port behind a handle, or null with EBADF.
SerialDevice* AsSerialDevice(HANDLE handle);
