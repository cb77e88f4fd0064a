#pragma once
// The update status document (one per request, polled by the plug-in) and its writer.

#include "qm/updater/request_lock.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

// Stage names written into status documents.
namespace stage {
inline constexpr std::string_view launchValidated = "launch_validated";
inline constexpr std::string_view downloadStarted = "download_started";
inline constexpr std::string_view downloadOk = "download_ok";
inline constexpr std::string_view hashOk = "hash_ok";
inline constexpr std::string_view readyToInstall = "ready_to_install";
inline constexpr std::string_view installerOpened = "installer_opened";
inline constexpr std::string_view swapOpCreated = "swap_op_created";
inline constexpr std::string_view swapPreflightOk = "swap_preflight_ok";
inline constexpr std::string_view swapHostWaiting = "swap_host_waiting";
inline constexpr std::string_view swapHostClosed = "swap_host_closed";
inline constexpr std::string_view swapBackupCaptured = "swap_backup_captured";
inline constexpr std::string_view swapApplied = "swap_applied";
inline constexpr std::string_view swapPostcheckOk = "swap_postcheck_ok";
inline constexpr std::string_view swapCommitComplete = "swap_commit_complete";
inline constexpr std::string_view swapRollbackStarted = "swap_rollback_started";
inline constexpr std::string_view swapRollbackComplete = "swap_rollback_complete";
inline constexpr std::string_view swapRollbackFailed = "swap_rollback_failed";
inline constexpr std::string_view failed = "failed";
}  // namespace stage

// True for the stages after which the plug-in stops polling.
bool isFinalStage(std::string_view stageName) noexcept;

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

// The error codes after which a failed swap request may be taken again.
bool isRetryableFailureCode(std::string_view errorCode) noexcept;

// The status file of a request could hold a failed swap that may be retried: status "failed" with
// a retryable code, for a request whose action is "swap".
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
