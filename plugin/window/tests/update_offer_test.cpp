// The account-status answer in the opened window, against the web-service stand-in: the offer
// and its one prefetch, a stored failure, install detection, the offer rule, the manual check on
// the manual clock, and the forced-update lock.

#include "UpdateTestSupport.h"

#include "QMUpdateTexts.h"
#include "Quillomancer_HostProcessor.h"

#include "qm/platform/time.h"

#include <tuple>

using namespace qmupdatetest;

TEST_F(UpdateRoad, AnOfferIsShownAndPrefetchedOncePerVersion) {
  InstallStandInUpdater();
  auto w = Open(Offering("2.0.3"));
  const QMSettingsViews& card = w->controller->views;
  EXPECT_EQ(Text(card.versionLabel), kOffer203);
  EXPECT_EQ(card.versionLabel->frame(), (qm::ui::Rect{76, 8, 340, 56}));
  EXPECT_FALSE(card.updateButton->isHidden());
  EXPECT_TRUE(card.healthLabel->isHidden());
  EXPECT_EQ(Count("prefetch_triggered"), 1u);
  EXPECT_EQ(Count("prefetch_launch_ok"), 1u);
  Answer(*w, Offering("2.0.3"));
  EXPECT_EQ(Count("prefetch_triggered"), 1u) << "the same offer is prefetched once";
  EXPECT_EQ(Count("update_available"), 2u);
  Answer(*w, Offering("2.0.4"));
  EXPECT_EQ(Count("prefetch_triggered"), 2u);

  // The service takes the queued events; without an offer nothing new is queued after them.
  svc::AccountSettings acking;
  Answer(*w, acking);
  EXPECT_EQ(Events(), Lines{});
  EXPECT_EQ(Text(card.versionLabel), "Installed v2.0.2");
  EXPECT_EQ(card.versionLabel->frame(), (qm::ui::Rect{288, 8, 128, 16}));
  EXPECT_TRUE(card.updateButton->isHidden());
  EXPECT_FALSE(card.healthLabel->isHidden());
}

// An offer the updater would refuse is still shown, without the promise of an automatic update,
// and a manual check does not call it "Up To Date"; nothing starts by itself (logged once per
// offer); the update button installs, which for a refused package opens the download page.
TEST_F(UpdateRoad, AnOfferTheUpdaterWouldRefuseIsShownButStartsNothingByItself) {
  InstallStandInUpdater();  // an updater that could be started: none may be
  using O = svc::AccountOffer;
  const struct { std::string O::*field; std::string value; const char* why; bool swap; } cases[] = {
      {&O::pkgURL, "http://releases.quillomancer-storage.net/a.pkg", "update_pkg_url must be https", false},
      {&O::pkgURL, "https://downloads.example.org/a.pkg", "update_pkg_url host not allowed", false},
      {&O::pkgSHA256, std::string(64, 'A'), "update_pkg_sha256 must be 64-char lowercase hex", false},
      {&O::artifactURL, "http://releases.quillomancer-storage.net/a.zip", "artifact_url must be https", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    d.remove(kQMPluginEventsQueueDefaultsKey);
    opened.clear();
    svc::AccountSettings account = c.swap ? SwapOffering("2.0.3") : Offering("2.0.3");
    (*account.offer).*c.field = c.value;
    auto w = Open(account);
    const QMSettingsViews& card = w->controller->views;
    EXPECT_EQ(Text(card.versionLabel), kManualOffer203) << "after the opening's answer";
    EXPECT_FALSE(card.updateButton->isHidden()) << "after the opening's answer";
    Answer(*w, account);
    ClickGear(*w);
    Click(*w, *card.checkUpdatesBtn);
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(card.checkUpdatesBtn->isHidden()) << "the check found the offer";
    EXPECT_EQ(Text(card.versionLabel), kManualOffer203);
    EXPECT_EQ(Count("prefetch_triggered") + Count("swap_triggered"), 0u) << "nothing started by itself";
    const std::string log = QuillomancerLogger::shared().getLogContents().value_or(""), line = c.why + std::string("\n");
    EXPECT_TRUE(log.find(line) != std::string::npos && log.find(line) == log.rfind(line)) << "said once for the offer";
    Click(*w, *card.updateButton);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Count("updater_launch_ok"), c.swap ? 1u : 0u) << "a refused swap installs the package instead";
    EXPECT_EQ(opened, c.swap ? Lines{} : Lines{kQMDownloadPageURL});
  }
}

