#include "qm/updater/update_run.h"

#include "qm/updater/download.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/request_lock.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/swap_lock.h"
#include "qm/updater/time_text.h"
#include "qm/updater/update_report.h"
#include "qm/updater/url.h"

#include <optional>

namespace qm::updater {

namespace {

constexpr size_t kKeptDocuments = 40;

int runSteps(UpdaterContext& context, const LaunchPayload& payload, const std::string& action,
             UpdateReporter& report, const SwapSettings& swapSettings, SwapLock& swapLock) {
  report.writeStatus(stage::launchValidated);
  report.log(stageLine(stage::launchValidated));
  report.log("parsed_action=" + action);
  report.event("updater_launch_ok", std::nullopt, std::nullopt, "success");
  throwIfStopRequestedBeforeChanges();

  context.cacheManager.clean(payload.targetVersion);
  context.cacheManager.pruneJSONFiles(context.cacheManager.requestsDirectory, kKeptDocuments);
  context.cacheManager.pruneJSONFiles(context.cacheManager.statusDirectory, kKeptDocuments);
  context.cacheManager.pruneRequestLocks(context.cacheManager.statusDirectory);
  report.log("cache_cleanup=ok");

  if (action == "swap") return runSwap(context, payload, report.createdAt(), swapSettings, swapLock);

  const std::string package = context.cacheManager.pkgURL(payload.targetVersion);
  if (action == "install" && itemExists(package)) {
    report.log("branch=install_cached");
    verifyHash(package, payload.updatePkgSHA256);
    report.log("cached_pkg=verified path=" + package);
  } else {
    report.log("branch=download_then_" + action);
    report.step(stage::downloadStarted, stageLine(stage::downloadStarted) + " url=" + payload.updatePkgURL,
                "pkg_download_start", std::nullopt, "in_progress");
    if (!parseUrl(payload.updatePkgURL))
      throw UpdaterError(UpdaterErrorCode::downloadStartFailed, "Invalid update_pkg_url");
    context.downloader->download(payload.updatePkgURL, package);
    report.step(stage::downloadOk, stageLine(stage::downloadOk) + " pkg=" + package, "pkg_download_ok",
                std::nullopt, "success");
    verifyHash(package, payload.updatePkgSHA256);
    report.step(stage::hashOk, stageLine(stage::hashOk), "pkg_hash_ok", std::nullopt, "success");
  }

  if (action == "prefetch") {
    report.log("branch=prefetch_no_installer_open");
    report.step(stage::readyToInstall, stageLine(stage::readyToInstall), "prefetch_ready", std::nullopt,
                "success");
    return 0;
  }
  context.installerOpener->openInstaller(package);
  report.step(stage::installerOpened, stageLine(stage::installerOpened), "installer_open_ok", std::nullopt,
              "success");
  return 0;
}

}  // namespace

int runUpdate(UpdaterContext& context, const LaunchPayload& payload, const SwapSettings& swapSettings) {
  UpdateReporter report(context, payload, nowInternetDateTime());
  const std::string action = payload.effectiveAction();

  // One run of a request at a time: a second updater started for the same id waits here until
  // the first has written its last status, then meets the duplicate check. A run never goes on
  // without the lock (the plug-in reads a free lock as "no updater runs this request"): nothing
  // is written, and the code says the request may be started again.
  RequestLock requestLock;
  try {
    requestLock = context.statusStore.lockRequest(payload.requestID, true);
  } catch (const std::exception& e) {
    throw UpdaterError(UpdaterErrorCode::unexpectedException, std::string("request lock not taken: ") + e.what());
  }
  if (!requestLock.held())
    throw UpdaterError(UpdaterErrorCode::unexpectedException, "request lock not taken");

  // A request id runs once, unless its last record is a swap that failed in a way worth retrying.
  // Nothing is written when it is refused.
  if (const auto existing = context.statusStore.read(payload.requestID))
    if (!isRetryableFailedSwap(*existing, action))
      throw UpdaterError(UpdaterErrorCode::invalidRequestID, "duplicate request_id already processed");

  // SIGTERM and SIGINT end the run as a failure (rolled back, reported): the guard is up from the
  // start of the program. A swap's lock is held until its last status, the failure's included,
  // is written.
  const StopSignalGuard politeStop;
  SwapLock swapLock;

  std::string code, detail;
  try {
    return runSteps(context, payload, action, report, swapSettings, swapLock);
  } catch (const UpdaterError& e) {
    code = std::string(e.codeText());
    detail = e.detail;
  } catch (const std::exception& e) {
    code = std::string(errorCodeText(UpdaterErrorCode::unexpectedException));
    detail = e.what();
  } catch (...) {
    code = std::string(errorCodeText(UpdaterErrorCode::unexpectedException));
    detail = "unknown error";
  }
  report.log("stage=failed code=" + code + " detail=" + detail);
  report.writeFailure(code, detail);
  report.event("updater_failed", std::nullopt, code, "failed");
  throw UpdaterError(errorCodeFromText(code).value_or(UpdaterErrorCode::unexpectedException), detail);
}

}  // namespace qm::updater
