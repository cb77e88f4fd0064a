#pragma once
// Start-up of the updater program: the components of one run, the command line, the top-level
// error handling with its one standard-error line, and the exit code.

#include "qm/updater/app_paths.h"
#include "qm/updater/cache_manager.h"
#include "qm/updater/download.h"
#include "qm/updater/local_logger.h"
#include "qm/updater/status_store.h"
#include "qm/updater/telemetry.h"
#include "qm/updater/updater_config.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace qm::updater {

// Everything one run works with, built once by start-up. Tests may replace the downloader,
// opener or telemetry client with their own.
struct UpdaterContext {
  AppPaths paths;
  UpdaterConfig config;
  LocalLogger logger;
  StatusStore statusStore;
  CacheManager cacheManager;
  std::unique_ptr<Downloader> downloader;
  std::unique_ptr<InstallerOpener> installerOpener;
  std::unique_ptr<TelemetryClient> telemetryClient;
  std::string programPath;   // the running updater program (empty when unknown)
  std::ostream* errorStream;  // standard error of the program

  UpdaterContext(const AppPaths& paths, const UpdaterConfig& config, std::ostream& errorStream);
};

// Start-up: builds the components, loads and validates the request from `arguments` (program
// name first), runs it, and returns the exit code: 0 when the request ran to a successful end or
// pending mode found nothing; 1 on any failure, after one "Updater failed: <code>" line on
// `errorStream`. Never throws.
int runUpdater(const std::vector<std::string>& arguments, const AppPaths& paths,
               const UpdaterConfig& config, std::ostream& errorStream) noexcept;

struct SwapSettings;

// The same on components already built (tests replace some of them), with the swap's settings.
// An interrupted swap is recovered first (swap_recovery.h), whatever the arguments.
int runUpdater(const std::vector<std::string>& arguments, UpdaterContext& context,
               const SwapSettings& swapSettings) noexcept;

// The program's main(): the current user's layout, the production configuration, standard error.
int updaterMain(int argc, char** argv) noexcept;

}  // namespace qm::updater
