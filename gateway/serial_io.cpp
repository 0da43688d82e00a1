#include "gateway/serial_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>

#include "common/config_values.h"
#include "common/log_text.h"
#include "gateway/line_silence.h"
#include "platform/ansi_string.h"
#include "platform/serial_path.h"
#include "platform/serial_port.h"

namespace {

constexpr DWORD kPurgeEverything =
    PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Reads never wait to fill the buffer: waiting bytes come back at once,
// else the first byte to arrive ends the read.
constexpr COMMTIMEOUTS kTimeoutsAtOpen = {MAXDWORD, MAXDWORD, 3000, 0, 3000};

// After a failed wait for an owed reply: a line that fails leaves its
// failure to the exchange that follows; only a cancel ends the request.
bool NotCancelled(DWORD error) { return error != ECANCELED; }

// Bytes of the longest Modbus RTU frame.
constexpr int kLongestRtuFrame = 256;

// How long a line must be quiet before a reply read under this time-out
// is over. A port without a limit would wait for ever, and a reply may
// pause anywhere inside it (adapters deliver in bursts, slow devices
// stall), so it is given the longest time-out an operator can set.
std::chrono::milliseconds ReplyQuietTime(DWORD read_timeout_ms) {
  return std::chrono::milliseconds(read_timeout_ms == MAXDWORD
                                       ? kLongestDialogPortTimeoutMs
                                       : read_timeout_ms);
}

}  // namespace

class SerialIO::Impl {
 public:
  HANDLE port = INVALID_HANDLE_VALUE;
  COMMTIMEOUTS timeouts{};
  AnsiString error_text;
  DCB cached_dcb{};
  LineSilence silence;
  // Bytes read since the last write: as much of a reply as has come.
  std::uint32_t bytes_since_write = 0;

  void CacheDCB(const DCB& dcb) {
    cached_dcb = dcb;
    silence.SetSilence(InterFrameSilence(dcb));
  }

  void SetErrorText(DWORD code) {
    SysErrorText(error_text, static_cast<std::int32_t>(code));
  }

  bool Close() {
    if (port == INVALID_HANDLE_VALUE) return true;
    const bool closed = CloseHandle(port) != 0;
    // CloseHandle gives the object up even when closing the device
    // reported an error, so the handle must not be used again either way.
    port = INVALID_HANDLE_VALUE;
    return closed;
  }
};

SerialIO::SerialIO() : impl_(new Impl) {}

SerialIO::~SerialIO() {
  impl_->Close();
  delete impl_;
}

bool SerialIO::Open(const char* name) {
  // Only "COM" and a number name a port. Opening COM1 for "COM1x" or
  // "COM1/../x" would open a port the operator did not write, and a name
  // without a number would open one chosen by chance.
  const std::optional<DWORD> number = ComNumberOfName(name);
  if (!number) {
    impl_->SetErrorText(ENODEV);
    return false;
  }
  return OpenByNumber(*number);
}

bool SerialIO::OpenByNumber(DWORD number) {
  // Opening again replaces the port instead of leaking it.
  impl_->Close();
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\COM%u", number);
  impl_->port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (impl_->port == INVALID_HANDLE_VALUE) {
    impl_->SetErrorText(GetLastError());
    return false;
  }
  if (!PurgeComm(impl_->port, kPurgeEverything)) {
    impl_->SetErrorText(GetLastError());
    return false;
  }
  impl_->timeouts = kTimeoutsAtOpen;
  SetCommTimeouts(impl_->port, &impl_->timeouts);
  DCB dcb{};
  GetCommState(impl_->port, &dcb);
  impl_->CacheDCB(dcb);
  return true;
}

void SerialIO::SetTimeouts(DWORD write_timeout_ms, DWORD read_timeout_ms) {
  impl_->timeouts.WriteTotalTimeoutConstant = write_timeout_ms;
  impl_->timeouts.ReadTotalTimeoutConstant = read_timeout_ms;
  SetCommTimeouts(impl_->port, &impl_->timeouts);
}

bool SerialIO::GetDCB(DCB& dcb) {
  if (impl_->port == INVALID_HANDLE_VALUE) return false;
  dcb = impl_->cached_dcb;
  return true;
}

bool SerialIO::SetDCB(const DCB& dcb) {
  if (!SetCommState(impl_->port, &dcb)) {
    impl_->SetErrorText(GetLastError());
    return false;
  }
  impl_->CacheDCB(dcb);
  return true;
}

bool SerialIO::Purge() {
  if (!PurgeComm(impl_->port, kPurgeEverything)) {
    impl_->SetErrorText(GetLastError());
    return false;
  }
  return true;
}

bool SerialIO::SetRTS(bool on) {
  if (EscapeCommFunction(impl_->port, on ? SETRTS : CLRRTS) != 1) {
    impl_->SetErrorText(GetLastError());
    return false;
  }
  return true;
}

