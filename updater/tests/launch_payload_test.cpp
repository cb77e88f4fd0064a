#include "qm/updater/launch_payload.h"

#include "qm/updater/errors.h"
#include "qm/updater/url.h"
#include "updater_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace qm::updater;
using qm::updater::testing::makeSwapRequest;
using qm::updater::testing::sampleRequest;

namespace {

// 2026-12-09T05:00:00Z
const SystemTime kNow = SystemTime(std::chrono::seconds(1796792400));

std::string stampAt(std::chrono::seconds offset) { return formatInternetDateTime(kNow + offset); }

LaunchPayload validPayload() {
  return sampleRequest("0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69", stampAt(std::chrono::seconds(-60)));
}

LaunchPayload validSwap() {
  auto p = validPayload();
  makeSwapRequest(p);
  return p;
}

struct Case {
  const char* name;
  std::function<LaunchPayload()> make;
  const char* code;    // nullptr: accepted
  const char* detail;
};

template <class F>
std::function<LaunchPayload()> with(F change, bool swap = false) {
  return [change, swap] {
    auto p = swap ? validSwap() : validPayload();
    change(p);
    return p;
  };
}

}  // namespace

TEST(LaunchPayloadValidation, EveryRuleInOrderWithItsText) {
  using P = LaunchPayload;
  const std::vector<Case> cases = {
      {"valid install", with([](P&) {}), nullptr, nullptr},
      {"valid swap", with([](P&) {}, true), nullptr, nullptr},
      // 1. schema
      {"schema with trailing blank", with([](P& p) { p.schemaVersion = "1 "; }), "invalid_schema_version", "schema_version must be 1"},
      {"schema 2", with([](P& p) { p.schemaVersion = "2"; }), "invalid_schema_version", "schema_version must be 1"},
      {"schema first of many failures", with([](P& p) { p.schemaVersion = ""; p.username = ""; p.updatePkgSHA256 = "x"; }), "invalid_schema_version", "schema_version must be 1"},
      // 2. required fields (each one is covered below in a loop too)
      {"username of blanks", with([](P& p) { p.username = "   "; }), "missing_required_field", "Missing field: username"},
      {"host of line breaks and tabs", with([](P& p) { p.host = "\n\t\r "; }), "missing_required_field", "Missing field: host"},
      {"no-break space counts as blank", with([](P& p) { p.effectiveChannel = "\xC2\xA0"; }), "missing_required_field", "Missing field: effective_channel"},
      {"first missing wins", with([](P& p) { p.releaseNotesURL = ""; p.timestampUTC = " "; }), "missing_required_field", "Missing field: timestamp_utc"},
      // 3. request id
      {"request id with trailing blank", with([](P& p) { p.requestID += " "; }), "invalid_request_id", "request_id format invalid"},
      {"request id version 1", with([](P& p) { p.requestID = "0b6c1a52-5f0e-1c8e-9a4b-2f1d3c4b5a69"; }), "invalid_request_id", "request_id format invalid"},
      {"request id variant c", with([](P& p) { p.requestID = "0b6c1a52-5f0e-4c8e-ca4b-2f1d3c4b5a69"; }), "invalid_request_id", "request_id format invalid"},
      {"request id uppercase", with([](P& p) { p.requestID = "0B6C1A52-5F0E-4C8E-9A4B-2F1D3C4B5A69"; }), nullptr, nullptr},
      {"request id path", with([](P& p) { p.requestID = "../../../../etc/passwd-aaaa-aaaa-aaaa"; }), "invalid_request_id", "request_id format invalid"},
      // 4. package digest
      {"uppercase digest", with([](P& p) { p.updatePkgSHA256 = std::string(64, 'A'); }), "invalid_sha256_format", "update_pkg_sha256 must be 64-char lowercase hex"},
      {"short digest", with([](P& p) { p.updatePkgSHA256 = std::string(63, 'a'); }), "invalid_sha256_format", "update_pkg_sha256 must be 64-char lowercase hex"},
      // target version becomes part of file names
      {"version climbing out", with([](P& p) { p.targetVersion = "../../x"; }), "invalid_payload", "target_version invalid"},
      {"version with slash", with([](P& p) { p.targetVersion = "2.0/2"; }), "invalid_payload", "target_version invalid"},
      {"version with double dot", with([](P& p) { p.targetVersion = "2..0"; }), "invalid_payload", "target_version invalid"},
      {"version starting with dash", with([](P& p) { p.targetVersion = "-2.0"; }), "invalid_payload", "target_version invalid"},
      {"version with suffix", with([](P& p) { p.targetVersion = "2.0.2-beta.1+build7"; }), nullptr, nullptr},
      // 5. package address
      {"plain http", with([](P& p) { p.updatePkgURL = "http://api.quillomancer.com/x.pkg"; }), "invalid_payload", "update_pkg_url must be https"},
      {"https without host", with([](P& p) { p.updatePkgURL = "https:///x.pkg"; }), "invalid_payload", "update_pkg_url invalid"},
      {"not a url", with([](P& p) { p.updatePkgURL = "https://api.quillomancer.com/a b.pkg"; }), "invalid_payload", "update_pkg_url invalid"},
      {"backslash trick", with([](P& p) { p.updatePkgURL = "https://evil.example\\@api.quillomancer.com/x"; }), "invalid_payload", "update_pkg_url invalid"},
      {"no scheme no host", with([](P& p) { p.updatePkgURL = "api.quillomancer.com/x.pkg"; }), "invalid_payload", "update_pkg_url invalid"},
      {"host but no scheme", with([](P& p) { p.updatePkgURL = "//api.quillomancer.com/x.pkg"; }), "invalid_payload", "update_pkg_url must be https"},
      {"other host", with([](P& p) { p.updatePkgURL = "https://evil.example/x.pkg"; }), "invalid_payload", "update_pkg_url host not allowed"},
      {"userinfo hides other host", with([](P& p) { p.updatePkgURL = "https://api.quillomancer.com@evil.example/x"; }), "invalid_payload", "update_pkg_url host not allowed"},
      {"lookalike subdomain", with([](P& p) { p.updatePkgURL = "https://api.quillomancer.com.evil.example/x"; }), "invalid_payload", "update_pkg_url host not allowed"},
      {"capitals in scheme and host", with([](P& p) { p.updatePkgURL = "HTTPS://API.Quillomancer.COM/x.pkg"; }), nullptr, nullptr},
      {"port on allowed host", with([](P& p) { p.updatePkgURL = "https://quillomancer.com:8443/x.pkg"; }), nullptr, nullptr},
      // 6. action
      {"action Install", with([](P& p) { p.action = "Install"; }), "invalid_payload", "action must be prefetch, install, or swap"},
      {"action empty", with([](P& p) { p.action = ""; }), "invalid_payload", "action must be prefetch, install, or swap"},
      {"action prefetch", with([](P& p) { p.action = "prefetch"; }), nullptr, nullptr},
      {"prefetch ignores bad swap keys", with([](P& p) { p.action = "prefetch"; p.operationID = "x"; p.artifactURL = "file:///x"; }), nullptr, nullptr},
      // 7. swap
      {"swap presence first", with([](P& p) { p.releasedAt.reset(); p.artifactURL = "file:///x"; }, true), "missing_required_field", "Missing swap field: released_at"},
      {"swap blank operation", with([](P& p) { p.operationID = " \n"; }, true), "missing_required_field", "Missing swap field: operation_id"},
      {"swap missing artifact", with([](P& p) { p.artifactURL.reset(); p.manifestVersion.reset(); }, true), "missing_required_field", "Missing swap field: artifact_url"},
      {"swap bad operation id", with([](P& p) { p.operationID = "7d3f2a10-1b2c-3d5e-8f90-a1b2c3d4e5f6"; }, true), "invalid_request_id", "operation_id format invalid"},
      {"swap uppercase operation id", with([](P& p) { p.operationID = "7D3F2A10-1B2C-4D5E-8F90-A1B2C3D4E5F6"; }, true), nullptr, nullptr},
      {"swap uppercase digest", with([](P& p) { p.artifactSHA256 = std::string(64, 'B'); }, true), "invalid_sha256_format", "artifact_sha256 must be 64-char lowercase hex"},
      {"swap file artifact", with([](P& p) { p.artifactURL = "file:///tmp/Quillomancer.aaxplugin"; }, true), "invalid_payload", "artifact_url file:// is disabled in release builds"},
      {"swap FILE artifact with host", with([](P& p) { p.artifactURL = "FILE://api.quillomancer.com/x.zip"; }, true), "invalid_payload", "artifact_url file:// is disabled in release builds"},
      {"swap artifact no host", with([](P& p) { p.artifactURL = "https:///x.zip"; }, true), "invalid_payload", "artifact_url invalid"},
      {"swap artifact unparsable", with([](P& p) { p.artifactURL = "https://[::1/x.zip"; }, true), "invalid_payload", "artifact_url invalid"},
      {"swap artifact http", with([](P& p) { p.artifactURL = "http://quillomancer.com/x.zip"; }, true), "invalid_payload", "artifact_url must be https"},
      {"swap artifact other host", with([](P& p) { p.artifactURL = "https://evil.example/x.zip"; }, true), "invalid_payload", "artifact_url host not allowed"},
      // 8. telemetry
      {"telemetry empty is absent", with([](P& p) { p.telemetryEndpointURL = ""; }), nullptr, nullptr},
      {"telemetry api host", with([](P& p) { p.telemetryEndpointURL = "https://api.quillomancer.com/v1/events"; p.telemetryBearerToken = ""; }), nullptr, nullptr},
      {"telemetry web site host", with([](P& p) { p.telemetryEndpointURL = "https://www.quillomancer.com/events"; }), "invalid_payload", "telemetry_endpoint_url host not allowed"},
      {"telemetry http", with([](P& p) { p.telemetryEndpointURL = "http://api.quillomancer.com/events"; }), "invalid_payload", "telemetry_endpoint_url must be https"},
      {"telemetry blank not trimmed", with([](P& p) { p.telemetryEndpointURL = " "; }), "invalid_payload", "telemetry_endpoint_url invalid"},
      {"telemetry no host", with([](P& p) { p.telemetryEndpointURL = "https:/events"; }), "invalid_payload", "telemetry_endpoint_url invalid"},
      // 9. timestamp
      {"fractional seconds", with([](P& p) { p.timestampUTC = "2026-12-09T04:59:00.5Z"; }), "invalid_payload", "timestamp_utc invalid"},
      {"no zone", with([](P& p) { p.timestampUTC = "2026-12-09T04:59:00"; }), "invalid_payload", "timestamp_utc invalid"},
      {"impossible date", with([](P& p) { p.timestampUTC = "2026-02-30T04:59:00Z"; }), "invalid_payload", "timestamp_utc invalid"},
      {"numeric offset", with([](P& p) { p.timestampUTC = "2026-12-09T06:59:00+02:00"; }), nullptr, nullptr},
      {"exactly six hours old", with([](P& p) { p.timestampUTC = stampAt(std::chrono::seconds(-21600)); }), nullptr, nullptr},
      {"one second older", with([](P& p) { p.timestampUTC = stampAt(std::chrono::seconds(-21601)); }), "invalid_payload", "timestamp_utc outside allowed age window"},
      {"five minutes ahead", with([](P& p) { p.timestampUTC = stampAt(std::chrono::seconds(300)); }), nullptr, nullptr},
      {"just over five minutes ahead", with([](P& p) { p.timestampUTC = stampAt(std::chrono::seconds(301)); }), "invalid_payload", "timestamp_utc outside allowed age window"},
      // Seconds of these stamps overflow a nanosecond clock; wrapped, the first would be a minute old.
      {"centuries ahead", with([](P& p) { p.timestampUTC = "2611-06-30T04:33:34Z"; }), "invalid_payload", "timestamp_utc outside allowed age window"},
      {"last second of 9999", with([](P& p) { p.timestampUTC = "9999-12-31T23:59:59-23:59"; }), "invalid_payload", "timestamp_utc outside allowed age window"},
      {"year zero", with([](P& p) { p.timestampUTC = "0000-01-01T00:00:00+23:59"; }), "invalid_payload", "timestamp_utc outside allowed age window"},
  };
  const LaunchPayloadValidator validator(UpdaterConfig::production());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      validator.validate(c.make(), kNow);
      EXPECT_EQ(c.code, nullptr) << "accepted";
    } catch (const UpdaterError& e) {
      ASSERT_NE(c.code, nullptr) << "refused: " << e.codeText() << " " << e.detail;
      EXPECT_EQ(e.codeText(), c.code);
      EXPECT_EQ(e.detail, c.detail);
    }
  }
}

