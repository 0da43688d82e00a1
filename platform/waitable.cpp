#include "platform/waitable.h"

#include <algorithm>

using platform_detail::Waiter;

Waitable::Take Waitable::TryTake() {
  std::lock_guard<std::mutex> guard(lock_);
  return TryTakeLocked();
}

void Waitable::AddWaiter(Waiter* waiter) {
  std::lock_guard<std::mutex> guard(lock_);
  waiters_.push_back(waiter);
}

void Waitable::RemoveWaiter(Waiter* waiter) {
  std::lock_guard<std::mutex> guard(lock_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter),
                 waiters_.end());
  // The leaving waiter may have been the one woken for a signal that is
  // still there; without this, that wake-up would be lost.
  if (IsSignalledLocked()) WakeLocked(1);
}

void Waitable::WakeLocked(int count) {
  for (Waiter* waiter : waiters_) {
    if (count == 0) break;
    std::lock_guard<std::mutex> guard(waiter->mutex);
    if (waiter->poked) continue;  // already on its way; wake another
    waiter->poked = true;
    waiter->wake.notify_one();
    if (count > 0) --count;
  }
}
