#pragma once
// The hand-off to the updater program: the settings controller never downloads or installs
// anything itself. For a prefetch, an install or a swap it writes one update request document
// into the requests folder, checks the installed updater's signature, and starts the updater as
// a child process in a session of its own with "--payload" and the file. From then on only the
// updater's status file tells what happens (the controller's status poll), together with
// QMUpdaterProcessRegistry, which knows when the updater has exited, and, for an updater this
// process did not start, the lock the updater holds on the request while it runs it.
//
// Every outcome is reported three ways: a line in the plug-in log, a plug-in event recorded
// through the owner, and, by action, the failure state (swap), the download page (install) or
// nothing (prefetch).

#include "QMUpdaterSignature.h"
#include "QuillomancerServer.h"
#include "qm/platform/defaults.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QuillomancerLogger;

// The user-defaults keys of the update state.
inline constexpr const char* kQMPendingRequestIdKey = "com.quillomancer.update.pendingRequestId";
inline constexpr const char* kQMPendingTargetVersionKey = "com.quillomancer.update.pendingTargetVersion";
inline constexpr const char* kQMPendingOperationIdKey = "com.quillomancer.update.pendingOperationId";
inline constexpr const char* kQMReadyTargetVersionKey = "com.quillomancer.update.readyTargetVersion";
inline constexpr const char* kQMLastPrefetchTargetKey = "com.quillomancer.update.lastPrefetchTarget";
inline constexpr const char* kQMFailureCountKey = "com.quillomancer.update.failureCount";
inline constexpr const char* kQMFailureCodeKey = "com.quillomancer.update.failureCode";
inline constexpr const char* kQMFailureTargetVersionKey = "com.quillomancer.update.failureTargetVersion";
inline constexpr const char* kQMLastInstalledVersionKey = "com.quillomancer.update.lastInstalledVersion";
inline constexpr const char* kQMLastReleaseNotesKey = "com.quillomancer.update.lastReleaseNotes";

// The updater's requests and status folders below a home folder.
inline constexpr const char* kQMUpdateRequestsRelativePath = "Library/Application Support/Quillomancer/Updates/requests";
inline constexpr const char* kQMUpdateStatusRelativePath = "Library/Application Support/Quillomancer/Updates/status";

// The lock the updater holds on a request from its duplicate check to its last status document:
// "<request id>.lock" beside the status document in `statusFolder` (qm/platform/file_lock.h).
std::string QMUpdaterRequestLockPath(const std::string& statusFolder, const std::string& requestId);

// The failure codes after which a swap is launched again at the next account-status answer
// (while fewer than kQMMaxAutomaticSwapFailures failures in a row stand for its version) instead
// of coming back as a failure: the retryable codes the updater shares (its own, for which it runs
// a failed swap again, and those of an updater killed or crashed on the way).
bool QMIsRelaunchableSwapFailureCode(std::string_view errorCode);

// From this many failures in a row for one version on, a swap is no longer launched again by
// itself: the failure state stays until the user retries.
inline constexpr std::int64_t kQMMaxAutomaticSwapFailures = 3;

// Whether a swap that failed with `errorCode`, `failuresInARow` times for its version, is launched
// again by itself.
bool QMRelaunchesSwapAutomatically(std::string_view errorCode, std::int64_t failuresInARow);

// Everything of the controller's that goes into a request.
struct QMUpdateRequestInputs {
  QMUpdateMetadata metadata;
  std::string userEmail;           // "" when unknown
  bool mediaComposerHost = false;  // the window's host is Media Composer (false without a window)
  std::string windowAccessToken;   // the token the window holds, or ""
  std::string storedAccessToken;   // the stored token, or ""
};

enum class QMUpdaterAction { install, swap, prefetch };

// "" means install; "install" and "swap" are themselves; any other text is a prefetch.
QMUpdaterAction QMResolveUpdaterAction(std::string_view action);
const char* QMUpdaterActionText(QMUpdaterAction action);

