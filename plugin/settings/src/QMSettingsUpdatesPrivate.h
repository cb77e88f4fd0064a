#pragma once
// What the update files of the settings controller share: the defaults the update state lives
// in and the version labels of the card's pages.

#include "QMSettingsHelper.h"

#include "qm/platform/defaults.h"

// The defaults of the update keys: the hand-off's when a test named its own, else the standard
// ones. [main-thread]
qm::platform::UserDefaults& QMUpdateDefaults(const QMSettingsHelper& controller);

// The swap metadata is complete, the updater would accept the swap's request and is installed:
// the update button waits for the host's restart and Retry swaps; otherwise both install.
// [main-thread]
bool QMCanSwapUpdate(const QMSettingsHelper& controller);

// Whether the offer of the controller's target version is prepared without the user: the updater
// is installed and would accept the request of its swap (metadata complete) or else of its
// prefetch. When it is not, the card promises no automatic update. [main-thread]
bool QMPreparesUpdateAutomatically(const QMSettingsHelper& controller);

// The last stage of an update of `version` that ended in this run of the host (installed, its
// installer opened, rolled back), or "" for none. Such an update stays on the card in place of the
// offer, and the offer does not start it again, until the host runs again. [main-thread]
std::string QMFinishedUpdateStage(const std::string& version);

// "Installed v2.0.2\nAvailable v<target>": an offer that nothing prepares by itself.
std::string QMInstalledAndAvailableVersionLabelString(const std::string& targetVersion);

// The main page's version label and its update button in the wide frame (three lines) or the
// compact one (the installed version alone). [main-thread]
void QMSetMainVersionLabelWide(const QMSettingsViews& views, bool wide);

// Every version label of the card in the version label style. [main-thread]
void QMSetVersionLabelsText(const QMSettingsViews& views, const std::string& text, const qm::ui::Color& colour);

// The badge after an install was detected, while it is up. [main-thread]
bool QMIsShowingUpdateSuccessBadge(const QMSettingsViews& views);
