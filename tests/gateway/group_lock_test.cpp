// GroupLock: what a failed or empty Add leaves, and an abandoned group.
// Routing, waiting across threads and ports, and Clear are tested on real
// ports with the port table.
#include <thread>

#include <gtest/gtest.h>

#include "gateway/group_lock.h"

namespace {

struct Port {
  int number;
};

constexpr DWORD kLongWait = 10000;  // ms; only a broken lock waits this long

class GroupLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(locks.Add({1, 2, 3}, &first, kLongWait), kGroupLockOk);
    ASSERT_EQ(locks.Add({10, 11}, &second, kLongWait), kGroupLockOk);
  }

  // Locks and unlocks on a thread of its own: the error code of the lock.
  int LockElsewhere(int id) {
    int error = 1;
    std::thread([&] {
      if (locks.Lock(id, error) != nullptr) locks.Unlock(id);
    }).join();
    return error;
  }

  Port first{1};
  Port second{2};
  Port third{3};
  GroupLock<Port> locks;
};

TEST_F(GroupLockTest, AnAbandonedGroupFailsOnceAndIsFreeAgain) {
  std::thread([&] {
    int error = 1;
    EXPECT_EQ(locks.Lock(2, error), &first);  // ends without Unlock
  }).join();
  EXPECT_EQ(LockElsewhere(1), kGroupLockFailed);
  // The failed wait let the mutex go, so the port is not stuck.
  EXPECT_EQ(LockElsewhere(3), kGroupLockOk);
}

// Under the leak checker this also shows that no mutex is left behind.
TEST_F(GroupLockTest, AFailedOrEmptyAddChangesNothing) {
  // 20 and 21 would be new, 2 belongs to the first group.
  EXPECT_EQ(locks.Add({20, 21, 2, 22}, &third, kLongWait), kGroupLockIdMapped);
  EXPECT_EQ(locks.Add({30, 31, 30}, &third, kLongWait), kGroupLockIdMapped);
  EXPECT_EQ(locks.Add({}, &third, kLongWait), kGroupLockOk);
  for (int id : {0, 20, 21, 22, 30, 31}) {
    EXPECT_EQ(LockElsewhere(id), kGroupLockNoSuchId) << id;
  }
  // The first group keeps its own, open mutex (a closed one would be used
  // after it was freed here).
  EXPECT_EQ(LockElsewhere(2), kGroupLockOk);
  // The refused ids are free for a later group.
  EXPECT_EQ(locks.Add({20, 21, 22}, &third, kLongWait), kGroupLockOk);
  EXPECT_EQ(LockElsewhere(22), kGroupLockOk);
}

}  // namespace
