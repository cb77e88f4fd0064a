#pragma once
// Which host the window runs in. Media Composer starts the window with one take; every other
// host (and a host that cannot be told) counts as Pro Tools.

#include <optional>
#include <string>
#include <string_view>

// True when the host's name (when it could be read) names Media Composer, else when the process
// name does.
bool QMIsMediaComposerHost(const std::optional<std::string>& hostName, std::string_view processName);

// The process name from a command line as the system keeps it (arguments separated by NUL
// bytes): the last part of the program's path, whole (not cut to the kernel's 15 characters).
std::string QMProcessNameFromCommandLine(std::string_view commandLine);

// The name of this process, from /proc/self/cmdline; "" when it cannot be read. [any-thread]
std::string QMCurrentProcessName();
