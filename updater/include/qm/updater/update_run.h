#pragma once
// One validated update request carried to its end: the duplicate check, the start record, the
// cache cleanup, then the swap, or the installer package made ready ("prefetch") or opened
// ("install"). Every failure after the start becomes one failed status document, one
// "stage=failed" log line and one "updater_failed" event, and is passed on.

#include "qm/updater/bundle_swap.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/updater_main.h"

namespace qm::updater {

// Returns the exit code (0 after "ready_to_install", "installer_opened" or
// "swap_commit_complete"); throws UpdaterError.
int runUpdate(UpdaterContext& context, const LaunchPayload& payload, const SwapSettings& swapSettings);

}  // namespace qm::updater
