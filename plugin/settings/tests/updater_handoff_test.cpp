#include "QMUpdaterHandoff.h"

#include "SettingsTestSupport.h"

#include "QMUpdateTexts.h"
#include "QMUpdaterProcessRegistry.h"
#include "QuillomancerLogger.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/sha256.h"
#include "qm/platform/uuid.h"
#include "qm/updater/errors.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/status_store.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kNow = 1796792400;  // 2026-12-09T05:00:00Z
const std::string kSha(64, 'a');

struct Owner : QMUpdaterHandoffOwner {
  std::vector<std::vector<std::string>> events;  // name, request id, error code
  std::vector<std::string> failures;             // "code|target"
  int downloadPages = 0;
  bool* destroyedOnMain = nullptr;
  ~Owner() override {
    if (destroyedOnMain) *destroyedOnMain = qm::platform::isMainThread();
  }
  void recordPluginEvent(const std::string& e, const std::string& id, const std::string& code) override {
    events.push_back({e, id, code});
  }
  void applyUpdateFailureForErrorCode(const std::string& code, const std::string& target) override {
    failures.push_back(code + "|" + target);
  }
  void openDownloadPage() override { ++downloadPages; }
};

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  ::lstat(p.c_str(), &st);
  return st.st_mode & 07777;
}

class UpdaterHandoff : public ::testing::Test {
 public:
  void SetUp() override {
    qm::platform::setCurrentThreadAsMain();
    logLines.clear();
    char tmpl[] = "/tmp/qm-handoff-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    fs::create_directory(root / "Updater");
    ::chmod((root / "Updater").c_str(), 0755);
    updater = (root / "Updater" / "QuillomancerUpdater").string();
    key = *qm::platform::generateCodeSigningKey();
    defaults = std::make_unique<qm::platform::UserDefaults>((root / "prefs.json").string());
    logger = std::make_unique<QuillomancerLogger>((root / "Logs").string());
    logger->setMessageObserver([this](const std::string& line) { logLines.push_back(line); });
    // The updater stand-in tells how it was started: its arguments and its session.
    installUpdater("#!/bin/sh\nprintf '%s\\n%s\\n' \"$1\" \"$2\" > '" + (root / "args.tmp").string() +
                   "'\nps -o sid= -p $$ | tr -d ' ' >> '" + (root / "args.tmp").string() + "'\nmv '" +
                   (root / "args.tmp").string() + "' '" + (root / "args").string() + "'\nexit 3\n");
    inputs.metadata = {"2.0.3", "beta", "https://releases.quillomancer-storage.net/Quillomancer-2.0.3.pkg", kSha,
                       "https://www.quillomancer.com/notes/2.0.3",
                       "https://releases.quillomancer-storage.net/Quillomancer-2.0.3.zip", kSha, "7",
                       "2026-12-01T00:00:00Z", "manifest-signature"};
    inputs.userEmail = "e@x.io";
    inputs.windowAccessToken = "window-token";
    owner = std::make_shared<Owner>();
  }
  void TearDown() override { fs::remove_all(root); }

  void installUpdater(const std::string& bytes) {
    ASSERT_EQ(qm::platform::writeFileAtomic(updater, bytes, 0755), 0);
    ASSERT_EQ(qm::platform::signCode(updater, key.privateKeyHex, "QuillomancerUpdater", "QM4T7R2N9X"), "");
  }

  QMUpdaterHandoff handoff(std::string base = "https://api.quillomancer.com") {
    QMUpdaterHandoffConfig c;
    c.updaterPath = updater;
    c.signature.expectedPath = updater;
    c.signature.extraTrustedKeys = {key.publicKeyHex};
    c.requestsDirectory = requests().string();
    c.serviceBaseURL = base;
    c.defaults = defaults.get();
    c.logger = logger.get();
    c.clock = clock;
    return QMUpdaterHandoff(c);
  }
  // Launches and, when the updater started, waits for it to end (so it never outlives the test).
  void launch(const std::string& action, const std::string& base = "https://api.quillomancer.com") {
    handoff(base).launchUpdaterWithAction(action, inputs, owner);
    ASSERT_TRUE(qm::platform::dispatchWaitForIdle());
    const auto& last = owner->events.back();
    if (last[0].size() > 10 && last[0].compare(last[0].size() - 10, 10, "_launch_ok") == 0) waitForExit(last[1]);
  }
  QMUpdaterProcessRegistry::Status waitForExit(const std::string& requestId) {
    auto status = QMUpdaterProcessRegistry::shared().status(requestId);
    for (int i = 0; i < 3000 && status.state == QMUpdaterProcessRegistry::State::running; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      status = QMUpdaterProcessRegistry::shared().status(requestId);
    }
    return status;
  }

