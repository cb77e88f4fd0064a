// The updater's progress in the opened window: the status file stage by stage, failures with
// their counts and texts, the failure card with Retry and Manual download, the badges on the
// manual clock, and the whole road with the real updater.

#include "UpdateTestSupport.h"

#include "QMUpdateTexts.h"

#include "qm/platform/sha256.h"
#include "qm/platform/time.h"

#include <cstdlib>

using namespace qmupdatetest;

namespace {

// The window with the offer of 2.0.3 (prefetched already) on the open card.
std::unique_ptr<OpenedWindow> OpenWithOffer(UpdateRoad& t, const svc::AccountSettings& account = Offering("2.0.3")) {
  t.d.set(kQMLastPrefetchTargetKey, "stable|2.0.3|pkg");
  auto w = t.Open(account);
  UpdateRoad::ClickGear(*w);
  return w;
}

}  // namespace

TEST_F(UpdateRoad, ThePollShowsEachStageAndEndsAtAFinalOne) {
  const struct {
    const char *status, *stage, *shown;  // the label's third line afterwards
    bool polling;
    const char* event;
  } cases[] = {
      {"success", "download_started", "Downloading update...", true, nullptr},
      {"success", "swap_rollback_failed", "Automatic update in progress...", true, nullptr},
      {"success", "ready_to_install", "Quit and re-launch PT to update automatically", false, "prefetch_ready"},
      {"success", "swap_commit_complete", "Update complete. Re-launch Pro Tools.", false, "installer_open_ok"},
      {"success", "swap_rollback_complete", "Previous plugin restored.", false, "installer_open_ok"},
      // A status of neither kind shows nothing and ends the polling.
      {"unknown", "download_ok", "Previous plugin restored.", false, nullptr},
  };
  InstallStandInUpdater();  // the offer is one the updater prepares
  auto w = OpenWithOffer(*this);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stage);
    const std::string id = WriteStatus(c.status, c.stage);
    const auto updaterRuns = HoldRequestLock(id);
    const size_t before = Events().size();
    w->controller->processUpdaterStatusFromDefaults();
    EXPECT_EQ(ThirdLine(w->controller->views.versionLabel), c.shown);
    EXPECT_EQ(d.has(kQMPendingRequestIdKey), c.polling);
    EXPECT_EQ(d.stringForKey(kQMReadyTargetVersionKey), std::string(c.stage) == "ready_to_install" ? "2.0.3" : "");
    EXPECT_EQ(Events().size(), before + (c.event ? 1 : 0));
    if (c.event) {
      EXPECT_EQ(LastEvent(), std::string(c.event) + "|" + id + "|");
    }
  }
  // No status file yet: the next call reads again. An id that is no UUID never names a file.
  const std::string starting = qm::platform::randomUuidString();
  d.set(kQMPendingRequestIdKey, starting);
  const auto updaterStarts = HoldRequestLock(starting);  // an updater at work
  w->controller->processUpdaterStatusFromDefaults();
  EXPECT_TRUE(d.has(kQMPendingRequestIdKey));
  d.set(kQMPendingRequestIdKey, "../../Preferences/x");
  w->controller->processUpdaterStatusFromDefaults();
  EXPECT_FALSE(d.has(kQMPendingRequestIdKey));
}

TEST_F(UpdateRoad, FailuresAreCountedPerVersionChooseTheirTextAndOpenTheFailureCard) {
  auto w = OpenWithOffer(*this);
  QMSettingsHelper& c = *w->controller;
  const QMSettingsViews& card = c.views;
  const auto fail = [&](const std::string& code, const std::string& target, const std::string& text) {
    const std::string id = WriteStatus("failed", "failed", code, target);
    c.processUpdaterStatusFromDefaults();
    EXPECT_FALSE(d.has(kQMPendingRequestIdKey));
    EXPECT_EQ(LastEvent(), "installer_open_failed|" + id + "|" + code);
    EXPECT_EQ(c.updateFailureMessage, text + " [Download manually](" + c.updateFailureDownloadURL + ")");
  };
  fail("HASH_MISMATCH", "2.0.3", "Update could not be verified.");
  fail("hash_mismatch", "2.0.3", "Update could not be verified.");
  EXPECT_EQ(c.updateFailureDownloadURL, kPkgURL);
  EXPECT_EQ(d.integerForKey(kQMFailureCountKey), 2);
  EXPECT_EQ(Text(card.versionLabel), kOffer203 + " failed");
  EXPECT_EQ(Text(card.updateBadgeLabel), "Update failed");
  fail("updater_verification_failed", "2.0.4", "Auto-update unavailable.");
  EXPECT_EQ(d.integerForKey(kQMFailureCountKey), 1);
  // A package address that is no web link is never handed to the browser.
  c.updatePkgURL = "javascript:alert(1)";
  fail("swap_artifact_invalid", "2.0.4", "Auto-update received an invalid swap artifact.");
  EXPECT_EQ(c.updateFailureDownloadURL, kQMDownloadPageURL);

  // With the card closed, the badge opens the failure card.
  CloseCard(*w);
  Click(*w, *w->gui->views.updateBadgeButton);
  EXPECT_FALSE(card.messageView->isHiddenOrHasHiddenAncestor());
  EXPECT_FALSE(card.modalInteractionShield->isHidden());
  EXPECT_EQ(Text(card.messageTitleLabel), "Update failed");
  EXPECT_EQ(Text(card.messageBodyLabel), "Try automatic update again, or download the installer manually.");
  WritePicture(w->window, "update-failure-card.png");
  Click(*w, *card.updateFailureManualButton);
  EXPECT_EQ(opened, Lines{kQMDownloadPageURL});
  // Retry shows the start of the run and installs again (the updater is missing here).
  c.updatePkgURL = kPkgURL;
  Click(*w, *card.updateFailureRetryButton);
  EXPECT_TRUE(card.messageView->isHidden());
  EXPECT_TRUE(card.modalInteractionShield->isHidden());
  EXPECT_EQ(ThirdLine(card.versionLabel), "Starting automatic update...");
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(d.has(kQMFailureCodeKey));
  EXPECT_EQ(Count("install_button_clicked"), 1u);
}

