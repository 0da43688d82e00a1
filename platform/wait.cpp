#include "platform/wait.h"

#include <sched.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "platform/waitable.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform_detail::Waiter;

// Holds a reference on every waited object for the length of the wait, so
// that a handle closed meanwhile cannot pull the object away.
class References {
 public:
  explicit References(const std::vector<Waitable*>& objects)
      : objects_(objects) {
    for (Waitable* object : objects_) object->AddRef();
  }
  ~References() {
    for (Waitable* object : objects_) object->Release();
  }

 private:
  const std::vector<Waitable*>& objects_;
};

// Registers the waiter with every object while it sleeps.
class Registration {
 public:
  Registration(const std::vector<Waitable*>& objects, Waiter* waiter)
      : objects_(objects), waiter_(waiter) {
    for (Waitable* object : objects_) object->AddWaiter(waiter_);
  }
  ~Registration() {
    for (Waitable* object : objects_) object->RemoveWaiter(waiter_);
  }

 private:
  const std::vector<Waitable*>& objects_;
  Waiter* waiter_;
};

// One pass over the objects in index order: the lowest that can be taken.
std::optional<DWORD> TryTakeAny(const std::vector<Waitable*>& objects,
                                const Waiter* waiter) {
  for (DWORD i = 0; i < objects.size(); ++i) {
    switch (objects[i]->TryTake(waiter)) {
      case Waitable::Take::kTaken: return WAIT_OBJECT_0 + i;
      case Waitable::Take::kAbandoned: return WAIT_ABANDONED + i;
      case Waitable::Take::kNone: break;
    }
  }
  return std::nullopt;
}

DWORD WaitOn(const std::vector<Waitable*>& objects, DWORD milliseconds) {
  References references(objects);
  // No waiting needed; a thread that is not registered yet comes after
  // every thread that already waits.
  if (auto taken = TryTakeAny(objects, nullptr)) return *taken;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  const bool forever = milliseconds == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  Waiter waiter;
  Registration registration(objects, &waiter);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(waiter.mutex);
      waiter.poked = false;
    }
    if (auto taken = TryTakeAny(objects, &waiter)) return *taken;
    std::unique_lock<std::mutex> lock(waiter.mutex);
    if (forever) {
      waiter.wake.wait(lock, [&] { return waiter.poked; });
    } else if (!waiter.wake.wait_until(lock, deadline,
                                       [&] { return waiter.poked; })) {
      return WAIT_TIMEOUT;
    }
  }
}

}  // namespace

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles,
                             BOOL wait_all, DWORD milliseconds) {
  if (wait_all || count == 0 || count > MAXIMUM_WAIT_OBJECTS ||
      handles == nullptr) {
    SetLastError(EINVAL);
    return WAIT_FAILED;
  }
  std::vector<Waitable*> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    auto* object = IsUsableHandle(handles[i])
                       ? dynamic_cast<Waitable*>(handles[i])
                       : nullptr;
    if (object == nullptr) {
      SetLastError(EBADF);
      return WAIT_FAILED;
    }
    objects.push_back(object);
  }
  return WaitOn(objects, milliseconds);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, 0, milliseconds);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
