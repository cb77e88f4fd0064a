#include "qm/platform/dispatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "clock_internal.h"

namespace qm::platform {

using Clock = std::chrono::steady_clock;

struct DispatchToken::State {
  std::atomic<bool> cancelled{false};
};

DispatchToken::DispatchToken() : state_(std::make_shared<State>()) {}
void DispatchToken::cancel() const { state_->cancelled.store(true, std::memory_order_release); }
bool DispatchToken::isCancelled() const { return state_->cancelled.load(std::memory_order_acquire); }

namespace {

void runGuarded(const DispatchBlock& block) noexcept {
  try {
    if (block) block();
  } catch (...) {
  }
}

Clock::duration toDuration(double seconds) {
  if (!(seconds > 0)) return Clock::duration::zero();
  seconds = std::min(seconds, 1e7);
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// ---- main queue ----

struct MainQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<DispatchBlock> blocks;
  std::thread::id owner;
  bool ownerSet = false;
};

MainQueue& mainQueue() {
  static auto* q = new MainQueue;  // never destroyed: other threads may post during exit
  return *q;
}

// ---- global pool ----

struct Pool {
  std::mutex mutex;
  std::condition_variable work;  // workers wait here
  std::condition_variable idle;  // waitForIdle waits here
  std::deque<DispatchBlock> blocks;
  size_t workers = 0;
  size_t waitingWorkers = 0;
  size_t running = 0;
  static constexpr size_t kMaxWorkers = 64;
};

Pool& pool() {
  static auto* p = new Pool;
  return *p;
}

void workerLoop() {
  Pool& p = pool();
  std::unique_lock<std::mutex> lock(p.mutex);
  for (;;) {
    ++p.waitingWorkers;
    const bool got = p.work.wait_for(lock, std::chrono::seconds(30), [&] { return !p.blocks.empty(); });
    --p.waitingWorkers;
    if (!got) {
      // Idle for a while: let the thread go (the pool grows again on demand).
      --p.workers;
      return;
    }
    DispatchBlock block = std::move(p.blocks.front());
    p.blocks.pop_front();
    ++p.running;
    lock.unlock();
    runGuarded(block);
    block = nullptr;  // captured state is released outside the lock
    lock.lock();
    --p.running;
    if (p.running == 0 && p.blocks.empty()) p.idle.notify_all();
  }
}

// ---- delayed blocks ----

// Due times are seconds on the clock in force (internal::clockNow): real steady seconds, or the
// manual clock's seconds while a test holds one.
struct Delayed {
  double due;
  unsigned long long order;
  bool toMain;
  DispatchToken token;
  DispatchBlock block;
};

struct LaterFirst {
  bool operator()(const Delayed& a, const Delayed& b) const {
    return a.due != b.due ? a.due > b.due : a.order > b.order;
  }
};

struct Timer {
  std::mutex mutex;
  std::condition_variable changed;
  std::priority_queue<Delayed, std::vector<Delayed>, LaterFirst> entries;
  unsigned long long nextOrder = 0;
  bool started = false;
};

Timer& timer() {
  static auto* t = new Timer;
  return *t;
}

void postMain(DispatchBlock block) {
  MainQueue& q = mainQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.blocks.push_back(std::move(block));
  }
  q.changed.notify_all();
}

void postGlobal(DispatchBlock block) {
  Pool& p = pool();
  bool spawn = false;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.blocks.push_back(std::move(block));
    if (p.waitingWorkers < p.blocks.size() && p.workers < Pool::kMaxWorkers) {
      ++p.workers;
      spawn = true;
    }
  }
  if (spawn) {
    try {
      std::thread(workerLoop).detach();
    } catch (...) {
      std::lock_guard<std::mutex> lock(p.mutex);
      --p.workers;
    }
  }
  p.work.notify_one();
}

void release(Delayed entry) {
  if (entry.token.isCancelled()) return;
  // Checked again just before running: a cancel while queued still stops it.
  DispatchBlock run = [token = entry.token, block = std::move(entry.block)] {
    if (!token.isCancelled()) block();
  };
  if (entry.toMain)
    postMain(std::move(run));
  else
    postGlobal(std::move(run));
}

void timerLoop() {
  Timer& t = timer();
  std::unique_lock<std::mutex> lock(t.mutex);
  for (;;) {
    // Under a manual clock nothing falls due by itself: the test's advance releases blocks.
    if (t.entries.empty() || internal::manualClockActive()) {
      t.changed.wait(lock);
      continue;
    }
    const double wait = t.entries.top().due - internal::clockNow();
    if (wait > 0) {
      t.changed.wait_for(lock, toDuration(wait));
      continue;
    }
    Delayed entry = t.entries.top();
    t.entries.pop();
    lock.unlock();
    release(std::move(entry));
    lock.lock();
  }
}

