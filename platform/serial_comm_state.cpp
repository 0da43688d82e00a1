// GetCommState and SetCommState: a DCB over termios and the modem lines.
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/serial_device.h"
#include "platform/serial_line.h"
#include "platform/serial_modem.h"
#include "platform/serial_port.h"

namespace {

BOOL Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return 0;
}

// 0 when the settings can be tried on the device, else the error.
int RefusalOf(const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 ||
      dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) {
    return EINVAL;
  }
  // termios knows one or two stop bits, nothing in between.
  if (dcb.StopBits == ONE5STOPBITS) return ENOTSUP;
  // Features that Linux serial drivers do not have: granting them silently
  // would report a failure as success.
  if (dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fErrorChar ||
      dcb.fNull || dcb.fAbortOnError) {
    return ENOTSUP;
  }
  return 0;
}

LineSettings LineOf(const DCB& dcb) {
  LineSettings line;
  line.baud_rate = dcb.BaudRate;
  line.byte_size = dcb.ByteSize;
  line.parity = dcb.Parity;
  line.two_stop_bits = dcb.StopBits == TWOSTOPBITS;
  line.check_parity = dcb.fParity != 0;
  line.cts_flow =
      dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
  line.xon_output = dcb.fOutX != 0;
  line.xon_input = dcb.fInX != 0;
  line.xon_char = dcb.XonChar;
  line.xoff_char = dcb.XoffChar;
  return line;
}

void Overlay(DCB& dcb, const LineSettings& line) {
  dcb.BaudRate = line.baud_rate;
  dcb.ByteSize = line.byte_size;
  dcb.Parity = line.parity;
  dcb.StopBits = line.two_stop_bits ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fParity = line.check_parity;
  dcb.fOutX = line.xon_output;
  dcb.fInX = line.xon_input;
  dcb.XonChar = line.xon_char;
  dcb.XoffChar = line.xoff_char;
}

// A device without modem lines (a pseudo-terminal) has nothing to set; the
// settings still hold for its data.
bool SetLineIfPresent(int fd, int line, bool on) {
  return SetModemLine(fd, line, on) || IsMissingFeature(errno);
}

bool StartRtsToggle(SerialDevice& device) {
  if (device.rts_toggle == RtsToggle::kByDriver) return true;
  if (SetKernelRs485(device.fd(), true)) {
    device.rts_toggle = RtsToggle::kByDriver;
    device.rs485_switched_on = true;
    return true;
  }
  if (!IsMissingFeature(errno)) return false;
  if (!HasModemLines(device.fd())) {
    device.rts_toggle = RtsToggle::kOff;
    return true;
  }
  device.rts_toggle = RtsToggle::kByWrite;
  return SetModemLine(device.fd(), TIOCM_RTS, false);
}

bool StopRtsToggle(SerialDevice& device) {
  if (device.rts_toggle == RtsToggle::kByDriver) {
    if (!SetKernelRs485(device.fd(), false) && !IsMissingFeature(errno))
      return false;
    device.rs485_switched_on = false;
  }
  device.rts_toggle = RtsToggle::kOff;
  return true;
}

bool ApplyModemControl(SerialDevice& device, const DCB& dcb) {
  const int fd = device.fd();
  if (!SetLineIfPresent(fd, TIOCM_DTR,
                        dcb.fDtrControl != DTR_CONTROL_DISABLE)) {
    return false;
  }
  if (dcb.fRtsControl == RTS_CONTROL_TOGGLE) return StartRtsToggle(device);
  if (!StopRtsToggle(device)) return false;
  // Under hardware flow control the driver moves RTS.
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) return true;
  return SetLineIfPresent(fd, TIOCM_RTS,
                          dcb.fRtsControl == RTS_CONTROL_ENABLE);
}

}  // namespace

BOOL GetCommState(HANDLE port, DCB* dcb) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  if (dcb == nullptr) return Fail(EINVAL);
  LineSettings line;
  if (!ReadLineSettings(device->fd(), line)) return Fail(errno);
  *dcb = device->dcb;
  Overlay(*dcb, line);
  return 1;
}

BOOL SetCommState(HANDLE port, const DCB* dcb) {
  SerialDevice* device = AsSerialDevice(port);
  if (device == nullptr) return 0;
  if (dcb == nullptr) return Fail(EINVAL);
  if (const int refusal = RefusalOf(*dcb)) return Fail(refusal);
  if (!ApplyLineSettings(device->fd(), LineOf(*dcb),
                         device->frame_is_fixed()) ||
      !ApplyModemControl(*device, *dcb)) {
    return Fail(errno);
  }
  device->dcb = *dcb;
  return 1;
}
