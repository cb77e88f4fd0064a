#include "qm/updater/run_hook.h"

#include "qm/updater/updater_main.h"

namespace qm::updater {

// The request has been loaded and validated; the update run itself is not wired in yet, so the
// program stops here with a successful end and writes nothing.
int runUpdateRequest(UpdaterContext& /*context*/, const LaunchPayload& /*payload*/) { return 0; }

}  // namespace qm::updater
