// Send Log: the plug-in's log, the newest crash reports of the host and the updater's log, in one
// upload to the service. The button tells the outcome: "Sending…" while the upload runs, then
// "Sent!" or "Error" for three seconds ("No log" for two when there is nothing to send).

#include "QMSettingsCardInternal.h"
#include "QMSettingsCardSupport.h"

#include "QuillomancerLogger.h"
#include "QuillomancerServer.h"

#include "qm/platform/system_info.h"
#include "qm/platform/thread_check.h"

namespace {

constexpr const char* kSendLogTitle = "Send Log";
constexpr std::string_view kCrashSeparator = "\n\n--- CRASH REPORT ---\n";
constexpr std::string_view kUpdaterSeparator = "\n\n--- UPDATER LOG ---\n";
constexpr double kNoLogSeconds = 2.0;
constexpr double kResultSeconds = 3.0;

// Sets the Send Log title back after `seconds`, whatever happened meanwhile.
void ResetTitleLater(QMSettingsHelper& c, double seconds) {
  c.deferred.schedule(seconds, [&c] { QMApplySmallSecondaryButtonTitle(c.views.sendLogBtn.get(), kSendLogTitle); });
}

}  // namespace

// [main-thread]
void QMSettingsHelper::sendLogAction(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  QMCardLog("GUI event: send log clicked");
  const std::optional<std::string> log = QuillomancerLogger::shared().getLogContents();
  QMModeTextButton* button = views.sendLogBtn.get();
  if (!log || log->empty()) {
    QMCardLog("GUI event: send log aborted (empty log file)");
    QMApplySmallSecondaryButtonTitle(button, "No log");
    ResetTitleLater(*this, kNoLogSeconds);
    return;
  }
  if (button) button->setEnabled(false);
  QMApplySmallSecondaryButtonTitle(button, "Sending\u2026");

  std::string upload = *log;
  const std::string version = kQuillomancer_PluginVersion;
  const std::string macosVersion = qm::platform::operatingSystemVersion();
  const std::string email = userEmail;
  const std::string token = QMUsableWindowToken(*this);

  // The body must stay within what the service takes, counted as it is sent (a control byte of a
  // report grows six-fold in JSON): the reports and then the updater log get what the plug-in
  // log leaves, so one odd file never costs the log itself.
  const size_t besidesLog = QuillomancerServer::UploadLogBody("", version, macosVersion, email, "").value_or("").size();
  const auto less = [](size_t a, size_t b) { return a > b ? a - b : 0; };
  size_t room = less(kQMLogUploadMaxBodyBytes, besidesLog);
  QMKeepEndForUpload(upload, room);
  room = less(room, QMJSONStringBytes(upload));
  const auto roomAfter = [&](std::string_view separator) { return less(room, QMJSONStringBytes(separator)); };

  std::string bundle;
  std::vector<std::string> names;
  int hostMatched = 0;
  const bool attached = QMCollectCrashReportsForManualUpload(
      bundle, &names, &hostMatched, crashReportFolders.empty() ? QMDefaultCrashReportFolders() : crashReportFolders,
      roomAfter(kCrashSeparator));
  if (attached) {
    QMCardLog(QMCardFormat("Attaching %lu crash reports (%d host-matched, %lu generic)",
                           static_cast<unsigned long>(names.size()), hostMatched,
                           static_cast<unsigned long>(names.size() - static_cast<size_t>(hostMatched))));
    for (size_t i = 0; i < names.size(); ++i)
      QMCardLog(QMCardFormat("  Crash report[%lu]: %s", static_cast<unsigned long>(i + 1), names[i].c_str()));
  } else {
    QMCardLog("No crash report attached (no readable .ips in user/system DiagnosticReports)");
  }
  if (!bundle.empty()) {
    room = less(roomAfter(kCrashSeparator), QMJSONStringBytes(bundle));
    upload += kCrashSeparator;
    upload += bundle;
    QMCardLog(QMCardFormat("Merged crash bundle into log upload payload (total bytes=%zu)", upload.size()));
  }
  std::string updaterLog, updaterLogPath;
  const bool updaterLogRead = QMReadUpdaterLogForManualUpload(updaterLog, &updaterLogPath);
  QMCutForUpload(updaterLog, roomAfter(kUpdaterSeparator));
  if (!updaterLog.empty()) {
    upload += kUpdaterSeparator;
    upload += updaterLog;
    QMCardLog(QMCardFormat("Attached updater log: %s (total bytes=%zu)", updaterLogPath.c_str(), upload.size()));
  } else if (updaterLogRead) {
    QMCardLog("No updater log attached (no room left in the upload)");
  } else {
    QMCardLog("No updater log attached (missing or unreadable updater.log)");
  }
  QMCardLog(QMCardFormat("Sending log \u2014 version %s, macOS %s, email %s", version.c_str(), macosVersion.c_str(),
                         email.empty() ? "(none)" : email.c_str()));

  QMRunThenDeliver(
      *this,
      [upload = std::move(upload), version, macosVersion, email, token] {
        const QuillomancerServer::UploadLogResult result =
            QuillomancerServer::UploadLog(upload, version, macosVersion, email, token, "");
        QMCardLog(QMCardFormat("GUI event: send log completed (success=%d)", result.success ? 1 : 0));
        return result.success;
      },
      [](QMSettingsHelper& c, bool success) {
        QMModeTextButton* sent = c.views.sendLogBtn.get();
        if (!sent) return;
        sent->setEnabled(true);
        QMApplySmallSecondaryButtonTitle(sent, success ? "Sent!" : "Error");
        ResetTitleLater(c, kResultSeconds);
      });
}
