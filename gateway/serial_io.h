#pragma once
// SerialIO: one opened serial port, used by one thread at a time.
#include <chrono>
#include <cstdint>

#include "platform/win_types.h"

struct DCB;

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

  // The latest time at which a device can still be sending its reply to a
  // frame that left the port at `sent`: the reply may begin as late as the
  // read time-out allows, and the longest one then takes its time on the
  // line. The clock's end when reads wait without limit.
  std::chrono::steady_clock::time_point LastReplyByte(
      std::chrono::steady_clock::time_point sent) const;

  class Impl;

 private:
  Impl* impl_;
};
