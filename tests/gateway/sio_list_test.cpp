// The port table over pseudo-terminal ports, with the shipped configuration
// and error-text files copied to a temporary current folder: opening in the
// configured order, the line set-up, the unit-id lists, what a failure
// leaves behind and says, and the locks of ports used from many threads.
#include <chrono>
#include <cstring>
#include <fstream>
#include <latch>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/error_message_db.h"
#include "common/setting.h"
#include "gateway/sio_list.h"
#include "platform/serial_port.h"
#include "platform/sync.h"
#include "platform/wait.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One port's section of the configuration.
struct PortSection {
  std::string name;
  std::string ids;  // SlaveAddrList
  std::string parity = "even";
  std::string stop_bits = "1";
  std::string baudrate = "19200";
  std::string byte_size = "8";
  std::string tx_timeout = "500";
  std::string rx_timeout = "500";
  std::string rts_delay = "0";
};

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string ConfigText(const std::vector<PortSection>& ports) {
  std::string list, sections;
  for (const PortSection& port : ports) {
    list += (list.empty() ? "" : ", ") + port.name;
    sections += "[" + port.name + "]\nBaudrate=" + port.baudrate +
                "\nParity=" + port.parity + "\nByteSize=" + port.byte_size +
                "\nStopBits=" + port.stop_bits + "\nSlaveAddrList=" + port.ids +
                "\nRtsDelay=" + port.rts_delay + "\nTxTimeout=" +
                port.tx_timeout + "\nRxTimeout=" + port.rx_timeout + "\n";
  }
  return "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\nTxTimeout=1000\n"
         "RxTimeout=1000\nMaxConnections=8\nSerialPorts=" + list +
         "\n[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n" + sections;
}

// The shipped error texts without one line (found by its start).
std::string ErrorTextsWithout(const std::string& line_start) {
  std::string text = ReadText(SourceConfigPath("ErrorMsg_EN.ini"));
  const std::size_t at = text.find("\n" + line_start);
  EXPECT_NE(at, std::string::npos) << line_start;
  if (at != std::string::npos) {
    text.erase(at + 1, text.find('\n', at + 1) - at);
  }
  return text;
}

class SioListTest : public ::testing::Test {
 protected:
  // The program's order: the port table, the configuration, the error
  // texts; destroyed the other way round.
  void SetUp() override {
    dir.CopyConfig("ErrorMsg_EN.ini");
    InitSioListGlobals();
    gSetting.Build();
    gErrMsgDB.Build();
  }
  void TearDown() override {
    gErrMsgDB.Destroy();
    gSetting.Destroy();
    ExitSioListGlobals();
  }

  PtyPort& Line(unsigned number) {
    lines.push_back(std::make_unique<PtyPort>(ports, number));
    EXPECT_TRUE(lines.back()->IsReady());
    return *lines.back();
  }

  // Loads a configuration of these ports and opens it.
  int Open(const std::vector<PortSection>& sections) {
    gSioList->Close();
    gSetting->Unload();
    dir.Write("Quorvelin.ini", ConfigText(sections));
    const int loaded = gSetting->Load();
    EXPECT_EQ(loaded, kSettingOk) << gSetting->GetErrorText();
    if (loaded != kSettingOk) return loaded;
    return gSioList->Open(*gSetting);
  }

  // The port serving `id`, locked and unlocked at once on this thread;
  // null when the lock fails, with its code in `error`.
  SIO_Item* PortOf(int id, int& error) {
    SIO_Item* item = gSioList->Locks().Lock(id, error);
    if (item != nullptr) {
      EXPECT_EQ(gSioList->Locks().Unlock(id), kGroupLockOk);
    }
    return item;
  }
  std::string NameOf(int id) {
    int error = 0;
    SIO_Item* item = PortOf(id, error);
    return item != nullptr ? item->name.str()
                           : "error " + std::to_string(error);
  }

  // True when another user can open the port now, i.e. the table holds it
  // closed or not at all.
  static bool IsFree(const PtyPort& line) {
    SerialIO probe;
    return probe.Open(line.Name().c_str());
  }

  TempDir dir;
  ScopedChdir in_dir{dir.path()};
  PortsFolder ports;
  std::vector<std::unique_ptr<PtyPort>> lines;
};

TEST_F(SioListTest, OpensEveryPortWithTheLineSettingsOfItsSection) {
  PtyPort& com3_line = Line(3);
  PtyPort& com4_line = Line(4);
  // What opening gives a port, before the table sets it up.
  DCB opened{};
  {
    PtyPort& fresh = Line(5);
    SerialIO probe;
    ASSERT_TRUE(probe.Open(fresh.Name().c_str())) << probe.ErrorText();
    ASSERT_TRUE(probe.GetDCB(opened));
  }
  ASSERT_EQ(Open({{.name = "COM3", .ids = "1", .rx_timeout = "100"},
                  {.name = "COM4",
                   .ids = "2",
                   .parity = "none",
                   .stop_bits = "2",
                   .baudrate = "115200",
                   .rts_delay = "10"}}),
            kComListOk)
      << gSioList->ErrorText();
  EXPECT_STREQ(gSioList->ErrorText(), "");
  EXPECT_FALSE(IsFree(com3_line));
  EXPECT_FALSE(IsFree(com4_line));
  int error = 0;
  SIO_Item* com3 = PortOf(1, error);
  SIO_Item* com4 = PortOf(2, error);
  EXPECT_EQ(com4->RtsDelay, 10u);
  EXPECT_EQ(com3->port->WriteAll("to three", 8), 8);
  EXPECT_EQ(com3_line.ReadFar(8, 5000), "to three");
  DCB even{}, none{};
  ASSERT_TRUE(com3->port->GetDCB(even));
  ASSERT_TRUE(com4->port->GetDCB(none));

  // Every field the table sets; without an RTS delay the driver switches
  // RTS around each write.
  DCB expected = opened;
  expected.BaudRate = 19200;
  expected.fBinary = 1;
  expected.fParity = 1;
  expected.fOutxCtsFlow = expected.fOutxDsrFlow = 0;
  expected.fDtrControl = DTR_CONTROL_HANDSHAKE;
  expected.fDsrSensitivity = expected.fTXContinueOnXoff = 0;
  expected.fOutX = expected.fInX = expected.fErrorChar = expected.fNull = 0;
  expected.fRtsControl = RTS_CONTROL_TOGGLE;
  expected.fAbortOnError = 0;
  expected.ByteSize = 8;
  expected.Parity = EVENPARITY;
  expected.StopBits = ONESTOPBIT;
  EXPECT_EQ(std::memcmp(&even, &expected, sizeof(DCB)), 0);
  expected.BaudRate = 115200;
  expected.fParity = 0;
  expected.Parity = NOPARITY;
  expected.StopBits = TWOSTOPBITS;
  expected.fRtsControl = RTS_CONTROL_ENABLE;
  EXPECT_EQ(std::memcmp(&none, &expected, sizeof(DCB)), 0);

  // The port's read time-out, far from the 3 s that an open port starts with.
  char buffer[16];
  const auto start = Clock::now();
  EXPECT_EQ(com3->port->Read(buffer, sizeof buffer), 0);
  const auto waited = Clock::now() - start;
  EXPECT_STREQ(com3->port->ErrorText(), "read time-out\n");
  EXPECT_GE(waited, milliseconds(80));
  EXPECT_LT(waited, milliseconds(2000));
}

TEST_F(SioListTest, AFailingSecondPortLeavesTheFirstOpenUntilClose) {
  PtyPort& com3 = Line(3);
  ASSERT_TRUE(ports.Link("COM4", dir.File("no-such-device")));
  EXPECT_EQ(
      Open({{.name = "COM3", .ids = "1-2"}, {.name = "COM4", .ids = "3"}}),
      kComListOpenFailed);
  EXPECT_STREQ(gSioList->ErrorText(), "can't open serial port COM4");
  // The first port is still open, listed and mapped; the second is not.
  EXPECT_FALSE(IsFree(com3));
  EXPECT_EQ(NameOf(2), "COM3");
  EXPECT_EQ(NameOf(3), "error -3");

  gSioList->Close();
  EXPECT_TRUE(IsFree(com3));
  for (int id : {1, 2, 3}) EXPECT_EQ(NameOf(id), "error -3") << id;
  EXPECT_STREQ(gSioList->ErrorText(), "can't open serial port COM4");

  // The table is as good as new, and a good Open leaves the text alone.
  ASSERT_EQ(Open({{.name = "COM3", .ids = "3"}}), kComListOk);
  EXPECT_EQ(NameOf(3), "COM3");
  EXPECT_EQ(NameOf(1), "error -3");
  EXPECT_STREQ(gSioList->ErrorText(), "can't open serial port COM4");
}

