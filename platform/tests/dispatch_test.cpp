// Main queue, global pool and delayed blocks.

#include "qm/platform/dispatch.h"
#include "qm/platform/time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace qm::platform;

namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setCurrentThreadAsMain();
    ASSERT_TRUE(dispatchWaitForIdle(10));
  }
};

}  // namespace

TEST_F(DispatchTest, MainBlocksRunInOrderOnlyWhenDrained) {
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) dispatchMain([&order, i] { order.push_back(i); });
  EXPECT_TRUE(order.empty());
  EXPECT_TRUE(isMainThread());
  EXPECT_EQ(drainMainQueue(), 5u);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));

  // A block queued by a main block waits for the next drain.
  dispatchMain([&] { dispatchMain([&] { order.push_back(99); }); });
  EXPECT_EQ(drainMainQueue(), 1u);
  EXPECT_EQ(order.size(), 5u);
  EXPECT_EQ(drainMainQueue(), 1u);
  EXPECT_EQ(order.back(), 99);
}

TEST_F(DispatchTest, GlobalBlocksRunOffTheMainThreadAndDeliverToMain) {
  std::atomic<int> offMain{0};
  std::vector<int> delivered;  // touched only on the main thread
  for (int i = 0; i < 20; ++i)
    dispatchGlobal([&, i] {
      if (!isMainThread()) ++offMain;
      dispatchMain([&, i] { delivered.push_back(i); });
    });
  ASSERT_TRUE(dispatchWaitForIdle(10));
  EXPECT_EQ(offMain.load(), 20);
  EXPECT_EQ(delivered.size(), 20u);
}

TEST_F(DispatchTest, PoolGrowsWhileBlocksWaitForEachOther) {
  // Eight blocks that each wait until all eight are running at once: a fixed pool smaller than
  // that would never finish.
  constexpr int kBlocks = 8;
  std::mutex m;
  std::condition_variable cv;
  int arrived = 0;
  std::atomic<int> finished{0};
  for (int i = 0; i < kBlocks; ++i)
    dispatchGlobal([&] {
      std::unique_lock<std::mutex> lock(m);
      ++arrived;
      cv.notify_all();
      if (cv.wait_for(lock, std::chrono::seconds(10), [&] { return arrived == kBlocks; })) ++finished;
    });
  ASSERT_TRUE(dispatchWaitForIdle(20));
  EXPECT_EQ(finished.load(), kBlocks);
}

TEST_F(DispatchTest, DelayedBlocksRunUnlessCancelled) {
  std::atomic<int> ran{0};
  std::atomic<int> cancelledRan{0};
  DispatchToken keep = dispatchGlobalAfter(0.05, [&] { ++ran; });
  DispatchToken drop = dispatchGlobalAfter(0.05, [&] { ++cancelledRan; });
  drop.cancel();
  EXPECT_TRUE(drop.isCancelled());
  EXPECT_FALSE(keep.isCancelled());

  bool mainRan = false, mainCancelledRan = false;
  dispatchMainAfter(0.02, [&] { mainRan = true; });
  DispatchToken mainDrop = dispatchMainAfter(0.02, [&] { mainCancelledRan = true; });
  mainDrop.cancel();

  EXPECT_TRUE(runMainQueueUntil([&] { return mainRan && ran.load() == 1; }, 10));
  // Give the cancelled ones every chance to (wrongly) run.
  bool later = false;
  dispatchMainAfter(0.1, [&] { later = true; });
  EXPECT_TRUE(runMainQueueUntil([&] { return later; }, 10));
  ASSERT_TRUE(dispatchWaitForIdle(10));
  EXPECT_EQ(cancelledRan.load(), 0);
  EXPECT_FALSE(mainCancelledRan);
}

TEST_F(DispatchTest, DelayedBlocksFireInDueOrder) {
  std::vector<int> order;
  dispatchMainAfter(0.15, [&] { order.push_back(3); });
  dispatchMainAfter(0.0, [&] { order.push_back(1); });
  dispatchMainAfter(0.05, [&] { order.push_back(2); });
  EXPECT_TRUE(runMainQueueUntil([&] { return order.size() == 3; }, 10));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(DispatchTest, CancelAfterQueuingButBeforeRunningStopsTheBlock) {
  // The delayed block becomes due and moves to the main queue, but is cancelled before the
  // main thread drains it.
  bool ran = false;
  DispatchToken token = dispatchMainAfter(0.0, [&] { ran = true; });
  EXPECT_TRUE(waitForMainQueueWork(10));
  token.cancel();
  drainMainQueue();
  EXPECT_FALSE(ran);
}

TEST_F(DispatchTest, ThrowingBlocksDoNotStopTheQueues) {
  std::atomic<int> after{0};
  dispatchGlobal([] { throw 1; });
  dispatchGlobal([&] { ++after; });
  dispatchMain([] { throw 2; });
  dispatchMain([&] { ++after; });
  ASSERT_TRUE(dispatchWaitForIdle(10));
  EXPECT_EQ(after.load(), 2);
}

TEST_F(DispatchTest, WaitForIdleGivesUpWhenWorkNeverEnds) {
  std::atomic<bool> release{false};
  dispatchGlobal([&] {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  EXPECT_FALSE(dispatchWaitForIdle(0.05));
  release = true;
  EXPECT_TRUE(dispatchWaitForIdle(10));
}

TEST_F(DispatchTest, ManualClockStepsDelayedBlocksWithoutSleeping) {
  ManualClock clock(500.0);
  EXPECT_EQ(currentTimeSeconds(), 500.0);

  std::vector<std::pair<int, double>> ran;  // block and the time it saw
  dispatchMainAfter(10.0, [&] { ran.push_back({1, currentTimeSeconds()}); });
  DispatchToken dropped = dispatchMainAfter(5.0, [&] { ran.push_back({99, currentTimeSeconds()}); });
  // A fade: a block at 0.5 s that schedules twenty steps 0.1 s apart.
  dispatchMainAfter(0.5, [&] {
    for (int i = 1; i <= 20; ++i) dispatchMainAfter(0.1 * i, [&, i] { ran.push_back({100 + i, currentTimeSeconds()}); });
  });
  dropped.cancel();

  clock.advance(1.95);
  ASSERT_EQ(ran.size(), 14u);  // steps at 0.6 ... 1.9
  EXPECT_EQ(ran.front().first, 101);
  EXPECT_NEAR(ran.front().second, 500.6, 1e-9);
  clock.advance(1.05);
  ASSERT_EQ(ran.size(), 20u);
  EXPECT_EQ(ran.back().first, 120);
  EXPECT_NEAR(ran.back().second, 502.5, 1e-9);
  EXPECT_EQ(clock.now(), 503.0);

  clock.advance(6.9);
  EXPECT_EQ(ran.size(), 20u);  // the 10 s block is not due yet, the cancelled one never runs
  clock.advance(0.2);
  ASSERT_EQ(ran.size(), 21u);
  EXPECT_EQ(ran.back().first, 1);
  EXPECT_NEAR(ran.back().second, 510.0, 1e-9);
}

TEST_F(DispatchTest, BlocksLeftWaitingOnAManualClockFallDueByRealTimeAfterwards) {
  bool ran = false;
  {
    ManualClock clock;
    dispatchMainAfter(0.05, [&] { ran = true; });
    clock.advance(0.01);
  }
  EXPECT_TRUE(runMainQueueUntil([&] { return ran; }, 10));
}
