#include "qm/platform/child_reaper.h"

#include "qm/platform/dispatch.h"

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <sys/wait.h>

namespace qm::platform {

struct ChildReaper::Impl {
  struct Entry {
    bool exited = false;
    bool forgotten = false;
    ChildExit exit;
    std::uint64_t exitOrder = 0;
  };

  std::mutex mutex;
  std::map<pid_t, Entry> children;
  std::uint64_t exits = 0;
  bool checkQueued = false;

  size_t reapLocked() {
    size_t running = 0;
    for (auto& [pid, entry] : children) {
      if (entry.exited) continue;
      int status = 0;
      pid_t w;
      do {
        w = ::waitpid(pid, &status, WNOHANG);
      } while (w < 0 && errno == EINTR);
      if (w == 0) {
        ++running;
        continue;
      }
      entry.exited = true;
      entry.exitOrder = ++exits;
      // w < 0 (ECHILD): reaped elsewhere, or the process ignores SIGCHLD; how it ended is lost.
      if (w == pid && WIFEXITED(status)) entry.exit.exitCode = WEXITSTATUS(status);
      if (w == pid && WIFSIGNALED(status)) entry.exit.signal = WTERMSIG(status);
    }
    for (auto it = children.begin(); it != children.end();)
      it = (it->second.exited && it->second.forgotten) ? children.erase(it) : std::next(it);
    while (children.size() - running > kChildReaperMaxRecords) {
      auto oldest = children.end();
      for (auto it = children.begin(); it != children.end(); ++it)
        if (it->second.exited && (oldest == children.end() || it->second.exitOrder < oldest->second.exitOrder))
          oldest = it;
      children.erase(oldest);
    }
    return running;
  }

  // While children run, one check is always queued.
  void queueCheckLocked(size_t running) {
    if (running == 0 || checkQueued) return;
    checkQueued = true;
    dispatchGlobalAfter(kChildReaperIntervalSeconds, [] {
      Impl& self = *ChildReaper::shared().impl_;
      std::lock_guard lock(self.mutex);
      self.checkQueued = false;
      self.queueCheckLocked(self.reapLocked());
    });
  }
};

ChildReaper::ChildReaper() : impl_(new Impl) {}

ChildReaper& ChildReaper::shared() {
  static ChildReaper* instance = new ChildReaper;
  return *instance;
}

void ChildReaper::adopt(pid_t pid) {
  if (pid <= 0) return;
  std::lock_guard lock(impl_->mutex);
  impl_->children[pid] = Impl::Entry{};
  impl_->queueCheckLocked(impl_->reapLocked());
}

ChildReaper::State ChildReaper::state(pid_t pid, ChildExit* exit) {
  std::lock_guard lock(impl_->mutex);
  impl_->queueCheckLocked(impl_->reapLocked());
  const auto it = impl_->children.find(pid);
  if (it == impl_->children.end() || it->second.forgotten) return State::unknown;
  if (!it->second.exited) return State::running;
  if (exit) *exit = it->second.exit;
  return State::exited;
}

void ChildReaper::forget(pid_t pid) {
  std::lock_guard lock(impl_->mutex);
  const auto it = impl_->children.find(pid);
  if (it == impl_->children.end()) return;
  it->second.forgotten = true;
  impl_->reapLocked();
}

size_t ChildReaper::reap() {
  std::lock_guard lock(impl_->mutex);
  const size_t running = impl_->reapLocked();
  impl_->queueCheckLocked(running);
  return running;
}

}  // namespace qm::platform
