#include "qm/updater/swap_lock.h"

#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater {

namespace {

constexpr size_t kMaxMarkerBytes = 4096;

[[noreturn]] void inProgress() {
  throw UpdaterError(UpdaterErrorCode::swapInProgress, "swap lock already present");
}

[[noreturn]] void createFailed(int error) {
  throw UpdaterError(UpdaterErrorCode::swapApplyFailed, "lock create failed errno=" + std::to_string(error));
}

}  // namespace

SwapLock::SwapLock(SwapLock&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), takenOverFrom_(std::move(other.takenOverFrom_)) {
  other.fd_ = -1;
}

SwapLock& SwapLock::operator=(SwapLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    takenOverFrom_ = std::move(other.takenOverFrom_);
    other.fd_ = -1;
  }
  return *this;
}

SwapLock SwapLock::acquire(const std::string& path, const std::string& marker) {
  SwapLock lock;
  lock.path_ = path;
  // A few rounds at most: each one ends unless the file vanished between open and lock.
  for (int round = 0; round < 3; ++round) {
    if (int e = FileFaults::step(FileStep::createFile)) createFailed(e);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      // Created: hold it at once. Someone who took it over in the instant between the create and
      // the lock owns it now.
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        inProgress();
      }
      lock.fd_ = fd;
      lock.setMarker(marker);
      return lock;
    }
    if (errno != EEXIST) createFailed(errno);

    // The file exists: a live swap holds it, or its holder is gone.
    const int existing = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (existing < 0) {
      if (errno == ENOENT) continue;  // released meanwhile: try again
      inProgress();
    }
    if (::flock(existing, LOCK_EX | LOCK_NB) != 0) {
      ::close(existing);
      inProgress();
    }
    if (!descriptorStillAt(existing, path)) {  // removed by its holder just before we locked it
      ::close(existing);
      continue;
    }
    std::string previous(kMaxMarkerBytes, '\0');
    const ssize_t n = ::pread(existing, previous.data(), previous.size(), 0);
    previous.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (::fchmod(existing, 0600) != 0) {
      const int e = errno;
      ::close(existing);
      createFailed(e);
    }
    // The content stays the dead swap's until setMarker: should this holder die too while it
    // puts things right, the next one still finds the operation to recover.
    lock.fd_ = existing;
    lock.takenOverFrom_ = previous;
    return lock;
  }
  inProgress();
}

void SwapLock::setMarker(const std::string& marker) {
  if (fd_ < 0) return;
  // As one write call whose outcome is not examined: the lock is the file's existence and the
  // advisory lock, not its content.
  if (::ftruncate(fd_, 0) != 0) createFailed(errno);
  if (FileFaults::step(FileStep::writeData) == 0) {
    [[maybe_unused]] const ssize_t n = ::pwrite(fd_, marker.data(), marker.size(), 0);
  }
}

void SwapLock::abandon() noexcept {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

void SwapLock::release() noexcept {
  if (fd_ < 0) return;
  if (descriptorStillAt(fd_, path_)) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

}  // namespace qm::updater
