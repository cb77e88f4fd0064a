#pragma once
// One run per request id, also across updater processes: an advisory lock (flock) on
// "<request_id>.lock" beside the request's status document, held from the duplicate check to the
// run's last status document. Its holder removes the file before letting go; a waiter that then
// holds a removed file starts over on a fresh one, so two holders never meet.

#include <string>

namespace qm::updater {

class RequestLock {
 public:
  RequestLock() = default;
  RequestLock(const RequestLock&) = delete;
  RequestLock& operator=(const RequestLock&) = delete;
  RequestLock(RequestLock&& other) noexcept;
  RequestLock& operator=(RequestLock&& other) noexcept;
  ~RequestLock() { release(); }

  // Takes the lock at `path`, waiting for its holder when `wait`, else giving up at once (the
  // result is then not held). Throws PlatformError when the file cannot be made or locked.
  static RequestLock acquire(const std::string& path, bool wait);

  bool held() const { return fd_ >= 0; }
  // Removes the file and lets go. Never throws.
  void release() noexcept;

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace qm::updater
