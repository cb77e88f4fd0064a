// The editor modes (Before, After, Voice Change), the two texts kept per mode, when the editor
// shows the diff, how the editor's texts are captured back before a switch, and the resets of the
// line change. The diff display follows from the texts, not from the mode: it shows whenever the
// After text is not empty and differs from the Before text (in Before mode the user then edits
// the reference side). Every switch captures the editor's texts first, so no typed text is lost.

#include "Quillomancer_GUI.h"

#include "QMWindowLook.h"

#include "qm/platform/text.h"

namespace {

std::u16string Decoded(const std::string& utf8) { return qm::platform::utf8ToUtf16(utf8); }
std::string Encoded(const std::u16string& text) { return QMStdStringFromNSString(text); }

// The text view's undo records belong to the text that was edited; once the editor edits the
// other text (or the locked message), they would change that one instead, so they go.
void QMForgetUndoOfOtherText(Quillomancer_GUI& gui) {
  if (gui.views.editorView) gui.views.editorView->forgetUndo();
}

// Redraws what depends on the mode: the three tools, LOAD and Process.
void QMRedrawModeButtons(Quillomancer_GUI& gui) {
  gui.UpdateChangeToolButtonAppearance();
  gui.UpdateRepairToolButtonAppearance();
  gui.UpdateVoiceChangeModeButtonAppearance();
  gui.UpdateLoadButtonAppearance();
  gui.UpdateProcessButtonAppearance();
}

}  // namespace

// [main-thread]
void Quillomancer_GUI::CaptureCurrentModeText() {
  QMTrackedTextEditorView* editor = views.editorView;
  if (!editor || IsVoiceChangeMode()) return;
  if (editor->lineChangeEnabled()) {
    state.beforeText = Encoded(editor->referenceText());
    state.afterText = Encoded(editor->targetText());
  } else if (state.editingBeforeText) {
    state.beforeText = editor->editReferenceWhileShowingDiff() ? Encoded(editor->referenceText())
                                                               : Encoded(editor->textView()->string());
  } else {
    state.afterText = Encoded(editor->targetText());
  }
}

// [main-thread]
void Quillomancer_GUI::SetEditorMode(QuillomancerMode mode) {
  if (mode != kQuillomancerMode_VoiceChange) {
    SetLineMode(mode == kQuillomancerMode_Before);
    return;
  }
  if (IsVoiceChangeMode()) return;
  CaptureCurrentModeText();
  QMForgetUndoOfOtherText(*this);
  state.ForgetLeftTags();
  state.editorMode = kQuillomancerMode_VoiceChange;
  state.repairToolActive = false;
  SetLoadButtonArmed(false, /*animated=*/false);
  // A voice is changed one take at a time; the choice is stored like any other.
  if (views.takeSelector) views.takeSelector->setSelectedTakes(1);
  QMRedrawModeButtons(*this);
  SyncLineChangeEditorMode(true);
  SyncEditorModeToParameters();
  UpdateTextPlaceholderVisibility();
}

// [main-thread]
void Quillomancer_GUI::SetLineMode(bool editBefore) {
  const QuillomancerMode mode = editBefore ? kQuillomancerMode_Before : kQuillomancerMode_After;
  if (state.editorMode == mode && state.editingBeforeText == editBefore) return;
  CaptureCurrentModeText();
  QMForgetUndoOfOtherText(*this);
  state.ForgetLeftTags();
  if (!editBefore && state.afterText.empty()) state.afterText = state.beforeText;
  state.editorMode = mode;
  state.editingBeforeText = editBefore;
  // The Repair tool only works on the Before text.
  if (!editBefore) state.repairToolActive = false;
  // Typing changes the diff display in place, and the pass that merges a retyped word with its
  // equal keeps the spaces typed beside it as shared text: the display can show the text not
  // being edited with a space it does not hold. The text edited from now on is shown afresh from
  // the two texts, so a click and a key land where the display shows them.
  if (views.editorView) views.editorView->setDirtyTrackedLayout(true);
  QMRedrawModeButtons(*this);
  SyncLineChangeEditorMode(true);
  SyncEditorModeToParameters();
  UpdateTextPlaceholderVisibility();
}

