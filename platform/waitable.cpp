#include "platform/waitable.h"

#include <algorithm>

using platform_detail::Waiter;

Waitable::Take Waitable::TryTake(const Waiter* waiter) {
  std::lock_guard<std::mutex> guard(lock_);
  return TryTakeLocked(waiter);
}

void Waitable::AddWaiter(Waiter* waiter) {
  std::lock_guard<std::mutex> guard(lock_);
  waiters_.push_back(waiter);
}

void Waitable::RemoveWaiter(Waiter* waiter) {
  std::lock_guard<std::mutex> guard(lock_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter),
                 waiters_.end());
  WaiterLeftLocked(waiter);
}

void Waitable::WaiterLeftLocked(const Waiter*) {
  // The leaving waiter may have been the one woken for a signal that is
  // still there; without this, that wake-up would be lost.
  if (IsSignalledLocked()) WakeLocked(1);
}

Waiter* Waitable::LongestWaiterLocked() const {
  return waiters_.empty() ? nullptr : waiters_.front();
}

void Waitable::Poke(Waiter* waiter) {
  std::lock_guard<std::mutex> guard(waiter->mutex);
  waiter->poked = true;
  waiter->wake.notify_one();
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
