#include "ui/complib/event.h"

#include <stdexcept>

#include "platform/sync.h"

TEvent::TEvent(LPSECURITY_ATTRIBUTES EventAttributes, bool ManualReset,
               bool InitialState, const AnsiString& Name)
    : handle_(CreateEventA(EventAttributes, ManualReset, InitialState,
                           Name.c_str())) {
  if (handle_ == nullptr) throw std::runtime_error("Cannot create an event");
}

TEvent::~TEvent() { CloseHandle(handle_); }

void TEvent::SetEvent() { ::SetEvent(handle_); }

void TEvent::ResetEvent() { ::ResetEvent(handle_); }
