// Downloads and telemetry posts against the web-service stand-in over loopback HTTPS, with a
// certificate authority made for the test.
#include "qm/platform/sha256.h"
#include "qm/service/service.h"
#include "qm/updater/download.h"
#include "qm/updater/errors.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/telemetry.h"
#include "https_test_support.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using namespace qm::updater;
using namespace qm::updater::testing;

namespace {

class Downloads : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testPki().ok) GTEST_SKIP() << "openssl could not make a test certificate";
    service = makeHttpsService();
    ASSERT_TRUE(service->start());
    trustTestService(config);
    config.maxDownloadBytes = 1u << 20;
    config.downloadIdleTimeoutSeconds = 10;
    config.downloadTotalTimeoutSeconds = 30;
    config.telemetryTimeoutSeconds = 10;
    dest = (dir.path / "Updates" / "Quillomancer-2.0.2.pkg").string();
  }

  std::string fileUrl(const std::string& name) const { return service->url() + "/files/" + name; }

  // Runs a download that must fail; returns the error's code text (or "platform") and detail.
  std::pair<std::string, std::string> failure(const std::string& url) {
    try {
      HttpDownloader(config).download(url, dest);
    } catch (const UpdaterError& e) {
      return {std::string(e.codeText()), e.detail};
    } catch (const PlatformError& e) {
      return {"platform", e.what()};
    }
    return {"none", ""};
  }

  // Nothing but `dest` (if anything) lies in the destination folder: no temporary file stays.
  void expectNoLeftovers() const {
    const fs::path folder = fs::path(dest).parent_path();
    if (!fs::exists(folder)) return;
    for (const auto& e : fs::directory_iterator(folder))
      EXPECT_EQ(e.path().string(), dest) << "left behind: " << e.path();
  }

  TempDir dir;
  std::unique_ptr<qm::service::Service> service;
  UpdaterConfig config;
  std::string dest;
};

}  // namespace

TEST_F(Downloads, FetchesIntoPrivateFileReplacingTheOldOne) {
  std::string content(300000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 1000);
  service->setFile("pkg", content);
  fs::create_directories(fs::path(dest).parent_path());
  { std::ofstream(dest) << "older package"; }

  const DownloadResult r = HttpDownloader(config).download(fileUrl("pkg"), dest);
  EXPECT_EQ(r.bytes, content.size());
  EXPECT_EQ(readText(dest), content);
  EXPECT_EQ(modeOf(dest), 0600u);
  EXPECT_NO_THROW(verifyHash(dest, qm::platform::sha256Hex(content)));
  expectNoLeftovers();
}

