#include "qm/updater/status_store.h"

#include "qm/platform/files.h"
#include "qm/updater/errors.h"
#include "qm/updater/small_file.h"

#include <array>
#include <nlohmann/json.hpp>

namespace qm::updater {

namespace {

constexpr size_t kMaxStatusBytes = 1u << 20;

constexpr std::array<std::string_view, 6> kRetryableCodes = {
    "download_start_failed", "download_http_error",     "download_io_error",
    "swap_host_still_running", "swap_in_progress", "unexpected_exception",
};

bool usableFileName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

bool isFinalStage(std::string_view s) noexcept {
  return s == stage::readyToInstall || s == stage::installerOpened ||
         s == stage::swapCommitComplete || s == stage::failed;
}

bool isRetryableFailureCode(std::string_view code) noexcept {
  for (const auto c : kRetryableCodes)
    if (c == code) return true;
  return false;
}

bool isRetryableFailedSwap(const UpdateStatus& existing, std::string_view action) noexcept {
  return action == "swap" && existing.status == "failed" && existing.errorCode &&
         isRetryableFailureCode(*existing.errorCode);
}

std::string encodeUpdateStatus(const UpdateStatus& s) {
  nlohmann::json j = nlohmann::json::object();  // std::map underneath: keys come out sorted
  j["schema_version"] = s.schemaVersion;
  j["request_id"] = s.requestID;
  j["username"] = s.username;
  j["host"] = s.host;
  j["installed_version"] = s.installedVersion;
  j["target_version"] = s.targetVersion;
  j["status"] = s.status;
  j["stage"] = s.stage;
  if (s.errorCode) j["error_code"] = *s.errorCode;
  if (s.errorDetail) j["error_detail"] = *s.errorDetail;
  j["created_at_utc"] = s.createdAtUTC;
  j["updated_at_utc"] = s.updatedAtUTC;
  // Invalid UTF-8 (a user name from an odd system) is replaced rather than failing the write.
  return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<UpdateStatus> decodeUpdateStatus(std::string_view json, std::string* error) {
  auto fail = [&](std::string why) -> std::optional<UpdateStatus> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (json.size() > kMaxStatusBytes) return fail("status document too large");
  const auto j = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
  if (j.is_discarded()) return fail("status document is not valid JSON");
  if (!j.is_object()) return fail("status document is not a JSON object");
  UpdateStatus s;
  const std::pair<const char*, std::string*> required[] = {
      {"schema_version", &s.schemaVersion},
      {"request_id", &s.requestID},
      {"username", &s.username},
      {"host", &s.host},
      {"installed_version", &s.installedVersion},
      {"target_version", &s.targetVersion},
      {"status", &s.status},
      {"stage", &s.stage},
      {"created_at_utc", &s.createdAtUTC},
      {"updated_at_utc", &s.updatedAtUTC},
  };
  for (const auto& [key, field] : required) {
    const auto it = j.find(key);
    if (it == j.end()) return fail(std::string("status document lacks key ") + key);
    if (!it->is_string()) return fail(std::string("status document key ") + key + " is not a string");
    *field = it->get<std::string>();
  }
  const std::pair<const char*, std::optional<std::string>*> optional[] = {
      {"error_code", &s.errorCode},
      {"error_detail", &s.errorDetail},
  };
  for (const auto& [key, field] : optional) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) continue;
    if (!it->is_string()) return fail(std::string("status document key ") + key + " is not a string");
    *field = it->get<std::string>();
  }
  return s;
}

std::string StatusStore::statusFilePath(const std::string& requestID) const {
  return statusDirectory_ + "/" + requestID + ".json";
}

void StatusStore::write(const UpdateStatus& status) const {
  if (const int err = platform::makeDirectories(statusDirectory_))
    throw platformErrorFromErrno(err, statusDirectory_);
  const std::string bytes = encodeUpdateStatus(status);
  if (!usableFileName(status.requestID))
    throw UpdaterError(UpdaterErrorCode::statusWriteFailed, "request_id is not usable as a file name");

  // Replaced in one step, never removed first: a reader always finds a whole file.
  if (const int err = platform::writeFileAtomic(statusFilePath(status.requestID), bytes, 0600))
    throw UpdaterError(UpdaterErrorCode::statusWriteFailed, errnoDescription(err));
}

std::optional<UpdateStatus> StatusStore::read(const std::string& requestID) const {
  if (!usableFileName(requestID)) return std::nullopt;
  try {
    return decodeUpdateStatus(readSmallFile(statusFilePath(requestID), kMaxStatusBytes));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace qm::updater
