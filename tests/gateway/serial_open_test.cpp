// SerialIO: opening by name and number, exclusive use across processes,
// line settings as the port table applies them, and the error texts.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "gateway/serial_io.h"
#include "platform/serial_port.h"
#include "tests/support/pty_port.h"

namespace {

std::string SystemText(int code) { return std::strerror(code); }

TEST(SerialOpen, OpensByNameAndByNumber) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(line.IsReady());
  {
    SerialIO io;
    ASSERT_TRUE(io.Open("COM3")) << io.ErrorText();
    EXPECT_EQ(io.WriteAll("by name", 7), 7);
    EXPECT_EQ(line.ReadFar(7, 5000), "by name");
  }
  SerialIO io;
  ASSERT_TRUE(io.OpenByNumber(3)) << io.ErrorText();
  EXPECT_EQ(io.WriteAll("by number", 9), 9);
  EXPECT_EQ(line.ReadFar(9, 5000), "by number");
}

TEST(SerialOpen, NameCountsOnlyItsLeadingNumber) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(line.IsReady());
  SerialIO io;
  ASSERT_TRUE(io.Open("COM3x")) << io.ErrorText();
  EXPECT_EQ(io.WriteAll("3", 1), 1);
  EXPECT_EQ(line.ReadFar(1, 5000), "3");
}

TEST(SerialOpen, NameWithoutANumberOpensNothing) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(line.IsReady());
  for (const char* name : {"com3", "Port3", "COM", "", "3"}) {
    SerialIO io;
    EXPECT_FALSE(io.Open(name)) << name;
    EXPECT_EQ(io.ErrorText(), SystemText(ENODEV)) << name;
    DCB dcb;
    EXPECT_FALSE(io.GetDCB(dcb)) << name;
  }
  SerialIO io;
  EXPECT_FALSE(io.Open(nullptr));
}

TEST(SerialOpen, AnotherNumberIsAnotherPort) {
  PortsFolder ports;
  PtyPort line(ports, 3);
  ASSERT_TRUE(ports.Link("COM13", "/nonexistent/ttyUSB9"));
  SerialIO io;
  EXPECT_FALSE(io.Open("COM13"));
  EXPECT_EQ(io.ErrorText(), SystemText(ENOENT));
  DCB dcb;
  EXPECT_FALSE(io.GetDCB(dcb));
}

TEST(SerialOpen, SecondOpenInTheSameProcessIsBusy) {
  PortsFolder ports;
  PtyPort line(ports, 2);
  ASSERT_TRUE(line.IsReady());
  auto first = std::make_unique<SerialIO>();
  ASSERT_TRUE(first->Open("COM2"));
  SerialIO second;
  EXPECT_FALSE(second.Open("COM2"));
  EXPECT_EQ(second.ErrorText(), SystemText(EBUSY));
  first.reset();
  SerialIO third;
  EXPECT_TRUE(third.Open("COM2")) << third.ErrorText();
}

// The child's verdict on its own open, as its exit status.
enum ChildOutcome { kBusy = 10, kOpened = 11, kOtherFailure = 12 };

int ChildOutcomeOf(SerialIO& io, const char* name) {
  if (io.Open(name)) return kOpened;
  return std::strcmp(io.ErrorText(), std::strerror(EBUSY)) == 0
             ? kBusy
             : kOtherFailure;
}

int WaitForChild(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SerialOpen, PortHeldHereIsBusyForAnotherProcess) {
  PortsFolder ports;
  PtyPort line(ports, 5);
  ASSERT_TRUE(line.IsReady());
  SerialIO io;
  ASSERT_TRUE(io.Open("COM5"));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SerialIO other;
    _exit(ChildOutcomeOf(other, "COM5"));
  }
  EXPECT_EQ(WaitForChild(child), kBusy);
}

TEST(SerialOpen, PortHeldByAnotherProcessIsBusyHereUntilItEnds) {
  PortsFolder ports;
  PtyPort line(ports, 6);
  ASSERT_TRUE(line.IsReady());
  int opened[2];
  int release[2];
  ASSERT_EQ(pipe(opened), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SerialIO held;
    const char outcome = static_cast<char>(ChildOutcomeOf(held, "COM6"));
    (void)!write(opened[1], &outcome, 1);
    char go;
    (void)!read(release[0], &go, 1);
    _exit(0);
  }
  char outcome = 0;
  ASSERT_EQ(read(opened[0], &outcome, 1), 1);
  ASSERT_EQ(outcome, kOpened);
  {
    SerialIO io;
    EXPECT_FALSE(io.Open("COM6"));
    EXPECT_EQ(io.ErrorText(), SystemText(EBUSY));
  }
  ASSERT_EQ(write(release[1], "x", 1), 1);
  EXPECT_EQ(WaitForChild(child), 0);
  SerialIO io;
  EXPECT_TRUE(io.Open("COM6")) << io.ErrorText();
  for (int fd : {opened[0], opened[1], release[0], release[1]}) close(fd);
}

class SerialSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.IsReady());
    ASSERT_TRUE(io_.Open(line_.Name().c_str())) << io_.ErrorText();
  }

  // The fields that the port table sets, on top of what the port had.
  DCB TableSettings(DWORD baud, BYTE parity, BYTE byte_size, BYTE stop_bits,
                    bool rts_delay) {
    DCB dcb;
    io_.GetDCB(dcb);
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fParity = parity != NOPARITY;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = rts_delay ? RTS_CONTROL_ENABLE : RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = byte_size;
    dcb.Parity = parity;
    dcb.StopBits = stop_bits;
    return dcb;
  }

  PortsFolder ports_;
  PtyPort line_{ports_, 8};
  SerialIO io_;
};

TEST_F(SerialSettings, TableSettingsApplyAndAreCached) {
  for (bool rts_delay : {false, true}) {
    const DCB wanted = TableSettings(19200, EVENPARITY, 8, ONESTOPBIT,
                                     rts_delay);
    ASSERT_TRUE(io_.SetDCB(wanted)) << io_.ErrorText();
    DCB cached;
    ASSERT_TRUE(io_.GetDCB(cached));
    EXPECT_EQ(std::memcmp(&cached, &wanted, sizeof(DCB)), 0);
  }
  EXPECT_TRUE(io_.SetDCB(TableSettings(31250, NOPARITY, 8, TWOSTOPBITS, 0)));
  EXPECT_EQ(io_.WriteAll("ok", 2), 2);
  EXPECT_EQ(line_.ReadFar(2, 5000), "ok");
}

TEST_F(SerialSettings, RefusedSettingsFailWithTheirTextAndKeepTheCache) {
  const DCB good = TableSettings(9600, NOPARITY, 8, ONESTOPBIT, false);
  ASSERT_TRUE(io_.SetDCB(good));
  EXPECT_FALSE(io_.SetDCB(TableSettings(9600, NOPARITY, 8, ONE5STOPBITS, 0)));
  EXPECT_EQ(io_.ErrorText(), SystemText(ENOTSUP));
  EXPECT_FALSE(io_.SetDCB(TableSettings(9600, NOPARITY, 9, ONESTOPBIT, 0)));
  EXPECT_EQ(io_.ErrorText(), SystemText(EINVAL));
  DCB cached;
  ASSERT_TRUE(io_.GetDCB(cached));
  EXPECT_EQ(std::memcmp(&cached, &good, sizeof(DCB)), 0);
}

TEST_F(SerialSettings, RtsFailsOnALineWithoutModemLines) {
  EXPECT_FALSE(io_.SetRTS(true));
  EXPECT_EQ(io_.ErrorText(), SystemText(ENOTTY));
  EXPECT_FALSE(io_.SetRTS(false));
}


}  // namespace
