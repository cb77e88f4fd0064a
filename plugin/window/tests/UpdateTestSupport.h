#pragma once
// The update road in the opened window: the web-service stand-in answers the account-status
// exchange, status files lie where the real updater writes them (below the temporary HOME), a
// test may put a copy of the real updater in place signed with its own key, and the web pages
// the card opens are recorded, never opened.

#include "WindowTestSupport.h"

#include "QMAccountToken.h"
#include "QMPluginEventsQueue.h"
#include "QMSettingsHelper.h"
#include "QuillomancerLogger.h"
#include "QuillomancerServer.h"

#include "qm/platform/code_signature.h"
#include "qm/platform/file_lock.h"
#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/uuid.h"
#include "qm/service/service.h"
#include "qm/ui/application.h"
#include "qm/ui/render.h"

#include <filesystem>

namespace qmupdatetest {

namespace fs = std::filesystem;
namespace svc = qm::service;
using Lines = std::vector<std::string>;
using qmwindowtest::OpenedWindow;

inline constexpr const char* kPkgURL = "https://releases.quillomancer-storage.net/Quillomancer-2.0.3.pkg";
inline const std::string kOffer203 = "Installed v2.0.2\nAvailable v2.0.3\nPreparing automatic update...";
// The same offer when nothing will prepare it (no updater installed, or a request it would refuse).
inline const std::string kManualOffer203 = "Installed v2.0.2\nAvailable v2.0.3";

// An answer that keeps the plug-in's events queued (the test reads them there).
inline svc::AccountSettings Plain() {
  svc::AccountSettings account;
  account.ackPolicy = svc::AckPolicy::None;
  return account;
}

// An answer offering `version` with everything an install needs.
inline svc::AccountSettings Offering(const std::string& version, const std::string& sha = std::string(64, 'a')) {
  svc::AccountSettings account = Plain();
  account.offer = svc::offerForVersion(version);
  account.offer->pkgURL = kPkgURL;
  account.offer->pkgSHA256 = sha;
  account.offer->releaseNotesURL = "https://www.quillomancer.com/notes";
  return account;
}

// The same offer with everything a swap needs as well.
inline svc::AccountSettings SwapOffering(const std::string& version) {
  svc::AccountSettings account = Offering(version);
  svc::AccountOffer& offer = *account.offer;
  offer.artifactURL = "https://releases.quillomancer-storage.net/Quillomancer-" + version + ".zip";
  offer.artifactSHA256 = std::string(64, 'b');
  offer.manifestVersion = "7", offer.manifestSignature = "manifest-signature", offer.releasedAt = "2026-12-01T00:00:00Z";
  return account;
}

struct UpdateRoad : ::testing::Test {
  UpdateRoad() {
    qm::platform::setCurrentThreadAsMain();
    QMForgetFinishedUpdates();  // each test is a run of its own
    fs::remove_all(Updates().parent_path());
    for (const char* key : {kQMPendingRequestIdKey, kQMPendingTargetVersionKey, kQMPendingOperationIdKey,
                            kQMReadyTargetVersionKey, kQMLastPrefetchTargetKey, kQMFailureCountKey, kQMFailureCodeKey,
                            kQMFailureTargetVersionKey, kQMLastInstalledVersionKey, kQMPluginEventsQueueDefaultsKey})
      d.remove(key);
    EXPECT_TRUE(service.start());
    QuillomancerServerSetBaseURLOverride(service.url());
    QMWriteAccountToken("update-test-token");
    qm::ui::Application::shared().setURLOpener([this](const std::string& url) {
      opened.push_back(url);
      return true;
    });
  }
  ~UpdateRoad() override {
    qm::platform::dispatchWaitForIdle(20);
    qm::ui::Application::shared().setURLOpener({});
    QuillomancerServerSetBaseURLOverride(std::nullopt);
    QMClearAccountToken();
  }

  static fs::path Updates() {
    return fs::path(qm::platform::homeDirectory()) / "Library/Application Support/Quillomancer/Updates";
  }
  static fs::path UpdaterPath() { return Updates().parent_path() / "Updater" / "QuillomancerUpdater"; }
  // A copy of the real updater at UpdaterPath signed with the test key (it finds the platform
  // library through a link beside its folder).
  void InstallRealUpdater() const {
    std::string program;
    ASSERT_TRUE(qm::platform::readFile(std::string(QM_BINARY_DIR) + "/bin/QuillomancerUpdater", program));
    InstallStandInUpdater(program);
    fs::create_directory_symlink(std::string(QM_BINARY_DIR) + "/lib", Updates().parent_path() / "lib");
  }

