#pragma once
// The point where start-up hands a loaded, validated request to the update run.

#include "qm/updater/launch_payload.h"

namespace qm::updater {

struct UpdaterContext;

// Carries `payload` to its end and returns the exit code (0 after a successful end).
// Throws UpdaterError (or any other error, reported as unexpected_exception) on failure.
int runUpdateRequest(UpdaterContext& context, const LaunchPayload& payload);

}  // namespace qm::updater
