#include "platform/thread.h"

#include <pthread.h>
#include <unistd.h>
#include <sys/syscall.h>

#include <cerrno>
#include <condition_variable>

#include "platform/sync_mutex.h"
#include "platform/waitable.h"

namespace {

inline constexpr DWORD kStillActive = 259;

class Thread final : public Waitable {
 public:
  Thread(LPTHREAD_START_ROUTINE routine, LPVOID parameter, bool suspended)
      : routine_(routine), parameter_(parameter), suspended_(suspended) {}

  DWORD Resume() {
    std::lock_guard<std::mutex> guard(lock_);
    const DWORD previous = suspended_ ? 1 : 0;
    suspended_ = false;
    resumed_.notify_all();
    return previous;
  }

  bool ExitCode(DWORD* code) {
    std::lock_guard<std::mutex> guard(lock_);
    *code = ended_ ? exit_code_ : kStillActive;
    return true;
  }

  // The body of the new system thread. It holds its own reference to the
  // object, so closing the handle does not pull it away.
  static void* Run(void* self) {
    static_cast<Thread*>(self)->RunRoutine();
    static_cast<Thread*>(self)->Release();
    return nullptr;
  }

 protected:
  // A thread handle stays signalled once the thread has ended; waits never
  // consume it.
  Take TryTakeLocked(const platform_detail::Waiter*) override {
    return ended_ ? Take::kTaken : Take::kNone;
  }
  bool IsSignalledLocked() const override { return ended_; }

 private:
  void RunRoutine() {
    {
      std::unique_lock<std::mutex> lock(lock_);
      resumed_.wait(lock, [this] { return !suspended_; });
    }
    const DWORD code = routine_(parameter_);
    // Mutexes still held count as abandoned before anyone sees the end.
    AbandonMutexesOfCurrentThread();
    std::lock_guard<std::mutex> guard(lock_);
    exit_code_ = code;
    ended_ = true;
    WakeLocked(-1);
  }

  const LPTHREAD_START_ROUTINE routine_;
  const LPVOID parameter_;
  bool suspended_;
  bool ended_ = false;
  DWORD exit_code_ = 0;
  std::condition_variable resumed_;
};

Thread* AsThread(HANDLE handle) {
  auto* thread = IsUsableHandle(handle) ? dynamic_cast<Thread*>(handle) : nullptr;
  if (thread == nullptr) SetLastError(EBADF);
  return thread;
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, DWORD stack_size,
                    LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                    DWORD creation_flags, DWORD* thread_id) {
  auto* thread =
      new Thread(routine, parameter, (creation_flags & CREATE_SUSPENDED) != 0);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  int error = 0;
  if (stack_size != 0) {
    const size_t minimum = PTHREAD_STACK_MIN;
    error = pthread_attr_setstacksize(
        &attributes, stack_size < minimum ? minimum : stack_size);
  }
  thread->AddRef();  // the running thread's own reference
  pthread_t system_thread;
  if (error == 0) {
    error = pthread_create(&system_thread, &attributes, &Thread::Run, thread);
  }
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    thread->Release();
    thread->Release();
    SetLastError(static_cast<DWORD>(error));
    return nullptr;
  }
  if (thread_id != nullptr) *thread_id = 0;  // nobody uses the id
  return thread;
}

DWORD ResumeThread(HANDLE handle) {
  Thread* thread = AsThread(handle);
  return thread == nullptr ? 0xFFFFFFFFu : thread->Resume();
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exit_code) {
  Thread* thread = AsThread(handle);
  return thread != nullptr && thread->ExitCode(exit_code) ? 1 : 0;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }
