// The account-status exchange and its answer (credits, e-mail, messages, install detection, the
// offer and the forced-update lock), the update offer on the card, the prefetch rule, the update
// button, the manual check, and the launches through the updater hand-off.

#include "QMSettingsCardInternal.h"
#include "QMSettingsUpdatesPrivate.h"

#include "QMAccountToken.h"
#include "QMUpdateTexts.h"
#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/thread_check.h"
#include "qm/ui/application.h"

#include <exception>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr const char* kCheckForUpdatesTitle = "Check for Updates";

// The window's copy of the account token, else the stored one; "" for none.
std::string AccessToken(QMSettingsHelperOwner* window) {
  std::string token = window ? window->GetAccountAccessToken() : std::string();
  if (token.empty()) token = QMReadAccountToken();
  return token;
}

// Runs the account-status exchange with the plug-in events on the global queue and hands the
// answer and the token to `handle` on the main queue (not after teardown: the next opening asks
// again). [main-thread]
void ExchangeAccountStatus(QMSettingsHelper& controller, const std::string& token,
                           void (*handle)(QMSettingsHelper&, const QuillomancerServer::VerifyResult&,
                                          const std::string&)) {
  QMSettingsHelperOwner* window = controller.guiOwner();
  const std::string host = window && window->IsMediaComposerHost() ? "media_composer" : "pro_tools";
  const std::string events = controller.consumeAndSerializePluginEventsForVerify();
  QMRunThenDeliver(
      controller, [token, host, events] { return QuillomancerServer::VerifyAccount(token, host, events); },
      [token, handle](QMSettingsHelper& c, QuillomancerServer::VerifyResult answer) { handle(c, answer, token); });
}

// Everything of the controller's that goes into a request. [main-thread]
QMUpdateRequestInputs RequestInputs(const QMSettingsHelper& c) {
  QMUpdateRequestInputs inputs;
  inputs.metadata = c.updateMetadata();
  inputs.userEmail = c.userEmail;
  if (QMSettingsHelperOwner* window = c.guiOwner()) {
    inputs.mediaComposerHost = window->IsMediaComposerHost();
    inputs.windowAccessToken = window->GetAccountAccessToken();
  }
  if (inputs.windowAccessToken.empty()) inputs.storedAccessToken = QMReadAccountToken();
  return inputs;
}

// Why the updater would refuse the request a launch with `action` would now write. [main-thread]
std::string RequestRefusal(const QMSettingsHelper& c, const char* action) {
  return QMUpdaterHandoff(c.updaterHandoffConfig).requestRefusal(action, RequestInputs(c));
}

// Why a launch with `action` would now start no updater ("" when it would): the updater would
// refuse the request, or there is none at its path. [main-thread]
std::string LaunchObstacle(const QMSettingsHelper& c, const char* action) {
  if (const std::string refusal = RequestRefusal(c, action); !refusal.empty())
    return "the updater would refuse it: " + refusal;
  const std::string& updater = c.updaterHandoffConfig.updaterPath;
  if (struct stat st {}; ::stat(updater.c_str(), &st) != 0) return "updater missing at " + updater;
  return {};
}

// The launch that prepares an offer by itself: the swap when its metadata is complete, else the
// prefetch of the package.
const char* AutomaticAction(const QMSettingsHelper& c) { return c.hasValidSwapMetadata() ? "swap" : "prefetch"; }

}  // namespace

// ---- the exchange and its answer ----------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::startAccountStatusExchange() {
  QM_ASSERT_THREAD(main);
  QMSettingsHelperOwner* window = guiOwner();
  if (!window) return;
  if (!std::exchange(started_, true)) checkServerHealth();
  const std::string token = window->GetAccountAccessToken();
  // Without an account there is nothing to ask: the gear opens the main page with "Credits: —".
  if (!QMIsUsableAccessToken(token)) {
    if (std::string why; QMReadAccountToken(&why).empty() && !why.empty()) QMCardLog("Account token not used: " + why);
    return;
  }
  ExchangeAccountStatus(*this, token,
                        [](QMSettingsHelper& controller, const QuillomancerServer::VerifyResult& answer,
                           const std::string& usedToken) { controller.handleAccountStatusAnswer(answer, usedToken); });
}