TEST(LaunchPayloadValidation, EachRequiredFieldIsCheckedInOrder) {
  const char* keys[] = {"request_id",        "timestamp_utc",  "host",           "username",
                        "installed_version", "target_version", "effective_channel",
                        "update_pkg_url",    "update_pkg_sha256", "release_notes_url"};
  const LaunchPayloadValidator validator(UpdaterConfig::production());
  for (size_t i = 0; i < std::size(keys); ++i) {
    // Blank this key and every later one: the first of them is reported.
    auto j = nlohmann::json::parse(encodeLaunchPayload(validPayload()));
    for (size_t k = i; k < std::size(keys); ++k) j[keys[k]] = " \t";
    const auto p = decodeLaunchPayload(j.dump());
    ASSERT_TRUE(p);
    try {
      validator.validate(*p, kNow);
      ADD_FAILURE() << keys[i] << " accepted";
    } catch (const UpdaterError& e) {
      EXPECT_EQ(e.errorCode, UpdaterErrorCode::missingRequiredField);
      EXPECT_EQ(e.detail, std::string("Missing field: ") + keys[i]);
    }
  }
}

TEST(LaunchPayloadDecoding, RequiredStringsOptionalNullsAndUnknownKeys) {
  const auto base = nlohmann::json::parse(encodeLaunchPayload(validSwap()));
  ASSERT_TRUE(decodeLaunchPayload(base.dump()));

  auto j = base;
  j["schema_version"] = 1;  // a number is refused already here
  EXPECT_FALSE(decodeLaunchPayload(j.dump()));
  j = base;
  j.erase("release_notes_url");
  EXPECT_FALSE(decodeLaunchPayload(j.dump()));
  j = base;
  j["username"] = nullptr;
  EXPECT_FALSE(decodeLaunchPayload(j.dump()));
  j = base;
  j["action"] = true;
  EXPECT_FALSE(decodeLaunchPayload(j.dump()));

  j = base;
  j["telemetry_bearer_token"] = nullptr;
  j["something_new"] = {1, 2};
  const auto p = decodeLaunchPayload(j.dump());
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->telemetryBearerToken);
  EXPECT_EQ(p->action, "swap");
  EXPECT_EQ(p->artifactSHA256, std::string(64, 'b'));

  for (const char* text : {"", "[]", "\"text\"", "{", "{\"schema_version\":\"1\"}"}) {
    std::string why;
    EXPECT_FALSE(decodeLaunchPayload(text, &why)) << text;
    EXPECT_FALSE(why.empty());
  }
  EXPECT_FALSE(decodeLaunchPayload(std::string(kMaxLaunchPayloadBytes + 1, ' ')));
  EXPECT_THROW(decodeLaunchPayloadOrThrow("{}"), DecodingError);
}