TEST_F(UpdateRoad, AnInstalledUpdateShowsTheSuccessBadgeForItsTime) {
  qm::platform::ManualClock clock;
  d.set(kQMLastInstalledVersionKey, "2.0.1");
  auto w = Open(Plain());
  const auto badge = w->controller->views.updateBadgeLabel;
  EXPECT_EQ(badge->isHidden() ? "" : Text(badge), "Update installed");
  EXPECT_TRUE(w->controller->views.updateBadgeButton->isHidden()) << "nothing to click";
  clock.advance(9.5);
  EXPECT_FALSE(badge->isHidden());
  clock.advance(1);
  EXPECT_TRUE(badge->isHidden());
}

TEST(UpdateOfferRule, TheTargetOrTheLatestWhenNewerOrAnAllowedDowngradeAndEligible) {
  // target, latest, eligible, downgrade allowed -> offered
  const std::tuple<const char*, const char*, bool, bool, const char*> cases[] = {
      {"2.0.3", "", true, false, "2.0.3"}, {"", "2.0.3", true, false, "2.0.3"}, {"2.0.2", "2.0.9", true, false, ""},
      {"2.0.1", "", true, false, ""},      {"2.0.1", "", true, true, "2.0.1"},  {"2.0.2-beta", "", true, false, "2.0.2-beta"},
      {"2.0.3", "", false, true, ""}};
  for (const auto& [target, latest, eligible, downgrade, offered] : cases) {
    QuillomancerServer::VerifyResult answer;
    answer.update.targetVersion = target;
    answer.latestVersion = latest;
    answer.updateEligible = eligible;
    answer.allowDowngrade = downgrade;
    EXPECT_EQ(QMOfferedUpdateVersion(answer), offered) << target << " / " << latest;
  }
}

TEST_F(UpdateRoad, AStoredFailureComesBackForItsVersionAndAnotherInstallIsDetected) {
  d.set(kQMFailureTargetVersionKey, "2.0.3");
  d.set(kQMFailureCodeKey, "hash_mismatch");
  d.set(kQMFailureCountKey, 2);
  d.set(kQMLastPrefetchTargetKey, "stable|2.0.3|pkg");
  auto w = Open(Offering("2.0.3"));
  const QMSettingsViews& card = w->controller->views;
  EXPECT_EQ(Text(card.versionLabel), kOffer203 + " failed");
  EXPECT_EQ(Text(card.updateBadgeLabel), "Update failed");
  EXPECT_FALSE(card.updateBadgeLabel->isHidden());
  EXPECT_EQ(d.integerForKey(kQMFailureCountKey), 2);
  Answer(*w, Offering("2.0.4"));
  EXPECT_EQ(d.integerForKey(kQMFailureCountKey), 0);
  EXPECT_FALSE(d.has(kQMFailureTargetVersionKey) || d.has(kQMFailureCodeKey));
  EXPECT_TRUE(card.updateBadgeLabel->isHidden());
  EXPECT_EQ(Text(card.versionLabel), "Installed v2.0.2\nAvailable v2.0.4") << "no updater here: nothing is promised";

  // Another version was installed since the last answer: its pending request is forgotten, once.
  d.set(kQMLastInstalledVersionKey, "2.0.1");
  d.set(kQMPendingRequestIdKey, qm::platform::randomUuidString());
  d.set(kQMPendingOperationIdKey, qm::platform::randomUuidString());
  Answer(*w, Plain());
  Answer(*w, Plain());
  EXPECT_FALSE(d.has(kQMPendingRequestIdKey) || d.has(kQMPendingOperationIdKey));
  EXPECT_EQ(d.stringForKey(kQMLastInstalledVersionKey), "2.0.2");
  EXPECT_EQ(Count("install_success_detected"), 1u);
}

