// The window object: creation and destruction, the view container, the placeholder, focus, and
// the small interfaces through which the settings controller and the repair component reach it.

#include "Quillomancer_GUI.h"

#include "QuillomancerLogger.h"

#include "qm/platform/thread_check.h"
#include "qm/ui/window.h"

#include <utility>

// [main-thread]
AAX_IEffectGUI* Quillomancer_GUI::Create() { return new Quillomancer_GUI(); }

Quillomancer_GUI::Quillomancer_GUI() = default;

// The host releases a window with or without an open view; either way nothing is left to reach
// it: the controller is torn down (once) and the delayed steps are cancelled.
Quillomancer_GUI::~Quillomancer_GUI() { NilViewPointers(); }

// [main-thread]
void Quillomancer_GUI::CreateViewContainer() { AAX_CEffectGUI_Cocoa::CreateViewContainer(); }

// [main-thread]
void Quillomancer_GUI::DeleteViewContainer() {
  NilViewPointers();
  AAX_CEffectGUI_Cocoa::DeleteViewContainer();
}

// [main-thread]
void Quillomancer_GUI::NilViewPointers() {
  QM_ASSERT_THREAD(main);
  views = QuillomancerWindowViews{};
  state.minimumVersionLock = false;
  state.minimumVersion.clear();
  state.lastSentUpdateLock = 0;
  state.lastSentVariation = 0;
  state.renderId.clear();
  state.lastTakeIndex = -1;
  state.beforeText.clear();
  state.afterText.clear();
  state.ForgetLeftTags();
  state.editorMode = kQuillomancerMode_Before;
  state.editingBeforeText = true;
  state.afterTextEdited = false;
  state.repairToolActive = false;
  state.placeholderSuppressed = false;
  if (settingsController) {
    // Let go of first, so that nothing the teardown calls back finds the controller again.
    std::exchange(settingsController, nullptr)->teardown();
  }
}

// [main-thread]
void Quillomancer_GUI::UpdateTextPlaceholderVisibility() {
  qm::ui::TextField* placeholder = views.placeholderLabel;
  QMTrackedTextEditorView* editor = views.editorView;
  if (!placeholder || !editor) return;
  if (IsVoiceChangeMode()) {
    placeholder->setHidden(true);
    return;
  }
  if (!editor->targetText().empty()) {
    state.placeholderSuppressed = false;
    placeholder->setHidden(true);
    return;
  }
  placeholder->setHidden(state.placeholderSuppressed);
}

// [main-thread]
void Quillomancer_GUI::ReleaseMainTextInputFocus() {
  QMTrackedTextEditorView* editor = views.editorView;
  if (!editor || !editor->textView()) return;
  qm::ui::TextView* text = editor->textView();
  qm::ui::Window* window = text->window();
  if (!window) return;
  window->endEditingFor(text);
  if (window->firstResponder() == text && !window->makeFirstResponder(nullptr) && views.settingsButton) {
    window->makeFirstResponder(views.settingsButton);
  }
}

// [main-thread]
std::string Quillomancer_GUI::GetAccountAccessToken() { return state.accountAccessToken; }

QuillomancerStoreClient Quillomancer_GUI::Store() { return QuillomancerStoreClient(GetEffectParameters()); }

void Quillomancer_GUI::Log(const std::string& line) { QuillomancerLogger::shared().logMessage(line); }
