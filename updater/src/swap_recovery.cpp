#include "qm/updater/swap_recovery.h"

#include "qm/updater/bundle_swap.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/small_file.h"
#include "qm/updater/status_store.h"
#include "qm/updater/time_text.h"
#include "qm/updater/update_report.h"

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
                           const std::optional<std::string>& failureDetail) {
  UpdateStatus doc = last;
  doc.stage = std::string(stageName);
  doc.status = failureDetail ? "failed" : "success";
  doc.errorCode.reset();
  doc.errorDetail.reset();
  if (failureDetail) {
    doc.errorCode = std::string(errorCodeText(UpdaterErrorCode::swapApplyFailed));
    doc.errorDetail = *failureDetail;
  }
  doc.updatedAtUTC = nowInternetDateTime();
  return doc;
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
  // The recovery's lines go under the dead swap's request when it is known.
  const std::string logRequest = status ? status->requestID : ownRequestID;
  const std::string logUser = status ? status->username : std::string();
  auto note = [&](const std::string& message) { context.logger.log(logRequest, logUser, message); };

  note("swap_lock=taken_over previous=" + (named ? dead : std::string("unknown")));
  if (!named) return;

  // The installed bundle was moved away (the target is empty), or replaced before the swap
  // could record it (backed up, moved aside, and something at the target again): put it back.
  const Reached at = reached(status);
  const SwapLocations where = operationLocations(target, "", folder);
  const bool targetMissing = !itemExists(target);
  const bool replaced = at == Reached::beforeApply && status->stage == stage::swapBackupCaptured &&
                        itemExists(where.replacing);
  std::optional<std::string> rollbackFailure;
  if (targetMissing || replaced) {
    try {
      rollbackSwap(where);
      note("swap_restored_from=" + folder);
    } catch (const UpdaterError& e) {
      rollbackFailure = e.detail;
      note("swap_restore_failed detail=" + e.detail);
    }
  }

  // The request's end, unless it has one, or its run is alive and reports for itself.
  if ((at == Reached::beforeApply || at == Reached::applied) && *requestID != ownRequestID) {
    try {
      RequestLock requestLock = context.statusStore.lockRequest(*requestID, false);
      if (requestLock.held()) {
        if (at == Reached::applied && !targetMissing) {
          context.statusStore.write(finalDocument(*status, stage::swapCommitComplete, std::nullopt));
          note(stageLine(stage::swapCommitComplete));
        } else {
          const std::string detail = rollbackFailure
                                         ? "interrupted swap could not be rolled back: " + *rollbackFailure
                                         : std::string("interrupted swap was rolled back");
          context.statusStore.write(finalDocument(*status, stage::failed, detail));
          note("stage=failed code=swap_apply_failed detail=" + detail);
        }
      }
    } catch (const std::exception& e) {
      note(std::string("swap_recovery_status_failed detail=") + e.what());
    }
  }
  if (rollbackFailure) throw UpdaterError(UpdaterErrorCode::swapRollbackFailed, *rollbackFailure);
}

void recoverInterruptedSwap(UpdaterContext& context, const std::string& target) noexcept {
  try {
    const std::string path = context.paths.swapLocksDirectory + "/swap.lock";
    if (!itemExists(path)) return;
    // A live swap's lock refuses us (swap_in_progress); a lock let go meanwhile is ours afresh.
    SwapLock lock = SwapLock::acquire(path, "");
    if (!lock.takenOverFrom()) return;
    try {
      recoverOperation(context, target, lock, "");
    } catch (const UpdaterError&) {
      lock.abandon();  // the bundle is still away: whoever comes next tries again
    }
  } catch (...) {
    // Nothing more can be done now (what failed is in the log); the next start tries again.
  }
}

}  // namespace qm::updater
