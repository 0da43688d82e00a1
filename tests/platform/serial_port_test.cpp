// The serial part of the platform layer on pseudo-terminals: where COMn
// lives, what opens, and line settings over termios. Reading, writing and
// the modem lines are tested through SerialIO, as the gateway uses them.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/serial_path.h"
#include "platform/serial_port.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

HANDLE OpenCom(unsigned number, DWORD mode = OPEN_EXISTING, DWORD flags = 0) {
  const std::string path = "\\\\.\\COM" + std::to_string(number);
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     mode, flags, nullptr);
}

TEST(ComPath, TakesOnlyTheDevicePathOfANumberedPort) {
  EXPECT_EQ(ComNumberOfPath("\\\\.\\COM12"), 12u);
  EXPECT_EQ(ComNumberOfPath("\\\\.\\COM4294967295"), 4294967295u);
  for (const char* path : {"\\\\.\\COM4294967296", "\\\\.\\COM", "\\\\.\\COM3x",
                           "COM3", "/dev/ttyS0"}) {
    EXPECT_FALSE(ComNumberOfPath(path)) << path;
  }
  EXPECT_FALSE(ComNumberOfPath(nullptr));
}

TEST(ComPath, PrefersAnEntryOfThePortsFolderEvenWhenItLeadsNowhere) {
  PortsFolder ports;
  ASSERT_TRUE(ports.Link("COM5", "/nonexistent/device"));
  EXPECT_EQ(ComDevicePath(5), ports.Path() + "/COM5");
  EXPECT_EQ(ComDevicePath(6), "/dev/ttyS5");  // the PC's own port

  // Without QUORVELIN_PORTS (or with it empty): ./ports.
  std::filesystem::create_directory(ports.Path() + "/ports");
  std::ofstream(ports.Path() + "/ports/COM7").put('x');
  ScopedChdir in(ports.Path());
  for (const bool unset : {true, false}) {
    unset ? unsetenv("QUORVELIN_PORTS") : setenv("QUORVELIN_PORTS", "", 1);
    EXPECT_EQ(ComDevicePath(7), "ports/COM7");
    EXPECT_EQ(ComDevicePath(8), "/dev/ttyS7");
  }
}

// The error of the open that was just refused.
void ExpectRefused(const char* what, HANDLE opened, int error) {
  EXPECT_EQ(opened, INVALID_HANDLE_VALUE) << what;
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)) << what;
}

TEST(CreateFile, RefusesWhatIsNotAnExistingTerminalAndModesItLacks) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(ports.Link("COM1", "/nonexistent/device"));
  std::ofstream(ports.Path() + "/COM2").put('x');
  ExpectRefused("missing", OpenCom(1), ENOENT);
  ExpectRefused("plain file", OpenCom(2), ENOTTY);
  ExpectRefused("no COM path",
                CreateFileA("/dev/null", GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr),
                ENOENT);
  ExpectRefused("create", OpenCom(3, 2), EINVAL);
  ExpectRefused("overlapped", OpenCom(3, OPEN_EXISTING, 0x40000000), EINVAL);
}

class CommState : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.IsReady());
    port_ = OpenCom(line_.Number());
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
  }
  void TearDown() override { CloseHandle(port_); }

  DCB Current() {
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port_, &dcb)) << GetLastError();
    return dcb;
  }

  PortsFolder ports_;
  PtyPort line_{ports_, 4};
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(CommState, ReadsTheLineAndKeepsWhatTermiosCannotHold) {
  DCB dcb = Current();
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.BaudRate, 9600u);  // the fixture's speed
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fOutxCtsFlow + dcb.fOutX + dcb.fInX, 0u);
  for (DWORD rate : {115200u, 12345u, 250000u, 300u}) {
    dcb.BaudRate = rate;
    ASSERT_TRUE(SetCommState(port_, &dcb)) << rate;
    EXPECT_EQ(Current().BaudRate, rate);
  }
  dcb.StopBits = TWOSTOPBITS;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.XonLim = 123;
  dcb.EofChar = 0x1A;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  const DCB back = Current();
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
  EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(back.XonLim, 123);
  EXPECT_EQ(back.EofChar, 0x1A);
}

// A pseudo-terminal forces 8 bits without parity; a 7E1 port still opens.
TEST_F(CommState, PseudoTerminalKeepsItsFrameWithoutFailing) {
  DCB dcb = Current();
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.fParity = 1;
  EXPECT_TRUE(SetCommState(port_, &dcb)) << GetLastError();
  EXPECT_EQ(Current().ByteSize, 8);
  EXPECT_EQ(Current().Parity, NOPARITY);
}

TEST_F(CommState, RefusesSettingsClearlyAndKeepsTheFormerOnes) {
  DCB good = Current();
  good.BaudRate = 19200;
  ASSERT_TRUE(SetCommState(port_, &good));
  const struct {
    const char* what;
    void (*spoil)(DCB&);
    int error;
  } refusals[] = {
      {"1.5 stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, ENOTSUP},
      {"stop bits 3", [](DCB& d) { d.StopBits = 3; }, EINVAL},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }, EINVAL},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }, EINVAL},
      {"parity 5", [](DCB& d) { d.Parity = 5; }, EINVAL},
      {"rate 0", [](DCB& d) { d.BaudRate = 0; }, EINVAL},
      {"DSR flow", [](DCB& d) { d.fOutxDsrFlow = 1; }, ENOTSUP},
      {"null stripping", [](DCB& d) { d.fNull = 1; }, ENOTSUP},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    DCB bad = good;
    bad.BaudRate = 38400;
    refusal.spoil(bad);
    EXPECT_FALSE(SetCommState(port_, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(refusal.error));
    EXPECT_EQ(Current().BaudRate, 19200u);
  }
}

}  // namespace
