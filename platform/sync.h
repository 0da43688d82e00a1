#pragma once
// Events, counting semaphores, mutexes with owners, and critical sections.
#include <mutex>

#include "platform/handle.h"

// Events. A manual-reset event stays signalled until ResetEvent; an
// auto-reset event is taken (reset) by the one wait that it ends.
// Only unnamed objects exist: `name` must be null or empty.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset,
                    BOOL initial_state, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Counting semaphores: each wait takes one count. Releasing past the
// maximum fails (EINVAL) and changes nothing.
HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initial_count,
                        LONG maximum_count, const char* name);
BOOL ReleaseSemaphore(HANDLE semaphore, LONG release_count,
                      LONG* previous_count);

// Mutexes as the gateway expects them: owned by the thread whose wait took
// them, recursive for that owner, released only by it (another thread's
// ReleaseMutex fails with EPERM). A released mutex goes to the thread
// that has waited longest, never back to a releasing thread that waits
// again at once. When an owner thread ends while holding it, the next
// wait takes it and reports WAIT_ABANDONED.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner,
                    const char* name);
BOOL ReleaseMutex(HANDLE mutex);

// A critical section: a recursive lock for one process, never waited on
// with the wait functions.
struct CRITICAL_SECTION {
  std::recursive_mutex lock;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
