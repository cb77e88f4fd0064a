#pragma once
// One bundle swap at a time on a machine: the lock file "swap.lock" (mode 0600, holding the
// operation id), created exclusively. While it exists its holder keeps an advisory lock (flock)
// on it, so a lock file left by an updater that was killed is recognised (nobody holds it) and
// taken over instead of blocking every later swap.

#include <optional>
#include <string>

namespace qm::updater {

// The lock's file name in the swap locks folder.
inline constexpr const char* kSwapLockFile = "swap.lock";

class SwapLock {
 public:
  SwapLock() = default;
  SwapLock(const SwapLock&) = delete;
  SwapLock& operator=(const SwapLock&) = delete;
  SwapLock(SwapLock&& other) noexcept;
  SwapLock& operator=(SwapLock&& other) noexcept;
  ~SwapLock() { release(); }

  // Takes the lock at `path` with `marker` as its content. Throws UpdaterError swap_in_progress
  // ("swap lock already present") when a live swap holds it, swap_apply_failed ("lock create
  // failed errno=<n>") when it cannot be created. A stale lock that is taken over keeps the dead
  // swap's content until setMarker, so that its operation is found again should this holder die
  // too while recovering it.
  static SwapLock acquire(const std::string& path, const std::string& marker);

  bool held() const { return fd_ >= 0; }
  // The content of a stale lock that was taken over (the operation id of the swap that died).
  const std::optional<std::string>& takenOverFrom() const { return takenOverFrom_; }
  // Replaces the content (after a take-over). Throws UpdaterError swap_apply_failed.
  void setMarker(const std::string& marker);

  // Removes the lock file (only while it is still this lock's file) and lets go. Never throws.
  void release() noexcept;
  // Lets go but leaves the file as it is, for an operation that could not be put right: every
  // later start and swap takes it over and tries again.
  void abandon() noexcept;

 private:
  int fd_ = -1;
  std::string path_;
  std::optional<std::string> takenOverFrom_;
};

}  // namespace qm::updater