// [main-thread]
void QMSettingsHelper::handleAccountStatusAnswer(const QuillomancerServer::VerifyResult& answer,
                                                 const std::string& accessToken) {
  QM_ASSERT_THREAD(main);
  auto& defaults = QMUpdateDefaults(*this);
  setUpdateMetadataFromVerify(answer);
  // A failure stored for another version is forgotten.
  if (!updateTargetVersion.empty() && defaults.stringForKey(kQMFailureTargetVersionKey) != updateTargetVersion) {
    defaults.set(kQMFailureCountKey, 0);
    defaults.remove(kQMFailureTargetVersionKey);
    defaults.remove(kQMFailureCodeKey);
    defaults.synchronize();
  }
  QMSettingsHelperOwner* window = guiOwner();
  if (!answer.valid) {
    // Says nothing of the balance: the last one an answer gave, else "Credits: —".
    showCredits(window ? window->GetLastShownCredits() : std::nullopt);
    return;
  }
  clearAckedPluginEvents(answer.ackedEventIds);

  // An installation of another version since the last answer.
  const std::string installed = QMPluginVersionString();
  const std::string lastInstalled = defaults.stringForKey(kQMLastInstalledVersionKey);
  if (!lastInstalled.empty() && lastInstalled != installed) {
    showUpdateSuccessBadgeForVersion(installed);
    recordPluginEvent("install_success_detected", "", "");
    defaults.set(kQMFailureCountKey, 0);
    for (const char* key : {kQMFailureTargetVersionKey, kQMFailureCodeKey, kQMPendingRequestIdKey,
                            kQMPendingTargetVersionKey, kQMPendingOperationIdKey})
      defaults.remove(key);
  }
  defaults.set(kQMLastInstalledVersionKey, installed);
  if (!updateReleaseNotesURL.empty()) defaults.set(kQMLastReleaseNotesKey, updateReleaseNotesURL);
  defaults.synchronize();

  showCredits(answer.creditBalance);
  if (window) window->SetLastShownCredits(answer.creditBalance);
  if (!answer.email.empty()) userEmail = answer.email;

  const std::string offered = QMOfferedUpdateVersion(answer);
  if (offered.empty()) {
    hideUpdateAvailable();
    defaults.remove(kQMFailureTargetVersionKey);
    defaults.remove(kQMFailureCodeKey);
    defaults.synchronize();
  } else {
    const std::string failureCode = defaults.stringForKey(kQMFailureCodeKey);
    const std::string failureTarget = defaults.stringForKey(kQMFailureTargetVersionKey);
    // A failure stays visible across openings of the window; a swap that may simply be run again
    // (the host was still running, the updater was stopped) is launched again instead, by the
    // prefetch rule below (its key was dropped when the failure came in), until the failures in a
    // row for this version reach the limit.
    const bool relaunch =
        hasValidSwapMetadata() && QMRelaunchesSwapAutomatically(failureCode, defaults.integerForKey(kQMFailureCountKey));
    if (!failureCode.empty() && !failureTarget.empty() && failureTarget == updateTargetVersion && !relaunch) {
      applyUpdateFailureForErrorCode(failureCode, updateTargetVersion);
    } else {
      showUpdateAvailable(offered);
    }
    launchUpdaterPrefetchIfNeeded();
  }

  if (answer.updateRequired) {
    applyForcedUpdateLock(answer.minimumVersion);
  } else {
    clearForcedUpdateLock();
  }
  if (!answer.messages.empty() && !accessToken.empty()) showServerMessagesSequentially(answer.messages, accessToken);
}

// [main-thread]
void QMSettingsHelper::setUpdateMetadataFromVerify(const QuillomancerServer::VerifyResult& answer) {
  updateTargetVersion = answer.update.targetVersion;
  updateEffectiveChannel = answer.update.effectiveChannel;
  updatePkgURL = answer.update.pkgURL;
  updatePkgSHA256 = answer.update.pkgSHA256;
  updateReleaseNotesURL = answer.update.releaseNotesURL;
  updateArtifactURL = answer.update.artifactURL;
  updateArtifactSHA256 = answer.update.artifactSHA256;
  updateManifestVersion = answer.update.manifestVersion;
  updateReleasedAt = answer.update.releasedAt;
  updateManifestSignature = answer.update.manifestSignature;
  updateEligible = answer.updateEligible;
  updateEligibilityReason = answer.eligibilityReason;
}

QMUpdateMetadata QMSettingsHelper::updateMetadata() const {
  return QMUpdateMetadata{updateTargetVersion,  updateEffectiveChannel, updatePkgURL,
                          updatePkgSHA256,      updateReleaseNotesURL,  updateArtifactURL,
                          updateArtifactSHA256, updateManifestVersion,  updateReleasedAt,
                          updateManifestSignature};
}

bool QMCanSwapUpdate(const QMSettingsHelper& controller) {
  return controller.hasValidSwapMetadata() && LaunchObstacle(controller, "swap").empty();
}

bool QMPreparesUpdateAutomatically(const QMSettingsHelper& controller) {
  return !controller.updateTargetVersion.empty() &&
         LaunchObstacle(controller, AutomaticAction(controller)).empty();
}