std::int32_t SerialIO::Write(const void* buffer, DWORD count) {
  DWORD written = 0;
  // The count must fit the signed result.
  if (count > static_cast<DWORD>(INT32_MAX)) {
    impl_->SetErrorText(EINVAL);
    return -1;
  }
  // A new request's reply starts here, whether or not the write completes:
  // a write that a stop cuts short may still have put the frame out.
  impl_->bytes_since_write = 0;
  if (!WriteFile(impl_->port, buffer, count, &written, nullptr)) {
    impl_->SetErrorText(GetLastError());
    return -1;
  }
  // WriteFile returns once the bytes have left the port.
  if (written > 0) impl_->silence.NoteByte(LineSilence::Clock::now());
  // Matters only when fewer bytes went out than asked.
  impl_->error_text = "write time-out";
  return static_cast<std::int32_t>(written);
}

std::int32_t SerialIO::WriteAll(const void* buffer, DWORD count) {
  const auto* bytes = static_cast<const BYTE*>(buffer);
  DWORD done = 0;
  do {
    const std::int32_t written = Write(bytes + done, count - done);
    if (written < 1) return written;
    done += static_cast<DWORD>(written);
  } while (done < count);
  return static_cast<std::int32_t>(count);
}

std::int32_t SerialIO::Read(void* buffer, DWORD capacity) {
  DWORD got = 0;
  const DWORD most = capacity > static_cast<DWORD>(INT32_MAX)
                         ? static_cast<DWORD>(INT32_MAX)
                         : capacity;
  if (!ReadFile(impl_->port, buffer, most, &got, nullptr)) {
    impl_->SetErrorText(GetLastError());
    return -2;
  }
  if (got == 0) {
    impl_->error_text = "read time-out\n";
  } else {
    impl_->silence.NoteByte(LineSilence::Clock::now());
    impl_->bytes_since_write += got;
  }
  return static_cast<std::int32_t>(got);
}

bool SerialIO::ClearError() {
  DWORD errors = 0;
  COMSTAT status;
  return ClearCommError(impl_->port, &errors, &status) == 1;
}

const char* SerialIO::ErrorText() { return impl_->error_text.c_str(); }

std::optional<COMMLINEID> SerialIO::LineId() const {
  COMMLINEID id{};
  if (!GetCommLineId(impl_->port, &id)) return std::nullopt;
  return id;
}

bool SerialIO::Pause(DWORD milliseconds) {
  if (SleepComm(impl_->port, milliseconds)) return true;
  impl_->SetErrorText(GetLastError());
  return false;
}

bool SerialIO::PauseUntil(std::chrono::steady_clock::time_point until) {
  if (SleepCommUntil(impl_->port, until)) return true;
  impl_->SetErrorText(GetLastError());
  return false;
}

// Touch nothing but the handle, which stays the same while the port is
// open, so they may run beside the thread that uses the port.
void SerialIO::CancelTransfers() { CancelCommIo(impl_->port); }
void SerialIO::ResumeTransfers() { ResumeCommIo(impl_->port); }

std::chrono::steady_clock::duration SerialIO::SilenceLeft() const {
  return impl_->silence.Remaining(LineSilence::Clock::now());
}

bool SerialIO::WaitForSilence() {
  return PauseUntil(LineSilence::Clock::now() + SilenceLeft());
}

OwedReply SerialIO::ReplyOwedSince(
    std::chrono::steady_clock::time_point sent) const {
  return {std::max(sent, impl_->silence.LastByte()),
          impl_->timeouts.ReadTotalTimeoutConstant, impl_->bytes_since_write};
}

bool SerialIO::LetOwedReplyPass(OwedReply& owed) {
  // An operator who raised the time-out before Run did so for a slow
  // device; one who lowered it cannot have made the device faster.
  const auto quiet_time =
      std::max(ReplyQuietTime(owed.read_timeout_ms),
               ReplyQuietTime(impl_->timeouts.ReadTotalTimeoutConstant));
  BYTE dropped[kLongestRtuFrame];
  while (owed.bytes_in < kLongestRtuFrame) {
    BOOL arrived = 0;
    const auto quiet_until = owed.last_traffic + quiet_time;
    if (!WaitCommInputUntil(impl_->port, quiet_until, &arrived)) {
      const DWORD error = GetLastError();
      impl_->SetErrorText(error);
      return NotCancelled(error);
    }
    if (!arrived) return true;
    const std::int32_t got = Read(dropped, kLongestRtuFrame - owed.bytes_in);
    if (got < 0) return NotCancelled(GetLastError());
    if (got > 0) {
      owed.last_traffic = LineSilence::Clock::now();
      owed.bytes_in += static_cast<std::uint32_t>(got);
    }
  }
  return true;
}
