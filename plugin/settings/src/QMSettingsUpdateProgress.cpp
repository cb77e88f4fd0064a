// The updater's progress as the window's timer call polls it from the status file, the failure
// state with its card, Retry and Manual download, the two badges, and the forced-update lock.

#include "QMSettingsCardInternal.h"
#include "QMSettingsUpdatesPrivate.h"

#include "QMUpdateTexts.h"
#include "QMUpdaterProcessRegistry.h"
#include "QMWindowLook.h"

#include "qm/platform/browser.h"
#include "qm/platform/file_lock.h"
#include "qm/platform/files.h"
#include "qm/platform/json.h"
#include "qm/platform/paths.h"
#include "qm/platform/thread_check.h"
#include "qm/platform/uuid.h"
#include "qm/updater/status_vocabulary.h"
#include "qm/ui/application.h"

#include <cerrno>
#include <map>
#include <optional>

namespace {

// The main page's version label and update button: compact for the installed version alone,
// wide for three lines.
constexpr qm::ui::Rect kCompactVersionFrame{288, 8, 128, 16};
constexpr qm::ui::Rect kWideVersionFrame{76, 8, 340, 56};

// A status document is a few hundred bytes; anything far larger is not one.
constexpr size_t kStatusFileMaxBytes = 64 * 1024;

struct UpdaterStatus {
  std::string status, stage, errorCode, targetVersion;
};

std::string TextOf(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<UpdaterStatus> ReadStatusFile(const std::string& path) {
  std::string bytes;
  if (!qm::platform::readFile(path, bytes, kStatusFileMaxBytes)) return std::nullopt;
  const std::optional<nlohmann::json> object = qm::platform::parseJsonObject(bytes);
  if (!object) return std::nullopt;
  return UpdaterStatus{TextOf(*object, "status"), TextOf(*object, "stage"), TextOf(*object, "error_code"),
                       TextOf(*object, "target_version")};
}

// The updates that ended in this run of the host, by target version, with the last stage each
// came to. The host runs the version it loaded until it starts again, so what that stage says
// stays true for the whole run, whichever window shows it. Main thread only.
std::map<std::string, std::string>& FinishedUpdates() {
  static std::map<std::string, std::string> finished;
  return finished;
}

}  // namespace

void QMForgetFinishedUpdates() { FinishedUpdates().clear(); }

std::string QMFinishedUpdateStage(const std::string& version) {
  const auto& finished = FinishedUpdates();
  const auto it = finished.find(version);
  return it != finished.end() ? it->second : std::string();
}

void QMSetMainVersionLabelWide(const QMSettingsViews& views, bool wide) {
  const qm::ui::Rect& frame = wide ? kWideVersionFrame : kCompactVersionFrame;
  if (views.versionLabel) views.versionLabel->setFrame(frame);
  if (views.updateButton) views.updateButton->setFrame(frame);
  // The wide button covers the lower half of Check for Updates: the visible button keeps its
  // clicks.
  if (views.checkUpdatesBtn) views.checkUpdatesBtn->bringToFront();
}

void QMSetVersionLabelsText(const QMSettingsViews& views, const std::string& text, const qm::ui::Color& colour) {
  for (qm::ui::TextField* label : {views.versionLabel.get(), views.updateReqVersionLabel.get()})
    if (label) label->setAttributedStringValue(QMVersionLabelAttributedString(text, colour));
}

// ---- polling --------------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::processUpdaterStatusFromDefaults() {
  QM_ASSERT_THREAD(main);
  auto& defaults = QMUpdateDefaults(*this);
  const std::string requestId = defaults.stringForKey(kQMPendingRequestIdKey);
  if (requestId.empty()) return;
  // The id names a file: anything but a UUID is dropped, never followed.
  if (!qm::platform::isUuidText(requestId)) {
    defaults.remove(kQMPendingRequestIdKey);
    defaults.synchronize();
    return;
  }
  const std::string statusFolder = qm::platform::joinPath(qm::platform::homeDirectory(), kQMUpdateStatusRelativePath);
  const std::string path = qm::platform::joinPath(statusFolder, requestId + ".json");
  // Whether the updater has exited is asked before the file is read, so a status it wrote just
  // before exiting is what the read finds.
  const QMUpdaterProcessRegistry::Status process = QMUpdaterProcessRegistry::shared().status(requestId);
  const bool exited = process.state == QMUpdaterProcessRegistry::State::exited;
  std::optional<UpdaterStatus> file = ReadStatusFile(path);
  const auto isFinal = [](const std::optional<UpdaterStatus>& f) {
    return f && (f->status != "success" || QMIsUpdaterStageTerminal(f->stage));
  };
  // An updater started by an earlier run of the host (or by another host) is no child of this
  // process: its request lock tells, whether or not it wrote a status yet (it takes the lock,
  // having made the status folder, before its first status). Free, or no status folder at all, no
  // updater runs the request any more; the file is read again under the lock, in case the updater
  // wrote its last status and let go just now.
  bool orphaned = false;
  if (!isFinal(file) && process.state == QMUpdaterProcessRegistry::State::unknown) {
    int error = 0;
    qm::platform::RemovableFileLock lock =
        qm::platform::RemovableFileLock::acquire(QMUpdaterRequestLockPath(statusFolder, requestId), false, &error);
    if (lock.held()) {
      file = ReadStatusFile(path);
      orphaned = true;
    } else if (error == ENOENT && !file) {
      orphaned = true;
    }
  }
  if (!file && !exited && !orphaned) return;
  // An updater that refuses a request writes no status, and one that crashes or is killed leaves
  // its last stage behind: either way nothing more will come, and polling would never end.
  if ((exited || orphaned) && !isFinal(file)) {
    std::string target = defaults.stringForKey(kQMPendingTargetVersionKey);
    if (file && !file->targetVersion.empty()) target = file->targetVersion;
    if (exited) {
      const int code = process.exitCode >= 0 ? process.exitCode : 128 + process.signal;
      QMCardLog(QMCardFormat(file ? "Update failed — updater exited with code %d before reporting a final status"
                                  : "Update launch failed — updater exited with code %d before reporting a status",
                             code));
    } else {
      QMCardLog(file ? "Update failed — updater no longer runs and reported no final status"
                     : "Update launch failed — updater no longer runs and reported no status");
    }
    file = UpdaterStatus{"failed", "failed",
                         std::string(file ? qm::updater::kUpdaterExitedBeforeFinalStatus
                                              : qm::updater::kUpdaterExitedWithoutStatus),
                         target};
  }
  const UpdaterStatus& s = *file;