TEST(LaunchPayloadDecoding, EncodingWritesOptionalKeysOnlyWhenPresent) {
  const auto j = nlohmann::json::parse(encodeLaunchPayload(validPayload()));
  EXPECT_EQ(j.size(), 11u);
  EXPECT_FALSE(j.contains("action"));
  const auto back = decodeLaunchPayload(encodeLaunchPayload(validSwap()));
  ASSERT_TRUE(back);
  EXPECT_EQ(nlohmann::json::parse(encodeLaunchPayload(*back)).size(), 18u);
  EXPECT_EQ(back->effectiveAction(), "swap");
  EXPECT_EQ(validPayload().effectiveAction(), "install");
}

TEST(Url, ReadsSchemeHostAndPathStrictly) {
  struct Case {
    const char* text;
    bool ok;
    const char* scheme;
    const char* host;  // nullptr: none
    const char* ext;
  } cases[] = {
      {"https://a.example/dir/File.AAXPLUGIN", true, "https", "a.example", "AAXPLUGIN"},
      {"https://a.example:443/x.zip?sig=1#frag", true, "https", "a.example", "zip"},
      {"https://user:pw@a.example/x", true, "https", "a.example", ""},
      {"https://[::1]:8443/bundle.aaxplugin/", true, "https", "::1", "aaxplugin"},
      {"file:///tmp/x.pkg", true, "file", nullptr, "pkg"},
      {"https://a.example/.hidden", true, "https", "a.example", ""},
      {"https://a.example/x%2Fy.bin", true, "https", "a.example", "bin"},
      {"https://a.example/a b", false, "", nullptr, ""},
      {"https://a.example/\x7f", false, "", nullptr, ""},
      {"https://a.example/%zz", false, "", nullptr, ""},
      {"https://a.example:port/x", false, "", nullptr, ""},
      {"1https://a.example/", false, "", nullptr, ""},
      {"https://a.exa\\mple/", false, "", nullptr, ""},
      {"https://a.example/caf\xC3\xA9", false, "", nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto u = parseUrl(c.text);
    ASSERT_EQ(u.has_value(), c.ok);
    if (!u) continue;
    EXPECT_EQ(u->scheme, c.scheme);
    EXPECT_EQ(u->host.has_value(), c.host != nullptr);
    if (c.host && u->host) {
      EXPECT_EQ(*u->host, c.host);
    }
    EXPECT_EQ(pathExtension(*u), c.ext);
  }
}

TEST(InternetDateTime, FormatsAndParsesUtc) {
  EXPECT_EQ(formatInternetDateTime(kNow), "2026-12-09T05:00:00Z");
  EXPECT_EQ(formatInternetDateTime(kNow + std::chrono::milliseconds(999)), "2026-12-09T05:00:00Z");
  EXPECT_EQ(parseInternetDateTime("2026-12-09T05:00:00Z"), kNow);
  EXPECT_EQ(parseInternetDateTime("2026-12-09T00:00:00-05:00"), kNow);
  EXPECT_EQ(parseInternetDateTime("2024-02-29T00:00:00Z").has_value(), true);
  EXPECT_EQ(parseInternetDateTime("2611-06-30T04:33:34Z")->time_since_epoch().count(), 20243536414);
  EXPECT_EQ(parseInternetDateTime("0000-01-01T00:00:00Z")->time_since_epoch().count(), -62167219200);
  for (const char* bad : {"2026-12-09 05:00:00Z", "2026-12-09T05:00Z", "2026-12-09T24:00:00Z",
                          "2026-13-01T00:00:00Z", "2026-12-09T05:00:00+0200", "2026-12-09T05:00:00z",
                          "2026-12-09T05:00:00.000Z", "", "2026-12-09T05:00:00Zjunk"})
    EXPECT_FALSE(parseInternetDateTime(bad).has_value()) << bad;
}
