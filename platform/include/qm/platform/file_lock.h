#pragma once
// An advisory lock (flock) on a lock file whose holder removes the file before letting go, so a
// lock file can be taken by whoever finds it, also after its holder died: the kernel lets go of
// a dead holder's lock and only the file is left. A waiter that then holds a removed file starts
// over on a fresh one, so two holders never meet. The updater holds one per request from its
// duplicate check to the run's last status document; the plug-in takes it, without waiting, to
// learn whether an updater still runs a request.

#include <string>

namespace qm::platform {

class RemovableFileLock {
 public:
  RemovableFileLock() = default;
  RemovableFileLock(const RemovableFileLock&) = delete;
  RemovableFileLock& operator=(const RemovableFileLock&) = delete;
  RemovableFileLock(RemovableFileLock&& other) noexcept;
  RemovableFileLock& operator=(RemovableFileLock&& other) noexcept;
  ~RemovableFileLock() { release(); }

  // Takes the lock at `path` (the file is made, mode 0600, when missing), waiting for its holder
  // when `wait`, else giving up at once when another holds it (the result is then not held and
  // *error stays 0). On failure the result is not held and *error (optional) gets the errno.
  // [any-thread]
  static RemovableFileLock acquire(const std::string& path, bool wait, int* error = nullptr) noexcept;

  bool held() const { return fd_ >= 0; }
  // Removes the file and lets go. [any-thread]
  void release() noexcept;

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace qm::platform
