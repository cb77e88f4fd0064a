#pragma once
// The update request document: its record, decoding, encoding and validation.

#include "qm/updater/time_text.h"
#include "qm/updater/updater_config.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

struct LaunchPayload {
  std::string schemaVersion;
  std::string requestID;
  std::string timestampUTC;
  std::string host;
  std::string username;
  std::string installedVersion;
  std::string targetVersion;
  std::string effectiveChannel;
  std::string updatePkgURL;
  std::string updatePkgSHA256;
  std::string releaseNotesURL;
  std::optional<std::string> action;
  std::optional<std::string> operationID;
  std::optional<std::string> artifactURL;
  std::optional<std::string> artifactSHA256;
  std::optional<std::string> manifestVersion;
  std::optional<std::string> manifestSignature;
  std::optional<std::string> releasedAt;
  std::optional<std::string> telemetryEndpointURL;
  std::optional<std::string> telemetryBearerToken;

  // `action`, or "install" when absent.
  std::string effectiveAction() const { return action.value_or("install"); }
};

inline constexpr size_t kMaxLaunchPayloadBytes = 1u << 20;

// JSON text to the record: the eleven required keys must be strings; an optional key that is
// absent or null stays absent; any other value type fails; unknown keys are ignored.
// Never throws; on failure returns nothing with the reason in *error.
std::optional<LaunchPayload> decodeLaunchPayload(std::string_view json, std::string* error = nullptr);

// As decodeLaunchPayload, throwing DecodingError.
LaunchPayload decodeLaunchPayloadOrThrow(std::string_view json);

// The same keys; optional fields only when present.
std::string encodeLaunchPayload(const LaunchPayload& payload);

// A text of the request's UUID form (version 4, RFC 4122 variant), any letter case.
bool isUuidV4(std::string_view text) noexcept;
// Exactly 64 lowercase hexadecimal digits.
bool isLowercaseSha256(std::string_view text) noexcept;
// Letters, digits, ".", "+", "-", starting with a letter or digit, no "..": safe inside a file name.
bool isSafeVersionText(std::string_view text) noexcept;

class LaunchPayloadValidator {
 public:
  explicit LaunchPayloadValidator(UpdaterConfig config) : config_(std::move(config)) {}

  // Runs every rule in order and throws UpdaterError at the first that fails; no side effects.
  // `now` is the moment the timestamp's age is measured from.
  void validate(const LaunchPayload& payload, SystemTime now) const;
  void validate(const LaunchPayload& payload) const;

  const UpdaterConfig& config() const { return config_; }

 private:
  UpdaterConfig config_;
};

}  // namespace qm::updater
