#pragma once
// The download cache (the updates folder itself): names of packages and swap artifacts, removal
// of old packages, and pruning of the requests and status folders.

#include <optional>
#include <string>

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

 private:
  std::string cacheDirectory_;
};

}  // namespace qm::updater
