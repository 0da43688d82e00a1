// Events, semaphores, mutexes and threads, with real threads. No timing is
// asserted beyond "a wait with a time-out returns".
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/wait.h"

namespace {

struct Closer {
  HANDLE handle;
  ~Closer() { CloseHandle(handle); }
};

TEST(Event, AutoResetIsTakenByOneWaitManualResetWakesEveryWaiter) {
  HANDLE automatic = CreateEventA(nullptr, 0, 1, nullptr);
  HANDLE manual = CreateEventA(nullptr, 1, 0, nullptr);
  Closer c1{automatic}, c2{manual};
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 10), WAIT_TIMEOUT);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 8; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(manual, INFINITE) == WAIT_OBJECT_0) ++woken;
    });
  }
  SetEvent(manual);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken, 8);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);  // stays set
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
}

TEST(Semaphore, ReleasingPastTheMaximumFailsAndChangesNothing) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 2, nullptr);
  Closer closer{semaphore};
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  EXPECT_EQ(CreateSemaphoreA(nullptr, 3, 2, nullptr), nullptr);
}

TEST(Mutex, IsRecursiveForItsOwnerAndReleasedOnlyByIt) {
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  Closer closer{mutex};
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  std::thread other([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 10), WAIT_TIMEOUT);
    EXPECT_EQ(ReleaseMutex(mutex), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EPERM));
  });
  other.join();
  EXPECT_EQ(ReleaseMutex(mutex), 1);
  EXPECT_EQ(ReleaseMutex(mutex), 1);
  EXPECT_EQ(ReleaseMutex(mutex), 0);  // no longer owned
}

DWORD HoldMutex(LPVOID mutex) {
  WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
  return 0;
}

// Whoever sees the thread's end also sees the mutex abandoned, once.
TEST(Mutex, HeldAtThreadEndIsAbandonedBeforeTheEndIsSeen) {
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  Closer closer{mutex};
  HANDLE thread = CreateThread(nullptr, 0, HoldMutex, mutex, 0, nullptr);
  Closer thread_closer{thread};
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
  EXPECT_EQ(ReleaseMutex(mutex), 1);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
}

DWORD MarkRan(LPVOID flag) {
  static_cast<std::atomic<bool>*>(flag)->store(true);
  return 0;
}

TEST(Thread, SuspendedThreadRunsOnlyAfterResumeAndStaysSignalled) {
  std::atomic<bool> ran{false};
  HANDLE thread = CreateThread(nullptr, 0x80000, MarkRan, &ran,
                               CREATE_SUSPENDED, nullptr);
  ASSERT_NE(thread, nullptr);
  Closer closer{thread};
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  EXPECT_FALSE(ran);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
}

}  // namespace