TEST_F(SioListTest, FailureTextsFallBackWhenTheErrorFileLacksThem) {
  PtyPort& com3 = Line(3);
  PtyPort& com4 = Line(4);
  // One and a half stop bits cannot be set on this system.
  const std::vector<PortSection> bad_line = {
      {.name = "COM3", .ids = "1"},
      {.name = "COM4", .ids = "2", .stop_bits = "1.5"}};

  ASSERT_EQ(Open(bad_line), kComListSetupFailed);
  EXPECT_STREQ(gSioList->ErrorText(),
               "can't apply the line settings of serial port COM4");
  EXPECT_TRUE(IsFree(com4));  // the failing port is closed at once
  EXPECT_FALSE(IsFree(com3));

  dir.Write("ErrorMsg_EN.ini", ErrorTextsWithout("-2=can't apply"));
  ASSERT_EQ(Open(bad_line), kComListSetupFailed);
  EXPECT_STREQ(gSioList->ErrorText(), "COM4:");
  EXPECT_EQ(NameOf(1), "COM3");

  // Without a text for -1 the text stays as the last failure left it.
  dir.Write("ErrorMsg_EN.ini", ErrorTextsWithout("-1=can't open serial"));
  ASSERT_TRUE(ports.Link("COM6", dir.File("no-such-device")));
  EXPECT_EQ(Open({{.name = "COM3", .ids = "1"}, {.name = "COM6", .ids = "2"}}),
            kComListOpenFailed);
  EXPECT_STREQ(gSioList->ErrorText(), "COM4:");
}

// COM3 serves 100-110; COM4 the list of each case.
TEST_F(SioListTest, UnitIdListsRouteTheirIdsInAnyWrittenForm) {
  Line(3);
  Line(4);
  const std::pair<const char*, std::set<int>> lists[] = {
      {"1, 3-5", {1, 3, 4, 5}},
      {"9,\t2 ,, 4-6", {2, 4, 5, 6, 9}},
      {"0", {0}},
      {"255", {255}},
      {"254-255", {254, 255}},
      {"007, 010-012", {7, 10, 11, 12}},
      {"0000000000000000000042", {42}},
      {"", {}},
      {" ,\t, ", {}},
  };
  for (const auto& [list, ids] : lists) {
    SCOPED_TRACE(list);
    ASSERT_EQ(Open({{.name = "COM3", .ids = "100-110"},
                    {.name = "COM4", .ids = list}}),
              kComListOk)
        << gSioList->ErrorText();
    for (int id = 0; id <= 255; ++id) {
      const char* expected = ids.count(id) != 0           ? "COM4"
                             : id >= 100 && id <= 110 ? "COM3"
                                                      : "error -3";
      ASSERT_EQ(NameOf(id), expected) << id;
    }
  }
}

