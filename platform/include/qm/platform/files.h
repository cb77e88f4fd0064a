#pragma once
// File helpers shared by the plug-in, the updater and the swap helper.

#include <string>
#include <string_view>
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
// [any-thread]
bool readFile(const std::string& path, std::string& out, size_t maxBytes = 64u << 20);

// Creates `path` and its missing parents with `mode` (existing folders are left as they are).
// Returns 0 or the errno that stopped it.
// [any-thread]
int makeDirectories(const std::string& path, mode_t mode = 0755);

}  // namespace qm::platform