TEST_F(UpdateRoad, BadgesHideOnTheClockUnlessAnotherOneCameLater) {
  qm::platform::ManualClock clock;
  InstallStandInUpdater();
  d.set(kQMLastPrefetchTargetKey, "stable|2.0.3|swap");
  auto w = Open(SwapOffering("2.0.3"));
  QMSettingsHelper& c = *w->controller;
  const auto badge = c.views.updateBadgeLabel;
  // With swap metadata the update button waits for the host's restart.
  ClickGear(*w);
  Click(*w, *c.views.updateButton);
  EXPECT_EQ(Text(badge), "Waiting for PT restart");
  WritePicture(w->window, "update-offer-card.png");
  CloseCard(*w);
  WritePicture(w->window, "update-offer-badge.png");
  clock.advance(5);
  c.showTemporaryUpdateBadgeText("Second", std::nullopt, 10);
  clock.advance(5.5);
  EXPECT_FALSE(badge->isHidden()) << "the first badge's timer leaves the second alone";
  clock.advance(5);
  EXPECT_TRUE(badge->isHidden());
  c.showTemporaryUpdateBadgeText("Stays", std::nullopt, 0);
  clock.advance(60);
  EXPECT_FALSE(badge->isHidden());
  // A failure during a badge turns it into the failure badge when its time is up.
  c.applyUpdateFailureForErrorCode("x", "2.0.3");
  c.showTemporaryUpdateBadgeText("Short", std::nullopt, 1);
  clock.advance(1);
  EXPECT_EQ(Text(badge), "Update failed");
  EXPECT_FALSE(badge->isHidden());
}

// A swap failure the swap may be run again for launches it again, as a new request, at the next
// opening; any other failure, and a prefetch's, comes back as the failure state. An updater
// killed in an earlier host run leaves its last stage and its lock file: it is noticed by the
// free lock, once, and run again. (A held lock is progress: the poll's test holds it.)
TEST_F(UpdateRoad, ASwapThatMayBeRunAgainIsLaunchedAtTheNextOpeningInsteadOfFailing) {
  InstallStandInUpdater();
  const struct {
    const char* code;  // null: the updater was killed before its final status; "": before its first
    bool swap, launchedAgain;
  } cases[] = {
      {"download_http_error", true, true}, {nullptr, true, true}, {"", true, true}, {"hash_mismatch", true, false},
      {"download_http_error", false, false}};
  for (const auto& c : cases) {
    const bool killed = !c.code || !*c.code;
    SCOPED_TRACE(std::string(c.code ? c.code : "killed") + (c.swap ? " (swap)" : " (prefetch)"));
    for (const char* key : {kQMPluginEventsQueueDefaultsKey, kQMPendingRequestIdKey, kQMPendingOperationIdKey,
                            kQMFailureCodeKey, kQMFailureTargetVersionKey})
      d.remove(key);
    const svc::AccountSettings offer = c.swap ? SwapOffering("2.0.3") : Offering("2.0.3");
    d.set(kQMLastPrefetchTargetKey, c.swap ? "stable|2.0.3|swap" : "stable|2.0.3|pkg");
    std::string failedId;
    {
      auto w = Open(offer);
      failedId = !killed ? WriteStatus("failed", "failed", c.code) : WriteStatus("success", "swap_host_waiting");
      if (c.code && !*c.code) fs::remove(Updates() / "status" / (failedId + ".json"));
      if (killed) {
        ASSERT_EQ(qm::platform::writeFileAtomic(RequestLock(failedId).string(), ""), 0);
      }
      if (c.swap) d.set(kQMPendingOperationIdKey, qm::platform::randomUuidString());
      w->gui->TimerWakeup();
    }
    auto next = Open(offer);
    EXPECT_EQ(Count(c.swap ? "swap_launch_ok" : "prefetch_launch_ok"), c.launchedAgain ? 1u : 0u);
    EXPECT_EQ(Text(next->controller->views.versionLabel), c.launchedAgain ? kOffer203 : kOffer203 + " failed");
    if (c.launchedAgain) {
      EXPECT_NE(d.stringForKey(kQMPendingRequestIdKey), failedId);
    }
    if (killed) {
      EXPECT_EQ(Count("installer_open_failed|" + failedId), 1u) << "noticed once";
      EXPECT_FALSE(fs::exists(RequestLock(failedId)));
    }
  }
}

