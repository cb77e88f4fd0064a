// The update offer on the card as drawn: one nothing will prepare promises no automatic update,
// and the last stage of an update that ended stays shown when its version is offered again.

#include "SettingsTestSupport.h"

#include "QMUpdateTexts.h"

#include "qm/platform/defaults.h"
#include "qm/platform/paths.h"
#include "qm/platform/uuid.h"
#include "qm/ui/application.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kPkgURL = "https://releases.quillomancer-storage.net/Quillomancer.pkg";

// The card's status row (version label, the update button over it, Check for Updates), driven by
// a controller whose updater is a signed stand-in. The download page opens nowhere.
struct UpdateCard : qmsettingstest::ControllerInWindow {
  UpdateCard() : ControllerInWindow("Update of v") {
    fs::remove_all(Updates());
    for (const char* key : {kQMPendingRequestIdKey, kQMLastPrefetchTargetKey})
      qm::platform::UserDefaults::standard().remove(key);
    updater.configure(controller->updaterHandoffConfig);
    QMSettingsViews& v = controller->views;
    v.versionLabel = qm::ui::TextField::label(QMInstalledVersionLabelString(), qm::ui::Rect{288, 8, 128, 16});
    content->addSubview(v.versionLabel);
    v.updateButton = std::make_shared<qm::ui::Button>(qm::ui::Rect{288, 8, 128, 16});
    addButton(v.updateButton, "openDownloadPage:");
    v.checkUpdatesBtn = std::make_shared<QMModeTextButton>(qm::ui::Rect{288, 70, 128, 20});
    v.checkUpdatesBtn->setTitle("Check for Updates");
    content->addSubview(v.checkUpdatesBtn);
    qm::ui::Application::shared().setURLOpener([this](const std::string& url) { return opened.push_back(url), true; });
  }
  ~UpdateCard() override { qm::ui::Application::shared().setURLOpener({}); }

  static fs::path Updates() { return qm::platform::libraryPath("Application Support/Quillomancer/Updates"); }
  // The texts the card's status row draws, in order, once the controller's work is done.
  Lines drawn() {
    EXPECT_TRUE(qm::platform::dispatchWaitForIdle(60));
    qm::platform::drainMainQueue();
    qm::ui::RecordingContext context;
    qm::ui::drawViewTree(*window.contentView(), context);
    return context.texts();
  }

  qmsettingstest::StandInUpdater updater;
  Lines opened;
};

// A package the updater would refuse, or no updater at all: the versions and the update button to
// the download page, the reason logged. After a final stage, its text stays, without Check for Updates.
TEST_F(UpdateCard, AnOfferShowsOnlyWhatWillHappenAndStartsNothingThatWillNot) {
  const std::string refused = "the updater would refuse it: update_pkg_url ";
  const struct {
    const char* pkgURL;
    bool updaterInstalled;
    std::string stage, version, text;  // a final stage reported before the offer and its text, or why not
  } cases[] = {
      {"http://releases.quillomancer-storage.net/Quillomancer.pkg", true, "", "2.0.6", refused + "must be https"},
      {"https://downloads.example.org/Quillomancer.pkg", true, "", "2.0.6", refused + "host not allowed"},
      {kPkgURL, false, "", "2.0.6", "updater missing at " + updater.path},
      {kPkgURL, true, "swap_commit_complete", "2.0.7", "Update complete. Re-launch Pro Tools."},
      {kPkgURL, true, "installer_opened", "2.0.8", "Installer opened. Complete the install, then re-launch Pro Tools."},
      {kPkgURL, true, "swap_rollback_complete", "2.0.9", "Previous plugin restored."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    fs::remove(updater.path);
    fs::remove_all(Updates() / "requests");
    if (c.updaterInstalled) updater.install("#!/bin/sh\nexit 0\n");
    if (!c.stage.empty()) {
      const std::string id = qm::platform::randomUuidString();
      const nlohmann::json status = {{"status", "success"}, {"stage", c.stage}, {"target_version", c.version}};
      fs::create_directories(Updates() / "status");
      ASSERT_EQ(qm::platform::writeFileAtomic((Updates() / "status" / (id + ".json")).string(), status.dump()), 0);
      qm::platform::UserDefaults::standard().set(kQMPendingRequestIdKey, id);
      controller->processUpdaterStatusFromDefaults();
    }
    QuillomancerServer::VerifyResult answer;
    answer.valid = answer.updateEligible = true;
    answer.latestVersion = answer.update.targetVersion = c.version;
    answer.update.pkgURL = c.pkgURL;
    answer.update.pkgSHA256 = std::string(64, 'a');
    answer.update.releaseNotesURL = "https://www.quillomancer.com/notes";
    controller->handleAccountStatusAnswer(answer, "");
    const std::string versions = "Installed v2.0.2\nAvailable v" + c.version;
    EXPECT_EQ(drawn(), c.stage.empty() ? Lines({versions, "Check for Updates"}) : Lines({versions + "\n" + c.text}));
    const Lines why = {"Update of v2.0.6 not started automatically \u2014 " + c.text};
    EXPECT_EQ(takeLog(), c.stage.empty() ? why : Lines{});
    EXPECT_FALSE(fs::exists(Updates() / "requests")) << "no update of v" << c.version << " started";
    if (!c.stage.empty()) continue;
    window.click(qm::ui::Point{352, 36});
    for (const std::string& text : drawn()) EXPECT_EQ(text.find("automatic"), std::string::npos) << text;
    EXPECT_EQ(std::exchange(opened, {}), Lines{kQMDownloadPageURL});
  }
}

}  // namespace
