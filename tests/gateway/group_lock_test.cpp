// GroupLock with real threads: routing ids to items, one mutex per group,
// the bounded wait, abandoned and foreign mutexes, and the map after a
// failed Add.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gateway/group_lock.h"
#include "platform/sync.h"
#include "platform/wait.h"

namespace {

struct Port {
  int number;
};

constexpr DWORD kLongWait = 10000;  // ms; only a broken lock waits this long

// A manual-reset event closed at the end of the scope.
class Signal {
 public:
  Signal() : event_(CreateEventA(nullptr, 1, 0, nullptr)) {}
  ~Signal() { CloseHandle(event_); }
  void Set() { SetEvent(event_); }
  bool Wait(DWORD ms = kLongWait) {
    return WaitForSingleObject(event_, ms) == WAIT_OBJECT_0;
  }

 private:
  HANDLE event_;
};

class GroupLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(locks.Add({1, 2, 3}, &first, kLongWait), kGroupLockOk);
    ASSERT_EQ(locks.Add({10, 11}, &second, kLongWait), kGroupLockOk);
  }

  // Lock and unlock on a thread of its own; the error code of the lock.
  int LockElsewhere(int id) {
    int error = 1;
    std::thread([&] {
      if (locks.Lock(id, error) != nullptr) locks.Unlock(id);
    }).join();
    return error;
  }

  Port first{1};
  Port second{2};
  GroupLock<Port> locks;
};

TEST_F(GroupLockTest, EachIdLeadsToItsItem) {
  int error = 1;
  EXPECT_EQ(locks.Lock(2, error), &first);
  EXPECT_EQ(error, kGroupLockOk);
  EXPECT_EQ(locks.Unlock(2), kGroupLockOk);
  EXPECT_EQ(locks.Lock(11, error), &second);
  EXPECT_EQ(error, kGroupLockOk);
  EXPECT_EQ(locks.Unlock(11), kGroupLockOk);
}

TEST_F(GroupLockTest, UnmappedIdsGiveNoItem) {
  for (int id : {0, 4, 12, 255, -1}) {
    int error = 0;
    EXPECT_EQ(locks.Lock(id, error), nullptr);
    EXPECT_EQ(error, kGroupLockNoSuchId);
    EXPECT_EQ(locks.Unlock(id), kGroupLockNoSuchId);
  }
}

TEST_F(GroupLockTest, AnIdHeldElsewhereTimesOutForEveryIdOfItsGroup) {
  GroupLock<Port> quick;
  ASSERT_EQ(quick.Add({5, 6}, &first, 50), kGroupLockOk);
  int error = 1;
  ASSERT_EQ(quick.Lock(5, error), &first);
  for (int id : {5, 6}) {
    const auto start = std::chrono::steady_clock::now();
    std::thread([&] {
      int waited = 0;
      EXPECT_EQ(quick.Lock(id, waited), nullptr);
      EXPECT_EQ(waited, kGroupLockTimeout);
    }).join();
    // The wait is the group's time-out, not an immediate refusal.
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(40));
  }
  EXPECT_EQ(quick.Unlock(5), kGroupLockOk);
  int error_after = 1;
  std::thread([&] {
    if (quick.Lock(6, error_after) != nullptr) quick.Unlock(6);
  }).join();
  EXPECT_EQ(error_after, kGroupLockOk);
}

TEST_F(GroupLockTest, AnotherGroupRunsWhileOneIsHeld) {
  Signal held, other_done, release;
  std::thread holder([&] {
    int error = 1;
    ASSERT_EQ(locks.Lock(1, error), &first);
    held.Set();
    release.Wait();
    locks.Unlock(1);
  });
  ASSERT_TRUE(held.Wait());
  int other_error = 1;
  std::thread other([&] {
    if (locks.Lock(10, other_error) != nullptr) locks.Unlock(10);
    other_done.Set();
  });
  // Were the groups one lock, this would wait for the release below.
  EXPECT_TRUE(other_done.Wait());
  release.Set();
  other.join();
  holder.join();
  EXPECT_EQ(other_error, kGroupLockOk);
}

