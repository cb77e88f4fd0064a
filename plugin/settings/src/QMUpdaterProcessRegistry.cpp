#include "QMUpdaterProcessRegistry.h"

#include "qm/platform/child_reaper.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {

using qm::platform::ChildReaper;

std::mutex gMutex;
// Oldest first.
std::deque<std::pair<std::string, pid_t>> gStarted;

// The pid noted for the request, or -1. Under gMutex.
pid_t pidOf(const std::string& requestId) {
  for (const auto& [id, pid] : gStarted)
    if (id == requestId) return pid;
  return -1;
}

void eraseLocked(const std::string& requestId) {
  for (auto it = gStarted.begin(); it != gStarted.end(); ++it) {
    if (it->first != requestId) continue;
    ChildReaper::shared().forget(it->second);
    gStarted.erase(it);
    return;
  }
}

}  // namespace

QMUpdaterProcessRegistry& QMUpdaterProcessRegistry::shared() {
  // Holds nothing itself (the list is a file-level global), so a plain static is safe to destroy
  // when the bundle is unloaded.
  static QMUpdaterProcessRegistry registry;
  return registry;
}

void QMUpdaterProcessRegistry::noteStarted(const std::string& requestId, pid_t pid) {
  if (pid <= 0) return;
  ChildReaper::shared().adopt(pid);
  std::lock_guard lock(gMutex);
  eraseLocked(requestId);
  gStarted.emplace_back(requestId, pid);
  while (gStarted.size() > kQMUpdaterProcessRegistryMaxRequests) eraseLocked(gStarted.front().first);
}

QMUpdaterProcessRegistry::Status QMUpdaterProcessRegistry::status(const std::string& requestId) {
  Status s;
  {
    std::lock_guard lock(gMutex);
    s.pid = pidOf(requestId);
  }
  if (s.pid <= 0) return s;
  qm::platform::ChildExit exit;
  switch (ChildReaper::shared().state(s.pid, &exit)) {
    case ChildReaper::State::running:
      s.state = State::running;
      break;
    case ChildReaper::State::exited:
      s.state = State::exited;
      s.exitCode = exit.exitCode;
      s.signal = exit.signal;
      break;
    case ChildReaper::State::unknown:
      s.pid = -1;
      break;
  }
  return s;
}

void QMUpdaterProcessRegistry::forget(const std::string& requestId) {
  std::lock_guard lock(gMutex);
  eraseLocked(requestId);
}
