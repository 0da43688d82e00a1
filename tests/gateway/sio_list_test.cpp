// The port table over pseudo-terminal ports: unit-id lists that are
// refused, lines set up as configured, and time-outs too large to add up.
#include <termios.h>

#include <chrono>
#include <latch>
#include <thread>

#include <gtest/gtest.h>

#include "common/error_message_db.h"
#include "common/setting.h"
#include "gateway/sio_list.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

class SioListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.CopyConfig("ErrorMsg_EN.ini");
    InitSioListGlobals();
    gSetting.Build();
    gErrMsgDB.Build();
    ASSERT_TRUE(com3_.IsReady() && com4_.IsReady());
  }
  void TearDown() override {
    gErrMsgDB.Destroy();
    gSetting.Destroy();
    ExitSioListGlobals();
  }

  // Opens COM3 serving 100-110 and COM4 serving `com4_ids`.
  int Open(const std::string& com4_ids, const char* tx_timeout = "500",
           const char* rx_timeout = "500") {
    gSioList->Close();
    gSetting->Unload();
    std::string ini =
        "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\nTxTimeout=1000\n"
        "RxTimeout=1000\nMaxConnections=8\nSerialPorts=COM3,COM4\n"
        "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n";
    for (const char* name : {"COM3", "COM4"}) {
      ini += std::string("[") + name + "]\nBaudrate=19200\nParity=even\n" +
             "ByteSize=8\nStopBits=" + (name[3] == '3' ? "1" : "2") +
             "\nRtsDelay=0\nTxTimeout=" + tx_timeout +
             "\nRxTimeout=" + rx_timeout + "\nSlaveAddrList=" +
             (name[3] == '3' ? "100-110" : com4_ids) + "\n";
    }
    dir_.Write("Quorvelin.ini", ini);
    EXPECT_EQ(gSetting->Load(), kSettingOk) << gSetting->GetErrorText();
    return gSioList->Open(*gSetting);
  }
  // The error code of locking `id` on a thread of its own.
  int LockElsewhere(int id) {
    int error = 1;
    std::thread([&] {
      if (gSioList->Locks().Lock(id, error) != nullptr) {
        gSioList->Locks().Unlock(id);
      }
    }).join();
    return error;
  }

  TempDir dir_;
  ScopedChdir in_dir_{dir_.path()};
  PortsFolder ports_;
  PtyPort com3_{ports_, 3};
  PtyPort com4_{ports_, 4};
};

TEST_F(SioListTest, BadUnitIdListsAreRefusedAndGoodOnesOpenTheLines) {
  for (const char* list :
       {"1 - 3", "1;2", "1-", "a", "0x10", "+5", "1-2-3",
        // out of range, and never wrapped round to a small id
        "256", "0-256", "4294967303", "4294967296-4294967297",
        "99999999999999999999",
        // ranges ascend; an id is listed once, on one port only
        "5-5", "9-3", "1,1", "1-3,2", "100", "99-101"}) {
    SCOPED_TRACE(list);
    EXPECT_EQ(Open(list), kComListBadSlaveAddrList);
    EXPECT_STREQ(gSioList->ErrorText(),
                 "serial port COM4: bad SlaveAddrList (ids 0 to 255 or "
                 "ascending ranges such as 1-5, each id on one port only)");
    EXPECT_EQ(LockElsewhere(105), kGroupLockOk);
    for (int id : {1, 2, 3, 7, 9}) {
      EXPECT_EQ(LockElsewhere(id), kGroupLockNoSuchId) << id;
    }
  }
  // Without a text for the failure the line still names it and the port.
  dir_.Write("ErrorMsg_EN.ini", "[ComList]\n");
  EXPECT_EQ(Open("1-"), kComListBadSlaveAddrList);
  EXPECT_STREQ(gSioList->ErrorText(),
               "ComList error -3 (no text in the error-text file): COM4");
  ASSERT_EQ(Open("0, 3-5, 255"), kComListOk) << gSioList->ErrorText();
  for (int id : {0, 4, 255}) EXPECT_EQ(LockElsewhere(id), kGroupLockOk) << id;
  // The lines carry their configured frames (a pseudo-terminal keeps only
  // the stop bits of it; parity and data bits are checked in termios).
  termios com3_line{};
  termios com4_line{};
  ASSERT_EQ(tcgetattr(com3_.FarFd(), &com3_line), 0);
  ASSERT_EQ(tcgetattr(com4_.FarFd(), &com4_line), 0);
  EXPECT_EQ(com3_line.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(com4_line.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

TEST_F(SioListTest, HugeTimeoutsDoNotWrapIntoAShortWait) {
  // 4294967295 + 1001 would wrap round to a wait of 1000 ms.
  ASSERT_EQ(Open("1-2", "4294967295", "1001"), kComListOk)
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
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  locks.Unlock(1);
  waiter.join();
  EXPECT_EQ(waiter_error, kGroupLockOk);
}

}  // namespace