// A swap that keeps failing in a way worth retrying is launched again by itself twice, then the
// failure state stays; the user's Retry launches once more.
TEST_F(UpdateRoad, RetryableSwapFailuresAreLaunchedAgainTwiceThenTheFailureStays) {
  InstallStandInUpdater();
  d.set(kQMLastPrefetchTargetKey, "stable|2.0.3|swap");  // the first swap was launched already
  const size_t launchedAtOpening[] = {0, 1, 2, 2, 3};  // the Retry at the fourth launches
  for (size_t opening = 0; opening < 5; ++opening) {
    SCOPED_TRACE(opening);
    auto w = Open(SwapOffering("2.0.3"));
    const QMSettingsViews& card = w->controller->views;
    EXPECT_EQ(Count("swap_launch_ok"), launchedAtOpening[opening]);
    EXPECT_EQ(Text(card.versionLabel), opening < 3 ? kOffer203 : kOffer203 + " failed");
    if (opening == 4) break;
    if (opening == 3) {
      Click(*w, *w->gui->views.updateBadgeButton);
      Click(*w, *card.updateFailureRetryButton);
      ASSERT_TRUE(Settle());
    }
    WriteStatus("failed", "failed", "download_http_error");
    d.set(kQMPendingOperationIdKey, qm::platform::randomUuidString());
    w->gui->TimerWakeup();
  }
}

// The update button runs the real updater, signed with the test key, on a package already in its
// cache, with a recording opener on PATH in place of the desktop's: no network at all.
TEST_F(UpdateRoad, TheRealUpdaterOpensACachedPackageOrReportsWhatWentWrong) {
  InstallRealUpdater();
  const fs::path bin = Updates().parent_path() / "bin", record = Updates().parent_path() / "opened";
  fs::create_directories(bin);
  ASSERT_EQ(qm::platform::writeFileAtomic((bin / "xdg-open").string(),
                                          "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record.string() + "'\n", 0755),
            0);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  const fs::path cached = Updates() / "Quillomancer-2.0.3.pkg";
  const struct {
    const char *name, *bytes, *event, *code;
  } cases[] = {
      {"the package as offered", "package", "installer_open_ok", ""},
      {"other bytes", "other bytes", "installer_open_failed", "hash_mismatch"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    fs::remove(record);
    fs::remove_all(Updates() / "status");
    for (const char* key : {kQMFailureCodeKey, kQMFailureTargetVersionKey}) d.remove(key);
    fs::create_directories(Updates());
    ASSERT_EQ(qm::platform::writeFileAtomic(cached.string(), k.bytes), 0);
    auto w = OpenWithOffer(*this, Offering("2.0.3", qm::platform::sha256Hex("package")));
    QMSettingsHelper& c = *w->controller;
    Click(*w, *c.views.updateButton);
    ASSERT_TRUE(Settle());
    const std::string id = d.stringForKey(kQMPendingRequestIdKey);
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(qm::platform::runMainQueueUntil(
        [&] {
          c.processUpdaterStatusFromDefaults();
          return !d.has(kQMPendingRequestIdKey);
        },
        30));
    EXPECT_EQ(LastEvent(), std::string(k.event) + "|" + id + "|" + k.code);
    std::string opened;
    qm::platform::readFile(record.string(), opened);
    EXPECT_EQ(opened, *k.code ? "" : cached.string() + "\n");
    if (!*k.code) {
      EXPECT_EQ(ThirdLine(c.views.versionLabel), "Installer opened. Complete the install, then re-launch Pro Tools.");
      continue;
    }
    EXPECT_EQ(Text(c.views.updateBadgeLabel), "Update failed");
    EXPECT_EQ(Text(c.views.versionLabel), kOffer203 + " failed");
    EXPECT_EQ(c.updateFailureMessage, std::string("Update could not be verified. [Download manually](") + kPkgURL + ")");
  }
  setenv("PATH", path.c_str(), 1);
}
