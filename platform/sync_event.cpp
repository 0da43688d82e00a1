#include <cerrno>

#include "platform/sync.h"
#include "platform/sync_names.h"
#include "platform/waitable.h"

namespace {

class Event final : public Waitable {
 public:
  Event(bool manual_reset, bool signalled)
      : manual_reset_(manual_reset), signalled_(signalled) {}

  void Set() {
    std::lock_guard<std::mutex> guard(lock_);
    signalled_ = true;
    WakeLocked(manual_reset_ ? -1 : 1);
  }
  void Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    signalled_ = false;
  }

 protected:
  Take TryTakeLocked(const platform_detail::Waiter*) override {
    if (!signalled_) return Take::kNone;
    if (!manual_reset_) signalled_ = false;
    return Take::kTaken;
  }
  bool IsSignalledLocked() const override { return signalled_; }

 private:
  const bool manual_reset_;
  bool signalled_;
};

Event* AsEvent(HANDLE handle) {
  auto* event = IsUsableHandle(handle) ? dynamic_cast<Event*>(handle) : nullptr;
  if (event == nullptr) SetLastError(EBADF);
  return event;
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset,
                    BOOL initial_state, const char* name) {
  if (!platform_detail::IsUnnamed(name)) return nullptr;
  return new Event(manual_reset != 0, initial_state != 0);
}

BOOL SetEvent(HANDLE handle) {
  Event* event = AsEvent(handle);
  if (event == nullptr) return 0;
  event->Set();
  return 1;
}

BOOL ResetEvent(HANDLE handle) {
  Event* event = AsEvent(handle);
  if (event == nullptr) return 0;
  event->Reset();
  return 1;
}
