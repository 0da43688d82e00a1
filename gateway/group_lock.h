#pragma once
// GroupLock<Item>: routes a Modbus unit id to the item (the serial port)
// that serves it, and makes the use of that item exclusive. All ids added
// in one call share one mutex, so a request for any unit of a port waits
// for every other request on that port, while other ports run in parallel.
//
//   int error = 0;
//   if (SIO_Item* port = locks.Lock(unit_id, error)) {
//     ... use the port ...
//     locks.Unlock(unit_id);
//   }
//
// The map is filled and cleared while no thread locks; during the run it is
// only read, so lookups need no guard of their own.
#include <cstdint>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/sync.h"
#include "platform/wait.h"
#include "platform/win_types.h"

// Results of GroupLock operations.
inline constexpr int kGroupLockOk = 0;
inline constexpr int kGroupLockNotInserted = -1;  // Add: out of memory
inline constexpr int kGroupLockIdMapped = -2;     // Add: id mapped already
inline constexpr int kGroupLockNoSuchId = -3;     // no item serves the id
inline constexpr int kGroupLockTimeout = -4;      // not free within the wait
inline constexpr int kGroupLockFailed = -5;       // the wait or release failed

template <class Item>
class GroupLock {
 public:
  struct MapItem {
    HANDLE mutex;
    Item* item;
    DWORD timeout;  // ms that Lock waits for the mutex
  };

  GroupLock() : map_(kBucketHint) {}
  ~GroupLock() { Clear(); }
  GroupLock(const GroupLock&) = delete;
  GroupLock& operator=(const GroupLock&) = delete;

  // Maps every id of `ids` to `item` under one new mutex. Either all ids
  // are mapped, or (on a failure) none of them: the map is left as it was
  // and the new mutex is closed, so no id ever refers to a closed mutex.
  // An empty list maps nothing and creates no mutex.
  int Add(const std::vector<int>& ids, Item* item, DWORD timeout_ms);

  // Waits up to the id's time-out for its mutex. The item, with error 0;
  // otherwise null with kGroupLockNoSuchId, kGroupLockTimeout or
  // kGroupLockFailed.
  Item* Lock(int id, int& error);

  // Releases the id's mutex: 0, kGroupLockNoSuchId, or kGroupLockFailed
  // when the caller does not own it.
  int Unlock(int id);

  // Closes every mutex once, however many ids share it, and empties the map.
  void Clear();

 private:
  static constexpr std::size_t kBucketHint = 100;

  int WaitItem(const MapItem& entry);
  void Forget(const std::vector<int>& ids, std::size_t count);

  std::unordered_map<int, MapItem> map_;
};

template <class Item>
int GroupLock<Item>::Add(const std::vector<int>& ids, Item* item,
                         DWORD timeout_ms) {
  // A mutex that no id refers to could never be closed by Clear.
  if (ids.empty()) return kGroupLockOk;
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  std::size_t added = 0;
  int result = kGroupLockOk;
  try {
    for (; added < ids.size(); ++added) {
      if (!map_.try_emplace(ids[added], MapItem{mutex, item, timeout_ms})
               .second) {
        result = kGroupLockIdMapped;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    result = kGroupLockNotInserted;
  }
  if (result != kGroupLockOk) {
    Forget(ids, added);
    if (mutex != nullptr) CloseHandle(mutex);
  }
  return result;
}

// Takes back the first `count` ids of a failed Add. Each of them was
// inserted by that call: an id met twice in one list stops the call at
// its second occurrence, before it is counted.
template <class Item>
void GroupLock<Item>::Forget(const std::vector<int>& ids, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) map_.erase(ids[i]);
}

template <class Item>
Item* GroupLock<Item>::Lock(int id, int& error) {
  const auto found = map_.find(id);
  if (found == map_.end()) {
    error = kGroupLockNoSuchId;
    return nullptr;
  }
  error = WaitItem(found->second);
  return error == kGroupLockOk ? found->second.item : nullptr;
}

template <class Item>
int GroupLock<Item>::WaitItem(const MapItem& entry) {
  switch (WaitForSingleObject(entry.mutex, entry.timeout)) {
    case WAIT_OBJECT_0:
      return kGroupLockOk;
    case WAIT_TIMEOUT:
      return kGroupLockTimeout;
    case WAIT_ABANDONED:
      // The former owner ended without releasing the port, so the state of
      // the line is unknown: this request fails, but the wait made us the
      // owner, and releasing keeps the port usable for the next one.
      ReleaseMutex(entry.mutex);
      return kGroupLockFailed;
    default:
      return kGroupLockFailed;
  }
}

template <class Item>
int GroupLock<Item>::Unlock(int id) {
  const auto found = map_.find(id);
  if (found == map_.end()) return kGroupLockNoSuchId;
  return ReleaseMutex(found->second.mutex) ? kGroupLockOk : kGroupLockFailed;
}

template <class Item>
void GroupLock<Item>::Clear() {
  std::unordered_set<HANDLE> closed;
  for (const auto& [id, entry] : map_) {
    if (entry.mutex != nullptr && closed.insert(entry.mutex).second) {
      CloseHandle(entry.mutex);
    }
  }
  map_.clear();
}
