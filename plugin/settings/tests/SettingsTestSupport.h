#pragma once
// What the settings room's tests share: a temporary home folder for the process (user defaults,
// the plug-in log, the token and update files) and a stand-in for the window that owns the
// controller, which answers from a few switches and records every call it gets.

#include "QMSettingsHelperOwner.h"

#include <cstdlib>
#include <filesystem>
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

}  // namespace qmsettingstest
