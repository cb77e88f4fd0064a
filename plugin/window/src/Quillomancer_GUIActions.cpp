// The window operations behind the buttons: the Repair tool, the reset for new audio, the repair
// preview, the editor's interactivity and the forced-update lock. The settings controller's
// actions call them; so do the timer call (new audio, the preview flag) and the settings card
// (interactivity, the lock).

#include "Quillomancer_GUI.h"

#include "QMRepairTokens.h"
#include "QuillomancerLogger.h"

#include "qm/ui/window.h"

namespace {

// The colour of the window's warnings in the status line.
constexpr float kWarningRed = 0.953f, kWarningGreen = 0.612f, kWarningBlue = 0.071f;

}  // namespace

// Turning the tool on needs a transcript whose words carry timings (no two neighbouring words
// without one): without it nothing could be regenerated in place, and the refusal says why.
// [main-thread]
void Quillomancer_GUI::SetRepairToolActive(bool active) {
  if (state.repairToolActive == active) return;
  if (active && !HasUsableTranscriptRepairSource()) {
    const std::string& transcript = repair.TranscriptText();
    const auto& timings = repair.WordTimings();
    unsigned long longestMissingRun = 0;
    QMHasRecoverableRepairTimingCoverage(QMTokenizeRepairTokensUTF8(transcript), timings, &longestMissingRun);
    // No transcript yet (nothing loaded, or the last load failed): load first. A transcript whose
    // timing cannot carry a repair: say so, loading again would not help by itself.
    const char* message = transcript.empty() ? "transcribe audio first" : "repair needs reliable transcript timing";
    SetManualStatusMessage(message, kWarningRed, kWarningGreen, kWarningBlue, 1.0f);
    QMLogFormat("GUI repair: activation denied (sourceText=%s, wordCount=%zu, longestMissingTimingRun=%lu)",
                transcript.empty() ? "missing" : "present", timings.size(), longestMissingRun);
    return;
  }
  // What was typed since the last timer call is taken in first, or the sync below would put
  // the text of before back.
  CaptureCurrentModeText();
  state.repairToolActive = active;
  UpdateRepairToolButtonAppearance();
  if (QMTrackedTextEditorView* editor = views.editorView) {
    editor->setRepairSelectionMode(active);
    const bool voiceChange = IsVoiceChangeMode();
    editor->textView()->setEditable(!voiceChange && !active);
    editor->textView()->setSelectable(!voiceChange);
    SyncLineChangeEditorMode(true);
  }
}

// [main-thread]
void Quillomancer_GUI::ResetForNewAudioLoad() {
  if (IsVoiceChangeMode()) SetEditorMode(kQuillomancerMode_Before);
  ClearLineChangeState();
  SetRepairPreviewArmed(false);
  SetProcessButtonArmed(false, /*animated=*/false);
  SetLoadButtonArmed(false, /*animated=*/false);
  SetManualStatusMessage("", 1, 1, 1, 1);
  Log("GUI: cleared editor state for new audio load");
}

// No change check: the timer call only calls this when the store's flag changed.
// [main-thread]
void Quillomancer_GUI::SetRepairPreviewArmed(bool armed) {
  state.repairPreviewArmed = armed;
  QuillomancerStoreClient store = Store();
  if (store.IsBound()) {
    if (armed) {
      store.WriteByte(kQMBlock_RepairPreview, 1);
    } else {
      store.Clear(kQMBlock_RepairPreview);
    }
  }
  // The alternate logo shows while the preview is armed.
  if (!settingsController) return;
  qm::ui::ImageView* logo = settingsController->views.easterEggLogoView.get();
  if (!logo) return;
  if (logo->layer()) logo->layer()->removeAllAnimations();
  logo->setHidden(!armed);
  logo->setAlphaValue(1.0);
}

// [main-thread]
void Quillomancer_GUI::SetMainTextInputInteractive(bool on) {
  QMTrackedTextEditorView* editor = views.editorView;
  if (!editor) return;
  qm::ui::TextView* text = editor->textView();
  text->setEditable(on);
  text->setSelectable(on);
  editor->setRepairCursorEnabled(on);
  qm::ui::Window* window = text->window();
  if (!window) return;
  window->invalidateCursorRectsForView(text);
  if (!on && window->firstResponder() == text) window->makeFirstResponder(nullptr);
}

// The next timer call passes the lock to the processor and locks the controls.
// [main-thread]
void Quillomancer_GUI::SetMinimumVersionLock(bool locked, const std::string& minimumVersion) {
  state.minimumVersionLock = locked;
  state.minimumVersion = minimumVersion;
}
