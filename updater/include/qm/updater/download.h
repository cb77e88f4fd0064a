#pragma once
// Fetching a package or swap artifact into the cache, checking a file's SHA-256, and handing an
// installer package to the system.

#include "qm/updater/updater_config.h"

#include <cstdint>
#include <string>

namespace qm::updater {

struct DownloadResult {
  std::uint64_t bytes = 0;
};

class Downloader {
 public:
  virtual ~Downloader() = default;
  // Fetches `url` into `destination`, replacing what is there only once the whole answer has
  // arrived. Throws UpdaterError (download_http_error, download_io_error) or, for network
  // failures, PlatformError.
  virtual DownloadResult download(const std::string& url, const std::string& destination) = 0;
};

// The downloader over the platform's HTTP layer: the answer streams into a hidden temporary file
// beside the destination (in large blocks, never held whole in memory), capped at the configured
// size, flushed to the disk and renamed into place; every address it visits (redirects
// included) must be https on an allowed host. A requested stop (stop_signals.h) ends it with
// its failure. The run checks the file's hash afterwards.
class HttpDownloader : public Downloader {
 public:
  explicit HttpDownloader(UpdaterConfig config) : config_(std::move(config)) {}
  DownloadResult download(const std::string& url, const std::string& destination) override;

 private:
  UpdaterConfig config_;
};

// True when `url` is https and its host is one of `allowedHosts` (lowercase).
bool isAllowedHttpsUrl(const std::string& url, const std::vector<std::string>& allowedHosts);

// Throws UpdaterError hash_mismatch "SHA256 mismatch" when the file's digest text differs from
// `expectedSHA256` (compared exactly), hash_compute_error when the file cannot be read.
// The file is read in blocks.
void verifyHash(const std::string& filePath, const std::string& expectedSHA256);

class InstallerOpener {
 public:
  virtual ~InstallerOpener() = default;
  // Returns once the opening tool has exited successfully; throws UpdaterError
  // installer_open_failed otherwise.
  virtual void openInstaller(const std::string& packagePath) = 0;
};

// Runs a tool with the package path as its one argument (xdg-open by default); the tool's output
// goes to the updater's own standard output and error.
class CommandInstallerOpener : public InstallerOpener {
 public:
  explicit CommandInstallerOpener(std::string program = "xdg-open") : program_(std::move(program)) {}
  void openInstaller(const std::string& packagePath) override;

 private:
  std::string program_;
};

}  // namespace qm::updater