// The answer is written in blocks and handed to the disk in parts of 8 MiB: one that spans several
// of each and ends inside one arrives whole.
TEST_F(Downloads, LargeAnswerArrivesWholeAcrossBlocks) {
  std::string content((17u << 20) + 12345, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
  service->setFile("big", content);
  config.maxDownloadBytes = 32u << 20;
  const DownloadResult r = HttpDownloader(config).download(fileUrl("big"), dest);
  EXPECT_EQ(r.bytes, content.size());
  EXPECT_NO_THROW(verifyHash(dest, qm::platform::sha256Hex(content)));
  expectNoLeftovers();
}

TEST_F(Downloads, HttpStatusOutside2xxFailsAndKeepsTheEarlierFile) {
  struct Case {
    int status;
    bool accepted;
  } cases[] = {{404, false}, {500, false}, {300, false}, {204, true}, {299, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    fs::create_directories(fs::path(dest).parent_path());
    { std::ofstream(dest) << "earlier"; }
    qm::service::Fault f;
    f.status = c.status;
    f.body = c.status == 204 ? "" : "answer body";
    service->setFile("pkg", "real");
    service->setFault("/files/pkg", f);
    const auto [code, detail] = failure(fileUrl("pkg"));
    if (c.accepted) {
      EXPECT_EQ(code, "none");
      EXPECT_EQ(readText(dest), c.status == 204 ? "" : "answer body");
    } else {
      EXPECT_EQ(code, "download_http_error");
      EXPECT_EQ(detail, "HTTP " + std::to_string(c.status));
      EXPECT_EQ(readText(dest), "earlier");
    }
    expectNoLeftovers();
  }
}

TEST_F(Downloads, ShortBodiesNeverPassAsTheWholePackage) {
  const std::string content(200000, 'p');
  const std::string digest = qm::platform::sha256Hex(content);
  service->setFile("pkg", content);

  // Cut short at the HTTP level (fewer bytes than announced): the download fails.
  qm::service::Fault aborted;
  aborted.bodyFault = qm::service::BodyFault::Aborted;
  aborted.keepBytes = 50000;
  service->setFault("/files/pkg", aborted);
  EXPECT_EQ(failure(fileUrl("pkg")).first, "platform");
  EXPECT_FALSE(fs::exists(dest));
  expectNoLeftovers();

  // A short body that is complete at the HTTP level arrives, and the hash check refuses it.
  qm::service::Fault truncated;
  truncated.bodyFault = qm::service::BodyFault::Truncated;
  truncated.keepBytes = 50000;
  service->setFault("/files/pkg", truncated);
  EXPECT_EQ(failure(fileUrl("pkg")).first, "none");
  try {
    verifyHash(dest, digest);
    FAIL() << "a truncated package passed the hash check";
  } catch (const UpdaterError& e) {
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::hashMismatch);
    EXPECT_EQ(e.detail, "SHA256 mismatch");
  }
}

TEST_F(Downloads, EndlessBodyIsCutAtTheCap) {
  service->setFile("pkg", "x");
  qm::service::Fault endless;
  endless.bodyFault = qm::service::BodyFault::Endless;
  service->setFault("/files/pkg", endless);
  const auto [code, detail] = failure(fileUrl("pkg"));
  EXPECT_EQ(code, "download_http_error");
  EXPECT_EQ(detail, "Download larger than 1048576 bytes");
  EXPECT_FALSE(fs::exists(dest));
  expectNoLeftovers();
}

TEST_F(Downloads, RedirectsStayOnAllowedHttpsHosts) {
  const auto other = makeHttpsService();
  ASSERT_TRUE(other->start());
  other->setFile("pkg", "from elsewhere");
  service->setFile("pkg", "real");
  service->setFile("moved", "moved package");

  // Same host: followed.
  qm::service::Fault sameHost;
  sameHost.redirectTo = fileUrl("moved");
  service->setFault("/files/pkg", sameHost);
  EXPECT_EQ(failure(fileUrl("pkg")).first, "none");
  EXPECT_EQ(readText(dest), "moved package");
  fs::remove(dest);

  // Another host name (localhost is not on the list): refused before any byte is fetched there.
  qm::service::Fault elsewhere;
  elsewhere.redirectTo = "https://localhost:" + std::to_string(other->port()) + "/files/pkg";
  service->setFault("/files/pkg", elsewhere);
  auto [code, detail] = failure(fileUrl("pkg"));
  EXPECT_EQ(code, "platform");
  EXPECT_NE(detail.find("refused"), std::string::npos) << detail;
  EXPECT_EQ(other->requestCount("/files/pkg"), 0u);
  EXPECT_FALSE(fs::exists(dest));

  // Plain http, even on an allowed host: refused.
  qm::service::Service plain;
  ASSERT_TRUE(plain.start());
  plain.setFile("pkg", "plain");
  elsewhere.redirectTo = plain.url() + "/files/pkg";
  service->setFault("/files/pkg", elsewhere);
  EXPECT_EQ(failure(fileUrl("pkg")).first, "platform");
  EXPECT_EQ(plain.requestCount("/files/pkg"), 0u);
  EXPECT_EQ(failure(plain.url() + "/files/pkg").first, "platform");
  EXPECT_FALSE(fs::exists(dest));
  expectNoLeftovers();
}

TEST_F(Downloads, UntrustedCertificateAndUnreachableServerAreSessionErrors) {
  service->setFile("pkg", "real");
  config.caFile.clear();  // the system's authorities do not know the test CA
  EXPECT_EQ(failure(fileUrl("pkg")).first, "platform");
  config.caFile = testPki().caFile;
  const std::string url = fileUrl("pkg");
  service->stop();
  EXPECT_EQ(failure(url).first, "platform");
  expectNoLeftovers();
}

TEST_F(Downloads, TelemetryPostsCarryTokenAndJsonAndReportStatus) {
  HttpTelemetryClient client(config);
  TelemetryEvent e;
  e.eventID = newLowercaseUuid();
  e.requestID = "r";
  e.eventName = "updater_launch_ok";
  e.status = "success";
  const std::string endpoint = service->url() + "/v1/updater/events";
  EXPECT_NO_THROW(client.send(e, endpoint, "tok-abc"));
  const auto req = service->lastRequest("/v1/updater/events");
  ASSERT_TRUE(req);
  EXPECT_EQ(req->method, "POST");
  EXPECT_EQ(req->header("Authorization"), "Bearer tok-abc");
  EXPECT_EQ(req->header("Content-Type"), "application/json");
  EXPECT_EQ(nlohmann::json::parse(req->body)["event_name"], "updater_launch_ok");

  struct Case {
    int status;
    const char* detail;  // nullptr: accepted
  } cases[] = {{204, nullptr}, {404, "telemetry_http_status_404"}, {500, "telemetry_http_status_500"}};
  for (const auto& c : cases) {
    qm::service::Fault f;
    f.status = c.status;
    service->setFault("/v1/updater/events", f);
    try {
      client.send(e, endpoint, "tok-abc");
      EXPECT_EQ(c.detail, nullptr);
    } catch (const UpdaterError& err) {
      ASSERT_NE(c.detail, nullptr) << err.detail;
      EXPECT_EQ(err.errorCode, UpdaterErrorCode::unexpectedException);
      EXPECT_EQ(err.detail, c.detail);
    }
  }

  // A redirect elsewhere would carry the token away: refused, nothing arrives there.
  qm::service::Service other;
  ASSERT_TRUE(other.start());
  qm::service::Fault away;
  away.redirectTo = "https://localhost:" + std::to_string(other.port()) + "/steal";
  service->setFault("/v1/updater/events", away);
  EXPECT_THROW(client.send(e, endpoint, "tok-abc"), PlatformError);
  EXPECT_EQ(other.requests().size(), 0u);
}

// A stop while the transfer stalls ends it at once, not at the next byte or the idle time-out.
TEST_F(Downloads, StopDuringAStalledTransferEndsTheRun) {
  service->setFile("art.zip", "never sent");
  qm::service::Fault stall;
  stall.delaySeconds = 600;
  service->setFault("/files/art.zip", stall);
  config.downloadIdleTimeoutSeconds = 3000;
  config.downloadTotalTimeoutSeconds = 6000;
  const StopSignalGuard guard;
  std::atomic<bool> ended{false}, serverStopped{false};
  std::thread stopper([&] {
    if (service->waitForRequests("/files/art.zip", 1, std::chrono::seconds(120))) ::kill(::getpid(), SIGTERM);
    for (int i = 0; i < 6000 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // 120 s
    if (!ended) {
      serverStopped = true;
      service->stop();
    }
  });
  EXPECT_EQ(failure(fileUrl("art.zip")).second, "interrupted by SIGTERM before anything was changed");
  ended = true;
  stopper.join();
  EXPECT_FALSE(serverStopped) << "the stalled transfer went on after the stop";
}
