#include "QMUpdateTexts.h"

#include "QMSettingsUpdatesPrivate.h"

#include "QMVersionComparison.h"
#include "QMWindowLook.h"

#include "qm/platform/browser.h"
#include "qm/updater/status_vocabulary.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kPreparing = "Preparing automatic update...";

std::string Lowercase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

bool ContainsAny(const std::string& text, std::initializer_list<const char*> parts) {
  return std::any_of(parts.begin(), parts.end(), [&](const char* part) { return text.find(part) != std::string::npos; });
}

}  // namespace

std::string QMUpdateRequiredMessageString() {
  return std::string("This version of Quillomancer is no longer supported. Please download the latest version at ") +
         kQMDownloadPageDisplayAddress + ".";
}

std::string QMMinimumRequiredVersionString(const std::string& minimumVersion) {
  if (minimumVersion.empty()) return "Minimum required version enforced by server.";
  return "Minimum required version: v" + minimumVersion;
}

std::string QMUserFacingUpdaterProgressBodyForStage(std::string_view stage) {
  struct Text {
    std::string_view stage;
    const char* text;
  };
  static constexpr Text kTexts[] = {
      {"", "Starting automatic update..."},
      {"launch_validated", "Starting automatic update..."},
      {"swap_op_created", kPreparing},
      {"download_started", "Downloading update..."},
      {"download_ok", "Download complete. Verifying update..."},
      {"hash_ok", "Update verified. Preparing automatic update..."},
      {"swap_preflight_ok", "Update verified. Preparing automatic update..."},
      {"ready_to_install", "Update is ready. Quit and re-launch PT to update automatically."},
      {"installer_opened", "Installer opened. Complete the install, then re-launch Pro Tools."},
      {"swap_host_waiting", "Update is staged. Quit Pro Tools to finish automatic update."},
      {"swap_host_closed", "Pro Tools closed. Applying update..."},
      {"swap_backup_captured", "Backing up current plugin..."},
      {"swap_applied", "Applying update..."},
      {"swap_postcheck_ok", "Update applied. Finalizing..."},
      {"swap_commit_complete", "Update complete. Re-launch Pro Tools."},
      {"swap_rollback_started", "Update failed. Restoring previous plugin..."},
      {"swap_rollback_complete", "Previous plugin restored."},
  };
  for (const Text& t : kTexts)
    if (t.stage == stage) return t.text;
  return "Automatic update in progress...";
}

bool QMIsUpdaterStageTerminal(std::string_view stage) {
  return qm::updater::isFinalUpdateStage(stage);
}

std::string QMInstalledAndAvailableVersionLabelString(const std::string& targetVersion) {
  return QMInstalledVersionLabelString() + "\nAvailable v" + targetVersion;
}

std::string QMInstalledToTargetVersionProgressLabelString(const std::string& targetVersion, const std::string& body) {
  if (targetVersion.empty()) return QMInstalledVersionLabelString();
  return QMInstalledAndAvailableVersionLabelString(targetVersion) + "\n" + (body.empty() ? kPreparing : body);
}

std::string QMInstalledToTargetVersionLabelString(const std::string& targetVersion, bool ready) {
  return QMInstalledToTargetVersionProgressLabelString(
      targetVersion, ready ? "Quit and re-launch PT to update automatically" : kPreparing);
}

std::string QMUpdateFailureLink(const std::string& packageURL) {
  // The address comes from the server: only a plain web link goes to the browser.
  return qm::platform::isOpenableWebLink(packageURL) ? packageURL : kQMDownloadPageURL;
}

std::string QMUpdateFailureMessage(std::string_view errorCode, const std::string& link) {
  const std::string code = Lowercase(errorCode);
  const char* lead = "Update failed.";
  if (code.find("swap_artifact_invalid") != std::string::npos) {
    lead = "Auto-update received an invalid swap artifact.";
  } else if (ContainsAny(code, {"hash", "signature", "manifest", "integrity", "verify"})) {
    lead = "Update could not be verified.";
  } else if (ContainsAny(code, {"updater_missing", "updater_verification_failed", "updater_launch_error"})) {
    lead = "Auto-update unavailable.";
  }
  return std::string(lead) + " [Download manually](" + link + ")";
}

std::string QMOfferedUpdateVersion(const QuillomancerServer::VerifyResult& answer) {
  const std::string& offered = !answer.update.targetVersion.empty() ? answer.update.targetVersion : answer.latestVersion;
  if (offered.empty() || !answer.updateEligible) return {};
  const int c = QMCompareVersionWithSuffix(offered, QMPluginVersionString());
  if (c == 0 || (c < 0 && !answer.allowDowngrade)) return {};
  return offered;
}

std::string QMUpdatePrefetchKey(const std::string& channel, const std::string& targetVersion, bool swap) {
  return (channel.empty() ? std::string("stable") : channel) + "|" + targetVersion + "|" + (swap ? "swap" : "pkg");
}
