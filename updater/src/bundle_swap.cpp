#include "qm/updater/bundle_swap.h"

#include "qm/updater/download.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/swap_lock.h"
#include "qm/updater/update_report.h"
#include "qm/updater/url.h"

#include <filesystem>

namespace qm::updater {

namespace {

const std::string kBackupName = "Quillomancer.backup.aaxplugin";
const std::string kReplacingName = "Quillomancer.replacing.aaxplugin";

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Puts the installed bundle back from an operation folder when the target is empty, so that
// the folder (which may hold the only copy) can be cleared afterwards.
void restoreIfTargetMissing(UpdateReporter& report, const std::string& target,
                            const std::string& operationFolder) {
  if (itemExists(target)) return;
  SwapLocations where{target, "", operationFolder + "/" + kBackupName,
                      operationFolder + "/" + kReplacingName};
  if (!itemExists(where.backup) && !itemExists(where.replacing)) return;
  rollbackSwap(where);
  report.log("swap_restored_from=" + operationFolder);
}

// Rolls back after a failed apply. A rollback that fails turns the failure into
// swap_rollback_failed carrying both reasons, with a failed rollback event.
void rollBackOrFail(UpdateReporter& report, const SwapLocations& where, bool sendEvent,
                    const std::string& failureDetail) {
  try {
    rollbackSwap(where);
  } catch (const UpdaterError& e) {
    report.event("swap_rollback_failed", std::string("rollback"), std::nullopt, "failed");
    throw UpdaterError(UpdaterErrorCode::swapRollbackFailed, failureDetail + "; rollback: " + e.detail);
  }
  if (sendEvent) report.event("swap_rollback_complete", std::string("rollback"), std::nullopt, "success");
}

}  // namespace

SwapSettings SwapSettings::forProgram(const UpdaterContext& context) {
  SwapSettings s;
  s.helperCandidates = defaultHelperCandidates(context.programPath, context.paths.baseDirectory);
  return s;
}

int runSwap(UpdaterContext& context, const LaunchPayload& payload, const std::string& createdAt,
            const SwapSettings& settings) {
  UpdateReporter report(context, payload, createdAt);
  if (!payload.artifactURL || !payload.artifactSHA256)
    throw UpdaterError(UpdaterErrorCode::missingRequiredField, "Missing swap artifact fields");
  const std::string& artifactURL = *payload.artifactURL;
  const std::string& artifactSHA = *payload.artifactSHA256;
  if (!parseUrl(artifactURL)) throw UpdaterError(UpdaterErrorCode::invalidPayload, "artifact_url invalid");
  const std::string operationID = payload.operationID.value_or(payload.requestID);

  report.log("branch=swap");
  report.step("swap_op_created", std::nullopt, "swap_op_created", "preflight", "in_progress");

  const std::string artifact = context.cacheManager.swapArtifactURL(payload.targetVersion, artifactURL);
  report.step("download_started", "stage=download_started url=" + artifactURL,
              "swap_artifact_download_start", "download", "in_progress");
  context.downloader->download(artifactURL, artifact);
  report.step("download_ok", "stage=download_ok artifact=" + artifact, "swap_artifact_downloaded",
              "download", "success");
  verifyHash(artifact, artifactSHA);
  report.step("swap_preflight_ok", "stage=swap_preflight_ok", "swap_artifact_verified", "verify", "success");

  const std::string processName = processNameForHost(payload.host);
  if (isHostRunning(processName, settings.pgrepProgram)) {
    report.step("swap_host_waiting", "stage=swap_host_waiting process=" + processName, "swap_host_waiting",
                "apply", "in_progress");
    waitForHostToExit(processName, settings.hostWaitTimeoutSeconds, settings.hostPollSeconds,
                      settings.pgrepProgram);
  }
  report.step("swap_host_closed", "stage=swap_host_closed", "swap_host_closed", "apply", "success");

  createFolders(context.paths.swapLocksDirectory);
  createFolders(context.paths.swapStateDirectory);
  SwapLock lock = SwapLock::acquire(context.paths.swapLocksDirectory + "/swap.lock", operationID);

  // From here every exit removes the lock (the SwapLock's destructor), and every error that is
  // not an UpdaterError becomes swap_apply_failed.
  try {
    const std::string& target = settings.target;
    // A swap that was killed left its lock behind; if it left the target empty, its operation
    // folder holds the bundle to put back.
    if (const auto& dead = lock.takenOverFrom()) {
      const bool known = isUuidV4(*dead);  // anything else names no operation folder of ours
      report.log("swap_lock=taken_over previous=" + (known ? *dead : std::string("unknown")));
      if (known) restoreIfTargetMissing(report, target, context.paths.swapOperationsDirectory + "/" + *dead);
    }

    createFolders(context.paths.swapOperationsDirectory);
    const std::string operationFolder = context.paths.swapOperationsDirectory + "/" + operationID;
    if (itemExists(operationFolder)) {
      // A retry: the earlier attempt's backup or moved-aside bundle may be the only copy left.
      restoreIfTargetMissing(report, target, operationFolder);
      removeItem(operationFolder);
    }
    createFolders(operationFolder);

    // Stage the copy that was checked, not the cache file that could change meanwhile.
    const std::string ownArtifact = operationFolder + "/" + fileName(artifact);
    copyItemReplaceIfExists(artifact, ownArtifact);
    verifyHash(ownArtifact, artifactSHA);
    const SwapLocations where{target, stagePluginBundle(ownArtifact, operationFolder, settings.unzipProgram),
                              operationFolder + "/" + kBackupName, operationFolder + "/" + kReplacingName};

    if (!itemExists(target))
      throw UpdaterError(UpdaterErrorCode::swapApplyFailed, "target plugin missing at " + target);

    try {
      copyItemReplaceIfExists(target, where.backup);
    } catch (const UpdaterError&) {
      throw;
    } catch (const std::exception& e) {
      throw UpdaterError(UpdaterErrorCode::swapBackupFailed, e.what());
    }
    report.step("swap_backup_captured", "stage=swap_backup_captured", "swap_backup_captured", "apply",
                "success");

    bool firstMoveDone = false;
    int moveErrno = 0;
    std::string moveDetail;
    try {
      moveItemReplaceIfExists(target, where.replacing);
      firstMoveDone = true;
      moveItemReplaceIfExists(where.staged, target);
    } catch (const FileOperationError& e) {
      moveErrno = e.error();
      moveDetail = e.what();
    }
    if (moveErrno == 0) {
      report.step("swap_applied", "stage=swap_applied", "swap_applied", "apply", "success");
    } else if (tryPrivilegedHelperApplyIfNeeded(where, moveErrno, settings.helperCandidates)) {
      report.step("swap_applied", "stage=swap_applied_via_helper", "swap_applied", "apply", "success");
    } else {
      // Only a target that was moved away needs putting back.
      if (firstMoveDone) rollBackOrFail(report, where, false, moveDetail);
      report.event("swap_rollback_complete", std::string("rollback"), std::nullopt, "success");
      throw UpdaterError(UpdaterErrorCode::swapApplyFailed, moveDetail);
    }

    if (!itemExists(target)) {
      rollBackOrFail(report, where, false, "postcheck target missing");
      throw UpdaterError(UpdaterErrorCode::swapApplyFailed, "postcheck target missing");
    }
    report.step("swap_postcheck_ok", std::nullopt, "swap_postcheck_ok", "postcheck", "success");
    report.step("swap_commit_complete", "stage=swap_commit_complete", "swap_commit_complete", "commit",
                "success");
  } catch (const UpdaterError&) {
    throw;
  } catch (const std::exception& e) {
    throw UpdaterError(UpdaterErrorCode::swapApplyFailed, e.what());
  }
  lock.release();
  return 0;
}

}  // namespace qm::updater
