#pragma once
// TEvent: an event object whose Handle can be waited on with the platform
// wait functions together with other handles (the log queue waits on it
// with WaitForMultipleObjects).
#include "platform/ansi_string.h"
#include "platform/handle.h"

class TEvent {
 public:
  // Only unnamed events exist; `Name` must be empty.
  TEvent(LPSECURITY_ATTRIBUTES EventAttributes, bool ManualReset,
         bool InitialState, const AnsiString& Name);
  ~TEvent();
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};
