#include "qm/updater/errors.h"

#include <array>
#include <cstring>

namespace qm::updater {

namespace {

constexpr std::array<std::string_view, kUpdaterErrorCodeCount> kTexts = {
    "invalid_payload",       "invalid_schema_version", "missing_required_field",
    "invalid_request_id",    "invalid_sha256_format",  "download_start_failed",
    "download_http_error",   "download_io_error",      "hash_mismatch",
    "hash_compute_error",    "installer_open_failed",  "status_write_failed",
    "cache_cleanup_failed",  "swap_in_progress",       "swap_artifact_invalid",
    "swap_host_still_running", "swap_backup_failed",   "swap_apply_failed",
    "swap_rollback_failed",  "unexpected_exception",
};

}  // namespace

std::string_view errorCodeText(UpdaterErrorCode code) noexcept {
  const auto i = static_cast<size_t>(code);
  return i < kTexts.size() ? kTexts[i] : std::string_view("unexpected_exception");
}

std::optional<UpdaterErrorCode> errorCodeFromText(std::string_view text) noexcept {
  for (size_t i = 0; i < kTexts.size(); ++i)
    if (kTexts[i] == text) return static_cast<UpdaterErrorCode>(i);
  return std::nullopt;
}

std::string errnoDescription(int error) {
  char buf[256];
  // GNU strerror_r returns the text, which may or may not live in buf.
  return ::strerror_r(error, buf, sizeof buf);
}

PlatformError platformErrorFromErrno(int error, const std::string& path) {
  std::string text = errnoDescription(error);
  if (!path.empty()) text += " (" + path + ")";
  return PlatformError(std::move(text));
}

}  // namespace qm::updater
