// The update offer on the card as drawn: an offer nothing will prepare by itself promises no
// automatic update and writes no request, and the last stage of an update that ended stays shown
// when the account-status answer offers the same version again, which starts nothing.

#include "SettingsTestSupport.h"

#include "QMPluginEventsQueue.h"
#include "QMSettingsHelper.h"
#include "QMUpdateTexts.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/uuid.h"
#include "qm/ui/application.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kPkgURL = "https://releases.quillomancer-storage.net/Quillomancer.pkg";

// The card's status row (version label, the update button over it, Check for Updates) in a
// toolkit window, driven by a controller whose updater may be a signed stand-in.
struct UpdateCard : ::testing::Test {
  UpdateCard() {
    qmsettingstest::UseTemporaryHome();
    qm::platform::setCurrentThreadAsMain();
    fs::remove_all(Updates());
    for (const char* key : {kQMPendingRequestIdKey, kQMLastPrefetchTargetKey, kQMPluginEventsQueueDefaultsKey})
      Defaults().remove(key);

    updater.configure(controller->updaterHandoffConfig);
    controller->setGuiOwner(&owner);

    QMSettingsViews& v = controller->views;
    auto content = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 420, 100});
    v.versionLabel = qm::ui::TextField::label(QMInstalledVersionLabelString(), qm::ui::Rect{288, 8, 128, 16});
    v.versionLabel->setMaximumNumberOfLines(0);
    v.updateButton = std::make_shared<qm::ui::Button>(qm::ui::Rect{288, 8, 128, 16});
    v.updateButton->setTitle("");
    v.updateButton->setHidden(true);
    v.updateButton->setTarget(controller);
    v.updateButton->setAction("openDownloadPage:");
    v.checkUpdatesBtn = std::make_shared<QMModeTextButton>(qm::ui::Rect{288, 70, 128, 20});
    v.checkUpdatesBtn->setTitle("Check for Updates");
    v.updateBadgeLabel = qm::ui::TextField::label("", qm::ui::Rect{0, 70, 200, 20});
    v.updateBadgeLabel->setHidden(true);
    for (const auto& view : std::initializer_list<std::shared_ptr<qm::ui::View>>{
             v.versionLabel, v.updateButton, v.checkUpdatesBtn, v.updateBadgeLabel})
      content->addSubview(view);
    window.setContentView(content);

    qm::ui::Application::shared().setURLOpener([this](const std::string& url) {
      opened.push_back(url);
      return true;
    });
  }
  ~UpdateCard() override {
    qm::platform::dispatchWaitForIdle(60);
    qm::platform::drainMainQueue();
    qm::ui::Application::shared().setURLOpener({});
  }

  static qm::platform::UserDefaults& Defaults() { return qm::platform::UserDefaults::standard(); }
  static fs::path Updates() {
    return fs::path(qm::platform::homeDirectory()) / "Library/Application Support/Quillomancer/Updates";
  }
  // The request files written so far.
  static size_t Requests() {
    std::error_code ec;
    const auto files = fs::directory_iterator(Updates() / "requests", ec);
    return ec ? 0 : size_t(std::distance(fs::begin(files), fs::end(files)));
  }

  // An account-status answer offering `version` as an installer package at `pkgURL`, and with
  // `swap` as a replacement bundle too.
  void answerOffering(const std::string& version, const std::string& pkgURL = kPkgURL, bool swap = false) {
    QuillomancerServer::VerifyResult answer;
    answer.valid = true;
    answer.updateEligible = true;
    answer.latestVersion = version;
    answer.update.targetVersion = version;
    answer.update.pkgURL = pkgURL;
    answer.update.pkgSHA256 = std::string(64, 'a');
    answer.update.releaseNotesURL = "https://www.quillomancer.com/notes";
    if (swap) {
      answer.update.artifactURL = "https://releases.quillomancer-storage.net/Quillomancer.zip";
      answer.update.artifactSHA256 = std::string(64, 'b');
      answer.update.manifestVersion = "7";
      answer.update.releasedAt = "2026-12-01T00:00:00Z";
      answer.update.manifestSignature = "manifest-signature";
    }
    controller->handleAccountStatusAnswer(answer, "");
  }

  // The texts the card's status row draws, in order.
  Lines drawn() {
    qm::ui::RecordingContext context;
    qm::ui::drawViewTree(*window.contentView(), context);
    Lines texts = context.texts();
    std::erase(texts, std::string());
    return texts;
  }
  // An automatic update promised: on the version label, or the badge's wait for the restart.
  static bool Promises(const Lines& texts) {
    return std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
      return t.find("automatic") != std::string::npos || t.find("restart") != std::string::npos;
    });
  }
  void clickUpdateButton() { window.click(qm::ui::Point{352, 36}); }


  qmsettingstest::StandInUpdater updater;
  qmsettingstest::RecordingWindow owner;
  std::shared_ptr<QMSettingsHelper> controller = QMSettingsHelper::Create();
  qm::ui::Window window{qm::ui::Rect{0, 0, 420, 100}};
  Lines opened;
  qmsettingstest::LoggedLines logged{"Update "};
};

