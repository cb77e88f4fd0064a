#pragma once
// The file operations under the bundle swap and staging. Every change to the file system goes
// through one counted step, so tests can make the N-th operation fail with a chosen errno or end
// the process at a chosen point, and then check that the installed bundle survived.
//
// Moves and copies never leave a half-made item under the destination's name: a copy is made
// under a temporary name beside the destination and renamed into place; a move across file
// systems is such a copy followed by taking the source away in one rename and clearing it.
// Copies are durable: every file and folder of a copy is flushed to the disk before it is
// renamed into place, and the folders of every rename are flushed after it.
//
// An item that replaces another is made whole beside it, under its exchange sibling, and then
// exchanged with it in one step, so that its path never stands empty.

#include "qm/platform/files.h"
#include "qm/updater/errors.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::updater {

// Kinds of counted steps (readData stays last: it bounds the per-kind counters).
enum class FileStep { makeFolder, remove, rename, createFile, writeData, makeLink, setMode, flush, exchange, readData };

// EACCES or EPERM: the rights are missing.
bool isPermissionErrno(int error);

// A platform error that keeps its errno, so callers can tell a permission failure apart.
class FileOperationError : public PlatformError {
 public:
  FileOperationError(int error, const std::string& path);
  int error() const { return error_; }
  bool isPermissionError() const { return isPermissionErrno(error_); }

 private:
  int error_;
};

// Faults for tests. Steps are numbered from 1 in the order they run, across all kinds (or only
// among the steps of `only`); at step `nth` the fault either fails the step with `error` (the step
// does nothing), kills the process with SIGKILL before the step, or sends the process `signal`
// (then the step goes ahead unless `error` is set). `nth` 0 applies the fault to every matching
// step. The production program never sets any.
struct FileFault {
  std::uint64_t nth = 0;
  int error = 0;
  bool kill = false;
  std::optional<FileStep> only;
  std::string path;  // when set, only steps on this path (the source of a rename) count
  int signal = 0;
};

class FileFaults {
 public:
  static void set(std::vector<FileFault> faults);
  static void clear();
  static std::uint64_t stepsTaken();  // since the last set()/clear()
  // Called by each step: returns the errno to fail with (0: go ahead); may not return at all.
  static int step(FileStep kind, const std::string& path = {});
};

// lstat-based: true when anything (a link included) is at `path`.
bool itemExists(const std::string& path);
// A real folder (not a link to one).
bool isRealFolder(const std::string& path);
// The open descriptor still names the item at `path` (it was not removed or replaced).
using qm::platform::descriptorStillAt;

// Each returns 0 or the errno of the step that failed.
int makeFolders(const std::string& path, unsigned mode = 0755);    // with missing parents
int removeItem(const std::string& path);                           // recursive; links not followed
int copyItem(const std::string& source, const std::string& destination);  // nothing may be there
// copyItem, except that what killed processes left beside `destination` stays (for clearBeside):
// an empty destination is filled as soon as the copy is whole, in one rename.
int copyIntoEmpty(const std::string& source, const std::string& destination);
int moveItem(const std::string& source, const std::string& destination);  // nothing may be there
// moveItem, except that across file systems the source, renamed aside in one step, is left for
// the caller to remove (its path in `left`; empty when the move was one rename): a move that must
// be followed at once by another need not wait for a whole tree to be deleted.
int moveItemLeavingSource(const std::string& source, const std::string& destination, std::string& left);
// Flushes every file and folder of a tree to the disk (links are left as they are).
int flushTree(const std::string& path);
// A digest of the tree at `path` (names, kinds, permission bits, file contents and link texts;
// no times), so that two copies of one bundle compare equal wherever they stand. Nothing when
// nothing is there or it cannot be read whole.
std::optional<std::string> treeFingerprint(const std::string& path);
// What stands at the target of a swap, told by treeFingerprint against the new bundle's and the
// installed bundle's (either may be unknown): the one rule by which the recovery of a swap and
// the outcome of the swap helper are judged.
enum class Standing { missing, newBundle, oldBundle, other };
Standing standingAt(const std::string& target, const std::optional<std::string>& newPrint,
                    const std::optional<std::string>& oldPrint);
// Writes all `size` bytes to `fd`, through short and interrupted writes (not a counted step).
int writeAll(int fd, const char* data, size_t size);

// After a rename into or out of `folder`: flushes its list of names, so that the rename survives
// a power loss. The rename has happened either way, so a failure is not reported.
void flushFolderAfterRename(const std::string& folder) noexcept;

// The hidden sibling of `path` ("." + its name + ".exchange", in the same folder, so on the same
// file system) under which the item that is to take the place of `path` is made whole.
std::string exchangeSiblingOf(const std::string& path);
// Exchanges the items at `a` and `b` in one step (both must exist). Returns 0 or the errno.
int exchangeItems(const std::string& a, const std::string& b);
// EINVAL or ENOSYS from exchangeItems: the file system cannot exchange.
bool isExchangeRefused(int error);
// Puts the whole item at `whole`, a sibling of `destination`, in place of whatever is there: in
// one exchange, after which what it replaced is removed; by a rename when nothing is there; by a
// removal and a rename where the file system cannot exchange. Returns 0 or the errno.
int putInPlace(const std::string& whole, const std::string& destination);
// Removes the exchange sibling of `path` and what a killed process of ours left beside either
// of them. Only one swap at a time may call it (the swap lock). Returns 0 or the errno.
int clearBeside(const std::string& path);

// Throwing forms (FileOperationError). The replace forms first remove whatever is at the
// destination.
void copyItemReplaceIfExists(const std::string& source, const std::string& destination);
void moveItemReplaceIfExists(const std::string& source, const std::string& destination);
void createFolders(const std::string& path);

}  // namespace qm::updater
