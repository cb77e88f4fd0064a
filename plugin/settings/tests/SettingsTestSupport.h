#pragma once
// What the settings room's tests share: a temporary home folder for the process (user defaults,
// the plug-in log, the token and update files) and a stand-in for the window that owns the
// controller, which answers from a few switches and records every call it gets.

#include "QMSettingsHelper.h"
#include "QMSettingsHelperOwner.h"
#include "QMUpdaterHandoff.h"
#include "QuillomancerLogger.h"
#include "QuillomancerServer.h"

#include "qm/platform/code_signature.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/service/service.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qmsettingstest {

// HOME points at a temporary folder for the whole process, set before any test runs (so the log,
// the user defaults and every path agree), and removed at exit.
inline const bool kTemporaryHomeReady = [] {
  static char home[] = "/tmp/qm-settings-home-XXXXXX";
  if (mkdtemp(home)) setenv("HOME", home, 1);
  // No request of a test leaves the machine: without a stand-in, calls go to a closed local port.
  setenv("QUILLOMANCER_SERVER_URL", "http://127.0.0.1:1", 0);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
  });
  return true;
}();
inline void UseTemporaryHome() { (void)kTemporaryHomeReady; }

// The window as the controller sees it: a few switches to answer with, and every call it got.
struct RecordingWindow : QMSettingsHelperOwner {
  bool voiceChange = false, editingBefore = true, repairTool = false, mediaComposer = false;
  std::vector<std::string> calls;
  std::string renderId;
  std::string token;
  std::optional<int32_t> credits;

  void note(std::string call) { calls.push_back(std::move(call)); }
  bool IsVoiceChangeMode() const override { return voiceChange; }
  bool IsEditingBeforeText() const override { return editingBefore; }
  bool IsRepairToolActive() const override { return repairTool; }
  bool IsMediaComposerHost() const override { return mediaComposer; }
  void SetEditorMode(QuillomancerMode mode) override { note("SetEditorMode " + std::to_string(mode)); }
  void SetLineMode(bool editBefore) override { note(editBefore ? "SetLineMode before" : "SetLineMode after"); }
  void SetRepairToolActive(bool on) override { note(on ? "SetRepairToolActive on" : "SetRepairToolActive off"); }
  void ClearRepairSelections() override { note("ClearRepairSelections"); }
  void NotifyRepairSelectionChanged() override { note("NotifyRepairSelectionChanged"); }
  void ClearLineChangeState() override { note("ClearLineChangeState"); }
  void ClearVoiceChangeText() override { note("ClearVoiceChangeText"); }
  void ResetForNewAudioLoad() override { note("ResetForNewAudioLoad"); }
  void ClearSelectedLanguage() override { note("ClearSelectedLanguage"); }
  void SetManualStatusMessage(const std::string& text, float, float, float, float) override {
    note("SetManualStatusMessage '" + text + "'");
  }
  void SetProcessButtonArmed(bool armed, bool animated) override {
    note(std::string("SetProcessButtonArmed ") + (armed ? "on" : "off") + (animated ? " animated" : ""));
  }
  void SetMainTextInputInteractive(bool on) override { note(on ? "SetMainTextInputInteractive on" : "SetMainTextInputInteractive off"); }
  const std::string& GetCurrentRenderId() const override { return renderId; }
  bool IsRepairPreviewArmed() const override { return false; }
  void SetRepairPreviewArmed(bool armed) override { note(armed ? "SetRepairPreviewArmed on" : "SetRepairPreviewArmed off"); }
  void SetMinimumVersionLock(bool, const std::string&) override { note("SetMinimumVersionLock"); }
  std::optional<int32_t> GetLastShownCredits() const override { return credits; }
  void SetLastShownCredits(int32_t shown) override { credits = shown; }
  std::string GetAccountAccessToken() override { return token; }
  void SelectLanguageAlias(const std::string& alias, bool) override { note("SelectLanguageAlias " + alias); }
};

// The plug-in log's lines that begin with `prefix`, from construction to destruction.
struct LoggedLines {
  explicit LoggedLines(std::string prefix) {
    QuillomancerLogger::shared().setMessageObserver([this, prefix = std::move(prefix)](const std::string& line) {
      std::lock_guard lock(mutex);
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    });
  }
  ~LoggedLines() { QuillomancerLogger::shared().setMessageObserver({}); }
  // The lines logged since the last call.
  std::vector<std::string> take() {
    std::lock_guard lock(mutex);
    return std::exchange(lines, {});
  }

  std::mutex mutex;
  std::vector<std::string> lines;
};

// An updater for the controller to check and start: "Updater/QuillomancerUpdater" in a temporary
// folder of its own (removed with it), signed with a key of the test's, which `configure` tells a
// hand-off to trust (and to send no telemetry). Nothing is at the path until `install`.
struct StandInUpdater {
  StandInUpdater() {
    char folder[] = "/tmp/qm-updater-XXXXXX";
    root = ::mkdtemp(folder);
    std::filesystem::create_directory(root / "Updater");
    ::chmod((root / "Updater").c_str(), 0755);
    path = (root / "Updater" / "QuillomancerUpdater").string();
  }
  ~StandInUpdater() { std::filesystem::remove_all(root); }
  void configure(QMUpdaterHandoffConfig& c) const {
    c.updaterPath = c.signature.expectedPath = path;
    c.signature.extraTrustedKeys = {key.publicKeyHex};
    c.signature.trustBuiltInKeys = false;
    c.serviceBaseURL = std::string();
  }
  // The shell script `script` at the path, signed.
  void install(const std::string& script) const {
    ASSERT_EQ(qm::platform::writeFileAtomic(path, script, 0755), 0);
    ASSERT_EQ(qm::platform::signCode(path, key.privateKeyHex, "QuillomancerUpdater", "QM4T7R2N9X"), "");
  }

  std::filesystem::path root;
  std::string path;
  const qm::platform::CodeSigningKey key = *qm::platform::generateCodeSigningKey();
};

// The controller in a toolkit window (its views go in `content`), the window stand-in as its
// owner, its service calls going to the web-service stand-in, and the log's lines from `prefix`.
struct ControllerInWindow : ::testing::Test {
  explicit ControllerInWindow(std::string prefix, const qm::service::Options& options = {})
      : service(options), logged(std::move(prefix)) {
    UseTemporaryHome();
    qm::platform::setCurrentThreadAsMain();
    QMForgetFinishedUpdates();  // each test is a run of the host of its own
    EXPECT_TRUE(service.start());
    QuillomancerServerSetBaseURLOverride(service.url());
    window.setContentView(content);
    controller->setGuiOwner(&owner);
  }
  ~ControllerInWindow() override {
    qm::platform::dispatchWaitForIdle(60);
    qm::platform::drainMainQueue();
    QuillomancerServerSetBaseURLOverride(std::nullopt);
  }
  // `button` in the window, sending `action` to the controller.
  void addButton(const std::shared_ptr<qm::ui::Button>& button, const char* action) {
    button->setTarget(controller);
    button->setAction(action);
    content->addSubview(button);
  }
  std::vector<std::string> takeLog() { return logged.take(); }

  qm::service::Service service;
  qm::ui::Window window{qm::ui::Rect{0, 0, 420, 100}};
  std::shared_ptr<qm::ui::View> content = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 420, 100});
  RecordingWindow owner;
  std::shared_ptr<QMSettingsHelper> controller = QMSettingsHelper::Create();
  LoggedLines logged;
};

}  // namespace qmsettingstest
