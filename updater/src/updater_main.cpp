#include "qm/updater/updater_main.h"

#include "qm/updater/bundle_swap.h"
#include "qm/updater/errors.h"
#include "qm/updater/payload_loader.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/swap_recovery.h"
#include "qm/updater/update_run.h"

#include <climits>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace qm::updater {

namespace {

std::string executablePath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

int failWith(std::ostream& err, std::string_view code) {
  try {
    err << "Updater failed: " << code << "\n" << std::flush;
  } catch (...) {
  }
  return 1;
}

}  // namespace

UpdaterContext::UpdaterContext(const AppPaths& p, const UpdaterConfig& c, std::ostream& err)
    : paths(p),
      config(c),
      logger(p.logFile, kDefaultMaxLogBytes, &err),
      statusStore(p.statusDirectory),
      cacheManager(p.cacheDirectory),
      downloader(std::make_unique<HttpDownloader>(c)),
      installerOpener(std::make_unique<CommandInstallerOpener>(c.installerOpenerProgram)),
      telemetryClient(std::make_unique<HttpTelemetryClient>(c)),
      programPath(executablePath()),
      errorStream(&err) {
  cacheManager.requestsDirectory = p.requestsDirectory;
  cacheManager.statusDirectory = p.statusDirectory;
}

int runUpdater(const std::vector<std::string>& arguments, UpdaterContext& context,
               const SwapSettings& swapSettings) noexcept {
  // First thing: a stop from now on is recorded and honoured at the next safe point.
  const StopSignalGuard politeStop;
  std::ostream& errorStream = *context.errorStream;
  try {
    // Whatever a killed swap left behind is put right first, whatever this start is for.
    recoverInterruptedSwap(context, swapSettings);
    const LaunchPayloadLoader loader(context.paths, LaunchPayloadValidator(context.config), errorStream);
    // Nothing of this request is written to the status folder, the log or telemetry before it loads.
    const LaunchPayload payload = loader.load(arguments);
    // The bearer token may never reach a log line, whatever line would carry it.
    if (payload.telemetryBearerToken) context.logger.addSecret(*payload.telemetryBearerToken);
    return runUpdate(context, payload, swapSettings);
  } catch (const UpdaterError& e) {
    if (e.errorCode == UpdaterErrorCode::invalidPayload && e.detail == "No pending requests") return 0;
    return failWith(errorStream, e.codeText());
  } catch (...) {
    return failWith(errorStream, errorCodeText(UpdaterErrorCode::unexpectedException));
  }
}

int runUpdater(const std::vector<std::string>& arguments, const AppPaths& paths,
               const UpdaterConfig& config, std::ostream& errorStream) noexcept {
  try {
    UpdaterContext context(paths, config, errorStream);
    return runUpdater(arguments, context, SwapSettings::forProgram(context));
  } catch (...) {
    return failWith(errorStream, errorCodeText(UpdaterErrorCode::unexpectedException));
  }
}

int updaterMain(int argc, char** argv) noexcept {
  const StopSignalGuard politeStop;
  // A closed standard error must not kill the process halfway through a swap.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments;
  try {
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
  } catch (...) {
    return failWith(std::cerr, errorCodeText(UpdaterErrorCode::unexpectedException));
  }
  return runUpdater(arguments, AppPaths::defaultPaths(), UpdaterConfig::production(), std::cerr);
}

}  // namespace qm::updater
