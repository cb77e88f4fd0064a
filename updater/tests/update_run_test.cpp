// Whole update runs, from validation to their final stage, against the web-service stand-in over
// loopback HTTPS: the package and artifact come from it, and it receives the telemetry events.
#include "qm/platform/process.h"
#include "qm/platform/sha256.h"
#include "qm/service/service.h"
#include "qm/updater/errors.h"
#include "qm/updater/status_store.h"
#include "qm/updater/swap_lock.h"
#include "qm/updater/update_run.h"
#include "qm/updater/updater_main.h"
#include "swap_test_support.h"
#include "https_test_support.h"

#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>

using namespace qm::updater;
using namespace qm::updater::testing;

namespace {

const std::string kTelemetryPath = "/api/updater/telemetry";

class UpdateRun : public ::testing::Test {
 protected:
  std::unique_ptr<qm::service::Service> service;
  ScratchDir home{true};
  ScratchDir work{true};
  UpdaterConfig config;
  std::ostringstream err;
  std::unique_ptr<UpdaterContext> context;
  std::string package = "the installer package";
  SwapSettings swapSettings;

  void SetUp() override {
    if (!testPki().ok) GTEST_SKIP() << "openssl could not make a test certificate";
    service = makeHttpsService();
    ASSERT_TRUE(service->start());
    service->setFile("Quillomancer-2.0.2.pkg", package);
    trustTestService(config);
    config.installerOpenerProgram = "/bin/true";
    context = std::make_unique<UpdaterContext>(AppPaths::forHome(home.path), config, err);
    swapSettings.target = work.path + "/Plug-Ins/Quillomancer.aaxplugin";
    swapSettings.pgrepProgram = kNoHostPgrep;
  }
  void TearDown() override {
    if (service) service->stop();
  }

  LaunchPayload request(const std::string& action) {
    LaunchPayload p = sampleRequest("6c1d2e3f-4a5b-4c6d-8e7f-8091a2b3c4d5", nowInternetDateTime());
    p.updatePkgURL = service->url() + "/files/Quillomancer-2.0.2.pkg";
    p.updatePkgSHA256 = qm::platform::sha256Hex(package);
    p.releaseNotesURL = "https://127.0.0.1/notes";
    p.action = action;
    p.telemetryEndpointURL = service->url() + kTelemetryPath;
    p.telemetryBearerToken = "bearer-for-tests";
    return p;
  }

  // Validation, then the run; the exit code, or the failure's code text.
  std::string run(const LaunchPayload& p) {
    try {
      LaunchPayloadValidator(config).validate(p);
      return std::to_string(runUpdate(*context, p, swapSettings));
    } catch (const UpdaterError& e) {
      return std::string(e.codeText());
    }
  }

  std::vector<std::string> events() const {
    std::vector<std::string> out;
    for (const auto& r : service->requests(kTelemetryPath)) {
      const auto e = decodeTelemetryEvent(r.body);
      out.push_back(e ? e->eventName + "/" + e->status.value_or("") + (e->errorCode ? "/" + *e->errorCode : "")
                      : "<undecodable>");
    }
    return out;
  }
  std::vector<std::string> runLog() const {
    std::vector<std::string> out;
    for (const auto& m : logMessages(context->paths.logFile))
      if (m.rfind("telemetry_", 0) != 0) out.push_back(m);
    return out;
  }
  std::optional<UpdateStatus> status(const std::string& id) const { return context->statusStore.read(id); }
  std::string packagePath() const { return context->paths.cacheDirectory + "/Quillomancer-2.0.2.pkg"; }
};

TEST_F(UpdateRun, InstallDownloadsChecksAndOpens) {
  const LaunchPayload p = request("install");
  EXPECT_EQ(run(p), "0");
  EXPECT_EQ(readText(packagePath()), package);
  const auto s = status(p.requestID);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->stage, "installer_opened");
  EXPECT_EQ(s->status, "success");
  const std::vector<std::string> log = {
      "stage=launch_validated", "parsed_action=install", "cache_cleanup=ok", "branch=download_then_install",
      "stage=download_started url=" + p.updatePkgURL, "stage=download_ok pkg=" + packagePath(), "stage=hash_ok",
      "stage=installer_opened"};
  EXPECT_EQ(runLog(), log);
  const std::vector<std::string> expectedEvents = {"updater_launch_ok/success", "pkg_download_start/in_progress",
                                                   "pkg_download_ok/success", "pkg_hash_ok/success",
                                                   "installer_open_ok/success"};
  EXPECT_EQ(events(), expectedEvents);

  // The same request again is refused before anything is written.
  const std::string before = readText(context->statusStore.statusFilePath(p.requestID));
  EXPECT_EQ(run(p), "invalid_request_id");
  EXPECT_EQ(readText(context->statusStore.statusFilePath(p.requestID)), before);
  EXPECT_EQ(events().size(), expectedEvents.size());
}

