#pragma once
// Threads behind handles: a thread handle is signalled once the thread's
// routine has returned; closing the handle of a running thread leaves the
// thread running (it is never killed).
#include "platform/handle.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

inline constexpr DWORD CREATE_SUSPENDED = 0x4;

// stack_size 0 takes the system's default. With CREATE_SUSPENDED the
// routine does not start before ResumeThread. Null on failure, with the
// system's error code in GetLastError.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, DWORD stack_size,
                    LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                    DWORD creation_flags, DWORD* thread_id);

// Returns the suspend count before the call (1 for a thread that was
// suspended and now runs, 0 for one that ran already), or 0xFFFFFFFF.
DWORD ResumeThread(HANDLE thread);

// The routine's return value once it has ended; false while it runs.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code);

DWORD GetCurrentThreadId();
