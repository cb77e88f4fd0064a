#include "QMUpdaterHandoff.h"

#include "QMUpdaterProcessRegistry.h"
#include "QuillomancerLogger.h"
#include "QuillomancerServer.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/process.h"
#include "qm/platform/time.h"
#include "qm/platform/uuid.h"
#include "qm/updater/errors.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/status_vocabulary.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each action's text in the request, its event at the start and its event once the updater
// runs, in the order of QMUpdaterAction.
struct ActionNames {
  const char* text;
  const char* startEvent;
  const char* launchedEvent;
};

const ActionNames& namesOf(QMUpdaterAction action) {
  static const ActionNames kNames[] = {
      {"install", "install_button_clicked", "updater_launch_ok"},
      {"swap", "swap_triggered", "swap_launch_ok"},
      {"prefetch", "prefetch_triggered", "prefetch_launch_ok"},
  };
  return kNames[static_cast<int>(action)];
}

std::string orDefault(const std::string& value, const char* fallback) { return value.empty() ? fallback : value; }

// Writes the request through ".<id>.tmp", created 0600 (it carries a bearer token) and renamed
// over "<id>.json". Returns "" on success; else "write" (nothing usable was written) or
// "rename:<reason>".
std::string writeRequestFile(const std::string& folder, const std::string& requestId, const std::string& text,
                             std::string& finalPath) {
  const std::string tmp = qm::platform::joinPath(folder, "." + requestId + ".tmp");
  finalPath = qm::platform::joinPath(folder, requestId + ".json");
  ::unlink(tmp.c_str());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return "write";
  bool ok = ::fchmod(fd, 0600) == 0;  // exactly 0600 whatever the umask, before any byte is written
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(tmp.c_str());
    return "write";
  }
  if (::rename(tmp.c_str(), finalPath.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(tmp.c_str());
    return "rename:" + reason;
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

// Creates the requests folder (and what is missing above it) with mode 0700, and tightens an
// existing one to 0700 when it is a real folder of this user's. Errors are left to the write.
void prepareRequestsFolder(const std::string& folder) {
  qm::platform::makeDirectories(folder, 0700);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & 07777) != 0700)
    ::chmod(folder.c_str(), 0700);
}

}  // namespace

QMUpdaterAction QMResolveUpdaterAction(std::string_view action) {
  if (action.empty() || action == "install") return QMUpdaterAction::install;
  if (action == "swap") return QMUpdaterAction::swap;
  return QMUpdaterAction::prefetch;
}

const char* QMUpdaterActionText(QMUpdaterAction action) { return namesOf(action).text; }

std::string QMGenerateRequestId() { return qm::platform::randomUuidString(true); }

std::string QMTelemetryEndpointForServiceBase(std::string_view base) {
  while (!base.empty() && base.back() == '/') base.remove_suffix(1);
  constexpr std::string_view kScheme = "https://";
  if (base.size() <= kScheme.size()) return {};
  for (size_t i = 0; i < kScheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(base[i])) != kScheme[i]) return {};
  const char first = base[kScheme.size()];
  if (first == '/' || first == ':' || first == '?' || first == '#') return {};
  for (const char c : base)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return {};
  return std::string(base) + "/api/plugin/event";
}

nlohmann::json QMBuildUpdateRequestDocument(const QMUpdateRequestInputs& in, const QMUpdateRequestIdentity& id) {
  const QMUpdateMetadata& m = in.metadata;
  const std::string& token = !in.windowAccessToken.empty() ? in.windowAccessToken : in.storedAccessToken;
  nlohmann::json doc = {
      {"schema_version", "1"},
      {"request_id", id.requestId},
      {"timestamp_utc", id.timestampUTC},
      {"host", in.mediaComposerHost ? "media_composer" : "pro_tools"},
      {"username", orDefault(in.userEmail, "unknown")},
      {"installed_version", kQuillomancer_PluginVersion},
      {"target_version", m.targetVersion},
      {"effective_channel", orDefault(m.effectiveChannel, "stable")},
      {"action", QMUpdaterActionText(id.action)},
      {"update_pkg_url", m.pkgURL},
      {"update_pkg_sha256", m.pkgSHA256},
      {"release_notes_url", m.releaseNotesURL},
      {"telemetry_endpoint_url", id.telemetryEndpointURL},
      {"telemetry_bearer_token", token},
  };
  if (id.action == QMUpdaterAction::swap) {
    doc["operation_id"] = id.operationId;
    doc["manifest_version"] = m.manifestVersion;
    doc["released_at"] = m.releasedAt;
    doc["artifact_url"] = m.artifactURL;
    doc["artifact_sha256"] = m.artifactSHA256;
    doc["manifest_signature"] = m.manifestSignature;
  }
  return doc;
}

