#include "qm/updater/status_store.h"

#include "qm/platform/files.h"
#include "qm/updater/errors.h"
#include "qm/updater/small_file.h"
#include "qm/updater/string_keys.h"

#include <nlohmann/json.hpp>

namespace qm::updater {

namespace {

constexpr size_t kMaxStatusBytes = 1u << 20;

constexpr StringKey<UpdateStatus> kRequired[] = {
    {"schema_version", &UpdateStatus::schemaVersion},
    {"request_id", &UpdateStatus::requestID},
    {"username", &UpdateStatus::username},
    {"host", &UpdateStatus::host},
    {"installed_version", &UpdateStatus::installedVersion},
    {"target_version", &UpdateStatus::targetVersion},
    {"status", &UpdateStatus::status},
    {"stage", &UpdateStatus::stage},
    {"created_at_utc", &UpdateStatus::createdAtUTC},
    {"updated_at_utc", &UpdateStatus::updatedAtUTC},
};
constexpr OptionalStringKey<UpdateStatus> kOptional[] = {
    {"error_code", &UpdateStatus::errorCode},
    {"error_detail", &UpdateStatus::errorDetail},
};

bool usableFileName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

bool isRetryableFailedSwap(const UpdateStatus& existing, std::string_view action) noexcept {
  return action == "swap" && existing.status == "failed" && existing.errorCode &&
         isRetryableFailureCode(*existing.errorCode);
}

std::string encodeUpdateStatus(const UpdateStatus& s) {
  const nlohmann::json j = writeStringKeys(s, kRequired, kOptional);
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
  if (const auto bad = readStringKeys(j, s, kRequired, kOptional))
    return fail(bad->missing ? "status document lacks key " + bad->key
                             : "status document key " + bad->key + " is not a string");
  return s;
}

std::string StatusStore::statusFilePath(const std::string& requestID) const {
  return statusDirectory_ + "/" + requestID + ".json";
}

RequestLock StatusStore::lockRequest(const std::string& requestID, bool wait) const {
  if (!usableFileName(requestID)) throw PlatformError("request_id is not usable as a file name");
  if (const int err = platform::makeDirectories(statusDirectory_))
    throw platformErrorFromErrno(err, statusDirectory_);
  return RequestLock::acquire(statusDirectory_ + "/" + requestID + ".lock", wait);
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
