#include "QMDeferredUIBlocks.h"

#include "qm/platform/thread_check.h"

#include <utility>

QMDeferredUIBlocks::QMDeferredUIBlocks() : state_(std::make_shared<State>()) {}

// The owner goes on the main thread, where the steps run; no step outlives it.
QMDeferredUIBlocks::~QMDeferredUIBlocks() {
  for (auto& [id, token] : state_->waiting) token.cancel();
}

// [main-thread]
std::uint64_t QMDeferredUIBlocks::schedule(double seconds, std::function<void()> step) {
  QM_ASSERT_THREAD(main);
  const std::uint64_t id = state_->next++;
  std::weak_ptr<State> weak = state_;
  // The keeper's own record goes when the step runs; a cancelled step never reaches it.
  qm::platform::DispatchToken token =
      qm::platform::dispatchMainAfter(seconds < 0 ? 0 : seconds, [weak, id, step = std::move(step)] {
        auto state = weak.lock();
        if (!state) return;
        state->waiting.erase(id);
        if (step) step();
      });
  state_->waiting.emplace(id, std::move(token));
  return id;
}

// [main-thread]
void QMDeferredUIBlocks::cancel(std::uint64_t step) {
  QM_ASSERT_THREAD(main);
  auto found = state_->waiting.find(step);
  if (found == state_->waiting.end()) return;
  found->second.cancel();
  state_->waiting.erase(found);
}

// [main-thread]
void QMDeferredUIBlocks::cancelAll() {
  QM_ASSERT_THREAD(main);
  for (auto& [id, token] : state_->waiting) token.cancel();
  state_->waiting.clear();
}

std::size_t QMDeferredUIBlocks::pending() const { return state_->waiting.size(); }
