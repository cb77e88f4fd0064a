#pragma once
// Facts about the running operating system that the plug-in reports to its service.

#include <string>
#include <string_view>

namespace qm::platform {

// The operating-system version as "major.minor.patch": the leading numbers of the kernel release
// (uname), missing parts 0; "0.0.0" when it cannot be read. [any-thread]
std::string operatingSystemVersion();

// The "major.minor.patch" of a kernel release text such as "6.1.0-18-amd64" or "5.15": up to
// three dot-separated decimal numbers from the start, missing or unreadable parts 0. [any-thread]
std::string versionFromKernelRelease(std::string_view release);

}  // namespace qm::platform
