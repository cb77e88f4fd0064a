#include "qm/updater/file_operations.h"

#include "qm/platform/sha256.h"
#include "qm/updater/path_text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater {

namespace {

std::mutex gFaultMutex;
std::vector<FileFault> gFaults;
std::atomic<std::uint64_t> gSteps{0};
std::atomic<bool> gHaveFaults{false};
constexpr int kStepKinds = static_cast<int>(FileStep::readData) + 1;
std::uint64_t gKindSteps[kStepKinds] = {};

// A sibling name for work in progress, hidden and unique to this process.
std::string besideName(const std::string& path, const char* what) {
  return parentOf(path) + "/." + lastComponent(path) + "." + what + "." + std::to_string(::getpid());
}

// Work-in-progress siblings of `path` ("." + name + "." + what + "." + pid) left by a process of
// ours that was killed: removed, so an interrupted copy never lingers beside a bundle.
void sweepLeftovers(const std::string& path) {
  const std::string folder = parentOf(path);
  const std::string prefix = "." + lastComponent(path) + ".";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = name.substr(prefix.size());  // "<what>.<pid>"
    const size_t dot = rest.find('.');
    if (dot == std::string::npos) continue;
    const std::string what = rest.substr(0, dot), pidText = rest.substr(dot + 1);
    if (what != "copying" && what != "moved") continue;
    if (pidText.empty() || pidText.size() > 9 || pidText.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(pidText));
    if (pid == ::getpid() || ::kill(pid, 0) != 0) stale.push_back(folder + "/" + name);
  }
  ::closedir(dir);
  for (const auto& item : stale) removeItem(item);
}

int stepOrErrno(FileStep kind, const std::string& path = {}) { return FileFaults::step(kind, path); }

int doMkdir(const std::string& path, mode_t mode) {
  if (int e = stepOrErrno(FileStep::makeFolder, path)) return e;
  return ::mkdir(path.c_str(), mode) == 0 ? 0 : errno;
}

int doRename(const std::string& from, const std::string& to) {
  if (int e = stepOrErrno(FileStep::rename, from)) return e;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int doUnlink(const std::string& path, bool folder) {
  if (int e = stepOrErrno(FileStep::remove, path)) return e;
  return (folder ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0 ? 0 : errno;
}

// Flushes the open file or folder `fd` to the disk.
int flushDescriptor(int fd, const std::string& path) {
  if (int e = stepOrErrno(FileStep::flush, path)) return e;
  return ::fsync(fd) == 0 ? 0 : errno;
}

// Flushes a folder (its list of names) to the disk.
int flushFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  const int e = flushDescriptor(fd, path);
  ::close(fd);
  return e;
}

// After a rename: the folders that gained or lost the name. These are no counted steps (the move
// has happened either way).
void flushFoldersOf(const std::string& from, const std::string& to) {
  const std::string a = parentOf(from), b = parentOf(to);
  flushFolderAfterRename(b);
  if (a != b) flushFolderAfterRename(a);
}

int listFolder(const std::string& path, std::vector<std::string>& names) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return errno;
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

int copyFile(const std::string& source, const std::string& destination, mode_t mode) {
  if (int e = stepOrErrno(FileStep::readData)) return e;
  const int in = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return errno;
  int e = stepOrErrno(FileStep::createFile);
  const int out = e ? -1
                    : ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             (mode & 0777) | S_IWUSR);
  if (!e && out < 0) e = errno;
  char buf[65536];
  while (!e) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) e = errno;
      continue;
    }
    if ((e = stepOrErrno(FileStep::writeData))) break;
    e = writeAll(out, buf, static_cast<size_t>(n));
  }
  if (!e && (e = stepOrErrno(FileStep::setMode)) == 0 && ::fchmod(out, mode & 0777) != 0) e = errno;
  // On the disk before the copy counts as made: a power loss must not leave it short.
  if (!e) e = flushDescriptor(out, destination);
  ::close(in);
  if (out >= 0) ::close(out);
  return e;
}