// A package the updater would refuse, or no updater at all: the two version lines and the update
// button, which leads to the download page; no promise, no request, the reason logged once.
// (Without an updater the button's install writes its request, as any install does, and fails.)
TEST_F(UpdateCard, AnOfferNothingWillPrepareShowsTheVersionsAndTheDownloadButtonOnly) {
  const struct {
    const char* name;
    const char* pkgURL;
    bool updaterInstalled, swap;
    std::string why;
  } cases[] = {
      {"http package", "http://releases.quillomancer-storage.net/Quillomancer.pkg", true, false,
       "the updater would refuse it: update_pkg_url must be https"},
      {"foreign host", "https://downloads.example.org/Quillomancer.pkg", true, false,
       "the updater would refuse it: update_pkg_url host not allowed"},
      {"no updater", kPkgURL, false, false, "updater missing at "},
      {"no updater for a swap", kPkgURL, false, true, "updater missing at "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(updater.path);
    fs::remove_all(Updates() / "requests");
    if (c.updaterInstalled) updater.install("#!/bin/sh\nexit 0\n");
    opened.clear();
    logged.take();
    answerOffering("2.0.3", c.pkgURL, c.swap);
    answerOffering("2.0.3", c.pkgURL, c.swap);
    ASSERT_TRUE(qm::platform::dispatchWaitForIdle(60));
    const Lines texts = drawn();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Installed v2.0.2\nAvailable v2.0.3"), texts.end())
        << ::testing::PrintToString(texts);
    EXPECT_FALSE(Promises(texts)) << ::testing::PrintToString(texts);
    EXPECT_EQ(Requests(), 0u);
    const Lines log = logged.take();
    ASSERT_EQ(log.size(), 1u) << "said once: " << ::testing::PrintToString(log);
    EXPECT_EQ(log[0].rfind("Update of v2.0.3 not started automatically — " + c.why, 0), 0u) << log[0];

    clickUpdateButton();
    ASSERT_TRUE(qm::platform::dispatchWaitForIdle(60));
    qm::platform::drainMainQueue();
    EXPECT_EQ(opened, Lines{kQMDownloadPageURL});
    EXPECT_FALSE(Promises(drawn())) << "no start is shown for an install that cannot start";
  }
}

// After an update ended (installed, installer opened, rolled back), an answer offering the same
// version leaves the stage's text on the card and launches nothing in this run.
TEST_F(UpdateCard, AFinalStageStaysShownAndItsVersionIsNotStartedAgain) {
  updater.install("#!/bin/sh\nexit 0\n");
  const struct {
    const char* stage;
    const char* version;  // one each: what ended stays ended for the rest of the run
    const char* text;
  } cases[] = {
      {"swap_commit_complete", "2.0.3", "Update complete. Re-launch Pro Tools."},
      {"installer_opened", "2.0.4", "Installer opened. Complete the install, then re-launch Pro Tools."},
      {"swap_rollback_complete", "2.0.5", "Previous plugin restored."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stage);
    const std::string id = qm::platform::randomUuidString();
    const nlohmann::json status = {{"status", "success"}, {"stage", c.stage}, {"target_version", c.version}};
    fs::create_directories(Updates() / "status");
    ASSERT_EQ(qm::platform::writeFileAtomic((Updates() / "status" / (id + ".json")).string(), status.dump()), 0);
    Defaults().set(kQMPendingRequestIdKey, id);
    Defaults().remove(kQMLastPrefetchTargetKey);  // nothing prefetched yet: the offer could launch
    controller->processUpdaterStatusFromDefaults();
    ASSERT_FALSE(Defaults().has(kQMPendingRequestIdKey)) << "the poll ended";

    const std::string shown = std::string("Installed v2.0.2\nAvailable v") + c.version + "\n" + c.text;
    for (int answer = 0; answer < 2; ++answer) {
      answerOffering(c.version);
      ASSERT_TRUE(qm::platform::dispatchWaitForIdle(60));
      qm::platform::drainMainQueue();
      const Lines texts = drawn();
      EXPECT_EQ(texts, Lines{shown}) << "as the stage left it, without Check for Updates";
      EXPECT_EQ(Requests(), 0u) << "no new update of v" << c.version;
    }
  }
}

}  // namespace