qm::platform::UserDefaults& QMUpdateDefaults(const QMSettingsHelper& controller) {
  const auto& config = controller.updaterHandoffConfig;
  return config.defaults ? *config.defaults : qm::platform::UserDefaults::standard();
}

// ---- the offer on the card ----------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::showUpdateAvailable(const std::string& version) {
  clearUpdateFailureState();
  setMainHealthIndicatorHidden(true);
  const std::string& shown = version.empty() ? updateTargetVersion : version;
  refreshVersionStatusLabelsWithColor(QMAccentOrange(), shown);
  QMShowViews({views.updateButton.get(), views.updateReqUpdateButton.get()}, true);
  // An update of this version that ended in this run stays shown as its last stage left it.
  QMShowView(views.checkUpdatesBtn, QMFinishedUpdateStage(shown).empty());
  QMShowViews({views.updateBadgeLabel.get(), views.updateBadgeButton.get()}, false);
  recordPluginEvent("update_available", "", "");
}

// [main-thread]
void QMSettingsHelper::hideUpdateAvailable() {
  clearUpdateFailureState();
  setMainHealthIndicatorHidden(false);
  auto& defaults = QMUpdateDefaults(*this);
  defaults.remove(kQMReadyTargetVersionKey);
  defaults.synchronize();
  refreshVersionStatusLabelsWithColor(QMTextSecondary(), "");
  QMShowViews({views.updateButton.get(), views.updateReqUpdateButton.get(), views.updateBadgeButton.get()}, false);
  // The success badge of an install just detected stays for its time: the answer that detects
  // the install hides the offer right after showing it.
  if (!QMIsShowingUpdateSuccessBadge(views)) QMShowView(views.updateBadgeLabel, false);
  QMShowView(views.checkUpdatesBtn, true);
}

// [main-thread]
void QMSettingsHelper::refreshVersionStatusLabelsWithColor(const qm::ui::Color& colour, const std::string& target) {
  QMSetMainVersionLabelWide(views, !target.empty());
  std::string text;
  if (target.empty()) {
    text = QMInstalledVersionLabelString();
  } else if (const std::string stage = QMFinishedUpdateStage(target); !stage.empty()) {
    // "Update complete. Re-launch ..." stays true until the host runs again.
    text = QMInstalledToTargetVersionProgressLabelString(target, QMUserFacingUpdaterProgressBodyForStage(stage));
  } else if (target != updateTargetVersion || !QMPreparesUpdateAutomatically(*this)) {
    // Nothing will be prepared: the versions alone, and the update button leads to the download page.
    text = QMInstalledAndAvailableVersionLabelString(target);
  } else {
    const bool ready = target == QMUpdateDefaults(*this).stringForKey(kQMReadyTargetVersionKey);
    text = QMInstalledToTargetVersionLabelString(target, ready);
  }
  QMSetVersionLabelsText(views, text, colour);
}

// [main-thread]
void QMSettingsHelper::setMainHealthIndicatorHidden(bool hidden) {
  QMShowViews({views.healthDot.get(), views.healthLabel.get()}, !hidden);
}

// ---- prefetch, the update button and the launches -----------------------------------------------

// [main-thread]
void QMSettingsHelper::launchUpdaterPrefetchIfNeeded() {
  // Without a target version there is nothing to launch; an update of it that ended in this run
  // is not started again.
  if (updateTargetVersion.empty() || !QMFinishedUpdateStage(updateTargetVersion).empty()) return;
  const bool swap = hasValidSwapMetadata();
  const std::string key = QMUpdatePrefetchKey(updateEffectiveChannel, updateTargetVersion, swap);
  // An offer whose request the updater would refuse (an address it may not fetch, a value missing
  // or malformed), or with no updater installed, stays on the card but starts nothing and writes
  // no request: its update button leads to the download page. Said once per offer and reason.
  if (const std::string obstacle = LaunchObstacle(*this, AutomaticAction(*this)); !obstacle.empty()) {
    if (std::exchange(loggedUpdateOfferRefusal, key + "|" + obstacle) != key + "|" + obstacle)
      QMCardLog("Update of v" + updateTargetVersion + " not started automatically — " + obstacle);
    return;
  }
  auto& defaults = QMUpdateDefaults(*this);
  if (defaults.stringForKey(kQMLastPrefetchTargetKey) == key) return;
  defaults.remove(kQMReadyTargetVersionKey);
  launchUpdaterWithAction(swap ? "swap" : "prefetch");
  // Kept whatever the launch came to: a failed prefetch is not retried for the same offer.
  defaults.set(kQMLastPrefetchTargetKey, key);
  defaults.synchronize();
}

