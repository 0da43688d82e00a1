#include "platform/handle.h"

#include <cerrno>

namespace {
thread_local DWORD tLastError = 0;
}

void KernelObject::Release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

BOOL CloseHandle(HANDLE handle) {
  if (!IsUsableHandle(handle)) {
    SetLastError(EBADF);
    return 0;
  }
  const bool closed = handle->OnClose();
  const DWORD error = GetLastError();
  handle->Release();
  if (!closed) {
    SetLastError(error);
    return 0;
  }
  return 1;
}

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }
