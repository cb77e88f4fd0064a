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

bool isHostRunning(const std::string& processName, const std::string& pgrep) {
  qm::platform::ProcessOptions options;
  options.timeoutSeconds = 30;
  const auto result = qm::platform::runProcess(pgrep, {"-x", processName}, options);
  // pgrep exits 1 when nothing matches. Anything else (no tool, a usage or system error, a
  // signal) says nothing about the host, and a bundle must not be replaced under a running
  // host: it counts as running.
  return !(result.started && result.exitCode == 1);
}

void waitForHostToExit(const std::string& processName, double timeoutSeconds, double pollSeconds,
                       const std::string& pgrep) {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
  while (Clock::now() < deadline) {
    throwIfStopRequested();
    if (!isHostRunning(processName, pgrep)) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
  }
  throw UpdaterError(UpdaterErrorCode::swapHostStillRunning, processName + " still running");
}

}  // namespace qm::updater
