// Repair picking: while picking mode is on the text is frozen (the editing rules refuse every
// edit), the pointer is a paintbrush, and every selection the user finishes toggles an orange
// pick over the whole words it touches. Picks are display ranges kept as made, with the texts
// they point into: an edit of the user that changes either text drops them (and the word
// ranges, which the window supplies again for the new text) and tells the window, which then
// forgets the words picked and their plan.

#include "QMRepairTokens.h"
#include "QMTrackedTextEditorView.h"

#include "qm/ui/window.h"

#include <algorithm>

using qm::platform::TextRange;
using qm::ui::Range;

void QMTrackedTextEditorView::setRepairSelectionMode(bool on) {
  if (on == repairSelectionMode_) return;
  repairSelectionMode_ = on;
  dirtyTrackedLayout_ = true;
  if (!on) collapseSelectionToStart();
  if (qm::ui::Window* w = window()) w->invalidateCursorRectsForView(textView_.get());
  applyTrackedStyling();
}

void QMTrackedTextEditorView::collapseSelectionToStart() {
  textView_->setSelectedRange(Range{textView_->selectedRange().location, 0});
}

void QMTrackedTextEditorView::notifyRepairSelectionTarget() {
  auto target = repairSelectionTarget_.lock();
  if (target && repairSelectionAction_ && target->respondsToSelector(repairSelectionAction_))
    target->performAction(repairSelectionAction_, this);
}

TextRange QMTrackedTextEditorView::expandedRepairSelectionForRange(TextRange r) const {
  if (!repairWordDisplayRanges_.empty()) {
    bool formed = false;
    std::size_t start = 0, end = 0;
    for (const TextRange& word : repairWordDisplayRanges_) {
      if (!QMIsValidDisplayRange(word) || !qm::platform::rangesIntersect(word, r)) continue;
      start = formed ? std::min(start, word.location) : word.location;
      end = formed ? std::max(end, word.end()) : word.end();
      formed = true;
    }
    if (formed) return TextRange{start, end - start};
  }
  const std::u16string& text = textView_->string();
  const std::size_t length = text.size();
  if (!QMIsValidDisplayRange(r) || length == 0) return r;
  std::size_t s = std::min(r.location, length), e = std::min(r.end(), length);
  if (s == e || std::none_of(text.begin() + static_cast<long>(s), text.begin() + static_cast<long>(e), QMIsRepairWordCharacter))
    return r;
  while (s > 0 && QMIsRepairWordCharacter(text[s - 1])) --s;
  while (e < length && QMIsRepairWordCharacter(text[e])) ++e;
  return TextRange{s, e - s};
}

void QMTrackedTextEditorView::notePickedTexts() {
  pickedTargetText_ = targetText();
  pickedReferenceText_ = referenceText_;
}

void QMTrackedTextEditorView::dropPicksOfEditedText() {
  if (repairHighlightDisplayRanges_.empty()) {
    repairWordDisplayRanges_.clear();
    return;
  }
  if (targetText() == pickedTargetText_ && referenceText_ == pickedReferenceText_) return;
  repairHighlightDisplayRanges_.clear();
  repairWordDisplayRanges_.clear();
  notePickedTexts();
  applyRepairHighlightInPlace();
  notifyRepairSelectionTarget();
}

void QMTrackedTextEditorView::toggleRepairSelectionRange(TextRange r) {
  if (!QMIsValidDisplayRange(r)) return;
  const TextRange e = expandedRepairSelectionForRange(r);
  if (!QMIsValidDisplayRange(e)) return;
  const auto before = repairHighlightDisplayRanges_.size();
  std::erase_if(repairHighlightDisplayRanges_, [&](const TextRange& pick) { return qm::platform::rangesIntersect(pick, e); });
  if (repairHighlightDisplayRanges_.size() == before) repairHighlightDisplayRanges_.push_back(e);
  notePickedTexts();
  textView_->setSelectedRange(Range{e.end(), 0});
  applyTrackedStyling();
  notifyRepairSelectionTarget();
}

void QMTrackedTextEditorView::applyRepairHighlightInPlace() {
  qm::ui::TextStorage* s = storage();
  if (!s || s->empty()) return;
  s->beginEditing();
  s->removeAttribute(qm::ui::AttributeKey::BackgroundColor, Range{0, s->length()});
  if (repairHighlightsVisible_) {
    const qm::ui::TextAttributes highlight = repairHighlightAttributes();
    for (const TextRange& pick : repairHighlightDisplayRanges_) {
      if (!QMIsValidDisplayRange(pick) || pick.location >= s->length()) continue;
      s->addAttributes(highlight, Range{pick.location, std::min(pick.length, s->length() - pick.location)});
    }
  }
  s->endEditing();
}

void QMTrackedTextEditorView::clearRepairSelections() {
  repairHighlightDisplayRanges_.clear();
  notePickedTexts();
  collapseSelectionToStart();
  if (qm::ui::Window* w = window()) w->invalidateCursorRectsForView(textView_.get());
  applyTrackedStyling();
  notifyRepairSelectionTarget();
}
