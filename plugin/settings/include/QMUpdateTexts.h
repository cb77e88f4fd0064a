#pragma once
// What the settings card says about updates, and the two small rules behind the offer: which
// version the account-status answer offers, and the key under which an offer is prefetched once.
// Pure functions of their arguments. [any-thread]

#include "QuillomancerServer.h"

#include <string>
#include <string_view>

// The product's download page, and the same address without its scheme as the update-required
// message shows it.
inline constexpr const char* kQMDownloadPageURL = "https://quillomancer.com/download";
inline constexpr const char* kQMDownloadPageDisplayAddress = "quillomancer.com/download";

// The window's badge for a while after an installed update was detected.
inline constexpr const char* kQMUpdateSuccessBadgeText = "Update installed";

// The update-required page's message.
std::string QMUpdateRequiredMessageString();
// "Minimum required version: v<version>", or "Minimum required version enforced by server."
// without one.
std::string QMMinimumRequiredVersionString(const std::string& minimumVersion);

// The third line of the version label for an updater stage ("Downloading update...").
std::string QMUserFacingUpdaterProgressBodyForStage(std::string_view stage);
// The updater's final stages ("ready_to_install", "installer_opened", "swap_commit_complete",
// "swap_rollback_complete" and "failed"), from the table both sides read.
bool QMIsUpdaterStageTerminal(std::string_view stage);

// "Installed v2.0.2\nAvailable v<target>\n<body>" (body "Preparing automatic update..." when
// empty); the plain "Installed v2.0.2" without a target.
std::string QMInstalledToTargetVersionProgressLabelString(const std::string& targetVersion, const std::string& body);
// The same three lines for an offer: ready ends "Quit and re-launch PT to update automatically",
// else "Preparing automatic update...".
std::string QMInstalledToTargetVersionLabelString(const std::string& targetVersion, bool ready);

// Where "Download manually" leads after a failure: the package address when it is a web link the
// browser may open, else the download page.
std::string QMUpdateFailureLink(const std::string& packageURL);
// The failure message for an updater error code (any letter case), with `link` in its
// "[Download manually](...)".
std::string QMUpdateFailureMessage(std::string_view errorCode, const std::string& link);

// The version the answer offers to this installation, or "" for no offer: the target version (the
// latest when there is none) when the answer is update eligible and that version is newer than
// the installed one, or older with downgrades allowed.
std::string QMOfferedUpdateVersion(const QuillomancerServer::VerifyResult& answer);

// "<channel or stable>|<target>|swap" or "...|pkg": one prefetch per channel, version and kind.
std::string QMUpdatePrefetchKey(const std::string& channel, const std::string& targetVersion, bool swap);
