// The blocks the window writes to the store for the processor: the text to generate, the line
// change and the reference text, the mode, variation, takes and languages. A block is written when
// its value changed since the window last wrote it, except the mode, the languages and (outside
// the repair case) the reference text, which every tick writes so that they always reflect the
// editor; a window's first tick writes every block (state.outgoingBlocksWritten).

#include "Quillomancer_GUI.h"

#include "qm/platform/thread_check.h"

namespace {

uint8_t Byte(bool on) { return on ? 1 : 0; }

}  // namespace

// QMtx: the After text while the line is changed, else the Before text; nothing in Voice Change.
// [main-thread]
void Quillomancer_GUI::SyncTextToParameters() {
  QM_ASSERT_THREAD(main);
  const QuillomancerStoreClient store = Store();
  const bool writeAll = !state.outgoingBlocksWritten;
  if (IsVoiceChangeMode()) {
    if (!state.lastSentText.empty() || writeAll) {
      state.lastSentText.clear();
      store.Clear(kQMBlock_Text);
    }
    return;
  }
  const bool lineChange = IsAutoLineChangeEnabled();
  const std::string& text = lineChange ? state.afterText : state.beforeText;
  // The After text was edited away from the Before text (what the "No difference" hint waits
  // for) unless the user picked repair words. The words the Change assist adds do not count: they
  // exist only while the texts differ, so counting them would keep the hint from ever showing.
  if (lineChange && !state.editingBeforeText && !repair.HasRepairSelections()) state.afterTextEdited = true;
  if (!text.empty()) {
    if (text == state.lastSentText && !writeAll) return;
    state.lastSentText = text;
    store.WriteString(kQMBlock_Text, text);
  } else if (!state.lastSentText.empty() || writeAll) {
    state.lastSentText.clear();
    store.Clear(kQMBlock_Text);
  }
}

// QMlc and QMrf. The reference text the window remembers is the one it wrote while repair words
// were picked; every clear of QMrf forgets it, so that the next reduced text is written again.
// [main-thread]
void Quillomancer_GUI::SyncLineChangeAndReferenceToParameters() {
  QM_ASSERT_THREAD(main);
  const QuillomancerStoreClient store = Store();
  const bool writeAll = !state.outgoingBlocksWritten;
  const bool picks = HasEffectiveRepairSelections();
  const uint8_t lineChange = Byte(IsAutoLineChangeEnabled() || picks);
  if (lineChange != state.lastSentLineChange || writeAll) {
    state.lastSentLineChange = lineChange;
    store.WriteByte(kQMBlock_LineChange, lineChange);
  }

  if (IsVoiceChangeMode()) {
    repair.SetLastReferenceText("");
    store.Clear(kQMBlock_ReferenceText);
    return;
  }
  if (picks) {
    std::string reference = BuildRepairReferenceText();
    if (reference == repair.LastReferenceText() && !writeAll) return;
    store.WriteString(kQMBlock_ReferenceText, reference);
    repair.SetLastReferenceText(std::move(reference));
    return;
  }
  repair.SetLastReferenceText("");
  store.WriteString(kQMBlock_ReferenceText, state.beforeText);
}

// QMmd, QMat, QMtk, QMtl and QMgl.
// [main-thread]
void Quillomancer_GUI::SyncSelectionsToParameters() {
  QM_ASSERT_THREAD(main);
  const QuillomancerStoreClient store = Store();
  const bool writeAll = !state.outgoingBlocksWritten;
  store.WriteByte(kQMBlock_Mode, state.editorMode);
  if (views.modeSelector) {
    const uint8_t variation = Byte(views.modeSelector->selectedSegment() == 1);
    if (variation != state.lastSentVariation || writeAll) {
      state.lastSentVariation = variation;
      store.WriteByte(kQMBlock_Variation, variation);
    }
  }
  if (views.takeSelector) {
    const auto takes = static_cast<uint8_t>(views.takeSelector->selectedTakes());
    if (takes != state.lastSentTakes || writeAll) {
      state.lastSentTakes = takes;
      store.WriteByte(kQMBlock_Takes, takes);
    }
  }
  // Transcription and generation always use the same language; none clears both.
  store.WriteString(kQMBlock_TranscriptionLanguage, state.languageCode);
  store.WriteString(kQMBlock_GenerationLanguage, state.languageCode);
}

// [main-thread]
void Quillomancer_GUI::SyncEditorModeToParameters() { Store().WriteByte(kQMBlock_Mode, state.editorMode); }
