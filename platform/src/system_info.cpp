#include "qm/platform/system_info.h"

#include <sys/utsname.h>

namespace qm::platform {

std::string versionFromKernelRelease(std::string_view release) {
  constexpr unsigned long kCap = 999999999;  // more digits than any release has; no overflow
  unsigned long parts[3] = {0, 0, 0};
  size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      if (at + 1 >= release.size() || release[at] != '.' || release[at + 1] < '0' || release[at + 1] > '9') break;
      ++at;
    }
    if (at >= release.size() || release[at] < '0' || release[at] > '9') break;
    unsigned long value = 0;
    for (; at < release.size() && release[at] >= '0' && release[at] <= '9'; ++at)
      value = value >= kCap / 10 ? kCap : value * 10 + static_cast<unsigned long>(release[at] - '0');
    parts[part] = value;
  }
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

std::string operatingSystemVersion() {
  struct utsname name {};
  if (uname(&name) != 0) return "0.0.0";
  return versionFromKernelRelease(name.release);
}

}  // namespace qm::platform
