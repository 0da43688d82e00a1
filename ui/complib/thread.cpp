#include "ui/complib/thread.h"

#include <stdexcept>

#include "platform/thread.h"
#include "platform/wait.h"
#include "ui/complib/synchronize.h"

TThread::TThread() {
  handle_ = CreateThread(nullptr, 0, &TThread::ThreadProc, this,
                         CREATE_SUSPENDED, nullptr);
  if (handle_ == nullptr) throw std::runtime_error("Cannot create a thread");
}

TThread::~TThread() {
  if (!finished_.load()) {
    orphaned_.store(true);
    TerminateAndWait();
  }
  CloseHandle(handle_);
}

void TThread::TerminateAndWait() {
  Terminate();
  Resume();
  WaitFor();
}

void TThread::Resume() {
  if (suspended_.exchange(false)) ResumeThread(handle_);
}

void TThread::WaitFor() {
  if (!IsMainThread()) {
    WaitForSingleObject(handle_, INFINITE);
    return;
  }
  // The main thread serves the thread's Synchronize calls while it waits,
  // or a thread blocked in one would never end.
  const HANDLE handles[2] = {handle_, SyncEvent()};
  for (;;) {
    const DWORD result = WaitForMultipleObjects(2, handles, 0, INFINITE);
    if (result != WAIT_OBJECT_0 + 1) break;
    CheckSynchronize();
  }
}

void TThread::Synchronize(const std::function<void()>& method) {
  SynchronizeCall(method);
}

DWORD TThread::ThreadProc(LPVOID self) {
  auto* thread = static_cast<TThread*>(self);
  try {
    if (!thread->orphaned_.load()) thread->Execute();
  } catch (...) {
    // An exception must not leave the thread's routine; the thread ends.
  }
  thread->finished_.store(true);
  return 0;
}