// Copies whatever is at `source` to `destination` (nothing there), without following links.
int copyTree(const std::string& source, const std::string& destination) {
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlink(source.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    target.resize(static_cast<size_t>(n));
    if (int e = stepOrErrno(FileStep::makeLink)) return e;
    return ::symlink(target.c_str(), destination.c_str()) == 0 ? 0 : errno;
  }
  if (S_ISREG(st.st_mode)) return copyFile(source, destination, st.st_mode);
  if (!S_ISDIR(st.st_mode)) return EINVAL;  // devices, pipes, sockets: never part of a bundle
  if (int e = doMkdir(destination, 0700)) return e;
  std::vector<std::string> names;
  if (int e = listFolder(source, names)) return e;
  for (const auto& name : names)
    if (int e = copyTree(source + "/" + name, destination + "/" + name)) return e;
  if (int e = stepOrErrno(FileStep::setMode)) return e;
  if (::chmod(destination.c_str(), st.st_mode & 0777) != 0) return errno;
  return flushFolder(destination);
}

// Feeds the tree below `path` (named `name` relative to the root) to `digest`, entries in name
// order; false when something cannot be read.
bool digestTree(const std::string& path, const std::string& name, platform::Sha256& digest) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  const std::string head = name + '\0' + std::to_string(st.st_mode & 0777) + '\0';
  if (S_ISLNK(st.st_mode)) {
    std::string text(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    if (n < 0) return false;
    text.resize(static_cast<size_t>(n));
    digest.update("L" + head + text + '\0');
    return true;
  }
  if (S_ISREG(st.st_mode)) {
    std::string content;
    if (!platform::sha256File(path, content)) return false;
    digest.update("F" + head + content + '\0');
    return true;
  }
  if (!S_ISDIR(st.st_mode)) return false;
  digest.update("D" + head);
  std::vector<std::string> names;
  if (listFolder(path, names) != 0) return false;
  std::sort(names.begin(), names.end());
  for (const auto& child : names)
    if (!digestTree(path + "/" + child, name + "/" + child, digest)) return false;
  return true;
}

}  // namespace

std::optional<std::string> treeFingerprint(const std::string& path) {
  platform::Sha256 digest;
  if (!digest.ok() || !itemExists(path) || !digestTree(path, ".", digest)) return std::nullopt;
  return digest.finishHex();
}

Standing standingAt(const std::string& target, const std::optional<std::string>& newPrint,
                    const std::optional<std::string>& oldPrint) {
  if (!itemExists(target)) return Standing::missing;
  const std::optional<std::string> now = treeFingerprint(target);
  if (now && now == newPrint) return Standing::newBundle;
  if (now && now == oldPrint) return Standing::oldBundle;
  return Standing::other;
}

FileOperationError::FileOperationError(int error, const std::string& path)
    : PlatformError(platformErrorFromErrno(error, path).what()), error_(error) {}

bool isPermissionErrno(int error) { return error == EACCES || error == EPERM; }

void FileFaults::set(std::vector<FileFault> faults) {
  std::lock_guard<std::mutex> lock(gFaultMutex);
  gFaults = std::move(faults);
  gSteps = 0;
  for (auto& n : gKindSteps) n = 0;
  gHaveFaults = !gFaults.empty();
}

void FileFaults::clear() { set({}); }

std::uint64_t FileFaults::stepsTaken() { return gSteps.load(); }

int FileFaults::step(FileStep kind, const std::string& path) {
  const std::uint64_t n = ++gSteps;
  if (!gHaveFaults.load()) return 0;
  std::lock_guard<std::mutex> lock(gFaultMutex);
  const std::uint64_t kindN = ++gKindSteps[static_cast<int>(kind)];
  for (const auto& f : gFaults) {
    if (f.only && *f.only != kind) continue;
    if (!f.path.empty() && f.path != path) continue;
    const std::uint64_t at = f.only ? kindN : n;
    if (f.nth != 0 && f.nth != at) continue;
    if (f.kill) ::kill(::getpid(), SIGKILL);
    if (f.signal) ::raise(f.signal);
    return f.error;
  }
  return 0;
}

