#include "qm/updater/run_hook.h"

#include "qm/updater/update_run.h"
#include "qm/updater/updater_main.h"

namespace qm::updater {

// The request has been loaded and validated: run it to its end.
int runUpdateRequest(UpdaterContext& context, const LaunchPayload& payload) {
  return runUpdate(context, payload, SwapSettings::forProgram(context));
}

}  // namespace qm::updater
