#include "qm/updater/request_lock.h"

#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qm::updater {

RequestLock::RequestLock(RequestLock&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

RequestLock& RequestLock::operator=(RequestLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

RequestLock RequestLock::acquire(const std::string& path, bool wait) {
  RequestLock lock;
  // Each round ends unless the holder removed the file while we waited for it.
  for (int round = 0; round < 100; ++round) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw platformErrorFromErrno(errno, path);
    int locked;
    while ((locked = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
      const int e = errno;
      ::close(fd);
      if (e == EWOULDBLOCK) return lock;
      throw platformErrorFromErrno(e, path);
    }
    if (descriptorStillAt(fd, path)) {
      lock.fd_ = fd;
      lock.path_ = path;
      return lock;
    }
    ::close(fd);
  }
  throw platformErrorFromErrno(EAGAIN, path);
}

void RequestLock::release() noexcept {
  if (fd_ < 0) return;
  // Removed while still held: whoever waits on it sees that and takes a fresh file.
  if (descriptorStillAt(fd_, path_)) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

}  // namespace qm::updater
