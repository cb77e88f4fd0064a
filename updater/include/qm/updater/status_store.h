#pragma once
// The update status document (one per request, polled by the plug-in) and its writer.

#include "qm/updater/request_lock.h"
#include "qm/updater/status_vocabulary.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

// The final stages of the table (status_vocabulary.h).
inline bool isFinalStage(std::string_view stageName) noexcept { return isFinalUpdateStage(stageName); }

struct UpdateStatus {
  std::string schemaVersion = "1";
  std::string requestID;
  std::string username;
  std::string host;
  std::string installedVersion;
  std::string targetVersion;
  std::string status;  // "success" or "failed"
  std::string stage;
  std::optional<std::string> errorCode;
  std::optional<std::string> errorDetail;
  std::string createdAtUTC;
  std::string updatedAtUTC;
};

// Pretty-printed JSON, keys in ascending order; error_code and error_detail only when present.
std::string encodeUpdateStatus(const UpdateStatus& status);

// Decodes a status document: the ten always-present keys must be strings, the two error keys
// may be absent or null, other keys are ignored. Never throws; on failure returns nothing and
// puts the reason in *error.
std::optional<UpdateStatus> decodeUpdateStatus(std::string_view json, std::string* error = nullptr);

// The status file of a request could hold a failed swap that may be retried: status "failed" with
// a retryable code (status_vocabulary.h), for a request whose action is "swap".
bool isRetryableFailedSwap(const UpdateStatus& existingStatus, std::string_view action) noexcept;

class StatusStore {
 public:
  explicit StatusStore(std::string statusDirectory) : statusDirectory_(std::move(statusDirectory)) {}

  const std::string& statusDirectory() const { return statusDirectory_; }
  // "<statusDirectory>/<requestID>.json"
  std::string statusFilePath(const std::string& requestID) const;

  // The request's run lock, "<requestID>.lock" beside its document (request_lock.h); the status
  // folder is created first. Waits for another run of the request when `wait`, else returns an
  // unheld lock when one is alive. Throws PlatformError when the file cannot be made.
  RequestLock lockRequest(const std::string& requestID, bool wait) const;

  // Replaces the request's document so that a reader sees the old one or the whole new one:
  // "<request_id>.tmp" is created with mode 0600, written, flushed and renamed over the
  // document. A status folder that cannot be created throws PlatformError; a failure after that
  // throws UpdaterError status_write_failed with the system's description.
  void write(const UpdateStatus& status) const;

  // The request's existing document, when there is one that reads and decodes.
  std::optional<UpdateStatus> read(const std::string& requestID) const;

 private:
  std::string statusDirectory_;
};

}  // namespace qm::updater