  fs::path requests() const { return root / "Updates" / "requests"; }
  std::vector<fs::path> requestFiles() const {
    std::vector<fs::path> files;
    if (fs::is_directory(requests()))
      for (const auto& e : fs::directory_iterator(requests())) files.push_back(e.path());
    return files;
  }
  std::string onlyRequest() const {
    const auto files = requestFiles();
    EXPECT_EQ(files.size(), 1u);
    std::string text;
    if (!files.empty()) qm::platform::readFile(files[0].string(), text);
    return text;
  }
  std::string lastRequestId() const { return owner->events.back()[1]; }
  fs::path root;
  std::string updater;
  qm::platform::CodeSigningKey key;
  std::unique_ptr<qm::platform::UserDefaults> defaults;
  std::unique_ptr<QuillomancerLogger> logger;
  std::vector<std::string> logLines;
  QMUpdateRequestInputs inputs;
  std::shared_ptr<Owner> owner;
  std::function<std::time_t()> clock = [] { return kNow; };  // empty: the wall clock
};

}  // namespace

TEST_F(UpdaterHandoff, EachActionWritesADocumentTheUpdaterAccepts) {
  const auto now = std::chrono::system_clock::from_time_t(kNow);
  const qm::updater::LaunchPayloadValidator validator(qm::updater::UpdaterConfig::production());
  for (const std::string action : {"", "install", "prefetch", "anything", "swap"}) {
    SCOPED_TRACE("action '" + action + "'");
    fs::remove_all(requests());
    owner->events.clear();
    launch(action);
    const auto payload = qm::updater::decodeLaunchPayload(onlyRequest());
    ASSERT_TRUE(payload);
    EXPECT_NO_THROW(validator.validate(*payload, now));
    const std::string resolved = action == "swap" ? "swap" : (action == "" || action == "install" ? "install" : "prefetch");
    EXPECT_EQ(payload->action, resolved);
    EXPECT_EQ(payload->requestID, lastRequestId());
    EXPECT_EQ(payload->telemetryEndpointURL, "https://api.quillomancer.com/api/plugin/event");
    EXPECT_EQ(payload->telemetryBearerToken, "window-token");
    EXPECT_EQ(payload->operationID.has_value(), action == "swap");
    const char* started = resolved == "swap" ? "swap_triggered"
                          : resolved == "install" ? "install_button_clicked" : "prefetch_triggered";
    const char* ok = resolved == "swap" ? "swap_launch_ok" : resolved == "install" ? "updater_launch_ok" : "prefetch_launch_ok";
    EXPECT_EQ(owner->events, (std::vector<std::vector<std::string>>{{started, "", ""}, {ok, payload->requestID, ""}}));
    EXPECT_EQ(defaults->stringForKey(kQMPendingRequestIdKey), payload->requestID);
    EXPECT_EQ(defaults->stringForKey(kQMPendingTargetVersionKey), "2.0.3");
  }
  EXPECT_TRUE(owner->failures.empty());
  EXPECT_EQ(owner->downloadPages, 0);
}

