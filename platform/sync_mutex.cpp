#include "platform/sync_mutex.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/sync.h"
#include "platform/sync_names.h"
#include "platform/waitable.h"

namespace {

using platform_detail::Waiter;

class Mutex;

// The mutexes the current thread owns. Its address identifies the thread
// as an owner; its destructor abandons what a thread still holds when it
// ends (for threads that CreateThread did not make).
struct OwnedMutexes {
  std::vector<Mutex*> mutexes;
  ~OwnedMutexes() { AbandonAll(); }
  void AbandonAll();
};

thread_local OwnedMutexes tOwned;

class Mutex final : public Waitable {
 public:
  explicit Mutex(bool owned_by_caller) {
    if (owned_by_caller) TakeFor(&tOwned);
  }

  bool ReleaseOwnership() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (owner_ != &tOwned) return false;
      if (--recursion_ > 0) return true;
      owner_ = nullptr;
      auto& list = tOwned.mutexes;
      list.erase(std::find(list.begin(), list.end(), this));
      HandOnLocked();
    }
    Release();  // the reference taken in TakeFor; may be the last one
    return true;
  }

  void Abandon() {
    std::lock_guard<std::mutex> guard(lock_);
    owner_ = nullptr;
    recursion_ = 0;
    abandoned_ = true;
    HandOnLocked();
  }

 protected:
  Take TryTakeLocked(const Waiter* waiter) override {
    if (owner_ == &tOwned) {
      ++recursion_;
      return Take::kTaken;
    }
    if (owner_ != nullptr) return Take::kNone;
    if (heir_ != nullptr && heir_ != waiter) return Take::kNone;
    heir_ = nullptr;
    TakeFor(&tOwned);
    if (abandoned_) {
      abandoned_ = false;
      return Take::kAbandoned;
    }
    return Take::kTaken;
  }
  bool IsSignalledLocked() const override { return owner_ == nullptr; }

  void WaiterLeftLocked(const Waiter* waiter) override {
    if (waiter == heir_) {
      HandOnLocked();  // it timed out, or took another object of its wait
    } else if (owner_ == nullptr && heir_ == nullptr) {
      Waitable::WaiterLeftLocked(waiter);
    }
  }

 private:
  // A released mutex is kept for the thread that has waited longest, and
  // only that thread can take it. Were it free for all, the releasing thread
  // would nearly always take it again before the woken one runs: a client
  // polling a dead unit would hold its port for good.
  void HandOnLocked() {
    heir_ = LongestWaiterLocked();
    if (heir_ != nullptr) Poke(heir_);
  }

  void TakeFor(OwnedMutexes* owner) {
    owner_ = owner;
    recursion_ = 1;
    AddRef();  // an owned mutex lives until its owner lets go of it
    owner->mutexes.push_back(this);
  }

  OwnedMutexes* owner_ = nullptr;
  Waiter* heir_ = nullptr;  // the only waiter that may take it next
  int recursion_ = 0;
  bool abandoned_ = false;
};

void OwnedMutexes::AbandonAll() {
  std::vector<Mutex*> held;
  held.swap(mutexes);
  for (Mutex* mutex : held) {
    mutex->Abandon();
    mutex->Release();
  }
}

}  // namespace

void AbandonMutexesOfCurrentThread() { tOwned.AbandonAll(); }

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner,
                    const char* name) {
  if (!platform_detail::IsUnnamed(name)) return nullptr;
  return new Mutex(initial_owner != 0);
}

BOOL ReleaseMutex(HANDLE handle) {
  auto* mutex = IsUsableHandle(handle) ? dynamic_cast<Mutex*>(handle) : nullptr;
  if (mutex == nullptr) {
    SetLastError(EBADF);
    return 0;
  }
  if (!mutex->ReleaseOwnership()) {
    SetLastError(EPERM);
    return 0;
  }
  return 1;
}
