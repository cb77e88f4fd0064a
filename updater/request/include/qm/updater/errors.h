#pragma once
// The updater's own error value: a fixed code (whose text travels to the status document, the
// log, telemetry and standard error) and a detail text for people.

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

enum class UpdaterErrorCode {
  invalidPayload,
  invalidSchemaVersion,
  missingRequiredField,
  invalidRequestID,
  invalidSHA256Format,
  downloadStartFailed,
  downloadHTTPError,
  downloadIOError,
  hashMismatch,
  hashComputeError,
  installerOpenFailed,
  statusWriteFailed,
  cacheCleanupFailed,
  swapInProgress,
  swapArtifactInvalid,
  swapHostStillRunning,
  swapBackupFailed,
  swapApplyFailed,
  swapRollbackFailed,
  unexpectedException,
};

inline constexpr int kUpdaterErrorCodeCount = 20;

// The code's text, e.g. "invalid_payload".
std::string_view errorCodeText(UpdaterErrorCode code) noexcept;

// The code for an exact (case-sensitive) text; nothing for any other text.
std::optional<UpdaterErrorCode> errorCodeFromText(std::string_view text) noexcept;

class UpdaterError : public std::exception {
 public:
  UpdaterError(UpdaterErrorCode code, std::string detail) : errorCode(code), detail(std::move(detail)) {}

  UpdaterErrorCode errorCode;
  std::string detail;

  std::string_view codeText() const noexcept { return errorCodeText(errorCode); }
  // The detail text (the value has no text form of its own; callers show the code and detail).
  const char* what() const noexcept override { return detail.c_str(); }
};

// An error of the platform (file system, network) that is passed on unchanged rather than turned
// into an UpdaterError; the run reports it as "unexpected_exception" with this description.
class PlatformError : public std::exception {
 public:
  explicit PlatformError(std::string description) : description_(std::move(description)) {}
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

// A document (request or status) that does not decode.
class DecodingError : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// PlatformError from an errno value, e.g. "No such file or directory (/path)".
PlatformError platformErrorFromErrno(int error, const std::string& path = {});

// Description of an errno value, as the platform words it.
std::string errnoDescription(int error);

}  // namespace qm::updater
