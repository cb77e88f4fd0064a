#pragma once
// The download cache (the updates folder itself): names of packages and swap artifacts, removal
// of old packages, and pruning of the requests and status folders.

#include <optional>
#include <string>
#include <vector>

namespace qm::updater {

class CacheManager {
 public:
  explicit CacheManager(std::string cacheDirectory) : cacheDirectory_(std::move(cacheDirectory)) {}

  // Set by start-up to the layout's requests and status folders.
  std::optional<std::string> requestsDirectory;
  std::optional<std::string> statusDirectory;

  const std::string& cacheDirectory() const { return cacheDirectory_; }

  // "<cache>/Quillomancer-<version>.pkg"; creates the cache folder first (PlatformError when it
  // cannot). A version that is not safe inside a file name throws UpdaterError invalid_payload.
  std::string pkgURL(const std::string& version) const;

  // "<cache>/Quillomancer-<version>-swap.<ext>", where ext is the extension of the source
  // address's last path segment when it is alphanumeric, else "bin". Same errors as pkgURL.
  std::string swapArtifactURL(const std::string& version, const std::string& sourceURL) const;

  // Removes every package ("*.pkg", exact case, not hidden) but the target's and the newest
  // other one. Throws UpdaterError cache_cleanup_failed with the system's description.
  void clean(const std::string& keepingTarget) const;

  // Keeps the newest `maxFiles` "*.json" files (extension in any case, not hidden) of `folder`;
  // an absent folder is no error. Throws PlatformError.
  void pruneJSONFiles(const std::optional<std::string>& folder, size_t maxFiles) const;

  // Removes the run locks ("*.lock", request_lock.h) of `folder` that no run holds: those of
  // ended requests. An absent folder is no error. Throws PlatformError when it cannot be listed.
  void pruneRequestLocks(const std::optional<std::string>& folder) const;

 private:
  std::string cacheDirectory_;
};

// How many swap operation folders are kept.
inline constexpr size_t kKeptOperationFolders = 2;

// The file in an operation folder that records when the operation began (nanoseconds since the
// epoch, as decimal text). Written once as the folder is made; a recovery that works in an older
// folder changes its modification time, never this.
inline constexpr const char* kOperationBeganFile = "began_at";

// Writes kOperationBeganFile into the new operation folder `folder`. Throws FileOperationError.
void recordOperationBegan(const std::string& folder);

// The operation folders (real folders, not hidden) of `operations`, the one that began last
// first; a folder without a readable record of its beginning counts as the oldest, and equal
// times keep name order. Throws PlatformError when the folder cannot be listed.
std::vector<std::string> operationsNewestFirst(const std::string& operations);

// Keeps the newest kKeptOperationFolders folders of the swap operations folder `operations`
// (by the time each operation began), `current` (a folder name) always among them, and removes
// the older ones. Only one swap at a time may call it (the swap lock). Never throws: a folder
// that cannot be removed stays.
void pruneOperationFolders(const std::string& operations, const std::string& current) noexcept;

}  // namespace qm::updater