// [main-thread]
void QMSettingsHelper::launchUpdaterWithAction(const std::string& action) {
  QM_ASSERT_THREAD(main);
  auto self = QMRetainController(*this);
  if (!self) return;
  try {
    QMUpdaterHandoff(updaterHandoffConfig).launchUpdaterWithAction(action, RequestInputs(*this), std::move(self));
  } catch (const std::exception& e) {
    // Nothing was started; the user can try again from the card.
    QMCardLog(std::string("Update launch failed — ") + e.what());
    recordPluginEvent("updater_launch_failed", "", "updater_launch_error");
  }
}

// [main-thread]
void QMSettingsHelper::openDownloadPage(qm::ui::Object* sender) {
  QM_ASSERT_THREAD(main);
  const bool updateControl = sender && (sender == views.updateButton.get() || sender == views.updateReqUpdateButton.get() ||
                                        sender == views.updateBadgeButton.get());
  if (!updateControl) {
    QMCardLog("GUI event: open download page clicked");
    openDownloadPage();
    return;
  }
  if (!updateFailureMessage.empty()) {
    if (!showingServerMessage) showUpdateFailureDetail();
    return;
  }
  if (QMCanSwapUpdate(*this)) {
    // The swap runs once the host has quit.
    if (views.checkUpdatesBtn) views.checkUpdatesBtn->setHidden(true);
    showTemporaryUpdateBadgeText("Waiting for PT restart", QMAccentOrange(), 10);
    return;
  }
  presentSettingsCardForUpdateProgress();
  // An install that starts no updater ends at the download page: no start is shown for it.
  if (LaunchObstacle(*this, "install").empty()) showUpdateProgressForStage("launch_validated");
  launchUpdaterInstall();
}

// [main-thread]
void QMSettingsHelper::openDownloadPage() { qm::ui::Application::shared().openURL(kQMDownloadPageURL); }

// ---- the manual check ----------------------------------------------------------------------------

namespace {

// The manual check's answer: the button comes back, the offer is shown or hidden, and a passing
// title returns to "Check for Updates" after two seconds. Credits, lock and messages stay.
void HandleManualCheckAnswer(QMSettingsHelper& c, const QuillomancerServer::VerifyResult& answer, const std::string&) {
  QMModeTextButton* button = c.views.checkUpdatesBtn.get();
  if (button) {
    button->setEnabled(true);
    QMApplySmallSecondaryButtonTitle(button, kCheckForUpdatesTitle);
  }
  const char* passing = nullptr;
  if (answer.valid) {
    // Only a valid answer replaces the metadata: an offline answer carries none, and the offer on
    // screen must survive it.
    c.setUpdateMetadataFromVerify(answer);
    c.clearAckedPluginEvents(answer.ackedEventIds);
    // An offer is shown whatever its metadata: an offer the updater would refuse still leads to
    // the download page, and the check must not call a newer version "Up To Date".
    const std::string offered = QMOfferedUpdateVersion(answer);
    if (offered.empty()) {
      c.hideUpdateAvailable();
      passing = "Up To Date";
    } else {
      c.showUpdateAvailable(offered);
      if (c.views.checkUpdatesBtn) c.views.checkUpdatesBtn->setHidden(true);
      c.launchUpdaterPrefetchIfNeeded();
    }
  } else {
    passing = answer.offline ? "Server Offline" : "Check Failed";
  }
  if (!passing || !(button = c.views.checkUpdatesBtn.get())) return;
  QMApplySmallSecondaryButtonTitle(button, passing);
  c.checkUpdatesTitleResetStep =
      c.deferred.schedule(2.0, [weak = std::weak_ptr<QMModeTextButton>(c.views.checkUpdatesBtn)] {
    const auto shown = weak.lock();
    if (shown && !shown->isHidden()) QMApplySmallSecondaryButtonTitle(shown.get(), kCheckForUpdatesTitle);
  });
}

}  // namespace

// [main-thread]
void QMSettingsHelper::checkForUpdatesAction(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  QMCardLog("GUI event: check for updates clicked");
  const std::string token = AccessToken(guiOwner());
  if (!QMIsUsableAccessToken(token)) return;
  // A title reset still waiting from the last check must not cut into this one.
  deferred.cancel(checkUpdatesTitleResetStep);
  if (QMModeTextButton* button = views.checkUpdatesBtn.get()) {
    button->setEnabled(false);
    button->setTitle("Checking...");
  }
  recordPluginEvent("manual_update_check", "", "");
  ExchangeAccountStatus(*this, token, &HandleManualCheckAnswer);
}
