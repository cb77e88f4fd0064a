// The updater's progress as the controller polls it: the text of every stage, and the end of
// polling when the updater has exited without a final status (refused, crashed or killed), with
// a signed stand-in updater that writes its status files as the real one does.

#include "SettingsTestSupport.h"

#include "QMPluginEventsQueue.h"
#include "QMSettingsHelper.h"
#include "QMUpdateTexts.h"
#include "QMUpdaterProcessRegistry.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/uuid.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

TEST(UpdateProgress, EachStageHasItsTextAndTheFinalOnesEndThePolling) {
  const struct {
    const char* stage;
    const char* text;
    bool final;
  } rows[] = {
      {"", "Starting automatic update...", false},
      {"launch_validated", "Starting automatic update...", false},
      {"swap_op_created", "Preparing automatic update...", false},
      {"download_started", "Downloading update...", false},
      {"download_ok", "Download complete. Verifying update...", false},
      {"hash_ok", "Update verified. Preparing automatic update...", false},
      {"swap_preflight_ok", "Update verified. Preparing automatic update...", false},
      {"ready_to_install", "Update is ready. Quit and re-launch PT to update automatically.", true},
      {"installer_opened", "Installer opened. Complete the install, then re-launch Pro Tools.", true},
      {"swap_host_waiting", "Update is staged. Quit Pro Tools to finish automatic update.", false},
      {"swap_host_closed", "Pro Tools closed. Applying update...", false},
      {"swap_backup_captured", "Backing up current plugin...", false},
      {"swap_applied", "Applying update...", false},
      {"swap_postcheck_ok", "Update applied. Finalizing...", false},
      {"swap_commit_complete", "Update complete. Re-launch Pro Tools.", true},
      {"swap_rollback_started", "Update failed. Restoring previous plugin...", false},
      {"swap_rollback_complete", "Previous plugin restored.", true},
      {"failed", "Automatic update in progress...", true},
      {"swap_rollback_failed", "Automatic update in progress...", false},
      {"Download_Started", "Automatic update in progress...", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(QMUserFacingUpdaterProgressBodyForStage(row.stage), row.text) << "'" << row.stage << "'";
    EXPECT_EQ(QMIsUpdaterStageTerminal(row.stage), row.final) << "'" << row.stage << "'";
  }
}

// The controller with a prefetch to launch, a signed stand-in updater, and the log and events
// it leaves.
struct UpdaterExit : ::testing::Test {
  UpdaterExit() {
    qmsettingstest::UseTemporaryHome();
    qm::platform::setCurrentThreadAsMain();
    QMForgetFinishedUpdates();  // each test is a run of the host of its own
    updater.configure(controller->updaterHandoffConfig);
    controller->setGuiOwner(&window);
    controller->updateTargetVersion = "2.0.3";
    controller->updatePkgURL = "https://releases.quillomancer-storage.net/Quillomancer-2.0.3.pkg";
    controller->updatePkgSHA256 = std::string(64, 'a');
    controller->updateReleaseNotesURL = "https://www.quillomancer.com/notes/2.0.3";
  }
  ~UpdaterExit() override {
    Defaults().remove(kQMPluginEventsQueueDefaultsKey);
    Defaults().remove(kQMPendingRequestIdKey);
  }
  static qm::platform::UserDefaults& Defaults() { return qm::platform::UserDefaults::standard(); }

  // The stand-in writes `before` as its stage, waits for the gate, writes `after`, then ends
  // with `ending` ("exit 0", "kill -9 $$"); an empty stage writes nothing.
  void installUpdater(const std::string& before, const std::string& after, const std::string& ending) {
    const std::string write = R"(w() { [ -z "$1" ] && return; printf '{"status":"success","stage":"%s","target_version":"2.0.3"}' "$1" > "$d/.$id.tmp" && mv "$d/.$id.tmp" "$d/$id.json"; })";
    const std::string script = "#!/bin/sh\nid=$(basename \"$2\" .json)\nd=\"$HOME/" +
                               std::string(kQMUpdateStatusRelativePath) + "\"\nmkdir -p \"$d\"\n" + write + "\nw '" +
                               before + "'\nwhile [ ! -e '" + gate().string() + "' ]; do sleep 0.01; done\nw '" +
                               after + "'\n" + ending + "\n";
    updater.install(script);
  }
  fs::path gate() const { return updater.root / "gate"; }
  static Lines Events() {
    Lines out;
    const auto queue = Defaults().object(kQMPluginEventsQueueDefaultsKey);
    for (const auto& e : queue ? *queue : nlohmann::json::array())
      out.push_back(e.value("event", "") + "|" + e.value("error_code", ""));
    return out;
  }

  qmsettingstest::StandInUpdater updater;
  qmsettingstest::RecordingWindow window;
  std::shared_ptr<QMSettingsHelper> controller = QMSettingsHelper::Create();
  qmsettingstest::LoggedLines logged{"Update "};
};

TEST_F(UpdaterExit, AnUpdaterThatEndsWithoutAFinalStatusEndsThePollingAsAFailure) {
  const struct {
    const char *before, *after, *ending;
    std::string lastEvent, logLine;
  } cases[] = {
      {"download_started", "", "exit 0", "installer_open_failed|updater_exited_before_final_status",
       "Update failed — updater exited with code 0 before reporting a final status"},
      {"swap_host_waiting", "", "kill -9 $$", "installer_open_failed|updater_exited_before_final_status",
       "Update failed — updater exited with code 137 before reporting a final status"},
      {"", "", "exit 1", "installer_open_failed|updater_exited_without_status",
       "Update launch failed — updater exited with code 1 before reporting a status"},
      // Written just before a normal exit: read after the exit is seen, and taken as it is.
      {"download_ok", "ready_to_install", "exit 0", "prefetch_ready|", ""},
      {"swap_rollback_started", "swap_rollback_complete", "exit 0", "installer_open_ok|", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.before) + " / " + c.after + " / " + c.ending);
    fs::remove(gate());
    Defaults().remove(kQMPluginEventsQueueDefaultsKey);
    Defaults().remove(kQMLastPrefetchTargetKey);
    installUpdater(c.before, c.after, c.ending);
    controller->launchUpdaterPrefetchIfNeeded();
    ASSERT_TRUE(qm::platform::dispatchWaitForIdle(10));
    const std::string id = Defaults().stringForKey(kQMPendingRequestIdKey);
    ASSERT_FALSE(id.empty());
    const fs::path status = qm::platform::libraryPath("Application Support/Quillomancer/Updates/status/" + id + ".json");
    for (int i = 0; i < 6000 && *c.before && !fs::exists(status); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // While the updater runs, its last stage is only progress.
    controller->processUpdaterStatusFromDefaults();
    EXPECT_EQ(Defaults().stringForKey(kQMPendingRequestIdKey), id);
    EXPECT_EQ(Events().back(), "prefetch_launch_ok|");

    std::ofstream(gate()) << "go";
    auto process = QMUpdaterProcessRegistry::shared().status(id);
    for (int i = 0; i < 6000 && process.state == QMUpdaterProcessRegistry::State::running; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      process = QMUpdaterProcessRegistry::shared().status(id);
    }
    ASSERT_EQ(process.state, QMUpdaterProcessRegistry::State::exited);
    logged.take();
    controller->processUpdaterStatusFromDefaults();
    EXPECT_EQ(Events().back(), c.lastEvent);
    EXPECT_EQ(logged.take(), c.logLine.empty() ? Lines{} : Lines{c.logLine});
    EXPECT_FALSE(Defaults().has(kQMPendingRequestIdKey)) << "polling has ended";
    EXPECT_EQ(controller->updateFailureMessage.empty(), c.logLine.empty());
    controller->clearUpdateFailureState();
  }
}

// A request whose updater died before its first status (no status file, no lock held) fails once.
TEST_F(UpdaterExit, APendingRequestWithoutStatusWhoseLockIsFreeFailsOnce) {
  Defaults().remove(kQMPluginEventsQueueDefaultsKey);
  Defaults().set(kQMPendingRequestIdKey, qm::platform::randomUuidString());
  Defaults().set(kQMPendingTargetVersionKey, "2.0.3");
  controller->processUpdaterStatusFromDefaults();
  controller->processUpdaterStatusFromDefaults();
  EXPECT_EQ(Events(), Lines{"installer_open_failed|updater_exited_without_status"}) << "once";
  EXPECT_FALSE(Defaults().has(kQMPendingRequestIdKey));
  EXPECT_EQ(Defaults().stringForKey(kQMFailureCodeKey), "updater_exited_without_status");
}

}  // namespace