TEST_F(UpdateRun, InstallUsesAVerifiedCachedPackageWithoutDownloading) {
  writeText(packagePath(), package);
  const LaunchPayload p = request("install");
  EXPECT_EQ(run(p), "0");
  EXPECT_EQ(service->requestCount("/files/Quillomancer-2.0.2.pkg"), 0u);
  const std::vector<std::string> log = {"stage=launch_validated", "parsed_action=install", "cache_cleanup=ok",
                                        "branch=install_cached", "cached_pkg=verified path=" + packagePath(),
                                        "stage=installer_opened"};
  EXPECT_EQ(runLog(), log);
  const std::vector<std::string> expectedEvents = {"updater_launch_ok/success", "installer_open_ok/success"};
  EXPECT_EQ(events(), expectedEvents);
}

TEST_F(UpdateRun, PrefetchDownloadsAgainAndOpensNothing) {
  writeText(packagePath(), package);
  auto opener = std::make_unique<NoOpener>();
  NoOpener* seen = opener.get();
  context->installerOpener = std::move(opener);
  const LaunchPayload p = request("prefetch");
  EXPECT_EQ(run(p), "0");
  EXPECT_EQ(service->requestCount("/files/Quillomancer-2.0.2.pkg"), 1u);
  EXPECT_TRUE(seen->opened.empty());
  EXPECT_EQ(status(p.requestID)->stage, "ready_to_install");
  const std::vector<std::string> expectedEvents = {"updater_launch_ok/success", "pkg_download_start/in_progress",
                                                   "pkg_download_ok/success", "pkg_hash_ok/success",
                                                   "prefetch_ready/success"};
  EXPECT_EQ(events(), expectedEvents);
  EXPECT_EQ(runLog()[runLog().size() - 2], "branch=prefetch_no_installer_open");
}

TEST_F(UpdateRun, HashMismatchEndsFailedEverywhere) {
  LaunchPayload p = request("install");
  p.updatePkgSHA256 = std::string(64, 'a');
  EXPECT_EQ(run(p), "hash_mismatch");
  const auto s = status(p.requestID);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->stage, "failed");
  EXPECT_EQ(s->status, "failed");
  EXPECT_EQ(s->errorCode.value_or(""), "hash_mismatch");
  EXPECT_EQ(s->errorDetail.value_or(""), "SHA256 mismatch");
  EXPECT_EQ(runLog().back(), "stage=failed code=hash_mismatch detail=SHA256 mismatch");
  EXPECT_EQ(events().back(), "updater_failed/failed/hash_mismatch");
  EXPECT_EQ(readText(packagePath()), package) << "the downloaded package stays";
  EXPECT_EQ(run(p), "invalid_request_id") << "a failed install is not run again";
}

// "Downloads" through the real downloader after asking the process to stop, as a log-out does
// while the artifact comes in.
class StopDuringDownload : public Downloader {
 public:
  explicit StopDuringDownload(const UpdaterConfig& config) : real_(config) {}
  DownloadResult download(const std::string& url, const std::string& destination) override {
    ::kill(::getpid(), SIGTERM);
    return real_.download(url, destination);
  }

 private:
  HttpDownloader real_;
};

TEST_F(UpdateRun, SwapRunsToCommitAndIsRetriedOnlyAfterARetryableFailure) {
  makeBundle(swapSettings.target, "old");
  makeBundle(work.path + "/src/Quillomancer.aaxplugin", "new");
  const std::string newPrint = fingerprint(work.path + "/src/Quillomancer.aaxplugin");
  qm::platform::ProcessOptions o;
  o.workingDirectory = work.path + "/src";
  o.timeoutSeconds = 60;
  ASSERT_EQ(qm::platform::runProcess("/usr/bin/zip", {"-qry", work.path + "/a.zip", "Quillomancer.aaxplugin"}, o)
                .exitCode,
            0);
  const std::string zipBytes = readText(work.path + "/a.zip");
  service->setFile("Quillomancer-2.0.2.zip", zipBytes);

  LaunchPayload p = request("swap");
  p.operationID = "7d2e3f4a-5b6c-4d7e-9f8a-9b0c1d2e3f4a";
  p.artifactURL = service->url() + "/files/Quillomancer-2.0.2.zip";
  p.artifactSHA256 = qm::platform::sha256Hex(zipBytes);
  p.manifestVersion = "1";
  p.manifestSignature = "signature";
  p.releasedAt = "2026-01-01T00:00:00Z";

  // First attempt: another swap holds the lock.
  fs::create_directories(context->paths.swapLocksDirectory);
  {
    SwapLock other = SwapLock::acquire(context->paths.swapLocksDirectory + "/swap.lock", "other");
    EXPECT_EQ(run(p), "swap_in_progress");
  }
  EXPECT_EQ(status(p.requestID)->errorCode.value_or(""), "swap_in_progress");
  service->clearRequests();

  // A stop while the artifact downloads changes nothing, and its failure is retried too.
  const int stopped = inChild([&] {
    context->downloader = std::make_unique<StopDuringDownload>(config);
    return run(p) == "unexpected_exception";
  });
  ASSERT_TRUE(WIFEXITED(stopped) && WEXITSTATUS(stopped) == 0) << "the signal ended the process";
  EXPECT_EQ(status(p.requestID)->errorDetail, "interrupted by SIGTERM before anything was changed");
  EXPECT_FALSE(fs::exists(context->paths.swapOperationsDirectory)) << "nothing was staged";
  service->clearRequests();

  // The retry runs from the start and commits.
  EXPECT_EQ(run(p), "0");
  EXPECT_EQ(fingerprint(swapSettings.target), newPrint);
  EXPECT_EQ(status(p.requestID)->stage, "swap_commit_complete");
  const std::vector<std::string> expectedEvents = {
      "updater_launch_ok/success",        "swap_op_created/in_progress",
      "swap_artifact_download_start/in_progress", "swap_artifact_downloaded/success",
      "swap_artifact_verified/success",   "swap_host_closed/success",
      "swap_backup_captured/success",     "swap_applied/success",
      "swap_postcheck_ok/success",        "swap_commit_complete/success"};
  EXPECT_EQ(events(), expectedEvents);
  EXPECT_EQ(run(p), "invalid_request_id") << "a committed swap is not run again";
}

