#pragma once
// Putting right what a swap that was killed, or whose rollback failed, left behind. Every start of
// the updater does this first (before it loads its own request), and so does a swap that takes
// over a stale lock. What is done is decided by what stands at the target, compared by
// fingerprint with the staged bundle and the backup:
// - the new bundle, whole: the swap is completed forward (the replaced bundle goes into the
//   operation folder) and its request gets "swap_commit_complete";
// - the installed bundle, untouched, or no copy of it in the operation folder (the swap died
//   before its backup, so it never touched the target; a target removed since stays removed):
//   nothing is changed, and the request fails with a retryable code saying so;
// - neither (the target is empty, or holds something else): the installed bundle is put back
//   (a retryable failure), and swap_rollback_failed is recorded only when that fails.
// The target is never changed while the host runs, or after a stop was requested: the work is
// left, with the swap lock file, for a later start.
#include "qm/updater/bundle_swap.h"
#include "qm/updater/status_store.h"
#include "qm/updater/swap_lock.h"
#include "qm/updater/updater_main.h"

#include <optional>
#include <string>

namespace qm::updater {

// The file in an operation folder that names the request the operation belongs to.
inline constexpr const char* kOperationRequestFile = "request_id";
// The file in an operation folder that holds the staged bundle's fingerprint (treeFingerprint),
// written before anything at the target is touched.
inline constexpr const char* kStagedFingerprintFile = "staged_fingerprint";

// The last status of the request that `operationFolder` names, when that request's swap is not
// finished: it has no final status, or ended with swap_rollback_failed. Only such a swap of ours
// can have left the target empty; any other end left a bundle there. Nothing when the folder
// names no request whose status can be read.
std::optional<UpdateStatus> unfinishedSwapIn(const UpdaterContext& context, const std::string& operationFolder);

// Writes kStagedFingerprintFile for the bundle staged at `staged`. Throws FileOperationError.
void recordStagedFingerprint(const std::string& operationFolder, const std::string& staged);

// Looks for a swap lock whose holder is gone. When there is one, takes it over, recovers its
// operation (below) and lets it go. A live swap's lock is left alone. Then, under the swap lock,
// an empty target is filled again from the newest operation that holds a copy of the installed
// bundle, when that operation's swap is not finished: its request has no final status, or ended
// with swap_rollback_failed. A request without a final status then fails with a retryable code;
// one that ended with swap_rollback_failed gets "swap_rollback_complete", after which nothing is
// put back again. Any other end left a bundle at the target, so an empty target was emptied by
// someone else. Never throws; what goes wrong is logged.
void recoverInterruptedSwap(UpdaterContext& context, const SwapSettings& settings) noexcept;

enum class Recovery { settled, deferred };

// Recovers the operation named by a lock taken over from a dead swap, as described at the top.
// The status of `ownRequestID` (the caller's own request, which reports for itself) is not
// written, nor that of a request whose run is alive or that already ended. Returns `deferred`
// when the target would have to change while the host runs or after a stop was requested: then
// nothing was changed and the lock must be left for a later start (SwapLock::abandon). Throws
// UpdaterError swap_rollback_failed when the installed bundle cannot be put back.
Recovery recoverOperation(UpdaterContext& context, const SwapSettings& settings, const SwapLock& lock,
                          const std::string& ownRequestID);

}  // namespace qm::updater
