#include "qm/updater/swap_recovery.h"

#include "qm/platform/files.h"
#include "qm/updater/bundle_swap.h"
#include "qm/updater/cache_manager.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/host_wait.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/path_text.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/small_file.h"
#include "qm/updater/status_store.h"
#include "qm/updater/status_vocabulary.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/time_text.h"
#include "qm/updater/update_report.h"

#include <functional>

namespace qm::updater {

namespace {

constexpr size_t kMaxRequestFileBytes = 64;
constexpr size_t kFingerprintBytes = 64;

// The request an operation folder belongs to, when it names one.
std::optional<std::string> operationRequest(const std::string& operationFolder) {
  try {
    std::string id = readSmallFile(operationFolder + "/" + kOperationRequestFile, kMaxRequestFileBytes);
    if (isUuidV4(id)) return id;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<std::string> recordedStagedFingerprint(const std::string& operationFolder) {
  try {
    std::string text = readSmallFile(operationFolder + "/" + kStagedFingerprintFile, kFingerprintBytes);
    if (isLowercaseSha256(text)) return text;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

bool rollbackFailed(const UpdateStatus& status) {
  return status.status == "failed" &&
         status.errorCode.value_or("") == errorCodeText(UpdaterErrorCode::swapRollbackFailed);
}

// The request's swap has ended and left a bundle at the target: committed, failed in any way but
// a failed rollback, or a failed rollback that a later start made good.
bool swapFinished(const UpdateStatus& status) {
  return isFinalUpdateStage(status.stage) && !rollbackFailed(status);
}

// What stands at the target. `untouched`: the swap never reached the target, so whatever stands
// there (or nothing, when the plug-in was removed meanwhile) is not its doing.
enum class AtTarget { untouched, newBundle, oldBundle, other, missing };

AtTarget whatStands(const std::string& target, const std::string& operationFolder) {
  // The installed bundle is copied to the backup (after the staged bundle's fingerprint is
  // recorded) before anything at the target moves: without a copy (the operation folder may not
  // even exist) the target was not touched.
  const SwapLocations where = operationLocations(target, "", operationFolder);
  const std::string& copy = itemExists(where.backup) ? where.backup : where.replacing;
  if (!itemExists(copy)) return AtTarget::untouched;
  const std::optional<std::string> staged = recordedStagedFingerprint(operationFolder);
  if (!staged && itemExists(target)) return AtTarget::oldBundle;
  switch (standingAt(target, staged, treeFingerprint(copy))) {
    case Standing::missing: return AtTarget::missing;
    case Standing::newBundle: return AtTarget::newBundle;
    case Standing::oldBundle: return AtTarget::oldBundle;
    case Standing::other: break;
  }
  return AtTarget::other;
}

using Note = std::function<void(const std::string&)>;

// The recovery's log lines, under the request they concern when it is known, else `otherRequest`.
Note noteFor(UpdaterContext& context, const std::optional<UpdateStatus>& status, const std::string& otherRequest) {
  return [&context, request = status ? status->requestID : otherRequest,
          user = status ? status->username : std::string()](const std::string& message) {
    context.logger.log(request, user, message);
  };
}

// Whether the target may be changed now: not while the host runs, not after a stop. Logs why not.
bool mayChangeTarget(const std::optional<UpdateStatus>& status, const SwapSettings& settings, const Note& note) {
  if (requestedStopSignal() != 0) {
    note("swap_recovery=deferred reason=stop_requested");
    return false;
  }
  const std::string processName = processNameForHost(status ? status->host : std::string());
  if (isHostRunning(processName, settings.pgrepProgram)) {
    note("swap_recovery=deferred reason=host_running process=" + processName);
    return false;
  }
  return true;
}

// Puts the installed bundle back from the operation folder (the backup first, else the
// moved-aside bundle); returns why that failed, or nothing.
std::optional<std::string> putBundleBack(const std::string& target, const std::string& folder, const Note& note) {
  try {
    rollbackSwap(operationLocations(target, "", folder));
    note("swap_restored_from=" + folder);
    return std::nullopt;
  } catch (const UpdaterError& e) {
    note("swap_restore_failed detail=" + e.detail);
    return e.detail;
  }
}

// The request's new last document: its earlier one with a new end.
void writeEnd(UpdaterContext& context, const UpdateStatus& last, std::string_view stageName,
              const std::optional<UpdaterError>& failure, const Note& note) {
  UpdateStatus doc = last;
  doc.stage = std::string(stageName);
  doc.status = failure ? "failed" : "success";
  doc.errorCode.reset();
  doc.errorDetail.reset();
  if (failure) {
    doc.errorCode = std::string(failure->codeText());
    doc.errorDetail = failure->detail;
  }
  doc.updatedAtUTC = nowInternetDateTime();
  context.statusStore.write(doc);
  note(failure ? "stage=failed code=" + std::string(failure->codeText()) + " detail=" + failure->detail
               : stageLine(stageName));
}

// Writes the end of a request that has none, unless its run is alive and reports for itself.
void endRequest(UpdaterContext& context, const UpdateStatus& last, std::string_view stageName,
                const std::optional<UpdaterError>& failure, const Note& note) {
  try {
    RequestLock requestLock = context.statusStore.lockRequest(last.requestID, false);
    if (!requestLock.held()) return;
    writeEnd(context, last, stageName, failure, note);
  } catch (const std::exception& e) {
    note(std::string("swap_recovery_status_failed detail=") + e.what());
  }
}

void endRequestFailed(UpdaterContext& context, const UpdateStatus& last, UpdaterErrorCode code,
                      const std::string& detail, const Note& note) {
  endRequest(context, last, stage::failed, UpdaterError(code, detail), note);
}

// After a rollback from the operation folder: the end that says what stands at the target now.
void endAfterRollback(UpdaterContext& context, const UpdateStatus& last,
                      const std::optional<std::string>& rollbackFailure, const Note& note) {
  if (rollbackFailure) {
    endRequestFailed(context, last, UpdaterErrorCode::swapRollbackFailed,
                     "interrupted swap could not be rolled back: " + *rollbackFailure, note);
  } else if (rollbackFailed(last)) {
    // Its failed rollback made good: final, so that nothing is put back at a later start.
    endRequest(context, last, stage::swapRollbackComplete, std::nullopt, note);
  } else {
    // Nothing of the user's was lost: the swap may simply be run again.
    endRequestFailed(context, last, UpdaterErrorCode::unexpectedException, "interrupted swap was rolled back",
                     note);
  }
}

// The operation whose copy of the installed bundle goes back to an empty target: the newest
// operation folder that holds a copy, when its swap is not finished.
struct Restorable {
  std::string folder;
  std::optional<UpdateStatus> status;  // the request's last document, when known
};

std::optional<Restorable> operationToRestore(const UpdaterContext& context, const std::string& target) {
  const std::string& operations = context.paths.swapOperationsDirectory;
  std::vector<std::string> names;
  try {
    names = operationsNewestFirst(operations);
  } catch (const std::exception&) {
    return std::nullopt;  // no operation yet
  }
  for (const auto& name : names) {
    if (!isUuidV4(name)) continue;
    Restorable r{operations + "/" + name, std::nullopt};
    const SwapLocations where = operationLocations(target, "", r.folder);
    if (!itemExists(where.backup) && !itemExists(where.replacing)) continue;
    r.status = unfinishedSwapIn(context, r.folder);
    if (r.status) return r;
    return std::nullopt;
  }
  return std::nullopt;
}

// Under the swap lock: puts the installed bundle back when the target is empty and an operation
// whose swap is not finished holds a copy of it, then gives that request its end.
void restoreMissingTarget(UpdaterContext& context, const SwapSettings& settings) {
  const std::string& target = settings.target;
  if (itemExists(target)) return;
  const std::optional<Restorable> op = operationToRestore(context, target);
  if (!op) return;
  const Note note = noteFor(context, op->status, "");
  note("swap_target_missing target=" + target);
  if (!mayChangeTarget(op->status, settings, note)) return;
  const std::optional<std::string> rollbackFailure = putBundleBack(target, op->folder, note);
  endAfterRollback(context, *op->status, rollbackFailure, note);
  if (!rollbackFailure) pruneOperationFolders(context.paths.swapOperationsDirectory, lastComponent(op->folder));
}

}  // namespace

std::optional<UpdateStatus> unfinishedSwapIn(const UpdaterContext& context, const std::string& operationFolder) {
  const std::optional<std::string> requestID = operationRequest(operationFolder);
  // Without a known request (its status long pruned) nothing says the swap emptied the target.
  if (!requestID) return std::nullopt;
  std::optional<UpdateStatus> status = context.statusStore.read(*requestID);
  if (status && !swapFinished(*status)) return status;
  return std::nullopt;
}

void recordStagedFingerprint(const std::string& operationFolder, const std::string& staged) {
  const std::string path = operationFolder + "/" + kStagedFingerprintFile;
  const std::optional<std::string> print = treeFingerprint(staged);
  if (!print) throw FileOperationError(EIO, staged);
  if (const int e = platform::writeFileAtomic(path, *print)) throw FileOperationError(e, path);
}

Recovery recoverOperation(UpdaterContext& context, const SwapSettings& settings, const SwapLock& lock,
                          const std::string& ownRequestID) {
  const std::string& target = settings.target;
  const std::string dead = lock.takenOverFrom().value_or("");
  const bool named = isUuidV4(dead);  // anything else names no operation folder of ours
  const std::string folder = context.paths.swapOperationsDirectory + "/" + dead;
  const std::optional<std::string> requestID = named ? operationRequest(folder) : std::nullopt;
  const std::optional<UpdateStatus> status = requestID ? context.statusStore.read(*requestID) : std::nullopt;
  const Note note = noteFor(context, status, ownRequestID);

  note("swap_lock=taken_over previous=" + (named ? dead : std::string("unknown")));
  if (!named) return Recovery::settled;

  // The request's end is written here unless it has one, or it is the caller's own.
  const bool mayEnd = status && !swapFinished(*status) && status->requestID != ownRequestID;
  const bool ended = status && swapFinished(*status);
  const AtTarget at = whatStands(target, folder);

  if (at == AtTarget::newBundle) {
    // The exchange was made: only the bookkeeping after it is missing. The replaced bundle (at
    // the exchange sibling, unless it went aside already) goes into the operation folder.
    const std::string sibling = exchangeSiblingOf(target);
    const SwapLocations where = operationLocations(target, "", folder);
    if (itemExists(sibling) && !itemExists(where.replacing) && moveItem(sibling, where.replacing) == 0)
      note("swap_completed_from=" + folder);
    clearBeside(target);
    if (mayEnd) endRequest(context, *status, stage::swapCommitComplete, std::nullopt, note);
    return Recovery::settled;
  }
  if (at == AtTarget::untouched || at == AtTarget::oldBundle || ended) {
    // Untouched (what the dead swap carried beside it goes; a target removed meanwhile stays
    // removed), or a bundle the swap's end left there and someone changed since, which stays theirs.
    clearBeside(target);
    if (mayEnd && !rollbackFailed(*status))
      endRequestFailed(context, *status, UpdaterErrorCode::unexpectedException, "interrupted swap changed nothing",
                       note);
    else if (mayEnd && at == AtTarget::oldBundle)
      endRequest(context, *status, stage::swapRollbackComplete, std::nullopt, note);
    return Recovery::settled;
  }

  // Empty, or neither bundle whole: the installed bundle goes back, but never under a running host.
  if (!mayChangeTarget(status, settings, note)) return Recovery::deferred;
  const std::optional<std::string> rollbackFailure = putBundleBack(target, folder, note);
  clearBeside(target);
  if (mayEnd) endAfterRollback(context, *status, rollbackFailure, note);
  if (rollbackFailure) throw UpdaterError(UpdaterErrorCode::swapRollbackFailed, *rollbackFailure);
  return Recovery::settled;
}

void recoverInterruptedSwap(UpdaterContext& context, const SwapSettings& settings) noexcept {
  try {
    const std::string path = context.paths.swapLocksDirectory + "/" + kSwapLockFile;
    std::string marker;
    if (!itemExists(path)) {
      // No swap died holding the lock; one that failed to roll back may still have left the
      // target empty. The usual start finds the bundle in place and writes nothing.
      if (itemExists(settings.target)) return;
      const std::optional<Restorable> op = operationToRestore(context, settings.target);
      if (!op) return;
      // Named in the lock, so that the start after this one finishes the job should this one die.
      marker = lastComponent(op->folder);
      createFolders(context.paths.swapLocksDirectory);
    }
    // A live swap's lock refuses us (swap_in_progress): it puts things right itself.
    SwapLock lock = SwapLock::acquire(path, marker);
    if (lock.takenOverFrom()) {
      try {
        if (recoverOperation(context, settings, lock, "") == Recovery::deferred) {
          lock.abandon();  // left as it is, for a later start
          return;
        }
      } catch (const UpdaterError&) {
        lock.abandon();  // the bundle is still away: whoever comes next tries again
        return;
      }
      pruneOperationFolders(context.paths.swapOperationsDirectory, lock.takenOverFrom().value_or(""));
    }
    restoreMissingTarget(context, settings);
  } catch (...) {
    // Nothing more can be done now (what failed is in the log); the next start tries again.
  }
}

}  // namespace qm::updater