TEST_F(UpdateRun, FailureDocumentThatCannotBeWrittenStillLogsAndReports) {
  if (runningAsRoot()) GTEST_SKIP() << "root writes into read-only folders";
  LaunchPayload p = request("install");
  p.updatePkgSHA256 = std::string(64, 'b');
  fs::create_directories(context->paths.statusDirectory);
  fs::permissions(context->paths.statusDirectory, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(run(p), "status_write_failed");
  fs::permissions(context->paths.statusDirectory, fs::perms::owner_all);
  EXPECT_EQ(runLog().back().rfind("stage=failed code=status_write_failed", 0), 0u);
  EXPECT_EQ(events().back(), "updater_failed/failed/status_write_failed");
}

// "Downloads" a local file, slowly enough for other runs to arrive meanwhile, and counts its
// downloads in a file (the runs are processes of their own).
class SlowCountingDownloader : public Downloader {
 public:
  SlowCountingDownloader(std::string source, std::string counter)
      : source_(std::move(source)), counter_(std::move(counter)) {}
  DownloadResult download(const std::string&, const std::string& destination) override {
    { std::ofstream(counter_, std::ios::app) << "download\n"; }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fs::copy_file(source_, destination, fs::copy_options::overwrite_existing);
    return {};
  }

 private:
  std::string source_, counter_;
};

size_t countLines(const std::string& text, const std::string& line) {
  size_t n = 0;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) n += l == line;
  return n;
}

// Three updaters started at once for one request: one runs it, the other two wait for it and
// then meet the duplicate check.
TEST(OneRunPerRequest, SimultaneousRunsOfOneIdStartOneDownload) {
  ScratchDir home(true), work(true);
  const std::string package = work.path + "/package";
  writeText(package, "the installer package");
  LaunchPayload p = sampleRequest("3e4f5a6b-7c8d-4e9f-a0b1-c2d3e4f5a6b7", nowInternetDateTime());
  p.updatePkgSHA256 = qm::platform::sha256Hex("the installer package");
  const std::vector<std::string> arguments = {"QuillomancerUpdater", "--payload-json", encodeLaunchPayload(p)};
  const std::string counter = work.path + "/downloads";

  std::vector<pid_t> runs;
  for (int i = 0; i < 3; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::ostringstream err;
      UpdaterContext context(AppPaths::forHome(home.path), UpdaterConfig::production(), err);
      context.downloader = std::make_unique<SlowCountingDownloader>(package, counter);
      context.installerOpener = std::make_unique<NoOpener>();
      const int code = runUpdater(arguments, context, SwapSettings{});
      std::ofstream(work.path + "/run" + std::to_string(i)) << code << " " << err.str();
      ::_exit(0);
    }
    runs.push_back(pid);
  }
  for (const pid_t pid : runs) ::waitpid(pid, nullptr, 0);

  std::multiset<std::string> outcomes;
  for (int i = 0; i < 3; ++i) outcomes.insert(readText(work.path + "/run" + std::to_string(i)));
  const std::multiset<std::string> expected = {"0 ", "1 Updater failed: invalid_request_id\n",
                                               "1 Updater failed: invalid_request_id\n"};
  EXPECT_EQ(outcomes, expected);
  EXPECT_EQ(readText(counter), "download\n");
  const auto paths = AppPaths::forHome(home.path);
  std::string log;
  for (const auto& m : logMessages(paths.logFile)) log += m + "\n";
  EXPECT_EQ(countLines(log, "stage=launch_validated"), 1u);
  EXPECT_EQ(countLines(log, "stage=installer_opened"), 1u);
  // No lock file is left beside the status document.
  EXPECT_EQ(std::distance(fs::directory_iterator(paths.statusDirectory), fs::directory_iterator()), 1);
}

}  // namespace
