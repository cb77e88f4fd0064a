#include "TreeOps.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace qm::helper {

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

int statAt(int dirFd, const std::string& name, struct stat& st) {
  return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

std::vector<std::string> splitComponents(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    if (next > pos) parts.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

int openFoldersBelow(int dirFd, const std::vector<std::string>& names) {
  int fd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  for (size_t i = 0; fd >= 0 && i < names.size(); ++i) {
    if (names[i] == ".") continue;
    const int child = ::openat(fd, names[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int saved = errno;
    ::close(fd);
    fd = child;
    errno = saved;
  }
  return fd;
}

int openFolderNoFollow(const std::string& path) {
  if (path.empty() || path[0] != '/') {
    errno = EINVAL;
    return -1;
  }
  const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) return -1;
  const int fd = openFoldersBelow(root, splitComponents(path));
  const int saved = errno;
  ::close(root);
  errno = saved;
  return fd;
}

int openChildFolder(int dirFd, const std::string& name) {
  return ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

namespace {

// Names in a folder opened for reading (the descriptor stays the caller's).
int listFolder(int folderFd, std::vector<std::string>& names) {
  const int dupFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
  if (dupFd < 0) return errno;
  DIR* dir = ::fdopendir(dupFd);
  if (!dir) {
    const int e = errno;
    ::close(dupFd);
    return e;
  }
  ::rewinddir(dir);
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  const int e = errno;
  ::closedir(dir);
  return e;
}

int copyFileContents(int srcFd, int dstFd) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(srcFd, buf, sizeof buf);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(dstFd, buf + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += w;
    }
  }
}

int copyFolderContents(int srcFolderFd, int dstFolderFd) {
  std::vector<std::string> names;
  if (int e = listFolder(srcFolderFd, names)) return e;
  for (const auto& name : names)
    if (int e = copyItemAt(srcFolderFd, name, dstFolderFd, name)) return e;
  return 0;
}

}  // namespace

int listFolderAt(int dirFd, std::vector<std::string>& names) {
  Fd folder(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return errno;
  return listFolder(folder.get(), names);
}

int flushFolderAt(int dirFd) {
  Fd folder(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return errno;
  return ::fsync(folder.get()) == 0 ? 0 : errno;
}

int copyItemAt(int srcDirFd, const std::string& srcName, int dstDirFd, const std::string& dstName) {
  struct stat st {};
  if (int e = statAt(srcDirFd, srcName, st)) return e;
  const mode_t perms = st.st_mode & 0777;
  if (S_ISDIR(st.st_mode)) {
    Fd src(openChildFolder(srcDirFd, srcName));
    if (!src.valid()) return errno;
    return copyFolderTo(src.get(), dstDirFd, dstName);
  }
  if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlinkat(srcDirFd, srcName.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    target.resize(static_cast<size_t>(n));
    return ::symlinkat(target.c_str(), dstDirFd, dstName.c_str()) == 0 ? 0 : errno;
  }
  if (!S_ISREG(st.st_mode)) return EINVAL;
  Fd src(::openat(srcDirFd, srcName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!src.valid()) return errno;
  Fd dst(::openat(dstDirFd, dstName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  perms | S_IWUSR));
  if (!dst.valid()) return errno;
  if (int e = copyFileContents(src.get(), dst.get())) return e;
  if (::fchmod(dst.get(), perms) != 0) return errno;
  return ::fsync(dst.get()) == 0 ? 0 : errno;
}

int copyFolderTo(int srcFolderFd, int dstDirFd, const std::string& dstName) {
  struct stat st {};
  if (::fstat(srcFolderFd, &st) != 0) return errno;
  if (::mkdirat(dstDirFd, dstName.c_str(), 0700) != 0) return errno;
  Fd dst(openChildFolder(dstDirFd, dstName));
  if (!dst.valid()) return errno;
  if (int e = copyFolderContents(srcFolderFd, dst.get())) return e;
  if (::fchmod(dst.get(), st.st_mode & 0777) != 0) return errno;
  return ::fsync(dst.get()) == 0 ? 0 : errno;
}

int removeTreeAt(int dirFd, const std::string& name) {
  struct stat st {};
  if (int e = statAt(dirFd, name, st)) return e;
  if (S_ISDIR(st.st_mode)) {
    Fd folder(openChildFolder(dirFd, name));
    if (!folder.valid()) return errno;
    std::vector<std::string> names;
    if (int e = listFolder(folder.get(), names)) return e;
    for (const auto& child : names)
      if (int e = removeTreeAt(folder.get(), child)) return e;
    return ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
  }
  return ::unlinkat(dirFd, name.c_str(), 0) == 0 ? 0 : errno;
}

namespace {

// After a rename between the two folders: both flushed (failures ignored: the rename is done).
void flushFoldersAfterRename(int srcDirFd, int dstDirFd) {
  flushFolderAt(dstDirFd);
  struct stat a {}, b {};
  if (::fstat(srcDirFd, &a) != 0 || ::fstat(dstDirFd, &b) != 0 || a.st_dev != b.st_dev || a.st_ino != b.st_ino)
    flushFolderAt(srcDirFd);
}

}  // namespace

int moveAt(int srcDirFd, const std::string& srcName, int dstDirFd, const std::string& dstName) {
  std::string left;
  const int e = moveAtLeavingSource(srcDirFd, srcName, dstDirFd, dstName, left);
  if (e == 0 && !left.empty()) removeTreeAt(srcDirFd, left);
  return e;
}

int moveAtLeavingSource(int srcDirFd, const std::string& srcName, int dstDirFd, const std::string& dstName,
                        std::string& left) {
  left.clear();
  if (::renameat(srcDirFd, srcName.c_str(), dstDirFd, dstName.c_str()) == 0) {
    flushFoldersAfterRename(srcDirFd, dstDirFd);
    return 0;
  }
  if (errno != EXDEV) return errno;
  const std::string suffix = "." + std::to_string(::getpid());
  const std::string temp = "." + dstName + ".moving" + suffix;
  removeTreeAt(dstDirFd, temp);  // leftover of an earlier interrupted move, if any
  if (int e = copyItemAt(srcDirFd, srcName, dstDirFd, temp)) {
    removeTreeAt(dstDirFd, temp);
    return e;
  }
  if (::renameat(dstDirFd, temp.c_str(), dstDirFd, dstName.c_str()) != 0) {
    const int e = errno;
    removeTreeAt(dstDirFd, temp);
    return e;
  }
  flushFolderAt(dstDirFd);
  // The destination is whole; take the source away in one step.
  const std::string trash = "." + srcName + ".moved" + suffix;
  if (::renameat(srcDirFd, srcName.c_str(), srcDirFd, trash.c_str()) != 0) {
    const int e = errno;
    removeTreeAt(dstDirFd, dstName);
    return e;
  }
  left = trash;
  return 0;
}

int exchangeAt(int dirFd, const std::string& a, const std::string& b) {
  if (::renameat2(dirFd, a.c_str(), dirFd, b.c_str(), RENAME_EXCHANGE) != 0) return -1;
  flushFolderAt(dirFd);
  return 0;
}

}  // namespace qm::helper
