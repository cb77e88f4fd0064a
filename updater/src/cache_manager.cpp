#include "qm/updater/cache_manager.h"

#include "qm/platform/files.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/folder_listing.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/request_lock.h"
#include "qm/updater/small_file.h"
#include "qm/updater/url.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <time.h>
#include <vector>

namespace qm::updater {

namespace {

void removeEntry(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec) throw PlatformError(ec.message() + " (" + path + ")");
}

void makeFolder(const std::string& folder) {
  if (const int err = platform::makeDirectories(folder)) throw platformErrorFromErrno(err, folder);
}

bool absent(const std::optional<std::string>& folder) {
  struct stat st {};
  return !folder || (::stat(folder->c_str(), &st) != 0 && errno == ENOENT);
}

void requireSafeVersion(const std::string& version) {
  if (!isSafeVersionText(version)) throw UpdaterError(UpdaterErrorCode::invalidPayload, "target_version invalid");
}

}  // namespace

std::string CacheManager::pkgURL(const std::string& version) const {
  requireSafeVersion(version);
  makeFolder(cacheDirectory_);
  return cacheDirectory_ + "/Quillomancer-" + version + ".pkg";
}

std::string CacheManager::swapArtifactURL(const std::string& version, const std::string& sourceURL) const {
  requireSafeVersion(version);
  makeFolder(cacheDirectory_);
  std::string ext;
  if (const auto url = parseUrl(sourceURL)) ext = pathExtension(*url);
  const bool alphanumeric = !ext.empty() && std::all_of(ext.begin(), ext.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
  return cacheDirectory_ + "/Quillomancer-" + version + "-swap." + (alphanumeric ? ext : "bin");
}

void CacheManager::clean(const std::string& keepingTarget) const {
  try {
    makeFolder(cacheDirectory_);
    std::vector<FolderEntry> packages;
    for (auto& e : listFolder(cacheDirectory_))
      if (fileExtension(e.name) == "pkg") packages.push_back(std::move(e));
    const std::string kept = "Quillomancer-" + keepingTarget + ".pkg";
    std::vector<FolderEntry> candidates;
    for (const auto& e : packages)
      if (e.name != kept) candidates.push_back(e);
    sortNewestFirst(candidates);
    const std::string newestOther = candidates.empty() ? std::string() : candidates.front().name;
    for (const auto& e : packages) {
      if (e.name == kept || e.name == newestOther) continue;
      removeEntry(cacheDirectory_ + "/" + e.name);
    }
  } catch (const UpdaterError&) {
    throw;
  } catch (const std::exception& e) {
    throw UpdaterError(UpdaterErrorCode::cacheCleanupFailed, e.what());
  }
}

void CacheManager::pruneJSONFiles(const std::optional<std::string>& folder, size_t maxFiles) const {
  if (absent(folder)) return;
  std::vector<FolderEntry> files;
  for (auto& e : listFolder(*folder))
    if (asciiLower(fileExtension(e.name)) == "json") files.push_back(std::move(e));
  if (files.size() <= maxFiles) return;
  sortNewestFirst(files);
  for (size_t i = maxFiles; i < files.size(); ++i) removeEntry(*folder + "/" + files[i].name);
}

void CacheManager::pruneRequestLocks(const std::optional<std::string>& folder) const {
  if (absent(folder)) return;
  for (const auto& e : listFolder(*folder)) {
    if (fileExtension(e.name) != "lock") continue;
    // Taken without waiting and let go: letting go removes the file. A held lock is left to its
    // run, and a run that waits for a removed file starts over on a fresh one.
    try {
      RequestLock::acquire(*folder + "/" + e.name, false);
    } catch (const std::exception&) {
    }
  }
}

void recordOperationBegan(const std::string& folder) {
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const std::string text = std::to_string(static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
  const std::string path = folder + "/" + kOperationBeganFile;
  if (const int e = platform::writeFileAtomic(path, text)) throw FileOperationError(e, path);
}

std::vector<std::string> operationsNewestFirst(const std::string& operations) {
  // Ordered by the time each operation began (nanoseconds in its began_at file), not by its
  // folder's modification time, which a later recovery changes; no such time counts as oldest.
  std::vector<FolderEntry> found;
  for (auto& e : listFolder(operations)) {
    const std::string folder = operations + "/" + e.name;
    if (!isRealFolder(folder)) continue;
    FolderEntry op{e.name, false, {}};
    try {
      const std::string text = readSmallFile(folder + "/" + kOperationBeganFile, 20);
      if (!text.empty() && text.size() <= 19 && text.find_first_not_of("0123456789") == std::string::npos) {
        const long long began = std::stoll(text);
        op.timeKnown = true;
        op.mtime = timespec{time_t(began / 1000000000), long(began % 1000000000)};
      }
    } catch (const std::exception&) {
    }
    found.push_back(std::move(op));
  }
  sortNewestFirst(found);
  std::vector<std::string> names;
  for (auto& op : found) names.push_back(std::move(op.name));
  return names;
}

void pruneOperationFolders(const std::string& operations, const std::string& current) noexcept {
  try {
    std::vector<std::string> older;
    for (auto& name : operationsNewestFirst(operations))
      if (name != current) older.push_back(std::move(name));
    for (size_t i = kKeptOperationFolders - 1; i < older.size(); ++i) removeItem(operations + "/" + older[i]);
  } catch (...) {
  }
}

}  // namespace qm::updater
