#include "qm/updater/download.h"

#include "qm/platform/files.h"
#include "qm/platform/http.h"
#include "qm/platform/process.h"
#include "qm/platform/sha256.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/path_text.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/url.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace qm::updater {

namespace {

[[noreturn]] void ioError(int err, const std::string& path) {
  throw UpdaterError(UpdaterErrorCode::downloadIOError, platformErrorFromErrno(err, path).what());
}

// The temporary file: removed unless it was moved into place.
struct TempFile {
  std::string path;
  int fd = -1;
  ~TempFile() {
    if (fd >= 0) ::close(fd);
    if (!path.empty()) ::unlink(path.c_str());
  }
};

// The answer goes to the file in blocks of kWriteBytes: few system calls, and a block small enough
// to stay in the processor's cache between being filled and being copied to the file (a larger one
// is read back from memory, which costs more than the calls it saves). Every kFlushBytes the
// disk is asked to start writing what arrived, while the next part arrives, so that the one
// flush before the rename finds little left; the part before it is waited for (it has had a
// whole part's time). A slow disk slows the transfer down instead of filling the memory with
// pages to write.
class BlockWriter {
 public:
  static constexpr size_t kWriteBytes = 256u << 10;
  static constexpr std::uint64_t kFlushBytes = 8u << 20;

  explicit BlockWriter(int fd) : fd_(fd) { block_.reserve(kWriteBytes); }

  // 0 or the errno of a failed write.
  int add(const char* data, size_t size) {
    while (size > 0) {
      const size_t take = std::min(size, kWriteBytes - block_.size());
      block_.insert(block_.end(), data, data + take);
      data += take;
      size -= take;
      if (block_.size() == kWriteBytes)
        if (int e = writeBlock()) return e;
    }
    return 0;
  }

  // Writes what is left and flushes the file to the disk; 0 or the errno.
  int finish() {
    if (int e = writeBlock()) return e;
    return ::fsync(fd_) == 0 ? 0 : errno;
  }

 private:
  int writeBlock() {
    if (int e = writeAll(fd_, block_.data(), block_.size())) return e;
    written_ += block_.size();
    block_.clear();
    // A system that cannot start write-back early leaves it all to the flush.
    if (written_ - started_ >= kFlushBytes) {
      ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                        SYNC_FILE_RANGE_WRITE);
      if (started_ > waited_)
        ::sync_file_range(fd_, static_cast<off_t>(waited_), static_cast<off_t>(started_ - waited_),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
      waited_ = started_;
      started_ = written_;
    }
    return 0;
  }

  int fd_;
  std::uint64_t written_ = 0;  // bytes handed to the system so far
  std::uint64_t started_ = 0;  // write-back has been started for the bytes before this offset
  std::uint64_t waited_ = 0;   // and waited for before this one
  std::vector<char> block_;
};

}  // namespace

bool isAllowedHttpsUrl(const std::string& url, const std::vector<std::string>& allowedHosts) {
  const auto parsed = parseUrl(url);
  if (!parsed || !parsed->host || asciiLower(parsed->scheme) != "https") return false;
  const std::string host = asciiLower(*parsed->host);
  return std::find(allowedHosts.begin(), allowedHosts.end(), host) != allowedHosts.end();
}