  if (s.status == "success") {
    if (!s.stage.empty()) showUpdateProgressForStage(s.stage);
    if (!QMIsUpdaterStageTerminal(s.stage)) {
      defaults.synchronize();
      return;
    }
    if (s.stage == "ready_to_install") {
      if (!s.targetVersion.empty()) defaults.set(kQMReadyTargetVersionKey, s.targetVersion);
      if (s.targetVersion == updateTargetVersion)
        refreshVersionStatusLabelsWithColor(QMAccentOrange(), updateTargetVersion);
      recordPluginEvent("prefetch_ready", requestId, "");
    } else {
      recordPluginEvent("installer_open_ok", requestId, "");
      // Installed, its installer opened, or rolled back: the update of this version is over for
      // this run (a final "failed" with a success status ends nothing).
      if (s.stage != qm::updater::stage::failed)
        FinishedUpdates()[s.targetVersion.empty() ? updateTargetVersion : s.targetVersion] = s.stage;
    }
  } else if (s.status == "failed") {
    recordPluginEvent("installer_open_failed", requestId, s.errorCode);
    const bool sameTarget = defaults.stringForKey(kQMFailureTargetVersionKey) == s.targetVersion;
    const std::int64_t count = sameTarget ? defaults.integerForKey(kQMFailureCountKey) + 1 : 1;
    defaults.set(kQMFailureTargetVersionKey, s.targetVersion);
    defaults.set(kQMFailureCountKey, count);
    defaults.set(kQMFailureCodeKey, s.errorCode);
    // A swap that may simply be run again is launched anew by the prefetch rule at the next
    // answer (the next opening of the window), instead of waiting for a newer version; but not
    // for ever: from the last allowed failure in a row on, the failure state stays.
    if (defaults.has(kQMPendingOperationIdKey) && QMRelaunchesSwapAutomatically(s.errorCode, count))
      defaults.remove(kQMLastPrefetchTargetKey);
    for (const char* key : {kQMReadyTargetVersionKey, kQMPendingRequestIdKey, kQMPendingOperationIdKey})
      defaults.remove(key);
    defaults.synchronize();
    QMUpdaterProcessRegistry::shared().forget(requestId);
    applyUpdateFailureForErrorCode(s.errorCode, s.targetVersion);
    return;
  }
  // A final success, or a status of neither kind: the request is done with.
  if (s.stage != "ready_to_install") defaults.remove(kQMReadyTargetVersionKey);
  defaults.remove(kQMPendingRequestIdKey);
  defaults.remove(kQMPendingOperationIdKey);
  defaults.synchronize();
  QMUpdaterProcessRegistry::shared().forget(requestId);
}

