#include "qm/updater/telemetry.h"

#include "qm/platform/files.h"
#include "qm/updater/errors.h"
#include "qm/updater/url.h"
#include "updater_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;

namespace {

struct RecordingClient : TelemetryClient {
  std::vector<TelemetryEvent> events;
  std::vector<std::pair<std::string, std::string>> targets;  // endpoint, token
  std::function<void()> behaviour;
  void send(const TelemetryEvent& e, const std::string& endpoint, const std::string& token) override {
    events.push_back(e);
    targets.emplace_back(endpoint, token);
    if (behaviour) behaviour();
  }
};

LaunchPayload payload() {
  LaunchPayload p;
  p.schemaVersion = "1";
  p.requestID = "0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69";
  p.host = "media_composer";
  p.username = "editor";
  p.installedVersion = "2.0.1";
  p.targetVersion = "2.0.2";
  p.effectiveChannel = "beta";
  p.telemetryEndpointURL = "https://api.quillomancer.com/v1/updater/events";
  p.telemetryBearerToken = "tok-1234567890";
  return p;
}

std::vector<std::string> logMessages(const fs::path& log) {
  std::string text;
  qm::platform::readFile(log.string(), text);
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    const std::string line = text.substr(pos, end - pos);
    // Drop "<time> request_id=<id> username=<name> ".
    size_t cut = line.find(" username=");
    cut = line.find(' ', cut + 1);
    out.push_back(line.substr(cut + 1));
    pos = end + 1;
  }
  return out;
}

}  // namespace

TEST(Telemetry, MissingEndpointOrTokenOnlyLogs) {
  struct Case {
    std::optional<std::string> endpoint, token;
    const char* line;
  } cases[] = {
      {"https://api.quillomancer.com/e", "", "telemetry_config=missing endpoint_present=true token_present=false"},
      {std::nullopt, std::nullopt, "telemetry_config=missing endpoint_present=false token_present=false"},
      {"", "tok-1234567890", "telemetry_config=missing endpoint_present=false token_present=true"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    LocalLogger logger((dir.path / "updater.log").string());
    RecordingClient client;
    auto p = payload();
    p.telemetryEndpointURL = c.endpoint;
    p.telemetryBearerToken = c.token;
    emitTelemetry(logger, client, p, "updater_launch_ok", std::nullopt, std::nullopt, "success");
    emitTelemetry(logger, client, p, "pkg_download_start", std::nullopt, std::nullopt, "in_progress");
    EXPECT_TRUE(client.events.empty());
    EXPECT_EQ(logMessages(dir.path / "updater.log"), (std::vector<std::string>{c.line, c.line}));
  }
}

TEST(Telemetry, EventsCarryTheRequestAndLogTheirOutcome) {
  TempDir dir;
  LocalLogger logger((dir.path / "updater.log").string());
  RecordingClient client;
  const auto p = payload();
  emitTelemetry(logger, client, p, "updater_launch_ok", std::nullopt, std::nullopt, "success");
  client.behaviour = [] { throw UpdaterError(UpdaterErrorCode::unexpectedException, "telemetry_http_status_404"); };
  emitTelemetry(logger, client, p, "updater_failed", std::nullopt, "hash_mismatch", "failed");
  client.behaviour = [] { throw PlatformError("Couldn't connect to server"); };
  emitTelemetry(logger, client, p, "pkg_hash_ok", std::nullopt, std::nullopt, "success");

  ASSERT_EQ(client.events.size(), 3u);
  const auto& first = client.events[0];
  EXPECT_TRUE(isUuidV4(first.eventID));
  EXPECT_EQ(first.eventID, asciiLower(first.eventID));
  EXPECT_NE(first.eventID, client.events[1].eventID);
  EXPECT_EQ(first.requestID, client.events[1].requestID);
  EXPECT_EQ(first.channel, "beta");
  EXPECT_EQ(first.host, "media_composer");
  EXPECT_FALSE(first.operationID);
  EXPECT_FALSE(first.stage);
  EXPECT_TRUE(parseInternetDateTime(first.occurredAt));
  EXPECT_EQ(client.events[1].errorCode, "hash_mismatch");
  EXPECT_EQ(client.events[1].status, "failed");
  EXPECT_EQ(client.targets[0], std::make_pair(*p.telemetryEndpointURL, *p.telemetryBearerToken));

  const auto json = nlohmann::json::parse(encodeTelemetryEvent(client.events[1]));
  EXPECT_FALSE(json.contains("operation_id"));
  EXPECT_FALSE(json.contains("stage"));
  EXPECT_EQ(json["error_code"], "hash_mismatch");
  EXPECT_EQ(json.size(), 11u);

  const std::string endpoint = *p.telemetryEndpointURL;
  EXPECT_EQ(logMessages(dir.path / "updater.log"),
            (std::vector<std::string>{
                "telemetry_post_start event=updater_launch_ok endpoint=" + endpoint,
                "telemetry_sent event=updater_launch_ok",
                "telemetry_post_start event=updater_failed endpoint=" + endpoint,
                "telemetry_failed event=updater_failed detail=telemetry_http_status_404",
                "telemetry_post_start event=pkg_hash_ok endpoint=" + endpoint,
                "telemetry_failed event=pkg_hash_ok detail=Couldn't connect to server",
            }));
}

TEST(Telemetry, TokenNeverReachesTheLog) {
  TempDir dir;
  LocalLogger logger((dir.path / "updater.log").string());
  RecordingClient client;
  auto p = payload();
  p.telemetryEndpointURL = "https://api.quillomancer.com/e?key=tok-1234567890";
  client.behaviour = [] { throw PlatformError("rejected Bearer tok-1234567890"); };
  emitTelemetry(logger, client, p, "updater_launch_ok");
  std::string text;
  qm::platform::readFile((dir.path / "updater.log").string(), text);
  EXPECT_EQ(text.find("tok-1234567890"), std::string::npos) << text;
  EXPECT_NE(text.find("<redacted>"), std::string::npos);
}

TEST(Telemetry, EventDecodesBackAndNeedsItsNineKeys) {
  TelemetryEvent e;
  e.eventID = newLowercaseUuid();
  e.requestID = "r";
  e.operationID = "op";
  e.eventName = "swap_applied";
  e.stage = "apply";
  e.occurredAt = "2026-12-09T05:00:00Z";
  e.installedVersion = "1";
  e.targetVersion = "2";
  e.channel = "c";
  e.host = "pro_tools";
  e.username = "u";
  e.status = "success";
  const auto back = decodeTelemetryEvent(encodeTelemetryEvent(e));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->stage, "apply");
  EXPECT_EQ(back->operationID, "op");
  EXPECT_FALSE(back->errorCode);
  auto j = nlohmann::json::parse(encodeTelemetryEvent(e));
  j.erase("channel");
  EXPECT_FALSE(decodeTelemetryEvent(j.dump()));
}