// [main-thread]
void Quillomancer_GUI::SyncLineChangeEditorMode(bool forceRestyle) {
  QMTrackedTextEditorView* editor = views.editorView;
  if (!editor) return;
  qm::ui::TextView* text = editor->textView();
  bool restyle = forceRestyle;

  if (IsVoiceChangeMode()) {
    const std::u16string locked = Decoded(QMVoiceChangeLockedMessage());
    if (editor->targetText() != locked) {
      editor->setTargetText(locked);
      restyle = true;
    }
    restyle = restyle || editor->lineChangeEnabled() || !editor->referenceText().empty();
    editor->setLineChangeEnabled(false);
    editor->setReferenceText(u"");
    editor->setRepairSelectionMode(false);
    editor->setRepairWordDisplayRanges({});
    editor->setRepairHighlightsVisible(false);
    text->setSelectedRange(qm::ui::Range{0, 0});
    if (restyle) editor->applyTrackedStyling();
  } else if (IsAutoLineChangeEnabled()) {
    const std::u16string target = Decoded(state.afterText);
    const std::u16string reference = Decoded(state.beforeText);
    const bool targetChanged = editor->targetText() != target;
    if (targetChanged) editor->setTargetText(target);
    const bool diffWasOff = !editor->lineChangeEnabled();
    if (diffWasOff && !targetChanged) {
      // The caret stays on the same character of the After text when the diff display starts.
      if (!editor->hasPendingTargetCursor()) {
        editor->setPendingTargetCursor(
            editor->targetOffsetForDisplayLocation(text->selectedRange().location, &text->textStorage()));
      }
      editor->setHasPendingTargetCursor(true);
    }
    const bool referenceChanged = editor->referenceText() != reference;
    editor->setReferenceText(reference);
    editor->setLineChangeEnabled(true);
    editor->setEditReferenceWhileShowingDiff(state.editingBeforeText);
    editor->setRepairSelectionMode(state.repairToolActive);
    editor->setRepairWordDisplayRanges({});
    editor->setRepairHighlightsVisible(true);
    if (restyle || targetChanged || referenceChanged || diffWasOff) editor->applyTrackedStyling();
    UpdateRepairWordDisplayRanges();
  } else {
    const std::u16string shown = Decoded(state.editingBeforeText ? state.beforeText : state.afterText);
    if (editor->targetText() != shown) {
      editor->setTargetText(shown);
      restyle = true;
    }
    restyle = restyle || editor->lineChangeEnabled() || !editor->referenceText().empty();
    editor->setLineChangeEnabled(false);
    editor->setRepairSelectionMode(state.repairToolActive);
    editor->setRepairWordDisplayRanges({});
    editor->setRepairHighlightsVisible(true);
    editor->setEditReferenceWhileShowingDiff(false);
    editor->setReferenceText(u"");
    if (restyle) editor->applyTrackedStyling();
    UpdateRepairWordDisplayRanges();
  }
  UpdateTextPlaceholderVisibility();
  UpdateTextLengthCounter();
}

// [main-thread]
void Quillomancer_GUI::ApplyLineChangeDiffStyling() {
  if (!views.editorView || state.restylingInProgress) return;
  // Guards against the editor's callbacks restyling again while this restyle runs.
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(state.restylingInProgress);
  SyncLineChangeEditorMode(true);
  if (views.editorOverlayLabel) views.editorOverlayLabel->setHidden(true);
  if (views.editorView) views.editorView->setHidden(false);
}

// [main-thread]
void Quillomancer_GUI::ResetLineChangeTargetFromSnapshot() {
  if (!views.editorView) return;
  QMForgetUndoOfOtherText(*this);
  state.ForgetLeftTags();
  state.afterText = state.beforeText;
  state.editingBeforeText = false;
  state.repairToolActive = false;
  state.placeholderSuppressed = false;
  UpdateChangeToolButtonAppearance();
  UpdateRepairToolButtonAppearance();
  SyncLineChangeEditorMode(true);
}

// [main-thread]
void Quillomancer_GUI::ClearLineChangeState() {
  if (!views.editorView) return;
  state.beforeText.clear();
  state.afterText.clear();
  state.ForgetLeftTags();
  state.lastSentText.clear();
  state.renderId.clear();
  state.afterTextEdited = false;
  state.editingBeforeText = true;
  state.repairToolActive = false;
  state.lastSentLineChange = 0;
  state.placeholderSuppressed = true;
  ClearTranscriptRepairState();
  QuillomancerStoreClient store = Store();
  if (store.IsBound()) {
    store.Clear(kQMBlock_Text);
    store.Clear(kQMBlock_ReferenceText);
    repair.SetLastReferenceText("");
    store.WriteByte(kQMBlock_LineChange, 0);
  }
  UpdateChangeToolButtonAppearance();
  UpdateRepairToolButtonAppearance();
  SyncLineChangeEditorMode(true);
  UpdateTextPlaceholderVisibility();
  UpdateTextLengthCounter();
}

// [main-thread]
void Quillomancer_GUI::ClearVoiceChangeText() {
  state.lastSentText.clear();
  state.placeholderSuppressed = true;
  QuillomancerStoreClient store = Store();
  if (store.IsBound()) store.Clear(kQMBlock_Text);
  SyncLineChangeEditorMode(true);
  UpdateTextPlaceholderVisibility();
  UpdateTextLengthCounter();
}