// [main-thread]
void QMSettingsHelper::showUpdateProgressForStage(const std::string& stage) {
  QMShowView(views.checkUpdatesBtn, false);
  setMainHealthIndicatorHidden(true);
  QMSetMainVersionLabelWide(views, true);
  QMSetVersionLabelsText(views,
                         QMInstalledToTargetVersionProgressLabelString(updateTargetVersion,
                                                                       QMUserFacingUpdaterProgressBodyForStage(stage)),
                         QMAccentOrange());
}

// ---- failure -----------------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::applyUpdateFailureForErrorCode(const std::string& errorCode, const std::string& targetVersion) {
  QM_ASSERT_THREAD(main);
  auto& defaults = QMUpdateDefaults(*this);
  updateFailureDownloadURL = QMUpdateFailureLink(updatePkgURL);
  updateFailureMessage = QMUpdateFailureMessage(errorCode, updateFailureDownloadURL);
  defaults.remove(kQMReadyTargetVersionKey);

  const std::string& version = targetVersion.empty() ? updateTargetVersion : targetVersion;
  QMSetMainVersionLabelWide(views, !version.empty());
  QMSetVersionLabelsText(views, QMInstalledToTargetVersionLabelString(version, false) + " failed", QMAccentOrange());
  if (views.updateBadgeLabel) {
    views.updateBadgeLabel->setStringValue("Update failed");
    views.updateBadgeLabel->setTextColor(QMAccentRed());
  }
  QMShowViews({views.updateBadgeLabel.get(), views.updateButton.get(), views.updateReqUpdateButton.get(),
               views.updateBadgeButton.get()},
              true);
  QMShowView(views.checkUpdatesBtn, false);
  setMainHealthIndicatorHidden(true);

  if (!targetVersion.empty()) defaults.set(kQMFailureTargetVersionKey, targetVersion);
  defaults.set(kQMFailureCodeKey, errorCode);
  defaults.synchronize();
}

// [main-thread]
void QMSettingsHelper::showUpdateFailureDetail() {
  if (updateFailureMessage.empty() || showingServerMessage) return;
  showingUpdateFailureDetail = true;
  QMShowView(views.settingsCard, true);
  QMShowView(views.mainView, false);
  QMShowView(views.updateRequiredView, false);
  QMShowMessagePage(*this, true);
  if (views.messageTitleLabel) views.messageTitleLabel->setStringValue("Update failed");
  if (views.messageBodyLabel)
    views.messageBodyLabel->setStringValue("Try automatic update again, or download the installer manually.");
  QMShowView(views.updateFailureRetryButton, true);
  QMShowView(views.updateFailureManualButton, true);
  syncBackgroundEditorForSettingsVisibility();
}

// [main-thread]
void QMSettingsHelper::clearUpdateFailureState() {
  updateFailureMessage.clear();
  updateFailureDownloadURL.clear();
  showingUpdateFailureDetail = false;
  QMShowView(views.updateFailureRetryButton, false);
  QMShowView(views.updateFailureManualButton, false);
  // The shield goes with the message page: left up alone it would take every click.
  if (!showingServerMessage) QMShowMessagePage(*this, false);
  auto& defaults = QMUpdateDefaults(*this);
  defaults.remove(kQMFailureCodeKey);
  defaults.synchronize();
}

// [main-thread]
void QMSettingsHelper::retryUpdateFailureAction(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  QMCardLog("GUI event: update failure retry clicked");
  clearUpdateFailureState();
  presentSettingsCardForUpdateProgress();
  showUpdateProgressForStage("launch_validated");
  // The user's try, whatever the failures in a row: one more launch; its failure counts on.
  launchUpdaterWithAction(QMCanSwapUpdate(*this) ? "swap" : "install");
}

// [main-thread]
void QMSettingsHelper::manualDownloadUpdateAction(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  QMCardLog("GUI event: update failure manual download clicked");
  const std::string& link = updateFailureDownloadURL;
  qm::ui::Application::shared().openURL(qm::platform::isOpenableWebLink(link) ? link : kQMDownloadPageURL);
}

// [main-thread]
void QMSettingsHelper::presentSettingsCardForUpdateProgress() {
  QMShowView(views.checkUpdatesBtn, false);
  setMainHealthIndicatorHidden(true);
  QMShowView(views.settingsCard, true);
  QMShowMessagePage(*this, false);
  showingUpdateFailureDetail = false;
  QMShowView(views.updateRequiredView, forceUpdateRequired);
  QMShowView(views.mainView, !forceUpdateRequired);
  syncBackgroundEditorForSettingsVisibility();
}

