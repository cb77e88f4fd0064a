#include "qm/updater/bundle_swap.h"

#include "qm/platform/files.h"
#include "qm/updater/cache_manager.h"
#include "qm/updater/download.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/status_store.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/swap_recovery.h"
#include "qm/updater/update_report.h"
#include "qm/updater/url.h"

#include <filesystem>

namespace qm::updater {

namespace {

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// A retry that finds the target empty. Where the request that made the operation folder says its
// swap is not finished (its rollback failed), that swap emptied the target: the installed bundle
// goes back from the folder, which may hold the only copy, before the folder is cleared. Any other
// empty target is the user's doing: it stays empty, and the swap ends as for a missing target.
// This request's own status is this run's by now; it runs again only after a failure that left a
// bundle at the target, and a swap of it that was killed is put right under the lock before this.
void restoreIfOursLeftTargetEmpty(UpdaterContext& context, UpdateReporter& report, const std::string& target,
                                  const std::string& operationFolder, const std::string& requestID) {
  if (itemExists(target)) return;
  const std::optional<UpdateStatus> unfinished = unfinishedSwapIn(context, operationFolder);
  if (!unfinished || unfinished->requestID == requestID) return;
  const SwapLocations where = operationLocations(target, "", operationFolder);
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

// After the exchange the replaced bundle stands at the exchange sibling: it goes into the
// operation folder. When it cannot, it is exchanged back and the failure is thrown. When that
// fails too, the new bundle stands whole at the target and the swap goes on: the backup keeps the
// installed bundle, and what stands beside the target is cleared.
void keepReplacedBundle(UpdateReporter& report, const SwapLocations& where, const std::string& sibling) {
  int e = itemExists(where.replacing) ? removeItem(where.replacing) : 0;
  if (e == 0) e = moveItem(sibling, where.replacing);
  if (e == 0) return;
  const std::string detail = FileOperationError(e, sibling).what();
  if (exchangeItems(sibling, where.target) != 0) {
    report.log("swap_replaced_bundle_left_beside detail=" + detail);
    clearBeside(where.target);
    return;
  }
  clearBeside(where.target);
  report.event("swap_rollback_complete", std::string("rollback"), std::nullopt, "success");
  throw UpdaterError(UpdaterErrorCode::swapApplyFailed, detail);
}

// Removes, as it goes out of scope, what a move across file systems left of its source.
struct LeftOver {
  std::string path;
  ~LeftOver() {
    try {
      if (!path.empty() && itemExists(path)) removeItem(path);
    } catch (...) {  // only litter: the next swap's sweep takes it
    }
  }
};

// Where the file system cannot exchange: the installed bundle aside, then the new one from beside
// the target straight into its place, so that the target stands empty for that one step. What a
// move across file systems left of the installed bundle is deleted only after that. Throws
// FileOperationError (with `movedAside` telling whether the target was moved away), or a stop's
// failure once the installed bundle is back.
void moveInWithoutExchange(UpdateReporter& report, const SwapLocations& where, const std::string& sibling,
                           bool& movedAside) {
  LeftOver left;
  if (itemExists(where.replacing))
    if (int e = removeItem(where.replacing)) throw FileOperationError(e, where.replacing);
  if (int e = moveItemLeavingSource(where.target, where.replacing, left.path)) throw FileOperationError(e, where.target);
  movedAside = true;
  // A polite stop between the moves: the installed bundle goes back, as after a failed move, and
  // the swap may be run again, as after a kill at the same point.
  if (const auto stop = stopAfterPuttingBack()) {
    rollBackOrFail(report, where, true, "stopped between the moves");
    clearBeside(where.target);
    throw *stop;
  }
  if (int e = moveItem(sibling, where.target)) throw FileOperationError(e, sibling);
}

// Puts the staged bundle in place of the installed one. The new bundle is moved whole beside the
// target (onto its file system) and exchanged with it in one step, so the target always holds
// one whole bundle; then the replaced bundle goes into the operation folder. Where the file
// system cannot exchange, there are two moves (above). Returns how the new bundle got there
// ("stage=swap_applied" or "stage=swap_applied_via_helper" for the log); on failure the
// installed bundle is back at the target and the error is thrown.
std::string applyBundles(UpdateReporter& report, const SwapLocations& where, const SwapSettings& settings) {
  const std::string sibling = exchangeSiblingOf(where.target);
  bool movedAside = false;
  int moveErrno = 0;
  std::string moveDetail;
  // A stop before the target is touched: what was carried beside it goes, and the swap ends as
  // one that may simply be run again.
  const auto stopBeforeAnyChange = [&] {
    if (requestedStopSignal() == 0) return;
    clearBeside(where.target);
    throwIfStopRequestedBeforeChanges();
  };
  try {
    if (int e = clearBeside(where.target)) throw FileOperationError(e, sibling);
    if (int e = moveItem(where.staged, sibling)) throw FileOperationError(e, where.staged);
    // A polite stop while the bundle was carried over: the installed bundle was not touched.
    stopBeforeAnyChange();
    const int exchanged = exchangeItems(sibling, where.target);
    if (exchanged == 0) {
      keepReplacedBundle(report, where, sibling);
      return stageLine(stage::swapApplied);
    }
    if (!isExchangeRefused(exchanged)) throw FileOperationError(exchanged, sibling);
    // Nothing has been changed yet, so a stop that came meanwhile ends here as before any change.
    stopBeforeAnyChange();
    moveInWithoutExchange(report, where, sibling, movedAside);
    return stageLine(stage::swapApplied);
  } catch (const FileOperationError& e) {
    moveErrno = e.error();
    moveDetail = e.what();
  }

  // The helper makes the moves itself, from the staged bundle and with the installed bundle at
  // the target: what was done already is undone before it starts.
  if (isPermissionErrno(moveErrno)) {
    if (movedAside && moveItem(where.replacing, where.target) != 0) rollBackOrFail(report, where, false, moveDetail);
    movedAside = false;
    if (!itemExists(where.staged) && itemExists(sibling)) moveItem(sibling, where.staged);
  }
  if (tryPrivilegedHelperApplyIfNeeded(where, moveErrno, settings.helperCandidates))
    return "stage=swap_applied_via_helper";

  // Only a target that was moved away needs putting back.
  if (movedAside) rollBackOrFail(report, where, false, moveDetail);
  clearBeside(where.target);
  report.event("swap_rollback_complete", std::string("rollback"), std::nullopt, "success");
  throw UpdaterError(UpdaterErrorCode::swapApplyFailed, moveDetail);
}

// The request's artifact, downloaded into the cache and checked; reported as the operation is
// created, as the download starts, as it ends and once the artifact's hash matches.
std::string fetchArtifact(UpdaterContext& context, UpdateReporter& report, const LaunchPayload& payload) {
  const std::string& artifactURL = *payload.artifactURL;
  report.log("branch=swap");
  report.step(stage::swapOpCreated, std::nullopt, "swap_op_created", "preflight", "in_progress");
  const std::string artifact = context.cacheManager.swapArtifactURL(payload.targetVersion, artifactURL);
  report.step(stage::downloadStarted, stageLine(stage::downloadStarted) + " url=" + artifactURL,
              "swap_artifact_download_start", "download", "in_progress");
  context.downloader->download(artifactURL, artifact);
  throwIfStopRequestedBeforeChanges();
  report.step(stage::downloadOk, stageLine(stage::downloadOk) + " artifact=" + artifact,
              "swap_artifact_downloaded", "download", "success");
  verifyHash(artifact, *payload.artifactSHA256);
  report.step(stage::swapPreflightOk, stageLine(stage::swapPreflightOk), "swap_artifact_verified", "verify",
              "success");
  return artifact;
}

// Waits while the host runs; reported as waiting (only when it runs), then as closed.
void waitForHostToQuit(UpdateReporter& report, const std::string& processName, const SwapSettings& settings) {
  if (isHostRunning(processName, settings.pgrepProgram)) {
    report.step(stage::swapHostWaiting, stageLine(stage::swapHostWaiting) + " process=" + processName,
                "swap_host_waiting", "apply", "in_progress");
    waitForHostToExit(processName, settings.hostWaitTimeoutSeconds, settings.hostPollSeconds,
                      settings.pgrepProgram);
  }
  report.step(stage::swapHostClosed, stageLine(stage::swapHostClosed), "swap_host_closed", "apply", "success");
  throwIfStopRequestedBeforeChanges();
}

// A swap that was killed left its lock behind: what it left is put right before anything else.
void settleDeadSwap(UpdaterContext& context, const SwapSettings& settings, SwapLock& lock,
                    const LaunchPayload& payload, const std::string& operationID, const std::string& processName) {
  if (!lock.takenOverFrom()) return;
  Recovery recovery = Recovery::settled;
  try {
    recovery = recoverOperation(context, settings, lock, payload.requestID);
  } catch (const UpdaterError&) {
    lock.abandon();  // the dead swap's bundle is still away: the lock keeps naming it
    throw;
  }
  if (recovery == Recovery::deferred) {
    // Its bundle must not change now: the lock keeps naming it for a later start.
    lock.abandon();
    throwIfStopRequestedBeforeChanges();
    throw UpdaterError(UpdaterErrorCode::swapHostStillRunning, processName + " still running");
  }
  lock.setMarker(operationID);
}

// The operation folder made anew, naming the request for the recovery should this run die.
std::string prepareOperationFolder(UpdaterContext& context, UpdateReporter& report, const std::string& target,
                                   const std::string& operationID, const std::string& requestID) {
  createFolders(context.paths.swapOperationsDirectory);
  const std::string operationFolder = context.paths.swapOperationsDirectory + "/" + operationID;
  if (itemExists(operationFolder)) {
    // A retry: the earlier attempt's backup or moved-aside bundle may be the only copy left.
    if (!itemExists(target)) throwIfStopRequestedBeforeChanges();
    restoreIfOursLeftTargetEmpty(context, report, target, operationFolder, requestID);
    removeItem(operationFolder);
  }
  createFolders(operationFolder);
  const std::string requestFile = operationFolder + "/" + kOperationRequestFile;
  if (const int e = platform::writeFileAtomic(requestFile, requestID)) throw FileOperationError(e, requestFile);
  recordOperationBegan(operationFolder);
  throwIfStopRequestedBeforeChanges();
  return operationFolder;
}

// Stages the replacement from the operation's own copy of the artifact (the cache file could
// change meanwhile) and records what it looks like whole, so that a recovery can tell it at the
// target.
SwapLocations stageReplacement(const std::string& target, const std::string& operationFolder,
                               const std::string& artifact, const std::string& artifactSHA,
                               const SwapSettings& settings) {
  const std::string ownArtifact = operationFolder + "/" + fileName(artifact);
  copyItemReplaceIfExists(artifact, ownArtifact);
  verifyHash(ownArtifact, artifactSHA);
  const SwapLocations where = operationLocations(
      target, stagePluginBundle(ownArtifact, operationFolder, settings.unzipProgram), operationFolder);
  recordStagedFingerprint(operationFolder, where.staged);
  throwIfStopRequestedBeforeChanges();
  return where;
}

// Copies the installed bundle to the backup; reported as captured. A missing target (the user
// removed the plug-in) ends the swap here, and nothing is installed.
void captureBackup(UpdateReporter& report, const SwapLocations& where) {
  if (!itemExists(where.target))
    throw UpdaterError(UpdaterErrorCode::swapApplyFailed, "target plugin missing at " + where.target);
  try {
    copyItemReplaceIfExists(where.target, where.backup);
  } catch (const UpdaterError&) {
    throw;
  } catch (const std::exception& e) {
    throw UpdaterError(UpdaterErrorCode::swapBackupFailed, e.what());
  }
  report.step(stage::swapBackupCaptured, stageLine(stage::swapBackupCaptured), "swap_backup_captured", "apply",
              "success");
}

// Moves the bundles, checks that the target holds one and commits; reported as applied (by the
// updater or through the helper), as checked and as committed.
void applyCheckAndCommit(UpdateReporter& report, const SwapLocations& where, const SwapSettings& settings,
                         const std::string& processName) {
  // The host may have been started again while the bundle was staged and backed up: it keeps
  // its bundle, and nothing has been moved yet.
  if (isHostRunning(processName, settings.pgrepProgram))
    throw UpdaterError(UpdaterErrorCode::swapHostStillRunning, processName + " still running");
  throwIfStopRequestedBeforeChanges();

  const std::string appliedLine = applyBundles(report, where, settings);
  report.step(stage::swapApplied, appliedLine, "swap_applied", "apply", "success");
  if (!itemExists(where.target)) {
    rollBackOrFail(report, where, false, "postcheck target missing");
    throw UpdaterError(UpdaterErrorCode::swapApplyFailed, "postcheck target missing");
  }
  report.step(stage::swapPostcheckOk, std::nullopt, "swap_postcheck_ok", "postcheck", "success");
  report.step(stage::swapCommitComplete, stageLine(stage::swapCommitComplete), "swap_commit_complete", "commit",
              "success");
}

}  // namespace

SwapLocations operationLocations(const std::string& target, const std::string& staged,
                                 const std::string& operationFolder) {
  return {target, staged, operationFolder + "/" + kBackupBundleName, operationFolder + "/" + kReplacingBundleName};
}

SwapSettings SwapSettings::forProgram(const UpdaterContext& context) {
  SwapSettings s;
  s.helperCandidates = defaultHelperCandidates(context.programPath, context.paths.baseDirectory);
  return s;
}

int runSwap(UpdaterContext& context, const LaunchPayload& payload, const std::string& createdAt,
            const SwapSettings& settings) {
  SwapLock lock;
  return runSwap(context, payload, createdAt, settings, lock);
}

int runSwap(UpdaterContext& context, const LaunchPayload& payload, const std::string& createdAt,
            const SwapSettings& settings, SwapLock& lock) {
  UpdateReporter report(context, payload, createdAt);
  if (!payload.artifactURL || !payload.artifactSHA256)
    throw UpdaterError(UpdaterErrorCode::missingRequiredField, "Missing swap artifact fields");
  if (!parseUrl(*payload.artifactURL)) throw UpdaterError(UpdaterErrorCode::invalidPayload, "artifact_url invalid");
  const std::string operationID = payload.operationID.value_or(payload.requestID);

  const std::string artifact = fetchArtifact(context, report, payload);
  const std::string processName = processNameForHost(payload.host);
  waitForHostToQuit(report, processName, settings);

  createFolders(context.paths.swapLocksDirectory);
  createFolders(context.paths.swapStateDirectory);
  lock = SwapLock::acquire(context.paths.swapLocksDirectory + "/" + kSwapLockFile, operationID);

  // From here every error that is not an UpdaterError becomes swap_apply_failed; the lock stays
  // held (by `lock`, the caller's) until the caller has written the run's last status.
  const std::string& target = settings.target;
  bool haveOperationFolder = false;
  // Once the swap has ended with a bundle at the target (committed, or rolled back), older
  // operations are of no more use: the newest two are kept.
  const auto pruneOperations = [&] {
    if (haveOperationFolder && itemExists(target))
      pruneOperationFolders(context.paths.swapOperationsDirectory, operationID);
  };
  try {
    settleDeadSwap(context, settings, lock, payload, operationID, processName);
    const std::string operationFolder = prepareOperationFolder(context, report, target, operationID, payload.requestID);
    haveOperationFolder = true;
    const SwapLocations where = stageReplacement(target, operationFolder, artifact, *payload.artifactSHA256, settings);
    captureBackup(report, where);
    applyCheckAndCommit(report, where, settings, processName);
  } catch (const UpdaterError& e) {
    if (e.errorCode != UpdaterErrorCode::swapRollbackFailed) pruneOperations();
    throw;
  } catch (const std::exception& e) {
    pruneOperations();
    throw UpdaterError(UpdaterErrorCode::swapApplyFailed, e.what());
  }
  pruneOperations();
  return 0;
}

}  // namespace qm::updater