TEST_F(UpdateRoad, TheManualCheckShowsItsOutcomeForTwoSecondsAndKeepsTheOfferWhenOffline) {
  qm::platform::ManualClock clock;
  auto w = Open(Plain());
  const QMSettingsViews& card = w->controller->views;
  QMModeTextButton& check = *card.checkUpdatesBtn;
  ClickGear(*w);
  const auto checkFor = [&](const std::string& outcome) {
    Click(*w, check);
    EXPECT_EQ(check.title(), "Checking...");
    EXPECT_FALSE(check.isEnabled());
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(check.isEnabled());
    EXPECT_EQ(check.title(), outcome);
    clock.advance(1.9);
    EXPECT_EQ(check.title(), outcome);
    clock.advance(0.2);
    EXPECT_EQ(check.title(), "Check for Updates");
  };
  checkFor("Up To Date");
  svc::Fault unavailable;
  unavailable.status = 503;
  service.setFault(svc::kAccountStatus, unavailable);
  checkFor("Check Failed");
  service.clearFaults();

  // An offer found by the check hides the button; the next answer shows it again, and one
  // "Server Offline" later the offer is still there.
  service.setAccount(Offering("2.0.3"));
  d.set(kQMLastPrefetchTargetKey, "stable|2.0.3|pkg");
  Click(*w, check);
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(check.isHidden());
  EXPECT_EQ(Text(card.versionLabel), kManualOffer203) << "no updater here: nothing is promised";
  Answer(*w, Offering("2.0.3"));
  QuillomancerServerSetBaseURLOverride("http://127.0.0.1:1");
  checkFor("Server Offline");
  EXPECT_EQ(Text(card.versionLabel), kManualOffer203);
  // The update button still installs the offered version (the updater is missing, so the
  // download page opens, and no start is shown).
  Click(*w, *card.updateButton);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Text(card.versionLabel), kManualOffer203);
  EXPECT_EQ(Count("install_button_clicked"), 1u);
  EXPECT_EQ(opened, Lines{kQMDownloadPageURL});
  EXPECT_EQ(Count("manual_update_check"), 4u);
}

TEST_F(UpdateRoad, ARequiredUpdateLocksTheWindowUntilAnAnswerNoLongerRequiresIt) {
  svc::AccountSettings required = Plain();
  required.offer = svc::offerForVersion("2.1.0");
  required.updateRequired = true;
  required.minimumVersion = "2.1.0";
  auto w = Open(required);
  const QMSettingsViews& card = w->controller->views;
  EXPECT_FALSE(card.updateRequiredView->isHiddenOrHasHiddenAncestor());
  EXPECT_TRUE(card.mainView->isHidden());
  EXPECT_EQ(Text(card.updateReqMsgLabel),
            "This version of Quillomancer is no longer supported. Please download the latest version at "
            "quillomancer.com/download.");
  EXPECT_EQ(Text(card.updateReqMinLabel), "Minimum required version: v2.1.0");
  EXPECT_EQ(Text(card.updateReqVersionLabel), "Installed v2.0.2\nAvailable v2.1.0") << "no updater here";
  CloseCard(*w);
  EXPECT_FALSE(card.settingsCard->isHidden()) << "the card cannot be closed";
  // The next tick hands the lock to the processor and locks the editor; Process is refused.
  auto* processor = new Quillomancer_HostProcessor();
  processor->AddRef();
  ASSERT_EQ(processor->Initialize(w->host.Unknown()), 0);
  const QuillomancerStoreClient store(w->parameters);
  w->gui->TimerWakeup();
  EXPECT_EQ(store.ReadByte(kQMBlock_CompatibilityLock), std::optional<uint8_t>(1));
  EXPECT_FALSE(w->gui->views.editorView->textView()->isEditable());
  EXPECT_FALSE(w->gui->views.editorView->textView()->isSelectable());
  Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button");
  EXPECT_EQ(store.ReadStatus().state, kQuillomancerState_UpdateRequired);
  WritePicture(w->window, "update-required.png");

  Answer(*w, Plain());
  w->gui->TimerWakeup();
  EXPECT_EQ(store.ReadByte(kQMBlock_CompatibilityLock), std::optional<uint8_t>(0));
  EXPECT_TRUE(w->gui->views.editorView->textView()->isSelectable());
  Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button");
  EXPECT_NE(store.ReadStatus().state, kQuillomancerState_UpdateRequired);
  CloseCard(*w);
  EXPECT_TRUE(card.settingsCard->isHidden());
  processor->Uninitialize();
  processor->Release();
}
