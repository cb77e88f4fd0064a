#pragma once
// Putting right what a swap that was killed, or whose rollback failed, left behind. Every start of
// the updater does this first (before it loads its own request), and so does a swap that takes
// over a stale lock: the installed bundle is restored from the operation folder when it was
// moved away, and the swap's request gets a final status, so the plug-in does not wait for ever.

#include "qm/updater/swap_lock.h"
#include "qm/updater/updater_main.h"

#include <string>

namespace qm::updater {

// The file in an operation folder that names the request the operation belongs to.
inline constexpr const char* kOperationRequestFile = "request_id";

// Looks for a swap lock whose holder is gone. When there is one, takes it over, recovers its
// operation (below) and lets it go. A live swap's lock is left alone. Then, under the swap lock,
// an empty target is filled again from the newest operation that holds a copy of the installed
// bundle (the backup first, else the moved-aside bundle), as a swap whose rollback failed leaves
// it: only when that operation's request has no final status or ended with swap_rollback_failed.
// Any other end left a bundle at the target, so it was emptied by someone else. A request whose
// status is not final then gets the failed one; a final status stays. Never throws; what goes
// wrong is logged.
void recoverInterruptedSwap(UpdaterContext& context, const std::string& target) noexcept;

// Recovers the operation named by a lock taken over from a dead swap:
// - its status is before "swap_applied": the installed bundle is put back (from the backup or
//   the moved-aside bundle) when it was moved away or replaced, and the request's status
//   becomes "failed" with swap_apply_failed, its detail saying the swap was rolled back (or why
//   the rollback failed);
// - its status is "swap_applied" or "swap_postcheck_ok" and the new bundle stands at the target:
//   the request's status becomes "swap_commit_complete";
// - otherwise only a missing target is restored: when the request is unknown, or its status
//   ended with swap_rollback_failed.
// What the dead swap left beside the target (its exchange sibling) is removed.
// The status of `ownRequestID` (the caller's own request, which reports for itself) is not
// written, nor that of a request whose run is alive. Throws UpdaterError swap_rollback_failed
// when the installed bundle is gone and cannot be restored.
void recoverOperation(UpdaterContext& context, const std::string& target, const SwapLock& lock,
                      const std::string& ownRequestID);

}  // namespace qm::updater
