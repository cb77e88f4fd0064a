#pragma once
// Waiting for the host application to quit before its plug-in bundle is replaced.

#include <string>

namespace qm::updater {

inline constexpr const char* kPgrepProgram = "/usr/bin/pgrep";

// Host key of the request (any letter case) to the host's process name.
std::string processNameForHost(const std::string& hostKey);

// What "pgrep -x" says of a process name: a match (exit status 0), no match (1), or nothing
// usable (no tool, a usage or system error, a signal).
enum class HostCheck { running, notRunning, unknown };
HostCheck checkHost(const std::string& processName, const std::string& pgrep = kPgrepProgram);

// True unless pgrep reported no match: a check that could not be made counts as a running host,
// since a bundle must not be replaced under one.
bool isHostRunning(const std::string& processName, const std::string& pgrep = kPgrepProgram);

// Returns once the process is gone, testing every `pollSeconds` and blocking in between. While
// pgrep sees the host, the wait goes on however long the user keeps working in it; only checks
// that cannot tell, for `timeoutSeconds` in a row, end it with UpdaterError
// swap_host_still_running ("<name> still running"). A requested stop (stop_signals.h) ends the
// wait with its failure.
void waitForHostToExit(const std::string& processName, double timeoutSeconds,
                       double pollSeconds = 2.0, const std::string& pgrep = kPgrepProgram);

}  // namespace qm::updater
