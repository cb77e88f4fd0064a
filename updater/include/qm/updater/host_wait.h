#pragma once
// Waiting for the host application to quit before its plug-in bundle is replaced.

#include <string>

namespace qm::updater {

inline constexpr const char* kPgrepProgram = "/usr/bin/pgrep";

// Host key of the request (any letter case) to the host's process name.
std::string processNameForHost(const std::string& hostKey);

// True when a process with exactly that name runs ("pgrep -x"). Fails closed: unless pgrep ran
// and reported no match (exit status 1), the host counts as running.
bool isHostRunning(const std::string& processName, const std::string& pgrep = kPgrepProgram);

// Returns once the process is gone; throws UpdaterError swap_host_still_running
// ("<name> still running") at the deadline. Tests every `pollSeconds`, blocking in between.
// A requested stop (stop_signals.h) ends the wait with its failure.
void waitForHostToExit(const std::string& processName, double timeoutSeconds,
                       double pollSeconds = 2.0, const std::string& pgrep = kPgrepProgram);

}  // namespace qm::updater