// The hand-off launches exactly the requests the updater's own validation accepts: each value
// left empty, blank or of the wrong form is refused by both alike, in the updater's words.
TEST_F(UpdaterHandoff, ARequestIsLaunchedExactlyWhenTheUpdaterWouldAcceptIt) {
  using M = QMUpdateMetadata;
  const struct { std::string M::*field; std::string value; const char* refusal; bool swapOnly; } rows[] = {
      {&M::pkgURL, "http://releases.quillomancer-storage.net/a.pkg", "update_pkg_url must be https", false},
      {&M::pkgURL, "https://downloads.example.org/a.pkg", "update_pkg_url host not allowed", false},
      {&M::pkgURL, "", "Missing field: update_pkg_url", false},
      {&M::pkgSHA256, std::string(64, 'A'), "update_pkg_sha256 must be 64-char lowercase hex", false},
      {&M::artifactURL, "https://cdn.example.net/a.zip", "artifact_url host not allowed", true},
  };
  fs::remove(updater);  // the document is written before the updater is looked for
  const QMUpdateRequestInputs complete = inputs;
  for (const auto& row : rows) {
    for (const QMUpdaterAction action : {QMUpdaterAction::install, QMUpdaterAction::swap}) {
      SCOPED_TRACE(std::string(QMUpdaterActionText(action)) + ", row " + std::to_string(&row - rows));
      const std::string refusal = action == QMUpdaterAction::swap || !row.swapOnly ? row.refusal : "";
      inputs = complete;
      inputs.metadata.*row.field = row.value;
      EXPECT_EQ(handoff().requestRefusal(QMUpdaterActionText(action), inputs), refusal);
      fs::remove_all(requests());
      launch(QMUpdaterActionText(action));
      EXPECT_EQ(requestFiles().empty(), !refusal.empty()) << "written exactly when the updater would take it";
      if (!refusal.empty()) {
        EXPECT_EQ(owner->events.back(), (std::vector<std::string>{"updater_launch_failed", "", "missing_update_metadata"}));
        const bool missing = action == QMUpdaterAction::swap ? !inputs.metadata.hasValidSwapMetadata()
                                                             : !inputs.metadata.hasPackageMetadata();
        EXPECT_EQ(logLines.back(), missing ? std::string("Update launch skipped — missing pkg metadata")
                                           : "Update launch skipped — the updater would refuse the request: " + refusal);
      }
    }
  }
  EXPECT_EQ(handoff("https://staging.example.org").requestRefusal("install", complete),
            "telemetry_endpoint_url host not allowed");
}

TEST_F(UpdaterHandoff, DefaultsAndTelemetryAddress) {
  inputs.userEmail.clear();
  inputs.metadata.effectiveChannel.clear();
  inputs.windowAccessToken.clear();
  inputs.storedAccessToken = "stored-token";
  inputs.mediaComposerHost = true;
  launch("install", "http://127.0.0.1:8080");
  const auto doc = nlohmann::json::parse(onlyRequest());
  EXPECT_EQ(doc["username"], "unknown");
  EXPECT_EQ(doc["effective_channel"], "stable");
  EXPECT_EQ(doc["host"], "media_composer");
  EXPECT_EQ(doc["telemetry_bearer_token"], "stored-token");
  EXPECT_EQ(doc["telemetry_endpoint_url"], "") << "the updater refuses a telemetry address that is not https";
  EXPECT_EQ(doc.size(), 14u);
  const auto payload = qm::updater::decodeLaunchPayload(doc.dump());
  ASSERT_TRUE(payload);
  EXPECT_NO_THROW(qm::updater::LaunchPayloadValidator(qm::updater::UpdaterConfig::production())
                      .validate(*payload, std::chrono::system_clock::from_time_t(kNow)));

  EXPECT_EQ(QMTelemetryEndpointForServiceBase("HTTPS://api.quillomancer.com//"),
            "HTTPS://api.quillomancer.com/api/plugin/event");
  for (const char* base : {"", "https://", "https:///path", "ftp://api.quillomancer.com", "https://a b"})
    EXPECT_EQ(QMTelemetryEndpointForServiceBase(base), "") << base;
}