// [main-thread]
void QMSettingsHelper::showUpdateProgressTitle(const std::string& title, const std::string& body) {
  QMShowView(views.mainView, false);
  QMShowView(views.updateRequiredView, false);
  QMShowView(views.messageView, true);
  if (views.messageTitleLabel) views.messageTitleLabel->setStringValue(title.empty() ? "Updating..." : title);
  if (views.messageBodyLabel) views.messageBodyLabel->setStringValue(body);
  QMShowView(views.updateFailureRetryButton, false);
  QMShowView(views.updateFailureManualButton, false);
}

// ---- badges ------------------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::showTemporaryUpdateBadgeText(const std::string& text, std::optional<qm::ui::Color> colour,
                                                    double seconds) {
  if (!views.updateBadgeLabel) return;
  const std::uint64_t token = ++updateBadgeAnimationToken;
  views.updateBadgeLabel->setStringValue(text);
  views.updateBadgeLabel->setTextColor(colour.value_or(QMAccentOrange()));
  QMShowView(views.updateBadgeLabel, true);
  QMShowView(views.updateBadgeButton, true);
  if (seconds <= 0) return;
  deferred.schedule(seconds, [this, token] {
    if (updateBadgeAnimationToken != token) return;
    if (!updateFailureMessage.empty()) {
      if (views.updateBadgeLabel) {
        views.updateBadgeLabel->setStringValue("Update failed");
        views.updateBadgeLabel->setTextColor(QMAccentRed());
      }
      return;
    }
    QMShowView(views.updateBadgeLabel, false);
    QMShowView(views.updateBadgeButton, false);
  });
}

bool QMIsShowingUpdateSuccessBadge(const QMSettingsViews& views) {
  const auto& badge = views.updateBadgeLabel;
  return badge && !badge->isHidden() && badge->stringValue() == kQMUpdateSuccessBadgeText;
}

// [main-thread]
void QMSettingsHelper::showUpdateSuccessBadgeForVersion(const std::string&) {
  const std::uint64_t token = ++updateBadgeAnimationToken;
  clearUpdateFailureState();
  setMainHealthIndicatorHidden(false);
  auto& defaults = QMUpdateDefaults(*this);
  defaults.remove(kQMReadyTargetVersionKey);
  defaults.synchronize();
  QMSetMainVersionLabelWide(views, false);
  QMSetVersionLabelsText(views, QMInstalledVersionLabelString(), QMTextSecondary());
  QMShowViews({views.updateButton.get(), views.updateReqUpdateButton.get(), views.updateBadgeButton.get()}, false);
  // Shown for ten seconds, then hidden, unless another badge came meanwhile. Nothing to click.
  if (views.updateBadgeLabel) {
    views.updateBadgeLabel->setStringValue(kQMUpdateSuccessBadgeText);
    views.updateBadgeLabel->setTextColor(QMAccentGreen());
    QMShowView(views.updateBadgeLabel, true);
  }
  deferred.schedule(10, [this, token] {
    if (updateBadgeAnimationToken == token) QMShowView(views.updateBadgeLabel, false);
  });
}

// ---- the forced-update lock --------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::applyForcedUpdateLock(const std::string& minimumVersion) {
  QM_ASSERT_THREAD(main);
  forceUpdateRequired = true;
  if (QMSettingsHelperOwner* window = guiOwner()) window->SetMinimumVersionLock(true, minimumVersion);
  showUpdateRequiredWithMinimumVersion(minimumVersion);
  QMShowView(views.settingsCard, true);
  syncBackgroundEditorForSettingsVisibility();
  showUpdateAvailable("");
}

// [main-thread]
void QMSettingsHelper::clearForcedUpdateLock() {
  forceUpdateRequired = false;
  if (QMSettingsHelperOwner* window = guiOwner()) window->SetMinimumVersionLock(false, "");
}

// [main-thread]
void QMSettingsHelper::showUpdateRequiredWithMinimumVersion(const std::string& minimumVersion) {
  QMShowView(views.mainView, false);
  QMShowView(views.messageView, false);
  QMShowView(views.updateRequiredView, true);
  QMShowView(views.checkUpdatesBtn, false);
  if (views.updateReqMsgLabel) views.updateReqMsgLabel->setStringValue(QMUpdateRequiredMessageString());
  if (views.updateReqMinLabel) {
    views.updateReqMinLabel->setStringValue(QMMinimumRequiredVersionString(minimumVersion));
    views.updateReqMinLabel->setHidden(false);
  }
}
