#include "platform/serial_line.h"

// First: the kernel's termios definitions (termios2, BOTHER) in place of
// glibc's <termios.h>.
#include "platform/serial_termios.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

#include "platform/serial_port.h"

namespace {

struct StandardRate {
  DWORD rate;
  tcflag_t code;
};

// Rates with a code of their own; drivers that predate arbitrary rates
// understand these, so they are preferred to BOTHER.
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},
    {134, B134},         {150, B150},         {200, B200},
    {300, B300},         {600, B600},         {1200, B1200},
    {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},
    {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kFrameFlags = CSIZE | PARENB | PARODD | CMSPAR;
constexpr tcflag_t kCheckedControlFlags = kFrameFlags | CSTOPB | CRTSCTS;
constexpr tcflag_t kCheckedInputFlags = INPCK | IXON | IXOFF;

bool Get(int fd, termios2& line) { return ioctl(fd, TCGETS2, &line) == 0; }
bool Set(int fd, const termios2& line) {
  return ioctl(fd, TCSETS2, &line) == 0;
}

void SetSpeed(termios2& line, DWORD rate) {
  tcflag_t code = BOTHER;
  for (const StandardRate& standard : kStandardRates) {
    if (standard.rate == rate) code = standard.code;
  }
  // Input speed bits zero: the input runs at the output's speed.
  line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  line.c_cflag |= code;
  line.c_ospeed = rate;
  line.c_ispeed = rate;
}

tcflag_t ByteSizeFlag(BYTE byte_size) {
  switch (byte_size) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

BYTE ByteSizeOf(tcflag_t control) {
  switch (control & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

tcflag_t ParityFlags(BYTE parity) {
  switch (parity) {
    case ODDPARITY: return PARENB | PARODD;
    case EVENPARITY: return PARENB;
    case MARKPARITY: return PARENB | CMSPAR | PARODD;
    case SPACEPARITY: return PARENB | CMSPAR;
    default: return 0;
  }
}

BYTE ParityOf(tcflag_t control) {
  if ((control & PARENB) == 0) return NOPARITY;
  const bool odd = (control & PARODD) != 0;
  if ((control & CMSPAR) != 0) return odd ? MARKPARITY : SPACEPARITY;
  return odd ? ODDPARITY : EVENPARITY;
}

void SetFlag(tcflag_t& flags, tcflag_t flag, bool on) {
  if (on) {
    flags |= flag;
  } else {
    flags &= ~flag;
  }
}

// Drivers may round an arbitrary rate to what their clock divides to; a
// UART copes with 2 % between the two ends.
bool SpeedTaken(DWORD wanted, DWORD actual) {
  const long long difference =
      std::llabs(static_cast<long long>(wanted) - static_cast<long long>(actual));
  return difference * 50 <= static_cast<long long>(wanted);
}

bool SettingsTaken(const termios2& wanted, const termios2& actual,
                   bool frame_is_fixed) {
  const tcflag_t control_mask =
      frame_is_fixed ? kCheckedControlFlags & ~kFrameFlags
                     : kCheckedControlFlags;
  return SpeedTaken(wanted.c_ospeed, actual.c_ospeed) &&
         (wanted.c_cflag & control_mask) == (actual.c_cflag & control_mask) &&
         (wanted.c_iflag & kCheckedInputFlags) ==
             (actual.c_iflag & kCheckedInputFlags) &&
         wanted.c_cc[VSTART] == actual.c_cc[VSTART] &&
         wanted.c_cc[VSTOP] == actual.c_cc[VSTOP];
}

}  // namespace

bool MakeLineRaw(int fd) {
  termios2 line;
  if (!Get(fd, line)) return false;
  line.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP |
                    INLCR | IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF |
                    IMAXBEL);
  line.c_oflag &= ~OPOST;
  line.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN |
                    NOFLSH | TOSTOP);
  line.c_cflag &= ~CRTSCTS;
  line.c_cflag |= CLOCAL | CREAD;
  // With the descriptor non-blocking, VMIN 1 makes an empty queue EAGAIN
  // and keeps a read of 0 bytes for end of file (a hung-up line).
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  return Set(fd, line);
}

bool ReadLineSettings(int fd, LineSettings& settings) {
  termios2 line;
  if (!Get(fd, line)) return false;
  settings.baud_rate = line.c_ospeed;
  settings.byte_size = ByteSizeOf(line.c_cflag);
  settings.parity = ParityOf(line.c_cflag);
  settings.two_stop_bits = (line.c_cflag & CSTOPB) != 0;
  settings.check_parity = (line.c_iflag & INPCK) != 0;
  settings.cts_flow = (line.c_cflag & CRTSCTS) != 0;
  settings.xon_output = (line.c_iflag & IXON) != 0;
  settings.xon_input = (line.c_iflag & IXOFF) != 0;
  settings.xon_char = static_cast<char>(line.c_cc[VSTART]);
  settings.xoff_char = static_cast<char>(line.c_cc[VSTOP]);
  return true;
}

void PutLineSettings(const LineSettings& settings, termios2& line) {
  SetSpeed(line, settings.baud_rate);
  line.c_cflag &= ~(kFrameFlags | CSTOPB);
  line.c_cflag |= ByteSizeFlag(settings.byte_size) |
                  ParityFlags(settings.parity) |
                  (settings.two_stop_bits ? CSTOPB : 0);
  SetFlag(line.c_cflag, CRTSCTS, settings.cts_flow);
  SetFlag(line.c_iflag, INPCK, settings.check_parity);
  SetFlag(line.c_iflag, IXON, settings.xon_output);
  SetFlag(line.c_iflag, IXOFF, settings.xon_input);
  line.c_cc[VSTART] = static_cast<cc_t>(settings.xon_char);
  line.c_cc[VSTOP] = static_cast<cc_t>(settings.xoff_char);
}

bool ApplyLineSettings(int fd, const LineSettings& settings,
                       bool frame_is_fixed) {
  termios2 former;
  if (!Get(fd, former)) return false;
  termios2 wanted = former;
  PutLineSettings(settings, wanted);

  // Drivers change what they cannot do instead of failing, so the answer
  // is in what the line holds afterwards, not in the call's result.
  const bool set = Set(fd, wanted);
  const int set_error = errno;
  termios2 actual;
  if (!Get(fd, actual)) return false;
  if (SettingsTaken(wanted, actual, frame_is_fixed)) return true;
  Set(fd, former);
  errno = set ? EINVAL : set_error;
  return false;
}
