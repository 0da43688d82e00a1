#pragma once
// The machinery behind WaitForSingleObject and WaitForMultipleObjects.
// Each waitable object keeps its own small lock and a list of the threads
// that wait on it; a thread that waits on several objects registers with
// all of them and sleeps on its own condition variable.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/handle.h"

namespace platform_detail {

// One waiting thread. `poked` is set by an object whose state changed.
struct Waiter {
  std::mutex mutex;
  std::condition_variable wake;
  bool poked = false;
};

}  // namespace platform_detail

class Waitable : public KernelObject {
 public:
  enum class Take { kNone, kTaken, kAbandoned };

  // Tries to take the object for the calling thread: consumes an
  // auto-reset event, a semaphore count or the ownership of a mutex.
  // `waiter` is the caller's registration, null before it has one.
  Take TryTake(const platform_detail::Waiter* waiter);

  void AddWaiter(platform_detail::Waiter* waiter);
  // Removes the waiter. A waiter may have been woken for a signal that it
  // did not take; that signal is passed on to another waiter.
  void RemoveWaiter(platform_detail::Waiter* waiter);

 protected:
  // All of these run with lock_ held.
  virtual Take TryTakeLocked(const platform_detail::Waiter* waiter) = 0;
  virtual bool IsSignalledLocked() const = 0;
  // Called once `waiter` has left the list of waiters.
  virtual void WaiterLeftLocked(const platform_detail::Waiter* waiter);

  // Wakes up to `count` waiters (all of them when count is negative).
  void WakeLocked(int count);
  // The waiter that registered first of those still waiting, or null.
  platform_detail::Waiter* LongestWaiterLocked() const;
  static void Poke(platform_detail::Waiter* waiter);

  std::mutex lock_;

 private:
  std::vector<platform_detail::Waiter*> waiters_;
};
