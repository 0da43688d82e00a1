#pragma once
// A terminal's line settings as a serial port needs them, read and written
// through the kernel's termios2 interface, which carries any baud rate.
#include "platform/win_types.h"

struct LineSettings {
  DWORD baud_rate = 0;
  BYTE byte_size = 8;   // 5 to 8
  BYTE parity = 0;      // NOPARITY .. SPACEPARITY of serial_port.h
  bool two_stop_bits = false;
  bool check_parity = false;  // a byte with a parity error reads as 0
  bool cts_flow = false;      // RTS/CTS hardware flow control
  bool xon_output = false;    // XON/XOFF flow control of what we send
  bool xon_input = false;     // XON/XOFF flow control of what we receive
  char xon_char = 0x11;
  char xoff_char = 0x13;
};

// Raw mode: no echo, no line editing, no translation of characters, no flow
// control, the receiver on and modem status lines ignored; a read returns
// what has arrived. Speed and frame stay as they are. False with errno.
bool MakeLineRaw(int fd);

// False with errno.
bool ReadLineSettings(int fd, LineSettings& settings);

// Applies the settings and reads them back. A setting the device did not
// take fails with EINVAL, after the former settings have been restored. A
// device whose frame is fixed (`frame_is_fixed`: a pseudo-terminal, always
// eight bits without parity) is not taken to refuse a byte size or parity.
bool ApplyLineSettings(int fd, const LineSettings& settings,
                       bool frame_is_fixed);
