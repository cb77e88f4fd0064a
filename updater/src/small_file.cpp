#include "qm/updater/small_file.h"

#include "qm/updater/errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater {

std::string readSmallFile(const std::string& path, size_t maxBytes) {
  // Non-blocking open and a regular-file check: a FIFO or device named like a request must not
  // stall the updater.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw platformErrorFromErrno(errno, path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw PlatformError("Not a regular file (" + path + ")");
  }
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw platformErrorFromErrno(err, path);
    }
    if (n == 0) break;
    if (data.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      throw PlatformError("File too large (" + path + ")");
    }
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

}  // namespace qm::updater
