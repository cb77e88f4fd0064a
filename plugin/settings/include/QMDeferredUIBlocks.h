#pragma once
// Delayed steps of the user interface (title resets, badge hides, fades, a text set on the next
// turn of the main queue) scheduled by their owner through one keeper: every step carries a
// cancellation token, and cancelAll() (the owner's teardown) or the keeper's destruction makes
// every step still waiting do nothing. A step that ran or was cancelled leaves the keeper, so it
// does not grow with the number of steps scheduled. Main thread only: steps run on the main
// queue, where the owner also cancels them, so a step never runs half-way through a teardown.

#include "qm/platform/dispatch.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QMDeferredUIBlocks {
 public:
  QMDeferredUIBlocks();
  ~QMDeferredUIBlocks();
  QMDeferredUIBlocks(const QMDeferredUIBlocks&) = delete;
  QMDeferredUIBlocks& operator=(const QMDeferredUIBlocks&) = delete;

  // Runs `step` on the main queue after `seconds` (0: the next turn) unless it is cancelled
  // first; answers the step's number for cancel. [main-thread]
  std::uint64_t schedule(double seconds, std::function<void()> step);
  // Cancels one step (nothing when it ran or was cancelled already). [main-thread]
  void cancel(std::uint64_t step);
  // Cancels every step still waiting. [main-thread]
  void cancelAll();
  // Steps scheduled that have neither run nor been cancelled.
  std::size_t pending() const;

 private:
  struct State {
    std::uint64_t next = 0;
    std::map<std::uint64_t, qm::platform::DispatchToken> waiting;
  };
  std::shared_ptr<State> state_;
};
