#include "qm/updater/host_wait.h"

#include "qm/platform/process.h"
#include "qm/updater/errors.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/url.h"

#include <chrono>
#include <thread>

namespace qm::updater {

std::string processNameForHost(const std::string& hostKey) {
  const std::string key = asciiLower(hostKey);
  if (key == "media_composer") return "Media Composer";
  return "Pro Tools";  // "pro_tools", "protools" and every other key
}

HostCheck checkHost(const std::string& processName, const std::string& pgrep) {
  qm::platform::ProcessOptions options;
  options.timeoutSeconds = 30;
  const auto result = qm::platform::runProcess(pgrep, {"-x", processName}, options);
  if (!result.started) return HostCheck::unknown;
  if (result.exitCode == 0) return HostCheck::running;
  if (result.exitCode == 1) return HostCheck::notRunning;
  return HostCheck::unknown;
}

bool isHostRunning(const std::string& processName, const std::string& pgrep) {
  return checkHost(processName, pgrep) != HostCheck::notRunning;
}

void waitForHostToExit(const std::string& processName, double timeoutSeconds, double pollSeconds,
                       const std::string& pgrep) {
  using Clock = std::chrono::steady_clock;
  const auto patience = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
  // A host seen running moves the deadline on: an editor may keep working all day, and the swap
  // is for the host's next quit. Only a check that cannot tell runs into it.
  auto deadline = Clock::now() + patience;
  for (;;) {
    throwIfStopRequestedBeforeChanges();
    const HostCheck host = checkHost(processName, pgrep);
    if (host == HostCheck::notRunning) return;
    if (host == HostCheck::running) {
      deadline = Clock::now() + patience;
    } else if (Clock::now() >= deadline) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
  }
  throw UpdaterError(UpdaterErrorCode::swapHostStillRunning, processName + " still running");
}

}  // namespace qm::updater