bool itemExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool isRealFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int writeAll(int fd, const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

void flushFolderAfterRename(const std::string& folder) noexcept {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

int makeFolders(const std::string& path, unsigned mode) {
  if (path.empty()) return ENOENT;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  const std::string parent = parentOf(path);
  if (parent != path && parent != "/" && parent != ".")
    if (int e = makeFolders(parent, mode)) return e;
  const int e = doMkdir(path, static_cast<mode_t>(mode));
  return e == EEXIST ? 0 : e;
}

int removeItem(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> names;
    if (int e = listFolder(path, names)) return e;
    for (const auto& name : names)
      if (int e = removeItem(path + "/" + name)) return e;
    return doUnlink(path, true);
  }
  return doUnlink(path, false);
}

int copyItem(const std::string& source, const std::string& destination) {
  sweepLeftovers(destination);
  return copyIntoEmpty(source, destination);
}

int copyIntoEmpty(const std::string& source, const std::string& destination) {
  const std::string temp = besideName(destination, "copying");
  // Only a process of ours with the same id, killed, can have left this name.
  if (itemExists(temp))
    if (int e = removeItem(temp)) return e;
  int e = copyTree(source, temp);
  if (!e) e = doRename(temp, destination);
  if (e && itemExists(temp)) removeItem(temp);
  if (!e) flushFoldersOf(temp, destination);
  return e;
}

std::string exchangeSiblingOf(const std::string& path) {
  return parentOf(path) + "/." + lastComponent(path) + ".exchange";
}

bool isExchangeRefused(int error) { return error == EINVAL || error == ENOSYS; }

int exchangeItems(const std::string& a, const std::string& b) {
  if (int e = stepOrErrno(FileStep::exchange, a)) return e;
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) != 0) return errno;
  flushFoldersOf(a, b);
  return 0;
}

int putInPlace(const std::string& whole, const std::string& destination) {
  if (itemExists(destination)) {
    const int e = exchangeItems(whole, destination);
    if (e == 0) {
      removeItem(whole);  // what was replaced; clearBeside takes it should this fail
      return 0;
    }
    if (!isExchangeRefused(e)) return e;
    if (int r = removeItem(destination)) return r;
  }
  const int e = doRename(whole, destination);
  if (e == 0) flushFoldersOf(whole, destination);
  return e;
}

int clearBeside(const std::string& path) {
  const std::string sibling = exchangeSiblingOf(path);
  sweepLeftovers(path);
  sweepLeftovers(sibling);
  return itemExists(sibling) ? removeItem(sibling) : 0;
}

int moveItem(const std::string& source, const std::string& destination) {
  std::string left;
  const int e = moveItemLeavingSource(source, destination, left);
  if (e == 0 && !left.empty()) removeItem(left);
  return e;
}

int moveItemLeavingSource(const std::string& source, const std::string& destination, std::string& left) {
  left.clear();
  const int e = doRename(source, destination);
  if (e == 0) flushFoldersOf(source, destination);
  if (e != EXDEV) return e;
  if (int c = copyItem(source, destination)) return c;
  // The destination is whole now; take the source away in one step.
  sweepLeftovers(source);
  const std::string trash = besideName(source, "moved");
  if (int r = doRename(source, trash)) {
    removeItem(destination);
    return r;
  }
  left = trash;
  return 0;
}

int flushTree(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return 0;  // a link's text is part of its folder's entry
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> names;
    if (int e = listFolder(path, names)) return e;
    for (const auto& name : names)
      if (int e = flushTree(path + "/" + name)) return e;
    return flushFolder(path);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  const int e = flushDescriptor(fd, path);
  ::close(fd);
  return e;
}

void createFolders(const std::string& path) {
  if (int e = makeFolders(path)) throw FileOperationError(e, path);
}

void copyItemReplaceIfExists(const std::string& source, const std::string& destination) {
  if (itemExists(destination))
    if (int e = removeItem(destination)) throw FileOperationError(e, destination);
  if (int e = copyItem(source, destination)) throw FileOperationError(e, destination);
}

void moveItemReplaceIfExists(const std::string& source, const std::string& destination) {
  if (itemExists(destination))
    if (int e = removeItem(destination)) throw FileOperationError(e, destination);
  if (int e = moveItem(source, destination)) throw FileOperationError(e, source);
}

}  // namespace qm::updater
