#pragma once
// Waiting on events, semaphores, mutexes and threads.
#include "platform/handle.h"

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Waits until the object can be taken or `milliseconds` pass (INFINITE:
// no limit). WAIT_OBJECT_0, WAIT_ABANDONED (a mutex whose owner ended),
// WAIT_TIMEOUT, or WAIT_FAILED with GetLastError for a bad handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// Waits until any one of `count` objects can be taken. When several can,
// the lowest index wins and only that one is taken. WAIT_OBJECT_0 + i,
// WAIT_ABANDONED + i, WAIT_TIMEOUT or WAIT_FAILED. Waiting for all of them
// at once is not supported (WAIT_FAILED with EINVAL).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles,
                             BOOL wait_all, DWORD milliseconds);

// Sleep(0) gives up the rest of the time slice.
void Sleep(DWORD milliseconds);
