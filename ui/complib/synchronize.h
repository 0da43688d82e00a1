#pragma once
// The hand-over of calls from worker threads to the main thread, the
// mechanism behind TThread::Synchronize.
#include <functional>

#include "platform/handle.h"

// True in the thread that runs the application's event loop (or in any
// thread while no application object exists).
bool IsMainThread();

// Queues `method` for the main thread and blocks until it has run there.
// Called in the main thread itself, it runs `method` at once.
void SynchronizeCall(const std::function<void()>& method);

// Runs every queued call. Only in the main thread.
void CheckSynchronize();

// An auto-reset event signalled whenever a call is queued; the main thread
// waits on it beside a thread handle so it can serve calls while it waits.
HANDLE SyncEvent();
