#include "qm/platform/files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::platform {

namespace {

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int writeAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

int writeFileAtomic(const std::string& path, std::string_view bytes, mode_t mode) {
  const std::string folder = parentOf(path);
  std::random_device rd;
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp.%08x", static_cast<unsigned>(rd()));
    tmp = path + suffix;
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  // The umask may have narrowed the mode at creation; set exactly what was asked for.
  int err = (::fchmod(fd, mode) == 0) ? 0 : errno;
  if (!err) err = writeAll(fd, bytes);
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(tmp.c_str());
    return err;
  }
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

bool readFile(const std::string& path, std::string& out, size_t maxBytes) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    if (data.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      return false;
    }
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  out = std::move(data);
  return true;
}

int makeDirectories(const std::string& path, mode_t mode) {
  if (path.empty()) return ENOENT;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  const std::string parent = parentOf(path);
  if (parent != path) {
    if (const int err = makeDirectories(parent, mode)) return err;
  }
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return errno;
  return 0;
}

}  // namespace qm::platform