// A new request id: a random version-4 UUID in upper case. [any-thread]
std::string QMGenerateRequestId();

// The telemetry endpoint handed to the updater: the service base followed by
// "/api/plugin/event" when the base is an https address (trailing slashes dropped), else "",
// since the updater refuses a request whose telemetry address is not https. [any-thread]
std::string QMTelemetryEndpointForServiceBase(std::string_view serviceBase);

// The values of one request that are not the controller's.
struct QMUpdateRequestIdentity {
  QMUpdaterAction action = QMUpdaterAction::install;
  std::string requestId;
  std::string timestampUTC;
  std::string operationId;           // swap only
  std::string telemetryEndpointURL;  // "" when none
};

// The update request document: fourteen keys, and for a swap six more. [any-thread]
nlohmann::json QMBuildUpdateRequestDocument(const QMUpdateRequestInputs& inputs,
                                            const QMUpdateRequestIdentity& identity);

// Why the updater would refuse the request document `text` at `now`: its validation's detail
// ("update_pkg_url must be https", "Missing swap field: artifact_url"), or "" when it accepts it.
// The updater's own validation and allowed hosts decide, not a copy of them. [any-thread]
std::string QMUpdateRequestRefusal(std::string_view text, std::time_t now);

// What the settings controller does for the hand-off. Called on the main thread only; a block
// that calls it keeps the owner alive until it has run.
class QMUpdaterHandoffOwner {
 public:
  virtual ~QMUpdaterHandoffOwner() = default;
  // Appends a plug-in event; an empty request id or error code stands for none. [main-thread]
  virtual void recordPluginEvent(const std::string& event, const std::string& requestId,
                                 const std::string& errorCode) = 0;
  // Enters the update failure state for the code and target version. [main-thread]
  virtual void applyUpdateFailureForErrorCode(const std::string& errorCode, const std::string& targetVersion) = 0;
  // Opens the product's download page in the default browser. [main-thread]
  virtual void openDownloadPage() = 0;
};

struct QMUpdaterHandoffConfig {
  std::string updaterPath = kQMUpdaterPath;  // the program checked and started
  QMUpdaterSignatureConfig signature;        // what its signature is checked against
  std::string requestsDirectory;             // "": the requests folder below $HOME, read at each launch
  std::optional<std::string> serviceBaseURL;  // the service base; nothing: QuillomancerServerBaseURL()
  qm::platform::UserDefaults* defaults = nullptr;  // nothing: the standard user defaults
  QuillomancerLogger* logger = nullptr;            // nothing: the shared plug-in log
  std::function<std::time_t()> clock;              // stamps the request; empty: the wall clock
};

class QMUpdaterHandoff {
 public:
  explicit QMUpdaterHandoff(QMUpdaterHandoffConfig config = {});

  // Prefetches, installs or swaps in the offered update (the action as QMResolveUpdaterAction
  // reads it). Everything up to the start runs here; the start runs on the global queue, its
  // outcome comes back on the main queue (pending keys and events on success). [main-thread]
  void launchUpdaterWithAction(std::string_view action, const QMUpdateRequestInputs& inputs,
                               std::shared_ptr<QMUpdaterHandoffOwner> owner);
  void launchUpdaterInstall(const QMUpdateRequestInputs& inputs, std::shared_ptr<QMUpdaterHandoffOwner> owner) {
    launchUpdaterWithAction("install", inputs, std::move(owner));
  }

  // Why the updater would refuse the request a launch with `action` would now write for
  // `inputs`, or "" when it would accept it (QMUpdateRequestRefusal). [main-thread]
  std::string requestRefusal(std::string_view action, const QMUpdateRequestInputs& inputs) const;

  // The requests folder a launch now writes into.
  std::string requestsDirectory() const;

 private:
  struct Shared;
  std::shared_ptr<const Shared> shared_;
};
