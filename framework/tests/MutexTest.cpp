#include "AAX_CMutex.h"
#include "AAX_StLock_Guard.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

// Runs `action` on another thread and returns its answer.
template <class F>
auto OnOtherThread(F action) {
  return std::async(std::launch::async, action).get();
}

TEST(Mutex, NestedLockAnswersFalseAndOneUnlockReleases) {
  AAX_CMutex mutex;
  EXPECT_TRUE(mutex.Lock());
  EXPECT_FALSE(mutex.Lock());
  EXPECT_TRUE(mutex.Try_Lock());  // already owned: true without locking again
  EXPECT_FALSE(OnOtherThread([&] { return mutex.Try_Lock(); }));
  mutex.Unlock();
  EXPECT_TRUE(OnOtherThread([&] {
    const bool locked = mutex.Try_Lock();
    if (locked) mutex.Unlock();
    return locked;
  }));
}

TEST(Mutex, UnlockFromAnotherThreadLeavesTheLockInPlace) {
  AAX_CMutex mutex;
  ASSERT_TRUE(mutex.Lock());
  OnOtherThread([&] {
    mutex.Unlock();
    return 0;
  });
  EXPECT_FALSE(OnOtherThread([&] { return mutex.Try_Lock(); }));
  mutex.Unlock();
  EXPECT_TRUE(OnOtherThread([&] {
    const bool locked = mutex.Lock();
    mutex.Unlock();
    return locked;
  }));
}

TEST(Mutex, UnlockWithoutLockDoesNothing) {
  AAX_CMutex mutex;
  mutex.Unlock();
  EXPECT_TRUE(mutex.Try_Lock());
  mutex.Unlock();
}

TEST(Mutex, LockWaitsForTheOwner) {
  AAX_CMutex mutex;
  ASSERT_TRUE(mutex.Lock());
  std::promise<void> started;
  int shared = 0;
  std::thread waiter([&] {
    started.set_value();
    EXPECT_TRUE(mutex.Lock());
    EXPECT_EQ(shared, 1);
    mutex.Unlock();
  });
  started.get_future().wait();
  shared = 1;
  mutex.Unlock();
  waiter.join();
}

TEST(LockGuard, NestedGuardLeavesTheOuterLockHeld) {
  AAX_CMutex mutex;
  {
    AAX_StLock_Guard outer(mutex);
    {
      AAX_StLock_Guard inner(mutex);  // Lock() answers false: the inner guard must not unlock
    }
    EXPECT_FALSE(OnOtherThread([&] { return mutex.Try_Lock(); }));
  }
  EXPECT_TRUE(OnOtherThread([&] {
    const bool locked = mutex.Try_Lock();
    if (locked) mutex.Unlock();
    return locked;
  }));
}

}  // namespace
