#include "qm/updater/swap_recovery.h"

#include "qm/updater/bundle_swap.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/folder_listing.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/small_file.h"
#include "qm/updater/status_store.h"
#include "qm/updater/time_text.h"
#include "qm/updater/update_report.h"

#include <filesystem>
#include <functional>

namespace qm::updater {

namespace {

constexpr size_t kMaxRequestFileBytes = 64;

// The request an operation folder belongs to, when it names one.
std::optional<std::string> operationRequest(const std::string& operationFolder) {
  try {
    std::string id = readSmallFile(operationFolder + "/" + kOperationRequestFile, kMaxRequestFileBytes);
    if (isUuidV4(id)) return id;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// How far the dead swap's request had come, by its last status document.
enum class Reached { unknown, beforeApply, applied, ended };

Reached reached(const std::optional<UpdateStatus>& status) {
  if (!status) return Reached::unknown;
  if (status->status != "success" || isFinalStage(status->stage)) return Reached::ended;
  if (status->stage == stage::swapApplied || status->stage == stage::swapPostcheckOk) return Reached::applied;
  return Reached::beforeApply;
}

// The final document of the dead swap's request: its earlier document with a new end.
UpdateStatus finalDocument(const UpdateStatus& last, std::string_view stageName,
                           const std::optional<UpdaterError>& failure) {
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
  return doc;
}

using Note = std::function<void(const std::string&)>;

// The recovery's log lines, under the request they concern when it is known, else `otherRequest`.
Note noteFor(UpdaterContext& context, const std::optional<UpdateStatus>& status, const std::string& otherRequest) {
  return [&context, request = status ? status->requestID : otherRequest,
          user = status ? status->username : std::string()](const std::string& message) {
    context.logger.log(request, user, message);
  };
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

// Gives the request of an interrupted swap its final status, unless its run is alive and
// reports for itself: "swap_commit_complete" when its new bundle stands at the target, else
// "failed" saying that the swap was rolled back (or why that failed).
void endInterruptedRequest(UpdaterContext& context, const UpdateStatus& last, bool newBundleStands,
                           const std::optional<std::string>& rollbackFailure, const Note& note) {
  try {
    RequestLock requestLock = context.statusStore.lockRequest(last.requestID, false);
    if (!requestLock.held()) return;
    if (newBundleStands) {
      context.statusStore.write(finalDocument(last, stage::swapCommitComplete, std::nullopt));
      note(stageLine(stage::swapCommitComplete));
    } else {
      // A rollback that failed says so in its code: it is what a later start puts right.
      const UpdaterError failure =
          rollbackFailure
              ? UpdaterError(UpdaterErrorCode::swapRollbackFailed,
                             "interrupted swap could not be rolled back: " + *rollbackFailure)
              : UpdaterError(UpdaterErrorCode::swapApplyFailed, "interrupted swap was rolled back");
      context.statusStore.write(finalDocument(last, stage::failed, failure));
      note("stage=failed code=" + std::string(failure.codeText()) + " detail=" + failure.detail);
    }
  } catch (const std::exception& e) {
    note(std::string("swap_recovery_status_failed detail=") + e.what());
  }
}

// Whether a swap whose request's last document is `status` may have left the target empty: it
// has no end yet, or its rollback failed. A swap that ended otherwise left a bundle at the target
// (the new one, or the old one back in place, or untouched), so an empty target was emptied by
// someone else, and an older bundle is not put back over their choice.
bool mayHaveEmptiedTarget(const UpdateStatus& status) {
  return !isFinalStage(status.stage) ||
         (status.status == "failed" &&
          status.errorCode.value_or("") == errorCodeText(UpdaterErrorCode::swapRollbackFailed));
}

// The operation whose copy of the installed bundle goes back to an empty target: the newest
// operation folder that holds a copy, when its request may have left the target empty.
struct Restorable {
  std::string folder;
  std::optional<UpdateStatus> status;  // the request's last document, when known
};

std::optional<Restorable> operationToRestore(const UpdaterContext& context, const std::string& target) {
  const std::string& operations = context.paths.swapOperationsDirectory;
  std::vector<FolderEntry> entries;
  try {
    entries = listFolder(operations);
  } catch (const std::exception&) {
    return std::nullopt;  // no operation yet
  }
  sortNewestFirst(entries);
  for (const auto& entry : entries) {
    if (!isUuidV4(entry.name)) continue;
    Restorable r{operations + "/" + entry.name, std::nullopt};
    const SwapLocations where = operationLocations(target, "", r.folder);
    if (!itemExists(where.backup) && !itemExists(where.replacing)) continue;
    if (const auto requestID = operationRequest(r.folder)) r.status = context.statusStore.read(*requestID);
    // Without a known request (its status long pruned) nothing says the swap emptied the target.
    if (r.status && mayHaveEmptiedTarget(*r.status)) return r;
    return std::nullopt;
  }
  return std::nullopt;
}

// Under the swap lock: puts the installed bundle back when the target is empty and an operation
// holds a copy of it (operationToRestore). A request whose status is not final gets the failed
// one; a final status stays as it is.
void restoreMissingTarget(UpdaterContext& context, const std::string& target) {
  if (itemExists(target)) return;
  const std::optional<Restorable> op = operationToRestore(context, target);
  if (!op) return;
  const Note note = noteFor(context, op->status, "");
  note("swap_target_missing target=" + target);
  const std::optional<std::string> rollbackFailure = putBundleBack(target, op->folder, note);
  if (op->status && !isFinalStage(op->status->stage))
    endInterruptedRequest(context, *op->status, false, rollbackFailure, note);
}

}  // namespace

void recoverOperation(UpdaterContext& context, const std::string& target, const SwapLock& lock,
                      const std::string& ownRequestID) {
  const std::string dead = lock.takenOverFrom().value_or("");
  const bool named = isUuidV4(dead);  // anything else names no operation folder of ours
  const std::string folder = context.paths.swapOperationsDirectory + "/" + dead;
  const std::optional<std::string> requestID = named ? operationRequest(folder) : std::nullopt;
  const std::optional<UpdateStatus> status =
      requestID ? context.statusStore.read(*requestID) : std::nullopt;
  const Note note = noteFor(context, status, ownRequestID);

  note("swap_lock=taken_over previous=" + (named ? dead : std::string("unknown")));
  if (!named) return;

  // The installed bundle was moved away (the target is empty), or replaced before the swap
  // could record it (backed up, then exchanged or moved aside): put it back. A swap that had
  // ended left a bundle at the target, so an empty one was emptied by someone else.
  const Reached at = reached(status);
  const SwapLocations where = operationLocations(target, "", folder);
  const bool targetMissing = !itemExists(target) && (!status || mayHaveEmptiedTarget(*status));
  const bool replaced = at == Reached::beforeApply && status->stage == stage::swapBackupCaptured &&
                        (itemExists(where.replacing) || itemExists(exchangeSiblingOf(target)));
  const std::optional<std::string> rollbackFailure =
      targetMissing || replaced ? putBundleBack(target, folder, note) : std::nullopt;
  // What the dead swap left beside the target (its new bundle before the exchange, or the old
  // one after it, whose copy is the backup).
  clearBeside(target);

  // The request's end, unless it has one, or its run is alive and reports for itself.
  if ((at == Reached::beforeApply || at == Reached::applied) && *requestID != ownRequestID)
    endInterruptedRequest(context, *status, at == Reached::applied && !targetMissing, rollbackFailure, note);
  if (rollbackFailure) throw UpdaterError(UpdaterErrorCode::swapRollbackFailed, *rollbackFailure);
}

void recoverInterruptedSwap(UpdaterContext& context, const std::string& target) noexcept {
  try {
    const std::string path = context.paths.swapLocksDirectory + "/" + kSwapLockFile;
    std::string marker;
    if (!itemExists(path)) {
      // No swap died holding the lock; one that failed to roll back may still have left the
      // target empty. The usual start finds the bundle in place and writes nothing.
      if (itemExists(target)) return;
      const std::optional<Restorable> op = operationToRestore(context, target);
      if (!op) return;
      // Named in the lock, so that the start after this one finishes the job should this one die.
      marker = std::filesystem::path(op->folder).filename().string();
      createFolders(context.paths.swapLocksDirectory);
    }
    // A live swap's lock refuses us (swap_in_progress): it puts things right itself.
    SwapLock lock = SwapLock::acquire(path, marker);
    if (lock.takenOverFrom()) {
      try {
        recoverOperation(context, target, lock, "");
      } catch (const UpdaterError&) {
        lock.abandon();  // the bundle is still away: whoever comes next tries again
        return;
      }
    }
    restoreMissingTarget(context, target);
  } catch (...) {
    // Nothing more can be done now (what failed is in the log); the next start tries again.
  }
}

}  // namespace qm::updater
