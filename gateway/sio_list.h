#pragma once
// SioList: the gateway's open serial ports, and the unit-id locks that
// route each Modbus unit id to the port it lives on.
//
// Run opens every configured port with Open; on a non-zero result, and at
// Stop, the caller calls Close. Open and Close run while no gateway thread
// does; in between the gateway threads only read the table, through
// Locks().Lock / Locks().Unlock.
#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <variant>

#include "common/setting.h"
#include "gateway/group_lock.h"
#include "gateway/serial_io.h"
#include "gateway/slave_addr_list.h"
#include "platform/ansi_string.h"
#include "platform/global_object.h"
#include "platform/serial_port.h"

// One open port. Owns its SerialIO: dropping the item closes the port.
struct SIO_Item {
  AnsiString name;  // the port's name as configured
  std::unique_ptr<SerialIO> port;
  std::uint32_t RtsDelay = 0;  // ms between raising RTS and writing
  // Set when a stop abandoned an exchange on this line whose reply may
  // still come, which no request that follows may take for its own. Read
  // and written under the port's lock.
  std::optional<OwedReply> owed_reply;
};

// What the reply a closed port owes is kept under until its line is opened
// again: the line itself, whichever name or link leads to it, or the
// port's number where the open port could not tell its line.
using LineKey = std::variant<COMMLINEID, DWORD>;

// Results of SioList::Open; the texts are section "ComList" of the
// error-text file, with the port's name as argument.
inline constexpr int kComListOk = 0;
inline constexpr int kComListOpenFailed = -1;
inline constexpr int kComListSetupFailed = -2;
inline constexpr int kComListBadSlaveAddrList = -3;

class SioList {
 public:
  SioList() = default;
  SioList(const SioList&) = delete;
  SioList& operator=(const SioList&) = delete;

  // Opens and sets up every port of `setting` in its order and maps the
  // port's unit ids to it; meant for an empty table (after start-up or
  // Close). Stops at the first failing port with its code and text; the
  // ports before it stay open and mapped until Close.
  int Open(const TSetting& setting);
  // Closes every port and unmaps every id. The last error text stays.
  void Close();
  // The text of the last failed Open; "" when none failed.
  const char* ErrorText() const { return error_text_.c_str(); }

  // For the stop: cuts every port's transfers short (see
  // SerialIO::CancelTransfers). Runs beside the gateway threads; the ports
  // stay open until Close. ResumeTransfers undoes it, for a stop that
  // failed.
  void CancelTransfers();
  void ResumeTransfers();
  // True from CancelTransfers until ResumeTransfers or Close: the stop has
  // begun, and a transfer that fails was cut short by it.
  bool TransfersCancelled() const { return cancelled_.load(); }

  // Where the gateway threads lock a request's unit id to get its port.
  GroupLock<SIO_Item>& Locks() { return locks_; }

 private:
  int OpenPort(const TSetting::ComParam& param, UnitIdSet& seen);
  int Fail(int code, const AnsiString& port_name);

  // Declared so that destruction unmaps the ids (closing the mutexes)
  // before the ports they lead to are closed.
  std::list<SIO_Item> ports_;  // items never move: the map points at them
  // The owed replies of closed ports, by line (the next Open may reach it
  // under another name), until a port on that line opens: a device
  // answers whether or not its port is open.
  std::map<LineKey, OwedReply> owed_replies_;
  std::atomic<bool> cancelled_{false};
  AnsiString error_text_;
  GroupLock<SIO_Item> locks_;
};

extern GlobalObject<SioList> gSioList;

// Builds the empty table at start-up.
void InitSioListGlobals();
// Destroys the unit-id pattern, if an Open built it, then the table.
void ExitSioListGlobals();
