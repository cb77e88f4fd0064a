#include "qm/updater/payload_loader.h"

#include "qm/platform/text.h"
#include "qm/updater/errors.h"
#include "qm/updater/folder_listing.h"
#include "qm/updater/local_logger.h"
#include "qm/updater/status_store.h"
#include "qm/updater/url.h"

#include <cerrno>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater {

namespace {

constexpr const char* kUsage =
    "Usage: --payload <json-file> OR --payload-json <json> OR no args for pending request mode";

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string describe(const std::exception& e) {
  if (const auto* u = dynamic_cast<const UpdaterError*>(&e))
    return std::string(u->codeText()) + ": " + u->detail;
  return e.what();
}

}  // namespace

LaunchPayloadLoader::LaunchPayloadLoader(AppPaths paths, LaunchPayloadValidator validator,
                                         std::ostream& errorStream)
    : paths_(std::move(paths)), validator_(std::move(validator)), err_(errorStream) {}

LaunchPayload LaunchPayloadLoader::readAndValidate(const std::string& path) const {
  auto payload = decodeLaunchPayloadOrThrow(readSmallFile(path, kMaxLaunchPayloadBytes));
  validator_.validate(payload);
  return payload;
}

LaunchPayload LaunchPayloadLoader::load(const std::vector<std::string>& arguments) const {
  if (arguments.size() <= 1) {
    if (auto found = loadNewestPendingRequest()) return std::move(*found);
    throw UpdaterError(UpdaterErrorCode::invalidPayload, "No pending requests");
  }
  if (arguments.size() == 2) throw UpdaterError(UpdaterErrorCode::invalidPayload, kUsage);
  const std::string& option = arguments[1];
  if (option == "--payload") return readAndValidate(arguments[2]);
  if (option == "--payload-json") {
    if (!platform::isValidUtf8(arguments[2]))
      throw UpdaterError(UpdaterErrorCode::invalidPayload, "Payload json must be utf8");
    auto payload = decodeLaunchPayloadOrThrow(arguments[2]);
    validator_.validate(payload);
    return payload;
  }
  throw UpdaterError(UpdaterErrorCode::invalidPayload, "Unknown argument");
}

std::optional<LaunchPayload> LaunchPayloadLoader::loadNewestPendingRequest() const {
  const std::string& requests = paths_.requestsDirectory;
  if (!exists(requests)) return std::nullopt;
  std::vector<FolderEntry> candidates;
  for (auto& e : listFolder(requests))
    if (asciiLower(fileExtension(e.name)) == "json") candidates.push_back(std::move(e));
  sortNewestFirst(candidates);  // equal times stay in name order

  int invalid = 0;
  for (const auto& entry : candidates) {
    const std::string requestFile = requests + "/" + entry.name;
    const std::string statusFile = paths_.statusDirectory + "/" + fileStem(entry.name) + ".json";
    if (exists(statusFile)) {
      // A handled request: taken again only as a retryable failed swap; errors end the scan.
      if (auto retry = loadRetryableIfEligible(requestFile, statusFile)) return retry;
      continue;
    }
    try {
      return readAndValidate(requestFile);
    } catch (const std::exception& e) {
      ++invalid;
      err_ << "Updater pending request rejected: " << escapeControlCharacters(entry.name)
           << " reason=" << escapeControlCharacters(describe(e)) << "\n";
    }
  }
  if (invalid > 0)
    err_ << "Updater pending scan: no valid request found (" << invalid << " invalid file(s))\n";
  err_.flush();
  return std::nullopt;
}

std::optional<LaunchPayload> LaunchPayloadLoader::loadRetryableIfEligible(const std::string& requestFile,
                                                                          const std::string& statusFile) const {
  std::string why;
  const auto status = decodeUpdateStatus(readSmallFile(statusFile, 1u << 20), &why);
  if (!status) throw DecodingError(why);
  if (status->status != "failed" || !status->errorCode || !isRetryableFailureCode(*status->errorCode))
    return std::nullopt;
  auto payload = readAndValidate(requestFile);
  if (payload.action && *payload.action == "swap") return payload;
  return std::nullopt;
}

}  // namespace qm::updater