TEST_F(UpdaterHandoff, TheFileIsPrivateFromTheStartAndTheFolderTightened) {
  const mode_t umaskBefore = ::umask(022);
  launch("prefetch");
  ::umask(umaskBefore);
  EXPECT_EQ(modeOf(requests()), 0700u) << "a new folder is private from the start";
  EXPECT_EQ(modeOf(requests().parent_path()), 0700u) << "and so is the folder made above it";
  fs::remove_all(requests());
  fs::create_directories(requests());
  ::chmod(requests().c_str(), 0755);
  launch("install");
  EXPECT_EQ(modeOf(requests()), 0700u);
  const auto files = requestFiles();
  ASSERT_EQ(files.size(), 1u) << "no temporary file is left";
  EXPECT_EQ(files[0].filename(), lastRequestId() + ".json");
  EXPECT_EQ(modeOf(files[0]), 0600u);

  // A folder reached through a link is written into but not changed.
  fs::remove_all(root / "Updates");
  fs::create_directories(root / "elsewhere");
  ::chmod((root / "elsewhere").c_str(), 0755);
  fs::create_directories(root / "Updates");
  fs::create_directory_symlink(root / "elsewhere", requests());
  launch("install");
  EXPECT_EQ(modeOf(root / "elsewhere"), 0755u);
  EXPECT_EQ(modeOf(requestFiles()[0]), 0600u);
}

TEST_F(UpdaterHandoff, TheUpdaterRunsInItsOwnSessionWithThePayloadAndIsReaped) {
  launch("prefetch");
  const std::string id = lastRequestId();
  const auto status = QMUpdaterProcessRegistry::shared().status(id);
  ASSERT_EQ(status.state, QMUpdaterProcessRegistry::State::exited);
  EXPECT_EQ(status.exitCode, 3);
  std::string report;
  qm::platform::readFile((root / "args").string(), report);
  EXPECT_EQ(report, "--payload\n" + (requests() / (id + ".json")).string() + "\n" + std::to_string(status.pid) + "\n");
}

TEST_F(UpdaterHandoff, ASwapOfTheSameVersionKeepsItsOperation) {
  launch("swap");
  const std::string first = nlohmann::json::parse(onlyRequest())["operation_id"];
  EXPECT_EQ(defaults->stringForKey(kQMPendingOperationIdKey), first);
  fs::remove_all(requests());
  launch("swap");
  EXPECT_EQ(nlohmann::json::parse(onlyRequest())["operation_id"], first);

  for (const char* change : {"other version", "stored id malformed"}) {
    SCOPED_TRACE(change);
    fs::remove_all(requests());
    if (std::string(change) == "other version") inputs.metadata.targetVersion = "2.0.4";
    else defaults->set(kQMPendingOperationIdKey, "../../x");
    launch("swap");
    const std::string id = nlohmann::json::parse(onlyRequest())["operation_id"];
    EXPECT_NE(id, first);
    EXPECT_TRUE(qm::platform::isUuidText(id));
  }
}

