#include "qm/updater/telemetry.h"

#include "qm/platform/http.h"
#include "qm/updater/download.h"
#include "qm/updater/errors.h"
#include "qm/updater/string_keys.h"
#include "qm/updater/time_text.h"
#include "qm/updater/url.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>

namespace qm::updater {

namespace {

constexpr StringKey<TelemetryEvent> kRequired[] = {
    {"event_id", &TelemetryEvent::eventID},
    {"request_id", &TelemetryEvent::requestID},
    {"event_name", &TelemetryEvent::eventName},
    {"occurred_at", &TelemetryEvent::occurredAt},
    {"installed_version", &TelemetryEvent::installedVersion},
    {"target_version", &TelemetryEvent::targetVersion},
    {"channel", &TelemetryEvent::channel},
    {"host", &TelemetryEvent::host},
    {"username", &TelemetryEvent::username},
};
constexpr OptionalStringKey<TelemetryEvent> kOptional[] = {
    {"operation_id", &TelemetryEvent::operationID},
    {"stage", &TelemetryEvent::stage},
    {"error_code", &TelemetryEvent::errorCode},
    {"status", &TelemetryEvent::status},
};

}  // namespace

std::string encodeTelemetryEvent(const TelemetryEvent& e) {
  return writeStringKeys(e, kRequired, kOptional).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<TelemetryEvent> decodeTelemetryEvent(std::string_view json) {
  const auto j = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  TelemetryEvent e;
  if (readStringKeys(j, e, kRequired, kOptional)) return std::nullopt;
  return e;
}

std::string newLowercaseUuid() {
  std::random_device rd;
  unsigned char b[16];
  for (int i = 0; i < 16; i += 4) {
    const unsigned v = rd();
    for (int k = 0; k < 4; ++k) b[i + k] = static_cast<unsigned char>(v >> (8 * k));
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

void HttpTelemetryClient::send(const TelemetryEvent& event, const std::string& endpointURL,
                               const std::string& bearerToken) {
  if (!parseUrl(endpointURL)) throw UpdaterError(UpdaterErrorCode::invalidPayload, "telemetry_endpoint_url invalid");
  platform::HttpRequest request;
  request.method = "POST";
  request.url = endpointURL;
  request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + bearerToken}};
  request.body = encodeTelemetryEvent(event);
  request.idleTimeoutSeconds = config_.telemetryTimeoutSeconds;
  request.totalTimeoutSeconds = config_.telemetryTimeoutSeconds;
  request.followRedirects = true;
  request.maxResponseBytes = 1u << 20;  // the answer is ignored; keep it small
  request.caFile = config_.caFile;
  const auto& allowed = config_.allowedTelemetryHosts;
  request.allowUrl = [&allowed](const std::string& hop) { return isAllowedHttpsUrl(hop, allowed); };
  const auto response = platform::httpPerform(request);
  if (response.error != 0 && !response.tooLarge) throw PlatformError(response.errorText);
  if (!response.hasResponse()) throw UpdaterError(UpdaterErrorCode::unexpectedException, "telemetry_http_no_response");
  if (response.status < 200 || response.status > 299)
    throw UpdaterError(UpdaterErrorCode::unexpectedException,
                       "telemetry_http_status_" + std::to_string(response.status));
}

void emitTelemetry(LocalLogger& logger, TelemetryClient& client, const LaunchPayload& payload,
                   const std::string& eventName, const std::optional<std::string>& stage,
                   const std::optional<std::string>& errorCode,
                   const std::optional<std::string>& status) noexcept {
  try {
    const std::string& rid = payload.requestID;
    const std::string& user = payload.username;
    const bool haveEndpoint = payload.telemetryEndpointURL && !payload.telemetryEndpointURL->empty();
    const bool haveToken = payload.telemetryBearerToken && !payload.telemetryBearerToken->empty();
    if (haveToken) logger.addSecret(*payload.telemetryBearerToken);
    if (!haveEndpoint || !haveToken) {
      logger.log(rid, user,
                 std::string("telemetry_config=missing endpoint_present=") + (haveEndpoint ? "true" : "false") +
                     " token_present=" + (haveToken ? "true" : "false"));
      return;
    }
    const std::string& endpoint = *payload.telemetryEndpointURL;
    logger.log(rid, user, "telemetry_post_start event=" + eventName + " endpoint=" + endpoint);
    TelemetryEvent event;
    event.eventID = newLowercaseUuid();
    event.requestID = rid;
    event.operationID = payload.operationID;
    event.eventName = eventName;
    event.stage = stage;
    event.occurredAt = nowInternetDateTime();
    event.installedVersion = payload.installedVersion;
    event.targetVersion = payload.targetVersion;
    event.channel = payload.effectiveChannel;
    event.host = payload.host;
    event.username = payload.username;
    event.errorCode = errorCode;
    event.status = status;
    try {
      client.send(event, endpoint, *payload.telemetryBearerToken);
      logger.log(rid, user, "telemetry_sent event=" + eventName);
    } catch (const UpdaterError& e) {
      logger.log(rid, user, "telemetry_failed event=" + eventName + " detail=" + e.detail);
    } catch (const std::exception& e) {
      logger.log(rid, user, "telemetry_failed event=" + eventName + " detail=" + e.what());
    }
  } catch (...) {
    // Telemetry never disturbs a run.
  }
}

}  // namespace qm::updater
