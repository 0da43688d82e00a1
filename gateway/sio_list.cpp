#include "gateway/sio_list.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "common/error_message_db.h"
#include "platform/serial_path.h"
#include "platform/serial_port.h"

GlobalObject<SioList> gSioList;

namespace {

// Compiled by the first Open and kept for the rest of the program's run.
GlobalObject<MyPcre> gUnitIdPattern;

const AnsiString kErrorSection = "ComList";

MyPcre& UnitIdPattern() {
  if (!gUnitIdPattern.IsBuilt()) gUnitIdPattern.Build(kUnitIdPattern, 0);
  return *gUnitIdPattern;
}

// The port's configured line on top of what the port had when opened:
// fields the configuration does not speak of keep the port's values.
DCB LineSettings(DCB dcb, const TSetting::ComParam& param) {
  dcb.BaudRate = param.Baudrate;
  dcb.fBinary = 1;
  dcb.fParity = param.Parity != NOPARITY ? 1 : 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  // Without a delay of our own the driver raises RTS exactly while it sends.
  dcb.fRtsControl =
      param.RtsDelay != 0 ? RTS_CONTROL_ENABLE : RTS_CONTROL_TOGGLE;
  dcb.fAbortOnError = 0;
  dcb.ByteSize = param.ByteSize;
  dcb.Parity = param.Parity;
  dcb.StopBits = param.StopBits;
  return dcb;
}

// The longest wait for a port short of INFINITE: huge time-outs neither
// wrap round to a short wait nor make a request wait for ever.
constexpr DWORD kLongestLockWait = INFINITE - 1;

// How long a request may wait for the port: about the time the request
// before it may hold the line.
DWORD LockWait(const TSetting::ComParam& param) {
  const std::uint64_t sum =
      std::uint64_t{param.RtsDelay} + param.TxTimeout + param.RxTimeout;
  return static_cast<DWORD>(std::min<std::uint64_t>(sum, kLongestLockWait));
}

// The line an open port leads to: COM1, COM01 and a COM2 linked to COM1's
// device are one line.
LineKey LineKeyOf(const SIO_Item& item) {
  if (const std::optional<COMMLINEID> id = item.port->LineId()) return *id;
  return ComNumberOfName(item.name.c_str()).value_or(0);
}

}  // namespace

int SioList::Open(const TSetting& setting) {
  // Ids met so far in this call: an id may live on one port only.
  UnitIdSet seen;
  for (std::uint32_t i = 0; i < setting.GetPortCount(); ++i) {
    const TSetting::ComParam* param = setting.GetComParam(i);
    if (param == nullptr) break;  // not loaded: nothing more to open
    if (const int result = OpenPort(*param, seen); result != kComListOk) {
      return result;
    }
  }
  return kComListOk;
}

// On failure the port's SerialIO is dropped here, which closes it; the
// ports listed before stay open.
int SioList::OpenPort(const TSetting::ComParam& param, UnitIdSet& seen) {
  SIO_Item item{AnsiString(ToView(param.PortName)),
                std::make_unique<SerialIO>(), param.RtsDelay, std::nullopt};
  if (!item.port->Open(item.name.c_str())) {
    return Fail(kComListOpenFailed, item.name);
  }
  DCB dcb{};
  item.port->GetDCB(dcb);
  if (!item.port->SetDCB(LineSettings(dcb, param))) {
    return Fail(kComListSetupFailed, item.name);
  }
  item.port->SetTimeouts(param.TxTimeout, param.RxTimeout);
  UnitIdList ids;
  if (!ParseSlaveAddrList(param.SlaveAddrList, UnitIdPattern(), seen, ids)) {
    return Fail(kComListBadSlaveAddrList, item.name);
  }
  SIO_Item& listed = ports_.emplace_back(std::move(item));
  // Refused only when an id is still mapped by an Open that was not
  // followed by Close (a repeated id too), or when memory runs out.
  if (locks_.Add(ids, &listed, LockWait(param)) != kGroupLockOk) {
    const AnsiString name = listed.name;
    ports_.pop_back();
    return Fail(kComListBadSlaveAddrList, name);
  }
  // The reply that a stop left this line with may still be on its way,
  // and whatever came of it while the port was closed is gone unseen: its
  // quiet time starts again now.
  if (const auto owed = owed_replies_.find(LineKeyOf(listed));
      owed != owed_replies_.end()) {
    listed.owed_reply = owed->second;
    listed.owed_reply->last_traffic = std::max(
        listed.owed_reply->last_traffic, std::chrono::steady_clock::now());
    owed_replies_.erase(owed);
  }
  return kComListOk;
}

// The operator's text of the code; without one in the error-text file the
// line still names the failure and the port, never an earlier failure's text.
int SioList::Fail(int code, const AnsiString& port_name) {
  if (!gErrMsgDB.IsBuilt() ||
      !gErrMsgDB->Format(kErrorSection, code, error_text_, port_name)) {
    error_text_ = MissingErrorText(kErrorSection, code, port_name);
  }
  return code;
}

void SioList::Close() {
  for (const SIO_Item& item : ports_) {
    if (item.owed_reply) owed_replies_[LineKeyOf(item)] = *item.owed_reply;
  }
  while (!ports_.empty()) ports_.pop_front();  // closed in opening order
  locks_.Clear();
  cancelled_ = false;
}

void SioList::CancelTransfers() {
  // Raised first: a thread whose transfer the cancel ends already sees why.
  cancelled_ = true;
  for (SIO_Item& item : ports_) item.port->CancelTransfers();
}

void SioList::ResumeTransfers() {
  for (SIO_Item& item : ports_) item.port->ResumeTransfers();
  cancelled_ = false;
}

void InitSioListGlobals() { gSioList.Build(); }

void ExitSioListGlobals() {
  if (gUnitIdPattern.IsBuilt()) gUnitIdPattern.Destroy();
  gSioList.Destroy();
}
