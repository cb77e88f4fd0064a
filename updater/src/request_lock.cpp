#include "qm/updater/request_lock.h"

#include "qm/updater/errors.h"

namespace qm::updater {

RequestLock RequestLock::acquire(const std::string& path, bool wait) {
  int error = 0;
  RequestLock lock;
  lock.lock_ = platform::RemovableFileLock::acquire(path, wait, &error);
  if (error != 0) throw platformErrorFromErrno(error, path);
  return lock;
}

}  // namespace qm::updater
