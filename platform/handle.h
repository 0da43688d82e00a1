#pragma once
// Handles: every object of the layer (event, semaphore, mutex, thread,
// serial port) is reached through a HANDLE and given back with CloseHandle.
#include <atomic>
#include <cstdint>

#include "platform/win_types.h"

// Base of every object behind a HANDLE. It is reference counted so that an
// object stays alive while a wait or a running thread still uses it, even
// after its owner closed the handle.
class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Drops one reference; the last one deletes the object.
  void Release();

  // Called once by CloseHandle before the handle's reference is dropped:
  // an object that owns a system resource (a file descriptor) frees it here
  // and reports failure with false and the error in GetLastError.
  virtual bool OnClose() { return true; }

 private:
  std::atomic<int> refs_{1};
};

using HANDLE = KernelObject*;

// All bits set, as the callers expect of a handle that is not open.
inline HANDLE const INVALID_HANDLE_VALUE =
    reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Closes a handle: 1 on success, 0 (with GetLastError) for a null or
// invalid handle or when the object failed to free its resource.
BOOL CloseHandle(HANDLE handle);

// The calling thread's last error code. Codes are errno values.
DWORD GetLastError();
void SetLastError(DWORD code);

// True when the handle names an object (neither null nor invalid).
inline bool IsUsableHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