  // A stand-in for the updater at UpdaterPath, signed with the test key, running `script`.
  void InstallStandInUpdater(const std::string& script = "#!/bin/sh\nexit 0\n") const {
    fs::create_directories(UpdaterPath().parent_path());
    ASSERT_EQ(qm::platform::writeFileAtomic(UpdaterPath().string(), script, 0755), 0);
    ASSERT_EQ(qm::platform::signCode(UpdaterPath().string(), key.privateKeyHex, "QuillomancerUpdater", "QM4T7R2N9X"), "");
  }

  // The window opened with the stand-in answering `account`, the answer handled. The controller
  // checks and starts UpdaterPath with the test key, and telemetry goes nowhere.
  std::unique_ptr<OpenedWindow> Open(const svc::AccountSettings& account) {
    service.setAccount(account);
    auto w = std::make_unique<OpenedWindow>();
    QMUpdaterHandoffConfig& c = w->controller->updaterHandoffConfig;
    c.updaterPath = c.signature.expectedPath = UpdaterPath().string();
    c.signature.extraTrustedKeys = {key.publicKeyHex};
    c.signature.trustBuiltInKeys = false;
    c.serviceBaseURL = std::string();
    EXPECT_TRUE(Settle());
    return w;
  }
  // A later exchange of the same window.
  void Answer(OpenedWindow& w, const svc::AccountSettings& account) {
    service.setAccount(account);
    w.controller->startAccountStatusExchange();
    EXPECT_TRUE(Settle());
  }
  // Until the answers and the launches they start have come back.
  static bool Settle() { return qm::platform::dispatchWaitForIdle(20); }
  static void Click(OpenedWindow& w, const qm::ui::View& view) { w.window.click(OpenedWindow::Centre(view)); }
  // The gear opens the card on the main page the answer left; its close button closes it.
  static void ClickGear(OpenedWindow& w) { Click(w, *w.gui->views.settingsButton); }
  static void CloseCard(OpenedWindow& w) { Click(w, *w.gui->views.settingsCardHolder->subviews().front()->subviews().front()); }

  // The events recorded so far, as "name|request id|error code".
  static Lines Events() {
    Lines out;
    const auto queue = qmwindowtest::Defaults().object(kQMPluginEventsQueueDefaultsKey);
    for (const auto& e : queue ? *queue : nlohmann::json::array())
      out.push_back(e.value("event", "") + "|" + e.value("request_id", "") + "|" + e.value("error_code", ""));
    return out;
  }
  static std::string LastEvent() { return Events().empty() ? "" : Events().back(); }
  static size_t Count(const std::string& event) {
    const Lines all = Events();
    return size_t(std::count_if(all.begin(), all.end(), [&](const auto& e) { return e.rfind(event + "|", 0) == 0; }));
  }
  // A status document of a new pending request, as the updater writes it; returns the id.
  static std::string WriteStatus(const std::string& status, const std::string& stage, const std::string& code = "",
                                 const std::string& target = "2.0.3") {
    const std::string id = qm::platform::randomUuidString();
    nlohmann::json doc = {{"status", status}, {"stage", stage}, {"target_version", target}, {"request_id", id}};
    if (!code.empty()) doc["error_code"] = code;
    fs::create_directories(Updates() / "status");
    EXPECT_EQ(qm::platform::writeFileAtomic((Updates() / "status" / (id + ".json")).string(), doc.dump()), 0);
    qmwindowtest::Defaults().set(kQMPendingRequestIdKey, id);
    return id;
  }
  // The lock a running updater (of this process or another) holds on its request.
  static fs::path RequestLock(const std::string& id) { return Updates() / "status" / (id + ".lock"); }
  static qm::platform::RemovableFileLock HoldRequestLock(const std::string& id) {
    return qm::platform::RemovableFileLock::acquire(RequestLock(id).string(), false);
  }
  static std::string Text(const std::shared_ptr<qm::ui::TextField>& label) { return label->stringValue(); }
  static std::string ThirdLine(const std::shared_ptr<qm::ui::TextField>& label) {
    return Text(label).substr(Text(label).rfind('\n') + 1);
  }
  static bool WasLogged(const std::string& line) {
    return QuillomancerLogger::shared().getLogContents().value_or("").find("] " + line + "\n") != std::string::npos;
  }
  static void WritePicture(qm::ui::Window& window, const std::string& name) {
    const fs::path out = fs::path(QM_BINARY_DIR) / "test-output";
    fs::create_directories(out);
    EXPECT_TRUE(qm::ui::render::writePNG(
        qm::ui::render::renderWindow(window, 2.0, qm::ui::Color::deviceRGB255(14, 16, 18)), (out / name).string()));
  }

  // The defaults below the temporary HOME, which must be in place before their first use.
  qm::platform::UserDefaults& d = (qmwindowtest::UseTemporaryHome(), qmwindowtest::Defaults());
  svc::Service service;
  const qm::platform::CodeSigningKey key = *qm::platform::generateCodeSigningKey();
  Lines opened;
};

}  // namespace qmupdatetest
