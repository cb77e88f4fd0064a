#include "qm/updater/launch_payload.h"

#include "qm/platform/text.h"
#include "qm/updater/errors.h"
#include "qm/updater/string_keys.h"
#include "qm/updater/url.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace qm::updater {

namespace {

struct OptionalKey {
  const char* key;
  std::optional<std::string> LaunchPayload::*field;
  bool swapNeedsIt = false;  // required, and not blank, when the action is "swap"
};

constexpr StringKey<LaunchPayload> kRequired[] = {
    {"schema_version", &LaunchPayload::schemaVersion},
    {"request_id", &LaunchPayload::requestID},
    {"timestamp_utc", &LaunchPayload::timestampUTC},
    {"host", &LaunchPayload::host},
    {"username", &LaunchPayload::username},
    {"installed_version", &LaunchPayload::installedVersion},
    {"target_version", &LaunchPayload::targetVersion},
    {"effective_channel", &LaunchPayload::effectiveChannel},
    {"update_pkg_url", &LaunchPayload::updatePkgURL},
    {"update_pkg_sha256", &LaunchPayload::updatePkgSHA256},
    {"release_notes_url", &LaunchPayload::releaseNotesURL},
};

constexpr OptionalKey kOptional[] = {
    {"action", &LaunchPayload::action},
    {"operation_id", &LaunchPayload::operationID, true},
    {"artifact_url", &LaunchPayload::artifactURL, true},
    {"artifact_sha256", &LaunchPayload::artifactSHA256, true},
    {"manifest_version", &LaunchPayload::manifestVersion, true},
    {"manifest_signature", &LaunchPayload::manifestSignature, true},
    {"released_at", &LaunchPayload::releasedAt, true},
    {"telemetry_endpoint_url", &LaunchPayload::telemetryEndpointURL},
    {"telemetry_bearer_token", &LaunchPayload::telemetryBearerToken},
};

[[noreturn]] void fail(UpdaterErrorCode code, std::string detail) { throw UpdaterError(code, std::move(detail)); }

bool blankAfterTrim(const std::string& s) {
  return platform::trimWhitespaceAndNewlines(platform::utf8ToUtf16(s)).empty();
}

bool hostAllowed(const std::string& host, const std::vector<std::string>& allowed) {
  const std::string lower = asciiLower(host);
  return std::find(allowed.begin(), allowed.end(), lower) != allowed.end();
}

// The rules every address the updater reaches obeys: a URL with a host, https, an allowed host.
void checkUrl(const std::string& text, const std::string& key, const std::vector<std::string>& allowedHosts,
              bool refuseFileScheme) {
  const auto url = parseUrl(text);
  if (!url) fail(UpdaterErrorCode::invalidPayload, key + " invalid");
  if (refuseFileScheme && asciiLower(url->scheme) == "file")
    fail(UpdaterErrorCode::invalidPayload, key + " file:// is disabled in release builds");
  if (!url->host) fail(UpdaterErrorCode::invalidPayload, key + " invalid");
  if (asciiLower(url->scheme) != "https") fail(UpdaterErrorCode::invalidPayload, key + " must be https");
  if (!hostAllowed(*url->host, allowedHosts)) fail(UpdaterErrorCode::invalidPayload, key + " host not allowed");
}

}  // namespace

std::optional<LaunchPayload> decodeLaunchPayload(std::string_view json, std::string* error) {
  auto reject = [&](std::string why) -> std::optional<LaunchPayload> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (json.size() > kMaxLaunchPayloadBytes) return reject("request document too large");
  const auto j = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
  if (j.is_discarded()) return reject("request document is not valid JSON");
  if (!j.is_object()) return reject("request document is not a JSON object");
  LaunchPayload p;
  if (const auto bad = readStringKeys(j, p, kRequired, kOptional))
    return reject(bad->missing ? "key not found: " + bad->key : "value of " + bad->key + " is not a string");
  return p;
}

