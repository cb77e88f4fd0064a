#pragma once
// Best-effort telemetry: one small JSON event per step of a run, posted to the endpoint named in
// the request with its bearer token. Failures are logged and never reach the run.

#include "qm/updater/launch_payload.h"
#include "qm/updater/local_logger.h"
#include "qm/updater/updater_config.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

struct TelemetryEvent {
  std::string eventID;
  std::string requestID;
  std::optional<std::string> operationID;
  std::string eventName;
  std::optional<std::string> stage;
  std::string occurredAt;
  std::string installedVersion;
  std::string targetVersion;
  std::string channel;
  std::string host;
  std::string username;
  std::optional<std::string> errorCode;
  std::optional<std::string> status;
};

// Compact JSON; absent fields are left out.
std::string encodeTelemetryEvent(const TelemetryEvent& event);
// The nine always-present keys are required strings, the four others optional. Never throws.
std::optional<TelemetryEvent> decodeTelemetryEvent(std::string_view json);

// A new random (version 4) UUID in lowercase text.
std::string newLowercaseUuid();

class TelemetryClient {
 public:
  virtual ~TelemetryClient() = default;
  // Posts one event; throws UpdaterError or PlatformError when it was not accepted.
  virtual void send(const TelemetryEvent& event, const std::string& endpointURL,
                    const std::string& bearerToken) = 0;
};

// The client over the platform's HTTP layer: POST with "Content-Type: application/json" and
// "Authorization: Bearer <token>"; every address visited must be https on an allowed telemetry
// host, so the token never travels anywhere else.
class HttpTelemetryClient : public TelemetryClient {
 public:
  explicit HttpTelemetryClient(UpdaterConfig config) : config_(std::move(config)) {}
  void send(const TelemetryEvent& event, const std::string& endpointURL,
            const std::string& bearerToken) override;

 private:
  UpdaterConfig config_;
};

// Builds and sends one event for `payload`, logging "telemetry_post_start", then
// "telemetry_sent" or "telemetry_failed"; without an endpoint and a token it only logs
// "telemetry_config=missing ...". Never throws. The token is registered with the logger as a
// secret so that no log line can carry it.
void emitTelemetry(LocalLogger& logger, TelemetryClient& client, const LaunchPayload& payload,
                   const std::string& eventName, const std::optional<std::string>& stage = std::nullopt,
                   const std::optional<std::string>& errorCode = std::nullopt,
                   const std::optional<std::string>& status = std::nullopt) noexcept;

}  // namespace qm::updater
