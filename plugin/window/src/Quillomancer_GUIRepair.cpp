// The repair state the window keeps for the Repair tool: held by the repair component, which
// reads the mode, the texts and the editor through the window and writes the repair plan to the
// window's store.

#include "Quillomancer_GUI.h"

// [main-thread]
void Quillomancer_GUI::ClearTranscriptRepairState() { repair.ClearTranscriptRepairState(); }

// [main-thread]
void Quillomancer_GUI::SyncRepairPlanToParameters() { repair.SyncRepairPlanToParameters(); }

// [main-thread]
bool Quillomancer_GUI::HasEffectiveRepairSelections() const { return repair.HasEffectiveRepairSelections(); }

// [main-thread]
std::string Quillomancer_GUI::BuildRepairReferenceText() const { return repair.BuildRepairReferenceText(); }

// [main-thread]
bool Quillomancer_GUI::HasUsableTranscriptRepairSource() const { return repair.HasUsableTranscriptRepairSource(); }

// [main-thread]
void Quillomancer_GUI::ClearRepairSelections() { repair.ClearRepairSelections(); }

// [main-thread]
void Quillomancer_GUI::NotifyRepairSelectionChanged() { repair.NotifyRepairSelectionChanged(); }

// [main-thread]
bool Quillomancer_GUI::IsAutoLineChangeEnabled() const { return repair.IsAutoLineChangeEnabled(); }

// Outside Voice Change: one range per anchor of the Before text that found its token, in display
// locations where the editor's storage maps it (the unmapped range where the mapping would turn
// it around).
// [main-thread]
void Quillomancer_GUI::UpdateRepairWordDisplayRanges() {
  QMTrackedTextEditorView* editor = views.editorView;
  if (!editor || IsVoiceChangeMode()) return;
  std::vector<qm::platform::TextRange> ranges;
  if (HasUsableTranscriptRepairSource()) {
    const qm::ui::TextStorage* storage = editor->textView() ? &editor->textView()->textStorage() : nullptr;
    for (const QMRepairTokenAnchor& anchor : repair.RepairTokenAnchors()) {
      if (!anchor.IsValid()) continue;
      qm::platform::TextRange range = anchor.range;
      if (storage) {
        const std::size_t start = editor->displayLocationForReferenceOffset(range.location, storage);
        const std::size_t end = editor->displayLocationForReferenceOffset(range.end(), storage);
        if (end >= start) range = qm::platform::TextRange{start, end - start};
      }
      ranges.push_back(range);
    }
  }
  editor->setRepairWordDisplayRanges(ranges);
}