LaunchPayload decodeLaunchPayloadOrThrow(std::string_view json) {
  std::string why;
  auto p = decodeLaunchPayload(json, &why);
  if (!p) throw DecodingError(why);
  return std::move(*p);
}

std::string encodeLaunchPayload(const LaunchPayload& p) {
  return writeStringKeys(p, kRequired, kOptional).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool isUuidV4(std::string_view s) noexcept {
  // 8-4-4-4-12 hexadecimal digits, the third group starting with 4, the fourth with 8, 9, a or b.
  if (s.size() != 36) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
      continue;
    }
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  const char variant = s[19];
  return s[14] == '4' && (variant == '8' || variant == '9' || variant == 'a' || variant == 'b' ||
                          variant == 'A' || variant == 'B');
}

bool isLowercaseSha256(std::string_view s) noexcept {
  if (s.size() != 64) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool isSafeVersionText(std::string_view s) noexcept {
  auto alnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (s.empty() || !alnum(s[0]) || s.find("..") != std::string_view::npos) return false;
  return std::all_of(s.begin(), s.end(), [&](char c) { return alnum(c) || c == '.' || c == '+' || c == '-'; });
}

void LaunchPayloadValidator::validate(const LaunchPayload& payload) const {
  validate(payload, std::chrono::system_clock::now());
}

void LaunchPayloadValidator::validate(const LaunchPayload& p, SystemTime now) const {
  if (p.schemaVersion != "1") fail(UpdaterErrorCode::invalidSchemaVersion, "schema_version must be 1");

  for (const auto& k : kRequired) {
    if (k.field == &LaunchPayload::schemaVersion) continue;
    if (blankAfterTrim(p.*k.field)) fail(UpdaterErrorCode::missingRequiredField, std::string("Missing field: ") + k.key);
  }

  if (!isUuidV4(p.requestID)) fail(UpdaterErrorCode::invalidRequestID, "request_id format invalid");
  if (!isLowercaseSha256(p.updatePkgSHA256))
    fail(UpdaterErrorCode::invalidSHA256Format, "update_pkg_sha256 must be 64-char lowercase hex");
  // The version becomes part of cache file names that are written and removed.
  if (!isSafeVersionText(p.targetVersion)) fail(UpdaterErrorCode::invalidPayload, "target_version invalid");

  checkUrl(p.updatePkgURL, "update_pkg_url", config_.allowedUpdateHosts, false);

  if (p.action && *p.action != "prefetch" && *p.action != "install" && *p.action != "swap")
    fail(UpdaterErrorCode::invalidPayload, "action must be prefetch, install, or swap");

  if (p.action && *p.action == "swap") {
    for (const auto& k : kOptional) {
      if (!k.swapNeedsIt) continue;
      const auto& v = p.*k.field;
      if (!v || blankAfterTrim(*v))
        fail(UpdaterErrorCode::missingRequiredField, std::string("Missing swap field: ") + k.key);
    }
    if (!isUuidV4(*p.operationID)) fail(UpdaterErrorCode::invalidRequestID, "operation_id format invalid");
    if (!isLowercaseSha256(*p.artifactSHA256))
      fail(UpdaterErrorCode::invalidSHA256Format, "artifact_sha256 must be 64-char lowercase hex");
    checkUrl(*p.artifactURL, "artifact_url", config_.allowedUpdateHosts, true);
  }

  if (p.telemetryEndpointURL && !p.telemetryEndpointURL->empty())
    checkUrl(*p.telemetryEndpointURL, "telemetry_endpoint_url", config_.allowedTelemetryHosts, false);

  const auto stamp = parseInternetDateTime(p.timestampUTC);
  if (!stamp) fail(UpdaterErrorCode::invalidPayload, "timestamp_utc invalid");
  // In whole seconds: a stamp centuries ahead must not wrap around into the window.
  const std::int64_t age = secondsBetween(*stamp, now);
  if (age < -300 || age > 21600)
    fail(UpdaterErrorCode::invalidPayload, "timestamp_utc outside allowed age window");
}

}  // namespace qm::updater
