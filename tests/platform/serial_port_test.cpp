// The serial part of the platform layer on pseudo-terminals: where COMn
// lives, what opens, and line settings over termios. Reading, writing and
// the modem lines are tested through SerialIO, as the gateway uses them.
#include <cerrno>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/serial_path.h"
#include "platform/serial_port.h"
#include "platform/serial_termios.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

HANDLE OpenCom(unsigned number, DWORD mode = OPEN_EXISTING, DWORD flags = 0) {
  const std::string path = "\\\\.\\COM" + std::to_string(number);
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     mode, flags, nullptr);
}

TEST(ComPath, TakesOnlyNumberedPortsAndPrefersThePortsFolder) {
  EXPECT_EQ(ComNumberOfPath("\\\\.\\COM4294967295"), 4294967295u);
  for (const char* path : {"\\\\.\\COM4294967296", "\\\\.\\COM", "\\\\.\\COM3x",
                           "COM3", "/dev/ttyS0"}) {
    EXPECT_FALSE(ComNumberOfPath(path)) << path;
  }
  PortsFolder ports;
  ASSERT_TRUE(ports.Link("COM5", "/nonexistent/device"));
  EXPECT_EQ(ComDevicePath(5), ports.Path() + "/COM5");
  EXPECT_EQ(ComDevicePath(6), "/dev/ttyS5");  // the PC's own port
}

TEST(CreateFile, RefusesWhatIsNotAnExistingTerminalAndModesItLacks) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(ports.Link("COM1", "/nonexistent/device"));
  std::ofstream(ports.Path() + "/COM2").put('x');
  const auto refused = [](HANDLE opened, int error) {
    EXPECT_EQ(opened, INVALID_HANDLE_VALUE) << error;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(error));
  };
  refused(OpenCom(1), ENOENT);
  refused(OpenCom(2), ENOTTY);
  refused(OpenCom(3, 2), EINVAL);  // create
  refused(OpenCom(3, OPEN_EXISTING, 0x40000000), EINVAL);  // overlapped
}

TEST(CommState, KeepsWhatTermiosCannotHoldAndRefusesBadSettingsWhole) {
  PortsFolder ports;
  PtyPort line(ports, 4);
  ASSERT_TRUE(line.IsReady());
  HANDLE port = OpenCom(line.Number());
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.BaudRate = 12345;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.XonLim = 123;
  ASSERT_TRUE(SetCommState(port, &dcb));
  const struct {
    void (*spoil)(DCB&);
    int error;
  } refusals[] = {
      {[](DCB& d) { d.StopBits = ONE5STOPBITS; }, ENOTSUP},
      {[](DCB& d) { d.ByteSize = 9; }, EINVAL},
      {[](DCB& d) { d.Parity = 5; }, EINVAL},
      {[](DCB& d) { d.BaudRate = 0; }, EINVAL},
      {[](DCB& d) { d.fOutxDsrFlow = 1; }, ENOTSUP},
  };
  for (const auto& refusal : refusals) {
    DCB bad = dcb;
    bad.XonLim = 7;
    refusal.spoil(bad);
    EXPECT_FALSE(SetCommState(port, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(refusal.error));
  }
  DCB back{};
  ASSERT_TRUE(GetCommState(port, &back));
  EXPECT_EQ(back.BaudRate, 12345u);
  EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(back.XonLim, 123);
  CloseHandle(port);
}

// A pseudo-terminal always reports eight bits without parity, so the frame
// is checked where it is written into termios.
TEST(LineSettingsInTermios, FrameReachesTheControlFlags) {
  const struct {
    BYTE byte_size;
    BYTE parity;
    bool two_stop_bits;
    tcflag_t expected;
  } frames[] = {
      {7, EVENPARITY, true, CS7 | PARENB | CSTOPB},
      {8, ODDPARITY, false, CS8 | PARENB | PARODD},
      {8, NOPARITY, true, CS8 | CSTOPB},
      {5, NOPARITY, false, CS5},
  };
  for (const auto& frame : frames) {
    SCOPED_TRACE(static_cast<int>(frame.byte_size) * 100 + frame.parity * 10 +
                 frame.two_stop_bits);
    LineSettings settings;
    settings.baud_rate = 9600;
    settings.byte_size = frame.byte_size;
    settings.parity = frame.parity;
    settings.two_stop_bits = frame.two_stop_bits;
    // Start from the opposite frame, so that nothing passes by staying.
    termios2 line{};
    line.c_cflag = CS6 | PARENB | PARODD | CMSPAR | CSTOPB | CREAD | CLOCAL;
    PutLineSettings(settings, line);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
              frame.expected);
    EXPECT_EQ(line.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
  }
}

}  // namespace
