#include <cerrno>

#include "platform/sync.h"
#include "platform/sync_names.h"
#include "platform/waitable.h"

namespace {

class Semaphore final : public Waitable {
 public:
  Semaphore(LONG count, LONG maximum) : count_(count), maximum_(maximum) {}

  // False when the release would pass the maximum; nothing changes then.
  bool Release(LONG count, LONG* previous) {
    std::lock_guard<std::mutex> guard(lock_);
    if (count <= 0 || count > maximum_ - count_) return false;
    if (previous != nullptr) *previous = count_;
    count_ += count;
    WakeLocked(count);
    return true;
  }

 protected:
  Take TryTakeLocked(const platform_detail::Waiter*) override {
    if (count_ == 0) return Take::kNone;
    --count_;
    return Take::kTaken;
  }
  bool IsSignalledLocked() const override { return count_ > 0; }

 private:
  LONG count_;
  const LONG maximum_;
};

}  // namespace

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initial_count,
                        LONG maximum_count, const char* name) {
  if (maximum_count <= 0 || initial_count < 0 ||
      initial_count > maximum_count) {
    SetLastError(EINVAL);
    return nullptr;
  }
  if (!platform_detail::IsUnnamed(name)) return nullptr;
  return new Semaphore(initial_count, maximum_count);
}

BOOL ReleaseSemaphore(HANDLE handle, LONG release_count, LONG* previous) {
  auto* semaphore =
      IsUsableHandle(handle) ? dynamic_cast<Semaphore*>(handle) : nullptr;
  if (semaphore == nullptr) {
    SetLastError(EBADF);
    return 0;
  }
  if (!semaphore->Release(release_count, previous)) {
    SetLastError(EINVAL);
    return 0;
  }
  return 1;
}
