#pragma once
// File-tree operations relative to open folder descriptors. Nothing here follows a symbolic
// link: links are removed, copied and moved as links, and every folder is entered with
// O_NOFOLLOW, so a path component swapped for a link cannot redirect an operation.

#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace qm::helper {

// A file descriptor closed on destruction.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// lstat of `name` in `dirFd`. Returns 0 or the errno.
int statAt(int dirFd, const std::string& name, struct stat& st);

// The names between the slashes of `path`, empty ones dropped.
std::vector<std::string> splitComponents(const std::string& path);

// Opens the folder reached from `dirFd` by entering each of `names` in turn ("." is skipped)
// without following links. Returns a new descriptor (O_PATH) or -1 with errno set.
int openFoldersBelow(int dirFd, const std::vector<std::string>& names);

// Opens `path` (absolute) as a folder, walking every component from "/" without following
// links. Returns the descriptor (O_PATH) or -1 with errno set.
int openFolderNoFollow(const std::string& path);

// Opens `name` in `dirFd` as a real folder for reading (no link followed); -1 with errno set.
int openChildFolder(int dirFd, const std::string& name);

// The names in the folder `dirFd` (O_PATH is enough), "." and ".." left out. Returns 0 or the errno.
int listFolderAt(int dirFd, std::vector<std::string>& names);

// Removes `name` in `dirFd` with everything beneath it. Returns 0 or the first errno.
int removeTreeAt(int dirFd, const std::string& name);

// Copies the folder open as `srcFolderFd` (read access) to `dstName` in `dstDirFd`, which must
// not exist. Files, folders and links are copied; permission bits are kept without set-id bits;
// anything else (devices, sockets) is refused with EINVAL. Every file and folder of the copy is
// flushed to the disk before it counts as made. Returns 0 or the first errno; a partial copy is
// left for the caller to remove.
int copyFolderTo(int srcFolderFd, int dstDirFd, const std::string& dstName);

// Copies any item (folder, file or link, as copyFolderTo) to `dstName` in `dstDirFd`.
int copyItemAt(int srcDirFd, const std::string& srcName, int dstDirFd, const std::string& dstName);

// Flushes the folder `dirFd` (O_PATH is enough) to the disk. Returns 0 or the errno.
int flushFolderAt(int dirFd);

// Moves `srcName` in `srcDirFd` to `dstName` in `dstDirFd` (nothing may exist there). Within one
// file system this is one rename. Across file systems the item is copied to a temporary name
// beside the destination, renamed into place, and only then the source is renamed aside and
// removed, so each path holds a whole item or nothing at every moment. Returns 0 or the errno.
// Its work-in-progress names are "." + dstName + ".moving.<pid>" and "." + srcName + ".moved.<pid>".
int moveAt(int srcDirFd, const std::string& srcName, int dstDirFd, const std::string& dstName);
// moveAt, except that across file systems the source, renamed aside in `srcDirFd` in one step, is
// left for the caller to remove (its name in `left`; empty when the move was one rename).
int moveAtLeavingSource(int srcDirFd, const std::string& srcName, int dstDirFd, const std::string& dstName,
                        std::string& left);

// Exchanges `a` and `b` in `dirFd` in one step (both must exist), then flushes the folder.
// Returns 0, or -1 with errno set (EINVAL or ENOSYS: the file system cannot exchange).
int exchangeAt(int dirFd, const std::string& a, const std::string& b);

}  // namespace qm::helper
