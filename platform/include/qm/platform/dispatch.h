#pragma once
// Work queues in the manner the plug-in expects of the platform:
//  - the main queue: blocks run one after the other on whichever thread owns the main thread
//    (the host stand-in's loop, or a test) when it drains the queue;
//  - the global queue: blocks run concurrently on a pool of threads that grows while blocks are
//    blocked (network calls), so a block waiting for another never starves it;
//  - delayed blocks for either queue, each with a cancellation token.
// Blocks must not throw; an exception that escapes a block is caught and dropped.

#include <cstddef>
#include <functional>
#include <memory>

namespace qm::platform {

using DispatchBlock = std::function<void()>;

// Shared flag between whoever scheduled a delayed block and the block itself. Cancelling before
// the block starts means it never runs; cancelling later has no effect on the running block.
class DispatchToken {
 public:
  DispatchToken();
  // [any-thread]
  void cancel() const;
  // [any-thread]
  bool isCancelled() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// ---- main queue ----

// Marks the calling thread as the main thread (the thread that drains the main queue).
// The first thread to call drainMainQueue becomes the main thread if none was marked.
// [main-thread]
void setCurrentThreadAsMain();
// [any-thread]
bool isMainThread();

// Queues a block for the main thread. [any-thread]
void dispatchMain(DispatchBlock block);
// Queues a block for the main thread after `seconds`; the returned token cancels it. [any-thread]
DispatchToken dispatchMainAfter(double seconds, DispatchBlock block);

// Runs the blocks that are waiting on the main queue now (blocks they queue in turn wait for the
// next call). Returns how many ran. [main-thread]
size_t drainMainQueue();

// Blocks until the main queue has work or `seconds` pass; true when it has work. [main-thread]
bool waitForMainQueueWork(double seconds);

// Drains the main queue until `done` returns true (checked after every drain) or `seconds` pass.
// Returns `done()`. [main-thread]
bool runMainQueueUntil(const std::function<bool()>& done, double seconds);

// ---- global concurrent queue ----

// Runs a block on the pool. [any-thread]
void dispatchGlobal(DispatchBlock block);
// Runs a block on the pool after `seconds`; the returned token cancels it. [any-thread]
DispatchToken dispatchGlobalAfter(double seconds, DispatchBlock block);

// ---- tests and shut-down ----

// Waits until the global queue has no queued or running block and the main queue is empty,
// draining the main queue when called on the main thread (or when no thread is marked main).
// Delayed blocks that are not due yet do not count. Returns false when `seconds` passed first.
// [main-thread] or a test thread
bool dispatchWaitForIdle(double seconds = 30.0);

// Number of blocks queued or running on the global queue, and waiting on the main queue.
// [any-thread]
size_t dispatchGlobalPending();
size_t dispatchMainPending();

}  // namespace qm::platform
