#pragma once
// File helpers shared by the plug-in, the updater and the swap helper.

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace qm::platform {

// Writes `bytes` to `path` so that readers see either the old file or the whole new one:
// a temporary file in the same folder is created with `mode` (never widened later),
// written, flushed with fsync, then renamed over `path`; the folder is fsync-ed too.
// Returns 0 on success, else the errno of the step that failed (the old file is untouched).
// [any-thread]
int writeFileAtomic(const std::string& path, std::string_view bytes, mode_t mode = 0600);

// Reads a whole file, refusing anything larger than `maxBytes`.
// Returns false (and leaves `out` empty) when the file cannot be read or is too large.
// Only a regular file is read (a FIFO or a device never blocks the caller); a link is followed.
// [any-thread]
bool readFile(const std::string& path, std::string& out, size_t maxBytes = 64u << 20);

// Why an outside file was not opened or read.
enum class FileRefusal {
  none,
  missing,         // no such file
  symbolicLink,    // the last component is a link and links were refused
  folder,          // a directory
  notRegularFile,  // a FIFO, socket or device
  tooLarge,        // larger than the reader's limit
  unreadable,      // any other error of open, fstat or read (errno kept)
};

struct FileOpenResult {
  int fd = -1;  // open, read-only, close-on-exec, blocking cleared; the caller closes it
  FileRefusal refusal = FileRefusal::none;
  int error = 0;        // errno behind `unreadable`
  struct stat info {};  // fstat of the opened file (valid when fd >= 0)
};

struct FileOpenOptions {
  bool followLinks = false;
  size_t maxBytes = 64u << 20;  // a larger regular file is refused as tooLarge before any read
};

// Opens an outside file without ever blocking on it: O_NONBLOCK and (unless asked) O_NOFOLLOW
// at open, then fstat; only a regular file within `maxBytes` is kept open.
// [any-thread]
FileOpenResult openRegularFile(const std::string& path, const FileOpenOptions& options = {});

// Reads a whole outside file opened as openRegularFile does; `info` (optional) gets its fstat.
// [any-thread]
FileRefusal readRegularFile(const std::string& path, std::string& out, const FileOpenOptions& options = {},
                            struct stat* info = nullptr, int* error = nullptr);

// A short reason for a message: "is a folder", "is not a regular file", "is larger than 64 KiB".
std::string describeFileRefusal(FileRefusal refusal, size_t maxBytes, int error = 0);

// The open descriptor still names the item at `path` (it was not removed or replaced).
// [any-thread]
bool descriptorStillAt(int fd, const std::string& path);

// Creates `path` and its missing parents with `mode` (existing folders are left as they are).
// Returns 0 or the errno that stopped it.
// [any-thread]
int makeDirectories(const std::string& path, mode_t mode = 0755);

}  // namespace qm::platform