namespace {

// The document as the request file holds it, or "" when a value is not UTF-8 (no JSON for it).
std::string DocumentText(const QMUpdateRequestInputs& inputs, const QMUpdateRequestIdentity& identity) {
  try {
    return QMBuildUpdateRequestDocument(inputs, identity).dump(2);
  } catch (const nlohmann::json::exception&) {
    return {};
  }
}

}  // namespace

std::string QMUpdaterRequestLockPath(const std::string& statusFolder, const std::string& requestId) {
  return qm::platform::joinPath(statusFolder, requestId + ".lock");
}

bool QMIsRelaunchableSwapFailureCode(std::string_view code) {
  return qm::updater::isRetryableFailureCode(code);
}

bool QMRelaunchesSwapAutomatically(std::string_view errorCode, std::int64_t failuresInARow) {
  return QMIsRelaunchableSwapFailureCode(errorCode) && failuresInARow < kQMMaxAutomaticSwapFailures;
}

std::string QMUpdateRequestRefusal(std::string_view text, std::time_t now) {
  std::string why;
  const auto payload = qm::updater::decodeLaunchPayload(text, &why);
  if (!payload) return why;
  try {
    qm::updater::LaunchPayloadValidator(qm::updater::UpdaterConfig::production())
        .validate(*payload, std::chrono::system_clock::from_time_t(now));
  } catch (const qm::updater::UpdaterError& e) {
    return e.detail.empty() ? std::string(e.codeText()) : e.detail;
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

struct QMUpdaterHandoff::Shared {
  QMUpdaterHandoffConfig config;

  qm::platform::UserDefaults& defaults() const {
    return config.defaults ? *config.defaults : qm::platform::UserDefaults::standard();
  }
  void log(const std::string& message) const {
    (config.logger ? *config.logger : QuillomancerLogger::shared()).logMessage(message);
  }

  // What the user sees when a step fails, by action.
  static void failureEnding(QMUpdaterHandoffOwner& owner, QMUpdaterAction action, const std::string& code,
                            const std::string& targetVersion) {
    if (action == QMUpdaterAction::swap)
      owner.applyUpdateFailureForErrorCode(code, targetVersion);
    else if (action == QMUpdaterAction::install)
      owner.openDownloadPage();
  }

  void fail(QMUpdaterHandoffOwner& owner, QMUpdaterAction action, const std::string& logLine,
            const std::string& requestId, const std::string& code, const std::string& targetVersion) const {
    log(logLine);
    owner.recordPluginEvent("updater_launch_failed", requestId, code);
    failureEnding(owner, action, code, targetVersion);
  }

  std::time_t now() const { return config.clock ? config.clock() : std::time(nullptr); }

  // The values of a request made now for `action` that are not the controller's.
  QMUpdateRequestIdentity identityFor(QMUpdaterAction action, const std::string& targetVersion) const {
    QMUpdateRequestIdentity identity;
    identity.action = action;
    identity.requestId = QMGenerateRequestId();
    identity.timestampUTC = qm::platform::formatUTCTimestamp(now());
    if (action == QMUpdaterAction::swap) identity.operationId = operationIdFor(targetVersion);
    identity.telemetryEndpointURL =
        QMTelemetryEndpointForServiceBase(config.serviceBaseURL ? *config.serviceBaseURL : QuillomancerServerBaseURL());
    return identity;
  }

  // The stored operation id when the last request was a swap of the same version; else a new one.
  std::string operationIdFor(const std::string& targetVersion) const {
    auto& d = defaults();
    const std::string pendingTarget = d.stringForKey(kQMPendingTargetVersionKey);
    const std::string pendingOperation = d.stringForKey(kQMPendingOperationIdKey);
    // A stored id of another form would make the updater refuse every retry of this version.
    if (!pendingTarget.empty() && pendingTarget == targetVersion && qm::platform::isUuidText(pendingOperation))
      return pendingOperation;
    return QMGenerateRequestId();
  }

  void storePendingKeys(const std::string& requestId, const std::string& targetVersion, QMUpdaterAction action,
                        const std::string& operationId) const {
    auto& d = defaults();
    d.set(kQMPendingRequestIdKey, requestId);
    d.set(kQMPendingTargetVersionKey, targetVersion.empty() ? nlohmann::json() : nlohmann::json(targetVersion));
    if (action == QMUpdaterAction::swap && !operationId.empty()) d.set(kQMPendingOperationIdKey, operationId);
    d.synchronize();
  }
};

QMUpdaterHandoff::QMUpdaterHandoff(QMUpdaterHandoffConfig config)
    : shared_(std::make_shared<const Shared>(Shared{std::move(config)})) {}

std::string QMUpdaterHandoff::requestRefusal(std::string_view action, const QMUpdateRequestInputs& inputs) const {
  const Shared& s = *shared_;
  const std::string text =
      DocumentText(inputs, s.identityFor(QMResolveUpdaterAction(action), inputs.metadata.targetVersion));
  return text.empty() ? "request document cannot be written" : QMUpdateRequestRefusal(text, s.now());
}

std::string QMUpdaterHandoff::requestsDirectory() const {
  if (!shared_->config.requestsDirectory.empty()) return shared_->config.requestsDirectory;
  return qm::platform::joinPath(qm::platform::homeDirectory(), kQMUpdateRequestsRelativePath);
}

void QMUpdaterHandoff::launchUpdaterWithAction(std::string_view actionText, const QMUpdateRequestInputs& inputs,
                                               std::shared_ptr<QMUpdaterHandoffOwner> owner) {
  if (!owner) return;
  const Shared& s = *shared_;
  const QMUpdaterAction action = QMResolveUpdaterAction(actionText);
  const std::string& target = inputs.metadata.targetVersion;
  owner->recordPluginEvent(namesOf(action).startEvent, "", "");

  const QMUpdateRequestIdentity identity = s.identityFor(action, target);
  const std::string& requestId = identity.requestId;
  const std::string text = DocumentText(inputs, identity);
  // The updater's own validation: a request it would refuse is never written nor launched. The
  // log names why: metadata missing for the action, or else the updater's reason (an http or
  // foreign address, a malformed value).
  if (const std::string refusal = text.empty() ? std::string() : QMUpdateRequestRefusal(text, s.now());
      !refusal.empty()) {
    const bool swap = action == QMUpdaterAction::swap;
    const bool complete = swap ? inputs.metadata.hasValidSwapMetadata() : inputs.metadata.hasPackageMetadata();
    s.fail(*owner, action,
           complete ? "Update launch skipped — the updater would refuse the request: " + refusal
                    : std::string("Update launch skipped — missing ") + (swap ? "swap" : "pkg") + " metadata",
           "", "missing_update_metadata", target);
    return;
  }

  const std::string folder = requestsDirectory();
  prepareRequestsFolder(folder);
  std::string requestFile;
  const std::string written = text.empty() ? "write" : writeRequestFile(folder, requestId, text, requestFile);
  if (written == "write") {
    s.fail(*owner, action, "Update launch failed — payload write error", requestId, "payload_write_failed", target);
    return;
  }
  if (!written.empty()) {
    const std::string reason = written.substr(written.find(':') + 1);
    s.fail(*owner, action, "Update launch failed — payload rename error: " + orDefault(reason, "unknown"), requestId,
           "payload_write_failed", target);
    return;
  }

  const std::string& updater = s.config.updaterPath;
  struct stat st {};
  if (::stat(updater.c_str(), &st) != 0) {
    s.fail(*owner, action, "Update launch failed — updater missing at " + updater, requestId, "updater_missing",
           target);
    return;
  }
  std::string code;
  qm::platform::CodeSignatureCheck check;
  if (!QMVerifyUpdaterBinaryAtPath(updater, s.config.signature, &code, &check)) {
    s.fail(*owner, action, "Update launch failed — updater verification error: " + orDefault(code, "unknown"),
           requestId, "updater_verification_failed", target);
    return;
  }

  // The start runs on the global queue; nothing waits for the updater. Its pid goes to the
  // registry at once, so it is reaped whatever becomes of the window. The owner moves on to the
  // main-queue block, so the controller is only ever let go on the main thread.
  qm::platform::dispatchGlobal([shared = shared_, owner = std::move(owner), check, requestFile, requestId, target,
                                action, operationId = identity.operationId]() mutable {
    if (!qm::platform::isSameFile(check.resolvedPath, check.identity)) {
      qm::platform::dispatchMain([shared, owner = std::move(owner), requestId, target, action] {
        shared->fail(*owner, action, "Update launch failed — updater verification error: changed_before_start",
                     requestId, "updater_verification_failed", target);
      });
      return;
    }
    const pid_t pid = qm::platform::spawnDetached(check.resolvedPath, {"--payload", requestFile}, true);
    const int spawnError = errno;
    if (pid > 0) QMUpdaterProcessRegistry::shared().noteStarted(requestId, pid);
    qm::platform::dispatchMain([shared, owner = std::move(owner), requestId, target, action, operationId, pid,
                                spawnError] {
      if (pid <= 0) {
        shared->fail(*owner, action, std::string("Update launch failed — NSTask exception: ") + std::strerror(spawnError),
                     requestId, "updater_launch_error", target);
        return;
      }
      shared->storePendingKeys(requestId, target, action, operationId);
      owner->recordPluginEvent(namesOf(action).launchedEvent, requestId, "");
    });
  });
}