DispatchToken schedule(double seconds, DispatchBlock block, bool toMain) {
  DispatchToken token;
  Timer& t = timer();
  bool start = false;
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    const double delay = seconds > 0 ? std::min(seconds, 1e7) : 0.0;
    t.entries.push(Delayed{internal::clockNow() + delay, t.nextOrder++, toMain, token, std::move(block)});
    if (!t.started) {
      t.started = true;
      start = true;
    }
  }
  if (start) std::thread(timerLoop).detach();
  t.changed.notify_all();
  return token;
}

bool callerDrainsMain() {
  MainQueue& q = mainQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  return !q.ownerSet || q.owner == std::this_thread::get_id();
}

}  // namespace

namespace internal {

void releaseDelayedBlocksUntil(double until) {
  Timer& t = timer();
  const bool drains = callerDrainsMain();
  for (;;) {
    Delayed entry;
    {
      std::lock_guard<std::mutex> lock(t.mutex);
      if (t.entries.empty() || t.entries.top().due > until) break;
      entry = t.entries.top();
      t.entries.pop();
    }
    setManualTime(entry.due);
    release(std::move(entry));
    if (drains) drainMainQueue();
  }
  setManualTime(until);
}

void manualClockEnded(double manualNow) {
  Timer& t = timer();
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    std::vector<Delayed> waiting;
    while (!t.entries.empty()) {
      waiting.push_back(t.entries.top());
      t.entries.pop();
    }
    const double realNow = clockNow();
    for (auto& entry : waiting) {
      entry.due = realNow + std::max(0.0, entry.due - manualNow);
      t.entries.push(std::move(entry));
    }
  }
  t.changed.notify_all();
}

}  // namespace internal

void setCurrentThreadAsMain() {
  MainQueue& q = mainQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  q.owner = std::this_thread::get_id();
  q.ownerSet = true;
}

bool isMainThread() {
  MainQueue& q = mainQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  return q.ownerSet && q.owner == std::this_thread::get_id();
}

void dispatchMain(DispatchBlock block) {
  if (block) postMain(std::move(block));
}

DispatchToken dispatchMainAfter(double seconds, DispatchBlock block) {
  if (!block) return DispatchToken();
  return schedule(seconds, std::move(block), true);
}

size_t drainMainQueue() {
  MainQueue& q = mainQueue();
  std::deque<DispatchBlock> batch;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    if (!q.ownerSet) {
      q.owner = std::this_thread::get_id();
      q.ownerSet = true;
    }
    batch.swap(q.blocks);
  }
  for (auto& block : batch) {
    runGuarded(block);
    block = nullptr;
  }
  if (!batch.empty()) q.changed.notify_all();
  return batch.size();
}

bool waitForMainQueueWork(double seconds) {
  MainQueue& q = mainQueue();
  std::unique_lock<std::mutex> lock(q.mutex);
  return q.changed.wait_for(lock, toDuration(seconds), [&] { return !q.blocks.empty(); });
}

bool runMainQueueUntil(const std::function<bool()>& done, double seconds) {
  const auto deadline = Clock::now() + toDuration(seconds);
  for (;;) {
    drainMainQueue();
    if (done()) return true;
    const auto now = Clock::now();
    if (now >= deadline) return done();
    // Short waits, so that conditions changed by other threads without queuing are seen too.
    waitForMainQueueWork(std::min(0.01, std::chrono::duration<double>(deadline - now).count()));
  }
}

void dispatchGlobal(DispatchBlock block) {
  if (block) postGlobal(std::move(block));
}

DispatchToken dispatchGlobalAfter(double seconds, DispatchBlock block) {
  if (!block) return DispatchToken();
  return schedule(seconds, std::move(block), false);
}

size_t dispatchGlobalPending() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.blocks.size() + p.running;
}

size_t dispatchMainPending() {
  MainQueue& q = mainQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
  return q.blocks.size();
}

bool dispatchWaitForIdle(double seconds) {
  const auto deadline = Clock::now() + toDuration(seconds);
  const bool drains = callerDrainsMain();
  for (;;) {
    if (drains) drainMainQueue();
    {
      Pool& p = pool();
      std::unique_lock<std::mutex> lock(p.mutex);
      // Wait briefly for the pool, then look at the main queue again: pool blocks may be
      // waiting for main-queue work that only this thread can run.
      p.idle.wait_for(lock, std::chrono::milliseconds(5), [&] { return p.blocks.empty() && p.running == 0; });
    }
    if (dispatchGlobalPending() == 0 && dispatchMainPending() == 0) return true;
    if (Clock::now() >= deadline) return false;
    if (!drains) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace qm::platform
