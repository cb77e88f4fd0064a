#include "qm/platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

FileOpenResult openRegularFile(const std::string& path, const FileOpenOptions& options) {
  FileOpenResult result;
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (!options.followLinks) flags |= O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      result.refusal = FileRefusal::missing;
    } else if (err == ELOOP && !options.followLinks) {
      result.refusal = FileRefusal::symbolicLink;
    } else {
      result.refusal = FileRefusal::unreadable;
      result.error = err;
    }
    return result;
  }
  if (::fstat(fd, &result.info) != 0) {
    result.refusal = FileRefusal::unreadable;
    result.error = errno;
  } else if (S_ISDIR(result.info.st_mode)) {
    result.refusal = FileRefusal::folder;
  } else if (!S_ISREG(result.info.st_mode)) {
    result.refusal = FileRefusal::notRegularFile;
  } else if (static_cast<unsigned long long>(result.info.st_size) > options.maxBytes) {
    result.refusal = FileRefusal::tooLarge;
  }
  if (result.refusal != FileRefusal::none) {
    ::close(fd);
    return result;
  }
  // A regular file never blocks, but readers expect plain blocking reads.
  const int fileFlags = ::fcntl(fd, F_GETFL);
  if (fileFlags >= 0) ::fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
  result.fd = fd;
  return result;
}

FileRefusal readRegularFile(const std::string& path, std::string& out, const FileOpenOptions& options,
                            struct stat* info, int* error) {
  out.clear();
  if (error) *error = 0;
  const FileOpenResult opened = openRegularFile(path, options);
  if (info) *info = opened.info;
  if (opened.fd < 0) {
    if (error) *error = opened.error;
    return opened.refusal;
  }
  std::string data;
  data.reserve(static_cast<size_t>(opened.info.st_size));
  char buf[65536];
  FileRefusal refusal = FileRefusal::none;
  for (;;) {
    const ssize_t n = ::read(opened.fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = errno;
      refusal = FileRefusal::unreadable;
      break;
    }
    if (n == 0) break;
    // The file may grow after fstat; the limit still holds.
    if (data.size() + static_cast<size_t>(n) > options.maxBytes) {
      refusal = FileRefusal::tooLarge;
      break;
    }
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(opened.fd);
  if (refusal == FileRefusal::none) out = std::move(data);
  return refusal;
}

bool readFile(const std::string& path, std::string& out, size_t maxBytes) {
  FileOpenOptions options;
  options.followLinks = true;
  options.maxBytes = maxBytes;
  return readRegularFile(path, out, options) == FileRefusal::none;
}

std::string describeFileRefusal(FileRefusal refusal, size_t maxBytes, int error) {
  switch (refusal) {
    case FileRefusal::none: return "was read";
    case FileRefusal::missing: return "does not exist";
    case FileRefusal::symbolicLink: return "is a symbolic link";
    case FileRefusal::folder: return "is a folder";
    case FileRefusal::notRegularFile: return "is not a regular file";
    case FileRefusal::tooLarge: {
      char limit[64];
      if (maxBytes >= (1u << 20) && maxBytes % (1u << 20) == 0)
        std::snprintf(limit, sizeof limit, "%zu MiB", maxBytes >> 20);
      else if (maxBytes >= 1024 && maxBytes % 1024 == 0)
        std::snprintf(limit, sizeof limit, "%zu KiB", maxBytes >> 10);
      else
        std::snprintf(limit, sizeof limit, "%zu bytes", maxBytes);
      return std::string("is larger than ") + limit;
    }
    case FileRefusal::unreadable: break;
  }
  return std::string("cannot be read: ") + std::strerror(error ? error : EIO);
}

bool descriptorStillAt(int fd, const std::string& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
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