DownloadResult HttpDownloader::download(const std::string& url, const std::string& destination) {
  const std::string folder = parentOf(destination);
  if (const int err = platform::makeDirectories(folder)) ioError(err, folder);

  // Hidden, so that neither the cache cleanup nor the pending scan ever takes it for a file of theirs.
  TempFile tmp;
  std::string tmpl = folder + "/." + lastComponent(destination) + ".download-XXXXXX";
  tmp.fd = ::mkostemp(tmpl.data(), O_CLOEXEC);  // mode 0600
  if (tmp.fd < 0) ioError(errno, folder);
  tmp.path = tmpl;

  DownloadResult result;
  BlockWriter writer(tmp.fd);
  int writeError = 0;

  platform::HttpRequest request;
  request.method = "GET";
  request.url = url;
  request.idleTimeoutSeconds = config_.downloadIdleTimeoutSeconds;
  request.totalTimeoutSeconds = config_.downloadTotalTimeoutSeconds;
  request.followRedirects = true;
  request.maxResponseBytes = config_.maxDownloadBytes;
  request.caFile = config_.caFile;
  const auto& allowed = config_.allowedUpdateHosts;
  request.allowUrl = [&allowed](const std::string& hop) { return isAllowedHttpsUrl(hop, allowed); };
  // A polite stop ends the transfer at once, also while no byte arrives.
  request.keepGoing = [] { return requestedStopSignal() == 0; };
  request.onBody = [&](const char* data, size_t size) {
    if (requestedStopSignal() != 0) return false;  // a polite stop: end the transfer now
    if ((writeError = writer.add(data, size)) != 0) return false;
    result.bytes += size;
    return true;
  };

  const platform::HttpResponse response = platform::httpPerform(request);
  throwIfStopRequestedBeforeChanges();
  if (writeError) ioError(writeError, tmp.path);
  if (response.tooLarge)
    throw UpdaterError(UpdaterErrorCode::downloadHTTPError,
                       "Download larger than " + std::to_string(config_.maxDownloadBytes) + " bytes");
  if (response.refused) throw PlatformError("Address not allowed: " + response.errorText);
  if (response.error != 0) {
    throw PlatformError(response.errorText.empty() ? std::string("Download failed") : response.errorText);
  }
  if (!response.hasResponse()) throw UpdaterError(UpdaterErrorCode::downloadHTTPError, "No download response");
  if (response.status < 200 || response.status > 299)
    throw UpdaterError(UpdaterErrorCode::downloadHTTPError, "HTTP " + std::to_string(response.status));
  // The final address was asked through allowUrl by the transport; check it here too.
  if (!response.effectiveUrl.empty() && !isAllowedHttpsUrl(response.effectiveUrl, allowed))
    throw PlatformError("Address not allowed: " + response.effectiveUrl);

  if (const int e = writer.finish()) ioError(e, tmp.path);
  const int fd = tmp.fd;
  tmp.fd = -1;
  if (::close(fd) != 0) ioError(errno, tmp.path);

  if (::rename(tmp.path.c_str(), destination.c_str()) != 0) {
    // Something that a rename cannot replace (a folder) is removed first, then the move retried.
    std::error_code ec;
    std::filesystem::remove_all(destination, ec);
    if (ec) throw UpdaterError(UpdaterErrorCode::downloadIOError, ec.message() + " (" + destination + ")");
    if (::rename(tmp.path.c_str(), destination.c_str()) != 0) ioError(errno, destination);
  }
  tmp.path.clear();
  flushFolderAfterRename(folder);  // the new name on the disk too
  return result;
}

void verifyHash(const std::string& filePath, const std::string& expectedSHA256) {
  std::string actual;
  int err = 0;
  if (!platform::sha256File(filePath, actual, &err))
    throw UpdaterError(UpdaterErrorCode::hashComputeError, platformErrorFromErrno(err, filePath).what());
  if (actual != expectedSHA256) throw UpdaterError(UpdaterErrorCode::hashMismatch, "SHA256 mismatch");
}

void CommandInstallerOpener::openInstaller(const std::string& packagePath) {
  platform::ProcessOptions options;
  options.captureOutput = false;
  const auto r = platform::runProcess(program_, {packagePath}, options);
  if (!r.started)
    throw UpdaterError(UpdaterErrorCode::installerOpenFailed, platformErrorFromErrno(r.spawnErrno, program_).what());
  // A tool ended by a signal reports the signal's number, as an exit status would.
  const int status = r.exitCode >= 0 ? r.exitCode : r.termSignal;
  if (status != 0)
    throw UpdaterError(UpdaterErrorCode::installerOpenFailed, "open exit code " + std::to_string(status));
}

}  // namespace qm::updater
