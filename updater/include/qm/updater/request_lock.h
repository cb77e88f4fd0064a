#pragma once
// One run per request id, also across updater processes: an advisory lock on "<request_id>.lock"
// beside the request's status document, held from the duplicate check to the run's last status
// document (qm/platform/file_lock.h: its holder removes the file before letting go). The plug-in
// takes the same lock without waiting to tell a live updater from one that died.

#include "qm/platform/file_lock.h"

#include <string>

namespace qm::updater {

class RequestLock {
 public:
  RequestLock() = default;

  // Takes the lock at `path`, waiting for its holder when `wait`, else giving up at once (the
  // result is then not held). Throws PlatformError when the file cannot be made or locked.
  static RequestLock acquire(const std::string& path, bool wait);

  bool held() const { return lock_.held(); }
  // Removes the file and lets go. Never throws.
  void release() noexcept { lock_.release(); }

 private:
  platform::RemovableFileLock lock_;
};

}  // namespace qm::updater
