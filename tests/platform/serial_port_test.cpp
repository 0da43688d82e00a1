// The serial part of the platform layer on pseudo-terminals: where COMn
// lives, opening, line settings over termios, and what a pseudo-terminal
// cannot do.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/serial_path.h"
#include "platform/serial_port.h"
#include "platform/sync.h"
#include "tests/support/pty_port.h"

namespace {

HANDLE OpenCom(unsigned number) {
  const std::string path = "\\\\.\\COM" + std::to_string(number);
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

// Runs a test body in another current directory and comes back.
class InDirectory {
 public:
  explicit InDirectory(const std::filesystem::path& path)
      : former_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~InDirectory() { std::filesystem::current_path(former_); }

 private:
  std::filesystem::path former_;
};

TEST(ComPath, TakesOnlyTheDevicePathOfANumberedPort) {
  EXPECT_EQ(ComNumberOfPath("\\\\.\\COM12"), 12u);
  EXPECT_EQ(ComNumberOfPath("\\\\.\\COM4294967295"), 4294967295u);
  EXPECT_FALSE(ComNumberOfPath("\\\\.\\COM4294967296"));
  EXPECT_FALSE(ComNumberOfPath("\\\\.\\COM"));
  EXPECT_FALSE(ComNumberOfPath("\\\\.\\COM3x"));
  EXPECT_FALSE(ComNumberOfPath("COM3"));
  EXPECT_FALSE(ComNumberOfPath("/dev/ttyS0"));
  EXPECT_FALSE(ComNumberOfPath(nullptr));
}

TEST(ComPath, PrefersTheEntryOfThePortsFolderEvenWhenItLeadsNowhere) {
  PortsFolder ports;
  ASSERT_TRUE(ports.Link("COM5", "/nonexistent/device"));
  EXPECT_EQ(ComDevicePath(5), ports.Path() + "/COM5");
  // Without an entry: the PC's own port of that number.
  EXPECT_EQ(ComDevicePath(6), "/dev/ttyS5");
}

TEST(ComPath, FallsBackToThePortsFolderOfTheCurrentDirectory) {
  PortsFolder scratch;  // restores QUORVELIN_PORTS afterwards
  std::filesystem::create_directory(scratch.Path() + "/ports");
  std::ofstream(scratch.Path() + "/ports/COM7").put('x');
  InDirectory in(scratch.Path());
  unsetenv("QUORVELIN_PORTS");
  EXPECT_EQ(ComDevicePath(7), "ports/COM7");
  setenv("QUORVELIN_PORTS", "", 1);
  EXPECT_EQ(ComDevicePath(7), "ports/COM7");
  EXPECT_EQ(ComDevicePath(8), "/dev/ttyS7");
}

TEST(CreateFile, RefusesWhatIsNotAnExistingTerminal) {
  PortsFolder ports;
  ASSERT_TRUE(ports.Link("COM1", "/nonexistent/device"));
  std::ofstream(ports.Path() + "/COM2").put('x');

  EXPECT_EQ(OpenCom(1), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
  EXPECT_EQ(OpenCom(2), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
  EXPECT_EQ(CreateFileA("/dev/null", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
}

TEST(CreateFile, RefusesModesItDoesNotHave) {
  PortsFolder ports;
  PtyPort line(ports, 1);
  ASSERT_TRUE(line.IsReady());
  const DWORD read_write = GENERIC_READ | GENERIC_WRITE;
  EXPECT_EQ(CreateFileA("\\\\.\\COM1", read_write, 0, nullptr, 2, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
  const DWORD overlapped = 0x40000000;
  EXPECT_EQ(CreateFileA("\\\\.\\COM1", read_write, 0, nullptr, OPEN_EXISTING,
                        overlapped, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.IsReady());
    port_ = OpenCom(line_.Number());
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  }

  DCB CurrentState() {
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port_, &dcb)) << GetLastError();
    return dcb;
  }

  PortsFolder ports_;
  PtyPort line_{ports_, 4};
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(SerialPortTest, StateAtOpenIsWhatTheLineHolds) {
  const DCB dcb = CurrentState();
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.BaudRate, 9600u);  // the fixture's speed
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
}

TEST_F(SerialPortTest, TakesStandardAndArbitraryRates) {
  DCB dcb = CurrentState();
  for (DWORD rate : {115200u, 12345u, 250000u, 300u}) {
    dcb.BaudRate = rate;
    ASSERT_TRUE(SetCommState(port_, &dcb)) << rate;
    EXPECT_EQ(CurrentState().BaudRate, rate);
  }
}

TEST_F(SerialPortTest, KeepsWhatTermiosCannotHold) {
  DCB dcb = CurrentState();
  dcb.StopBits = TWOSTOPBITS;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.XonLim = 123;
  dcb.EofChar = 0x1A;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  const DCB back = CurrentState();
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
  EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(back.XonLim, 123);
  EXPECT_EQ(back.EofChar, 0x1A);
}

TEST_F(SerialPortTest, PseudoTerminalKeepsItsFrameWithoutFailing) {
  DCB dcb = CurrentState();
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.fParity = 1;
  EXPECT_TRUE(SetCommState(port_, &dcb)) << GetLastError();
  // What the line really holds.
  EXPECT_EQ(CurrentState().ByteSize, 8);
  EXPECT_EQ(CurrentState().Parity, NOPARITY);
}

TEST_F(SerialPortTest, RefusesSettingsClearlyAndKeepsTheFormerOnes) {
  DCB good = CurrentState();
  good.BaudRate = 19200;
  ASSERT_TRUE(SetCommState(port_, &good));

  struct Refusal {
    const char* what;
    void (*spoil)(DCB&);
    int error;
  };
  const Refusal refusals[] = {
      {"1.5 stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, ENOTSUP},
      {"stop bits 3", [](DCB& d) { d.StopBits = 3; }, EINVAL},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }, EINVAL},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }, EINVAL},
      {"parity 5", [](DCB& d) { d.Parity = 5; }, EINVAL},
      {"rate 0", [](DCB& d) { d.BaudRate = 0; }, EINVAL},
      {"DSR flow", [](DCB& d) { d.fOutxDsrFlow = 1; }, ENOTSUP},
      {"null stripping", [](DCB& d) { d.fNull = 1; }, ENOTSUP},
  };
  for (const Refusal& refusal : refusals) {
    DCB bad = good;
    bad.BaudRate = 38400;
    refusal.spoil(bad);
    EXPECT_FALSE(SetCommState(port_, &bad)) << refusal.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(refusal.error))
        << refusal.what;
    EXPECT_EQ(CurrentState().BaudRate, 19200u) << refusal.what;
  }
}

TEST_F(SerialPortTest, ModemLinesFailWithTheSystemsErrorOnAPseudoTerminal) {
  EXPECT_FALSE(EscapeCommFunction(port_, SETRTS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
  EXPECT_FALSE(EscapeCommFunction(port_, CLRRTS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTTY));
  EXPECT_FALSE(EscapeCommFunction(port_, 99));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
}

TEST_F(SerialPortTest, RtsToggleModeNeedsNoModemLinesToWrite) {
  DCB dcb = CurrentState();
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  ASSERT_TRUE(SetCommState(port_, &dcb)) << GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "\x01\x06", 2, &written, nullptr));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(line_.ReadFar(2, 5000), "\x01\x06");
}

TEST_F(SerialPortTest, ClearCommErrorReportsTheQueues) {
  ASSERT_TRUE(line_.WriteFar("12345"));
  ASSERT_TRUE(line_.WaitUntilQueuedAtGateway(5, 5000));
  DWORD errors = 99;
  COMSTAT status{};
  ASSERT_TRUE(ClearCommError(port_, &errors, &status));
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(status.cbInQue, 5u);
  EXPECT_EQ(status.cbOutQue, 0u);
  ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
  ASSERT_TRUE(ClearCommError(port_, &errors, &status));
  EXPECT_EQ(status.cbInQue, 0u);
}

TEST_F(SerialPortTest, OnlyTheNeverFillingReadRuleIsTaken) {
  COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 500, 0, 700};
  ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  COMMTIMEOUTS other{0, 0, 500, 0, 0};
  EXPECT_FALSE(SetCommTimeouts(port_, &other));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
  COMMTIMEOUTS back{};
  ASSERT_TRUE(GetCommTimeouts(port_, &back));
  EXPECT_EQ(back.ReadTotalTimeoutConstant, 500u);
  EXPECT_EQ(back.WriteTotalTimeoutConstant, 700u);
}

TEST_F(SerialPortTest, ClosingFreesThePortForTheNextOpen) {
  HANDLE second = OpenCom(line_.Number());
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBUSY));
  ASSERT_TRUE(CloseHandle(port_));
  port_ = OpenCom(line_.Number());
  EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST(SerialHandles, OtherHandlesAreNoSerialPorts) {
  HANDLE event = CreateEventA(nullptr, 0, 0, nullptr);
  DCB dcb{};
  EXPECT_FALSE(GetCommState(event, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF));
  DWORD count = 0;
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &dcb, 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBADF));
  EXPECT_FALSE(PurgeComm(nullptr, PURGE_RXCLEAR));
  CloseHandle(event);
}

}  // namespace
