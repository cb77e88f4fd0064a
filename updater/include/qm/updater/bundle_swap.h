#pragma once
// The "swap" branch of an update run: download and check the replacement bundle, wait for the
// host to quit, take the swap lock, stage, back up, move the bundles (through the swap helper
// when the rights are missing), check, and roll back when the new bundle cannot be put in place.
// The installed bundle is never lost, and the target never stands empty: the new bundle is made
// whole beside the target and exchanged with it in one step. Only where the file system cannot
// exchange are there two moves, between which the target is empty while the operation folder
// keeps a whole copy, which the next start of the updater puts back (swap_recovery.h).

#include "qm/updater/bundle_staging.h"
#include "qm/updater/host_wait.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/swap_lock.h"
#include "qm/updater/updater_main.h"

#include <string>
#include <vector>

namespace qm::updater {

// The installed plug-in bundle: the only target a swap replaces.
inline constexpr const char* kInstalledBundlePath =
    "/Library/Application Support/Avid/Audio/Plug-Ins/Quillomancer.aaxplugin";

// The copies of the installed bundle in a swap's operation folder.
inline constexpr const char* kBackupBundleName = "Quillomancer.backup.aaxplugin";
inline constexpr const char* kReplacingBundleName = "Quillomancer.replacing.aaxplugin";

// The four locations of a swap whose operation folder is `operationFolder`.
SwapLocations operationLocations(const std::string& target, const std::string& staged,
                                 const std::string& operationFolder);

struct SwapSettings {
  std::string target = kInstalledBundlePath;
  std::vector<std::string> helperCandidates;  // in the order they are tried
  double hostWaitTimeoutSeconds = 900;
  double hostPollSeconds = 2.0;
  std::string unzipProgram = kUnzipProgram;
  std::string pgrepProgram = kPgrepProgram;

  // The program's settings: the fixed target, and the helper beside the running updater first.
  static SwapSettings forProgram(const UpdaterContext& context);
};

// Runs a validated swap request; returns 0 after "swap_commit_complete". Throws UpdaterError,
// or before the lock is held any error of a step unchanged. SIGTERM and SIGINT recorded by a
// StopSignalGuard end it at the next safe point as a failure.
int runSwap(UpdaterContext& context, const LaunchPayload& payload, const std::string& createdAt,
            const SwapSettings& settings);
// The same, leaving the swap lock in `lock` on every exit, so that the caller lets go of it only
// after the run's last status (a failure's too) is written.
int runSwap(UpdaterContext& context, const LaunchPayload& payload, const std::string& createdAt,
            const SwapSettings& settings, SwapLock& lock);

}  // namespace qm::updater
