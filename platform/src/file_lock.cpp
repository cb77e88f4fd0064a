#include "qm/platform/file_lock.h"

#include "qm/platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::platform {

RemovableFileLock::RemovableFileLock(RemovableFileLock&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

RemovableFileLock& RemovableFileLock::operator=(RemovableFileLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

RemovableFileLock RemovableFileLock::acquire(const std::string& path, bool wait, int* error) noexcept {
  RemovableFileLock lock;
  int failure = EAGAIN;
  // Each round ends unless the holder removed the file while we waited for it.
  for (int round = 0; round < 100; ++round) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      failure = errno;
      break;
    }
    int locked;
    while ((locked = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
      const int e = errno;
      ::close(fd);
      if (e == EWOULDBLOCK) {
        if (error) *error = 0;
        return lock;
      }
      failure = e;
      break;
    }
    if (descriptorStillAt(fd, path)) {
      try {
        lock.path_ = path;
      } catch (...) {
        ::close(fd);
        failure = ENOMEM;
        break;
      }
      lock.fd_ = fd;
      if (error) *error = 0;
      return lock;
    }
    ::close(fd);
  }
  if (error) *error = failure;
  return lock;
}

void RemovableFileLock::release() noexcept {
  if (fd_ < 0) return;
  // Removed while still held: whoever waits on it sees that and takes a fresh file.
  if (descriptorStillAt(fd_, path_)) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

}  // namespace qm::platform
