// Events, semaphores, mutexes, threads and the wait functions, with real
// threads. No timing is asserted beyond "a wait with a time-out returns".
#include <atomic>
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

TEST(Event, AutoResetIsTakenByOneWait) {
  HANDLE event = CreateEventA(nullptr, 0, 1, nullptr);
  Closer closer{event};
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  HANDLE event = CreateEventA(nullptr, 1, 0, "");
  Closer closer{event};
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ResetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST(Event, SetWakesEveryWaiterOfAManualEvent) {
  HANDLE event = CreateEventA(nullptr, 1, 0, nullptr);
  Closer closer{event};
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 8; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++woken;
    });
  }
  SetEvent(event);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken, 8);
}

TEST(Event, NamedObjectsAreRefused) {
  EXPECT_EQ(CreateEventA(nullptr, 0, 0, "shared"), nullptr);
}

TEST(Semaphore, CountsAndEnforcesItsMaximum) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 2, nullptr);
  Closer closer{semaphore};
  LONG previous = -1;
  EXPECT_EQ(ReleaseSemaphore(semaphore, 1, &previous), 1);
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(ReleaseSemaphore(semaphore, 1, &previous), 1);
  EXPECT_EQ(previous, 1);
  EXPECT_EQ(ReleaseSemaphore(semaphore, 1, &previous), 0);  // past 2
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
}

TEST(Semaphore, ManyProducersAndConsumersLoseNoCount) {
  constexpr int kThreads = 8;
  constexpr int kEach = 2000;
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, kThreads * kEach, nullptr);
  Closer closer{semaphore};
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      for (int n = 0; n < kEach; ++n) ReleaseSemaphore(semaphore, 1, nullptr);
    });
    threads.emplace_back([&] {
      for (int n = 0; n < kEach; ++n) {
        if (WaitForSingleObject(semaphore, INFINITE) == WAIT_OBJECT_0) ++taken;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(taken, kThreads * kEach);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
}

TEST(WaitMultiple, LowestSignalledIndexWinsAndOnlyItIsTaken) {
  HANDLE stop = CreateEventA(nullptr, 0, 0, nullptr);
  HANDLE lines = CreateSemaphoreA(nullptr, 0, 64, nullptr);
  Closer c1{stop}, c2{lines};
  HANDLE both[2] = {stop, lines};
  ReleaseSemaphore(lines, 1, nullptr);
  SetEvent(stop);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 20), WAIT_TIMEOUT);
}

TEST(WaitMultiple, BadArgumentsFail) {
  HANDLE event = CreateEventA(nullptr, 0, 0, nullptr);
  Closer closer{event};
  HANDLE list[2] = {event, INVALID_HANDLE_VALUE};
  EXPECT_EQ(WaitForMultipleObjects(2, list, 0, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(1, list, 1, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(Mutex, IsRecursiveForItsOwnerAndReleasedOnlyByIt) {
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  Closer closer{mutex};
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  std::thread other([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 10), WAIT_TIMEOUT);
    EXPECT_EQ(ReleaseMutex(mutex), 0);
  });
  other.join();
  EXPECT_EQ(ReleaseMutex(mutex), 1);
  EXPECT_EQ(ReleaseMutex(mutex), 1);
  EXPECT_EQ(ReleaseMutex(mutex), 0);  // no longer owned
}

TEST(Mutex, OwnerThatEndsLeavesItAbandoned) {
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  Closer closer{mutex};
  std::thread owner([&] { WaitForSingleObject(mutex, INFINITE); });
  owner.join();
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
  EXPECT_EQ(ReleaseMutex(mutex), 1);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
}

TEST(Mutex, ExcludesManyThreads) {
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  Closer closer{mutex};
  int counter = 0;  // guarded by the mutex; a data race shows under TSan
  std::vector<std::thread> threads;
  for (int i = 0; i < 16; ++i) {
    threads.emplace_back([&] {
      for (int n = 0; n < 500; ++n) {
        ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
        ++counter;
        ReleaseMutex(mutex);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 16 * 500);
}

DWORD ReturnSeven(LPVOID flag) {
  static_cast<std::atomic<bool>*>(flag)->store(true);
  return 7;
}

TEST(Thread, SuspendedThreadRunsOnlyAfterResume) {
  std::atomic<bool> ran{false};
  HANDLE thread = CreateThread(nullptr, 0x80000, ReturnSeven, &ran,
                               CREATE_SUSPENDED, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  EXPECT_FALSE(ran);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // stays signalled
  DWORD code = 0;
  EXPECT_EQ(GetExitCodeThread(thread, &code), 1);
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(ran);
  CloseHandle(thread);
}

DWORD HoldMutex(LPVOID mutex) {
  WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
  return 0;
}

TEST(Thread, MutexHeldAtThreadEndIsAbandonedBeforeTheEndIsSeen) {
  HANDLE mutex = CreateMutexA(nullptr, 0, nullptr);
  Closer closer{mutex};
  HANDLE thread = CreateThread(nullptr, 0, HoldMutex, mutex, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
  ReleaseMutex(mutex);
  CloseHandle(thread);
}

DWORD WaitForEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 0;
}

TEST(Thread, ClosingTheHandleOfARunningThreadLeavesItRunning) {
  HANDLE go = CreateEventA(nullptr, 1, 0, nullptr);
  Closer closer{go};
  HANDLE thread = CreateThread(nullptr, 0, WaitForEvent, go, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(CloseHandle(thread), 1);
  SetEvent(go);  // the thread still ends normally; ASan sees no leak
  Sleep(20);
}

TEST(Handle, ClosingANullOrInvalidHandleFails) {
  EXPECT_EQ(CloseHandle(nullptr), 0);
  EXPECT_EQ(CloseHandle(INVALID_HANDLE_VALUE), 0);
}

}  // namespace
