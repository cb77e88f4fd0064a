#include "qm/platform/time.h"

#include <chrono>

namespace qm::platform {

namespace {

// strftime's numeric conversions (%Y %m %d %H %M %S) print ASCII digits whatever LC_TIME says;
// no conversion that prints names is used.
std::string format(const std::tm& parts, const char* pattern) {
  char buffer[64];
  const size_t n = std::strftime(buffer, sizeof buffer, pattern, &parts);
  return std::string(buffer, n);
}

}  // namespace

std::string formatUTCTimestamp(std::time_t when) {
  std::tm parts{};
  if (!gmtime_r(&when, &parts)) return {};
  return format(parts, "%Y-%m-%dT%H:%M:%SZ");
}

std::string utcNowISOString() { return formatUTCTimestamp(std::time(nullptr)); }

std::string formatLocalTimestamp(std::time_t when) {
  std::tm parts{};
  if (!localtime_r(&when, &parts)) return {};
  return format(parts, "%Y-%m-%d %H:%M:%S");
}

std::string localNowString() { return formatLocalTimestamp(std::time(nullptr)); }

long long unixMillisNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace qm::platform
