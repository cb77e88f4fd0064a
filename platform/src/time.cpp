#include "qm/platform/time.h"

#include <atomic>
#include <chrono>
#include <mutex>

#include "clock_internal.h"

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

namespace {

struct ManualState {
  std::mutex mutex;
  bool active = false;
  double now = 0.0;
};

ManualState& manual() {
  static auto* state = new ManualState;  // never destroyed: timers may ask during exit
  return *state;
}

double realNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

namespace internal {

bool manualClockActive() {
  ManualState& m = manual();
  std::lock_guard<std::mutex> lock(m.mutex);
  return m.active;
}

double clockNow() {
  ManualState& m = manual();
  {
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.active) return m.now;
  }
  return realNow();
}

void setManualTime(double seconds) {
  ManualState& m = manual();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (m.active && seconds > m.now) m.now = seconds;
}

}  // namespace internal

double currentTimeSeconds() { return internal::clockNow(); }

ManualClock::ManualClock(double start) {
  ManualState& m = manual();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.active = true;
  m.now = start;
}

ManualClock::~ManualClock() {
  double last = 0.0;
  {
    ManualState& m = manual();
    std::lock_guard<std::mutex> lock(m.mutex);
    last = m.now;
    m.active = false;
  }
  internal::manualClockEnded(last);
}

double ManualClock::now() const { return internal::clockNow(); }

void ManualClock::advance(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  internal::releaseDelayedBlocksUntil(now() + seconds);
}

}  // namespace qm::platform