TEST_F(UpdaterHandoff, EachFailureIsLoggedRecordedAndShownByAction) {
  struct Case {
    const char* name;
    std::function<void(UpdaterHandoff&)> change;
    const char* code;
    std::string logLine;  // "" for a line given below
    bool fileWritten;
  };
  const std::vector<Case> cases = {
      {"incomplete metadata", [](UpdaterHandoff& t) { t.inputs.metadata.artifactSHA256.clear(); t.inputs.metadata.pkgURL.clear(); },
       "missing_update_metadata", "", false},
      {"requests folder is a file", [](UpdaterHandoff& t) {
         fs::create_directories(t.root / "Updates");
         std::ofstream(t.requests()) << "x"; }, "payload_write_failed", "Update launch failed — payload write error", false},
      {"updater missing", [](UpdaterHandoff& t) { fs::remove(t.updater); }, "updater_missing",
       "Update launch failed — updater missing at ", true},
      {"updater unsigned", [](UpdaterHandoff& t) { fs::remove(t.updater + ".sig"); }, "updater_verification_failed",
       "Update launch failed — updater verification error: signature_invalid_-10", true},
      {"updater cannot start", [](UpdaterHandoff& t) { t.installUpdater(std::string("\x7f" "ELF garbage", 12)); },
       "updater_launch_error", "Update launch failed — NSTask exception: Exec format error", true},
  };
  for (const auto& c : cases) {
    for (const std::string action : {"install", "swap", "prefetch"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + action);
      TearDown();
      SetUp();
      c.change(*this);
      launch(action);
      ASSERT_EQ(owner->events.size(), 2u);
      const auto& failed = owner->events[1];
      EXPECT_EQ(failed[0], "updater_launch_failed");
      EXPECT_EQ(failed[2], c.code);
      EXPECT_EQ(requestFiles().size(), c.fileWritten ? 1u : 0u) << "a written request stays";
      EXPECT_EQ(failed[1].empty(), std::string(c.code) == "missing_update_metadata");
      std::string line = c.logLine;
      if (line.empty()) line = std::string("Update launch skipped — missing ") + (action == "swap" ? "swap" : "pkg") + " metadata";
      if (std::string(c.code) == "updater_missing") line += updater;
      EXPECT_EQ(logLines, std::vector<std::string>{line});
      EXPECT_EQ(owner->failures, action == "swap" ? std::vector<std::string>{std::string(c.code) + "|2.0.3"}
                                                  : std::vector<std::string>{});
      EXPECT_EQ(owner->downloadPages, action == "install" ? 1 : 0);
      EXPECT_FALSE(defaults->has(kQMPendingRequestIdKey));
    }
  }
}

// The real updater, signed with the test key, takes the request file the hand-off writes: an
// install of a package already in its cache, opened by a stand-in opener on PATH.
TEST_F(UpdaterHandoff, TheRealUpdaterAcceptsTheRequestTheHandOffLaunches) {
  qmsettingstest::UseTemporaryHome();
  clock = nullptr;  // the updater measures the request's age on the wall clock
  std::string program;
  ASSERT_TRUE(qm::platform::readFile(std::string(QM_BINARY_DIR) + "/bin/QuillomancerUpdater", program));
  installUpdater(program);
  // The copy finds the platform library where the build keeps it, beside its own folder.
  fs::create_directory_symlink(std::string(QM_BINARY_DIR) + "/lib", root / "lib");
  const fs::path updates = fs::path(qm::platform::homeDirectory()) / "Library/Application Support/Quillomancer/Updates";
  fs::create_directories(updates);
  ASSERT_EQ(qm::platform::writeFileAtomic((updates / "Quillomancer-2.0.3.pkg").string(), "package"), 0);
  inputs.metadata.pkgSHA256 = qm::platform::sha256Hex("package");
  fs::create_directories(root / "bin");
  ASSERT_EQ(qm::platform::writeFileAtomic((root / "bin" / "xdg-open").string(), "#!/bin/sh\nexit 0\n", 0755), 0);
  const std::string path = std::getenv("PATH");
  setenv("PATH", ((root / "bin").string() + ":" + path).c_str(), 1);
  launch("install", "");
  setenv("PATH", path.c_str(), 1);
  const std::string id = lastRequestId();
  EXPECT_EQ(owner->events.back()[0], "updater_launch_ok");
  EXPECT_EQ(QMUpdaterProcessRegistry::shared().status(id).exitCode, 0);
  EXPECT_TRUE(fs::exists(updates / "status" / (id + ".json"))) << "a refused request leaves none";
  QMUpdaterProcessRegistry::shared().forget(id);
}

TEST_F(UpdaterHandoff, TheBlocksKeepTheOwnerAliveAndLetItGoOnTheMainThread) {
  bool destroyedOnMain = false;
  auto own = std::make_shared<Owner>();
  own->destroyedOnMain = &destroyedOnMain;
  const std::weak_ptr<Owner> watch = own;
  handoff().launchUpdaterWithAction("install", inputs, std::move(own));
  EXPECT_FALSE(watch.expired()) << "the start's block holds the controller";
  ASSERT_TRUE(qm::platform::dispatchWaitForIdle());
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(destroyedOnMain);
  ASSERT_EQ(requestFiles().size(), 1u);
  waitForExit(requestFiles()[0].stem().string());
}
