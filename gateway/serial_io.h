#pragma once
// SerialIO: one opened serial port, used by one thread at a time.
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/win_types.h"

struct COMMLINEID;
struct DCB;

// What a line owes after an exchange that was given up while the device
// could be answering: RTU replies carry nothing that says which request
// they answer, so the next request on the line must not take this one's
// reply for its own.
struct OwedReply {
  // The latest of the request's write, the last byte received since and
  // the line's reopening: bytes that come while the port is closed are
  // lost unseen, so the reply may still be going on then.
  std::chrono::steady_clock::time_point last_traffic;
  DWORD read_timeout_ms = 0;  // in force when the exchange was given up
  std::uint32_t bytes_in = 0;  // of the reply, received so far
};

class SerialIO {
 public:
  SerialIO();
  ~SerialIO();
  SerialIO(const SerialIO&) = delete;
  SerialIO& operator=(const SerialIO&) = delete;

  bool Open(const char* name);
  bool OpenByNumber(DWORD number);
  void SetTimeouts(DWORD write_timeout_ms, DWORD read_timeout_ms);
  bool GetDCB(DCB& dcb);
  bool SetDCB(const DCB& dcb);
  bool Purge();
  bool SetRTS(bool on);
  std::int32_t Write(const void* buffer, DWORD count);
  std::int32_t WriteAll(const void* buffer, DWORD count);
  std::int32_t Read(void* buffer, DWORD capacity);
  bool ClearError();
  const char* ErrorText();
  // The line the open port leads to, whatever name or link opened it;
  // nothing when the port cannot tell.
  std::optional<COMMLINEID> LineId() const;

  // Sleep on the port's behalf (the pause between raising RTS and
  // writing, the wait for a reply that nobody reads any more); false, at
  // once, when its transfers are cancelled.
  bool Pause(DWORD milliseconds);
  bool PauseUntil(std::chrono::steady_clock::time_point until);
  // The stop's call, from any thread: a transfer or pause that waits on
  // the port ends at once and every later one fails, until the port is
  // closed or its transfers resume. A stop must neither wait out the
  // port's time-outs nor let anything more onto the line.
  void CancelTransfers();
  // For a stop that failed: the port serves again.
  void ResumeTransfers();

  // Frames on a line need a gap between them (see line_silence.h), timed
  // from the last byte read or written and from the line's settings.
  // WaitForSilence sleeps whatever part of it has not passed yet; false,
  // at once, when the port's transfers are cancelled.
  std::chrono::steady_clock::duration SilenceLeft() const;
  bool WaitForSilence();

  // The reply that a device may still be sending after an exchange was
  // given up with its frame (possibly) on the line at `sent`: what the
  // line has carried since, and the read time-out it was read under.
  OwedReply ReplyOwedSince(std::chrono::steady_clock::time_point sent) const;
  // Reads and drops that reply until it is over by the reader's own rule:
  // the line has been quiet for the read time-out since `last_traffic`
  // or the last byte received. The time-out is the longer of the one the
  // reply was owed under and the port's own now; no limit counts as the
  // longest one an operator can set. A line that has carried a whole
  // frame's worth since the write owes nothing more. False, with `owed`
  // brought up to date, when the port's transfers are cancelled.
  bool LetOwedReplyPass(OwedReply& owed);

  class Impl;

 private:
  Impl* impl_;
};