TEST_F(SioListTest, BadUnitIdListsAreRefusedWithThePortsName) {
  PtyPort& com3 = Line(3);
  PtyPort& com4 = Line(4);
  for (const char* list :
       {"1 - 3", "1;2", "-", "1-", "-3", "a", "0x10", "+5", "1-2-3", "1..3",
        "\xd9\xa3" /* an Arabic-Indic digit is no \d here */, "5a",
        // out of range, and never wrapped round to a small id
        "256", "0-256", "300-301", "4294967303", "4294967296-4294967297",
        "99999999999999999999",
        // ranges ascend; an id is listed once, on one port only
        "5-5", "9-3", "255-255", "1,1", "1-3,2", "2,1-3", "1-3 3-4", "007, 7",
        "100", "99-101"}) {
    SCOPED_TRACE(list);
    EXPECT_EQ(Open({{.name = "COM3", .ids = "100-110"},
                    {.name = "COM4", .ids = list}}),
              kComListBadSlaveAddrList);
    EXPECT_STREQ(gSioList->ErrorText(),
                 "serial port COM4: bad SlaveAddrList (ids 0 to 255 or "
                 "ascending ranges such as 1-5, each id on one port only)");
    EXPECT_EQ(NameOf(105), "COM3");
    EXPECT_FALSE(IsFree(com3));
    EXPECT_TRUE(IsFree(com4));
    for (int id : {1, 2, 3, 5, 7, 9}) EXPECT_EQ(NameOf(id), "error -3") << id;
  }
}

TEST_F(SioListTest, AnIdOfTwoPortsFailsTheLaterPortAsWritten) {
  Line(3);
  PtyPort& com4 = Line(4);
  EXPECT_EQ(
      Open({{.name = "COM4", .ids = "1-3"}, {.name = "COM3", .ids = "3"}}),
      kComListBadSlaveAddrList);
  EXPECT_EQ(std::string(gSioList->ErrorText()).rfind("serial port COM3:", 0),
            0u)
      << gSioList->ErrorText();
  EXPECT_FALSE(IsFree(com4));
  EXPECT_EQ(NameOf(3), "COM4");
}

TEST_F(SioListTest, OnePortSerialisesWhileAnotherServesInParallel) {
  Line(3);
  PtyPort& com4 = Line(4);
  // COM3 may be waited for 5 + 20 + 25 = 50 ms.
  ASSERT_EQ(Open({{.name = "COM3",
                   .ids = "1-5",
                   .tx_timeout = "20",
                   .rx_timeout = "25",
                   .rts_delay = "5"},
                  {.name = "COM4", .ids = "10"}}),
            kComListOk)
      << gSioList->ErrorText();
  GroupLock<SIO_Item>& locks = gSioList->Locks();
  int error = 1;
  ASSERT_NE(locks.Lock(1, error), nullptr);  // held by this thread

  // Other threads: one waits for COM3 in vain, one uses COM4 meanwhile.
  int same_port_error = 0;
  Clock::duration same_port_wait{};
  std::thread([&] {
    const auto start = Clock::now();
    EXPECT_EQ(locks.Lock(5, same_port_error), nullptr);
    same_port_wait = Clock::now() - start;
  }).join();
  int other_port_written = 0;
  std::thread([&] {
    if (SIO_Item* item = locks.Lock(10, error)) {
      other_port_written = item->port->WriteAll("meanwhile", 9);
      locks.Unlock(10);
    }
  }).join();
  locks.Unlock(1);

  EXPECT_EQ(same_port_error, kGroupLockTimeout);
  EXPECT_GE(same_port_wait, milliseconds(45));
  EXPECT_EQ(other_port_written, 9);
  EXPECT_EQ(com4.ReadFar(9, 5000), "meanwhile");
  EXPECT_EQ(NameOf(5), "COM3");  // free again once released
}

TEST_F(SioListTest, HugeTimeoutsDoNotWrapIntoAShortWait) {
  Line(3);
  // 4294967295 + 1001 would wrap round to a wait of 1000 ms.
  ASSERT_EQ(Open({{.name = "COM3",
                   .ids = "1-2",
                   .tx_timeout = "4294967295",
                   .rx_timeout = "1001"}}),
            kComListOk)
      << gSioList->ErrorText();
  GroupLock<SIO_Item>& locks = gSioList->Locks();
  int error = 1;
  ASSERT_NE(locks.Lock(1, error), nullptr);
  std::latch waiting(1);
  int waiter_error = 1;
  std::thread waiter([&] {
    waiting.count_down();
    if (locks.Lock(2, waiter_error) != nullptr) locks.Unlock(2);
  });
  waiting.wait();
  std::this_thread::sleep_for(milliseconds(1500));
  locks.Unlock(1);
  waiter.join();
  EXPECT_EQ(waiter_error, kGroupLockOk);
}

}  // namespace