TEST_F(GroupLockTest, ThreadsOnOneGroupNeverOverlap) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::atomic<int> inside_first{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> failures{0};
  long unguarded_count = 0;  // a data race unless the lock works
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const int id = 1 + (t + round) % 3;
        int error = 0;
        if (locks.Lock(id, error) == nullptr) {
          ++failures;
          continue;
        }
        if (inside_first.fetch_add(1) != 0) ++overlaps;
        ++unguarded_count;
        inside_first.fetch_sub(1);
        if (locks.Unlock(id) != kGroupLockOk) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(unguarded_count, kThreads * kRounds);
}

TEST_F(GroupLockTest, OnlyTheOwnerCanUnlock) {
  Signal held, release;
  std::thread holder([&] {
    int error = 1;
    ASSERT_EQ(locks.Lock(3, error), &first);
    held.Set();
    release.Wait();
    EXPECT_EQ(locks.Unlock(3), kGroupLockOk);
  });
  ASSERT_TRUE(held.Wait());
  EXPECT_EQ(locks.Unlock(3), kGroupLockFailed);
  EXPECT_EQ(locks.Unlock(1), kGroupLockFailed);
  release.Set();
  holder.join();
  EXPECT_EQ(locks.Unlock(3), kGroupLockFailed);  // free: nobody owns it
}

TEST_F(GroupLockTest, AnAbandonedGroupFailsOnceAndIsFreeAgain) {
  std::thread([&] {
    int error = 1;
    EXPECT_EQ(locks.Lock(2, error), &first);  // ends without Unlock
  }).join();
  EXPECT_EQ(LockElsewhere(1), kGroupLockFailed);
  // The failed wait let the mutex go, so the port is not stuck.
  EXPECT_EQ(LockElsewhere(3), kGroupLockOk);
  int error = 1;
  EXPECT_EQ(locks.Lock(2, error), &first);
  EXPECT_EQ(locks.Unlock(2), kGroupLockOk);
}

TEST_F(GroupLockTest, AddWithAMappedIdChangesNothing) {
  Port third{3};
  // 20 and 21 would be new, 2 belongs to the first group.
  EXPECT_EQ(locks.Add({20, 21, 2, 22}, &third, kLongWait), kGroupLockIdMapped);
  int error = 0;
  for (int id : {20, 21, 22}) {
    EXPECT_EQ(locks.Lock(id, error), nullptr) << id;
    EXPECT_EQ(error, kGroupLockNoSuchId) << id;
  }
  // The first group still has its own, open mutex.
  EXPECT_EQ(LockElsewhere(2), kGroupLockOk);
  // The refused ids are free for a later group.
  EXPECT_EQ(locks.Add({20, 21, 22}, &third, kLongWait), kGroupLockOk);
  EXPECT_EQ(LockElsewhere(22), kGroupLockOk);
}

TEST_F(GroupLockTest, AddWithAnIdTwiceMapsNone) {
  Port third{3};
  EXPECT_EQ(locks.Add({30, 31, 30}, &third, kLongWait), kGroupLockIdMapped);
  EXPECT_EQ(LockElsewhere(30), kGroupLockNoSuchId);
  EXPECT_EQ(LockElsewhere(31), kGroupLockNoSuchId);
}

TEST_F(GroupLockTest, EmptyAddMapsNothing) {
  Port third{3};
  EXPECT_EQ(locks.Add({}, &third, kLongWait), kGroupLockOk);
  EXPECT_EQ(LockElsewhere(0), kGroupLockNoSuchId);
}

TEST_F(GroupLockTest, ClearUnmapsEveryIdAndAllowsANewMap) {
  locks.Clear();
  for (int id : {1, 2, 3, 10, 11}) {
    EXPECT_EQ(LockElsewhere(id), kGroupLockNoSuchId) << id;
  }
  locks.Clear();  // an empty map clears too
  EXPECT_EQ(locks.Add({1, 10}, &second, kLongWait), kGroupLockOk);
  int error = 1;
  EXPECT_EQ(locks.Lock(1, error), &second);
  EXPECT_EQ(locks.Unlock(1), kGroupLockOk);
}

}  // namespace
