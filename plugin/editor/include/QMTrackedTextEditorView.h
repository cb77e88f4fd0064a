#pragma once
// The transcript editor: one line of dialogue (at most 200 UTF-16 units) in a borderless,
// transparent scroll view, shown either plainly (the target text alone) or as a diff of the
// target text against a reference text: words only in the reference struck through in red,
// words only in the target green. The user edits in both displays; in the diff display each
// edit becomes tracked deletions and insertions (QMTrackedTextEditing.cpp), edits either the
// target text or, when the window asks, the reference text, and never lets the target grow past
// 200 units. For Repair the editor freezes the text and every selection toggles an orange pick
// over whole words (QMTrackedTextPicking.cpp). A hidden language chip sits at the bottom right.
//
// The window drives the editor with the setters below and reads the texts back; the repair
// component reads the picks through QMRepairEditorAccess. Every internal rewrite that changes the
// characters clears the text view's undo stack, whose records would replay against another text.
// Main thread only: the window calls it from its actions and its timer, the text view from its
// event handling.

#include "QMControls.h"
#include "QMRepairComponent.h"
#include "QMTrackedTextModel.h"
#include "QMTrackedTextView.h"

#include "qm/ui/button.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/text_field.h"
#include "qm/ui/text_view.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class QMTrackedTextEditorView : public qm::ui::View,
                                public qm::ui::TextViewDelegate,
                                public QMRepairEditorAccess {
  struct Token {};

 public:
  // Builds the editor with its scroll view, text view and hidden chip. [main-thread]
  static std::shared_ptr<QMTrackedTextEditorView> Create(const qm::ui::Rect& frame);
  QMTrackedTextEditorView(Token, const qm::ui::Rect& frame);
  ~QMTrackedTextEditorView() override;

  QMTrackedTextView* textView() const { return textView_.get(); }
  qm::ui::ScrollView* scrollView() const { return scrollView_.get(); }
  static constexpr std::size_t kMaxLength = 200;
  std::size_t maxLength() const { return kMaxLength; }

  // ---- texts and displays ----
  // In the diff display the characters that are not deleted, otherwise the text view's string.
  // [main-thread]
  std::u16string targetText() const;
  // Replaces the whole text and restyles (in the diff display it is diffed at once). [main-thread]
  void setTargetText(const std::u16string& text);
  // The reference text of record; edits in reference mode change it. [main-thread]
  const std::u16string& referenceText() const { return referenceText_; }
  // Marks the layout dirty when the text changes; the display follows at the next restyle.
  // [main-thread]
  void setReferenceText(const std::u16string& text);
  bool lineChangeEnabled() const { return lineChangeEnabled_; }
  // [main-thread]
  void setLineChangeEnabled(bool on);
  bool editReferenceWhileShowingDiff() const { return editReferenceWhileShowingDiff_; }
  // Against an empty reference a change marks the layout dirty: edited, the empty reference shows
  // the whole target as typed text. [main-thread]
  void setEditReferenceWhileShowingDiff(bool on);
  // [main-thread]
  void setDirtyTrackedLayout(bool on) { dirtyTrackedLayout_ = on; }
  // Rebuilds the display when the texts or the display changed since the last time (keeping the
  // caret and selection on the same characters), re-applies the picks' highlights and sets the
  // typing attributes. Does nothing during the editor's own edits or while marked text stands.
  // [main-thread]
  void applyTrackedStyling();
  // [main-thread]
  bool hasActiveMarkedText() const;
  // The caret to restore at the next rebuild, as a target offset.
  bool hasPendingTargetCursor() const { return hasPendingTargetCursor_; }
  void setHasPendingTargetCursor(bool on) { hasPendingTargetCursor_ = on; }
  std::size_t pendingTargetCursor() const { return pendingTargetCursor_; }
  void setPendingTargetCursor(std::size_t offset) { pendingTargetCursor_ = offset; }
  // Drops the text view's undo records: the window calls it when the text being edited becomes
  // another one, whose characters the records would otherwise change. [main-thread]
  void forgetUndo();

  // ---- queries on a storage (the editor's own in every call it makes) ----
  std::u16string targetTextFromStorage(const qm::ui::TextStorage* storage) const { return QMTargetTextFromStorage(storage); }
  std::size_t targetOffsetForDisplayLocation(std::size_t location, const qm::ui::TextStorage* storage) const {
    return QMTargetOffsetForDisplayLocation(location, storage);
  }
  std::size_t referenceOffsetForDisplayLocation(std::size_t location, const qm::ui::TextStorage* storage) const {
    return QMReferenceOffsetForDisplayLocation(location, storage);
  }
  std::size_t displayLocationForTargetOffset(std::size_t offset, const qm::ui::TextStorage* storage) const {
    return QMDisplayLocationForTargetOffset(offset, storage);
  }
  std::size_t displayLocationForReferenceOffset(std::size_t offset, const qm::ui::TextStorage* storage) const {
    return QMDisplayLocationForReferenceOffset(offset, storage);
  }
  qm::ui::TextAttributes baseAttributes() const;
  qm::ui::TextAttributes insertedAttributes() const;
  qm::ui::TextAttributes deletedAttributes() const;
  qm::ui::TextAttributes keptAttributes() const;
  qm::ui::TextAttributes repairHighlightAttributes() const { return QMTrackedRepairHighlightAttributes(); }

  // ---- repair picking ----
  bool repairSelectionMode() const { return repairSelectionMode_; }
  // Enters or leaves picking mode; leaving collapses the selection to its start. [main-thread]
  void setRepairSelectionMode(bool on);
  bool repairCursorEnabled() const { return repairCursorEnabled_; }
  // The window refreshes the cursor rectangles itself. [main-thread]
  void setRepairCursorEnabled(bool on) { repairCursorEnabled_ = on; }
  const std::vector<qm::platform::TextRange>& repairWordDisplayRanges() const { return repairWordDisplayRanges_; }
  // The word ranges selections snap to. [main-thread]
  void setRepairWordDisplayRanges(const std::vector<qm::platform::TextRange>& ranges) override {
    repairWordDisplayRanges_ = ranges;
  }
  // The picks in display locations, in the order made. [main-thread]
  std::vector<qm::platform::TextRange> repairHighlightDisplayRanges() const override { return repairHighlightDisplayRanges_; }
  bool repairHighlightsVisible() const { return repairHighlightsVisible_; }
  // The highlights follow at the next restyle. [main-thread]
  void setRepairHighlightsVisible(bool on) { repairHighlightsVisible_ = on; }
  // Removes every pick and tells the target, also when there were none. [main-thread]
  void clearRepairSelections() override;
  // Told (with the editor as argument) after every change of the picks; held weakly. [main-thread]
  void setRepairSelectionTarget(const std::shared_ptr<qm::ui::Object>& target) { repairSelectionTarget_ = target; }
  void setRepairSelectionAction(qm::ui::Selector action) { repairSelectionAction_ = action; }
  // Removes the picks a selection meets, or adds the selection snapped to words.
  void toggleRepairSelectionRange(qm::platform::TextRange range);
  // A selection grown to the word ranges it meets, else to whole runs of word characters.
  qm::platform::TextRange expandedRepairSelectionForRange(qm::platform::TextRange range) const;
  // Re-applies the picks' background over the storage.
  void applyRepairHighlightInPlace();

  // ---- QMRepairEditorAccess ----
  bool hasTextStorage() const override { return textView_ != nullptr; }
  std::size_t displayLocationForReferenceOffset(std::size_t offset) const override;

  // ---- language chip ----
  // An empty text hides the chip. [main-thread]
  void setLanguageChipText(const std::u16string& text);
  const std::u16string& languageChipText() const { return languageChipText_; }
  // Sent (with the editor as sender) by the chip's close button; the target is held weakly.
  void setLanguageChipTarget(const std::shared_ptr<qm::ui::Object>& target) { languageChipTarget_ = target; }
  void setLanguageChipAction(qm::ui::Selector action) { languageChipAction_ = action; }
  void onLanguageChipClose(qm::ui::Object* sender);
  void updateLanguageChipLayout();
  QMActionView* languageChipView() const { return languageChipView_.get(); }
  qm::ui::Button* languageChipCloseButton() const { return languageChipCloseButton_.get(); }
  qm::ui::TextField* languageChipLabel() const { return languageChipLabel_.get(); }
  void layout() override;

  // ---- text view delegate (the editing rules) ----
  bool textViewShouldChangeText(qm::ui::TextView& textView, qm::ui::Range range,
                                const std::u16string* replacement) override;
  void textDidChange(qm::ui::TextView& textView) override;
  void textViewDidChangeSelection(qm::ui::TextView& textView) override;

  // Collapses two equal neighbouring words of which one is tracked into one kept word. The
  // ranges it removes go to `removed`, in the order removed (each in the text of its moment).
  void reconcileEquivalentWordPairsInTextStorage(qm::ui::TextStorage* storage, std::vector<qm::ui::Range>* removed = nullptr);

 private:
  void build();
  qm::ui::TextStorage* storage() const { return textView_ ? &textView_->textStorage() : nullptr; }
  // The text view's whole string, all of it in the base attributes.
  void setPlainString(const std::u16string& text);
  void notifyRepairSelectionTarget();
  // The texts the picks point into, noted whenever the picks change.
  void notePickedTexts();
  // After an edit by the user: picks (and word ranges) made on texts that the edit changed
  // point at other characters now, so they go, and the target is told as for any change of
  // the picks. A restyle or rebuild that leaves both texts as they were keeps them.
  void dropPicksOfEditedText();
  void collapseSelectionToStart();
  // The diff display rebuilt from the two texts, keeping the caret or selection.
  void rebuildDiffDisplay(const std::string& reference);
  void rebuildPlainDisplay();
  // The text view applies edits itself: the plain display, or the target edited against an
  // empty reference (nothing to track a change against; the diff follows when one arrives). An
  // empty reference that is edited is not plain: it grows by reference edits alone.
  bool editsPlainly() const;
  bool editReference(qm::ui::Range range, std::u16string replacement);
  bool editTarget(qm::ui::Range range, std::u16string replacement);
  // Steps of one target edit on the storage; answers the caret's display location.
  std::size_t performTargetEdit(qm::ui::Range range, const std::u16string& replacement);
  void noteMarkedChange(qm::ui::Range range, std::size_t insertedLength);
  // A composition committed while the reference is edited becomes a reference edit; true when
  // there was one.
  bool commitCompositionToReference();
  void limitCommittedComposition();

  std::shared_ptr<qm::ui::ScrollView> scrollView_;
  std::shared_ptr<QMTrackedTextView> textView_;

  std::u16string referenceText_;
  bool lineChangeEnabled_ = false;
  bool editReferenceWhileShowingDiff_ = false;
  bool internalEdit_ = false;
  bool dirtyTrackedLayout_ = true;
  std::u16string lastAppliedReference_;
  bool lastAppliedLineChangeEnabled_ = false;
  std::size_t pendingTargetCursor_ = 0;
  bool hasPendingTargetCursor_ = false;
  std::size_t pendingReferenceCursor_ = 0;
  bool hasPendingReferenceCursor_ = false;
  bool skipNextLineChangeRebuild_ = false;

  // An input method's composition in the diff display: the target length it may reach, and
  // where its text went last.
  bool composing_ = false;
  std::size_t compositionLimit_ = kMaxLength;
  qm::ui::Range lastMarkedChange_;
  // The display as it stood before the composition and the range its first text replaced.
  qm::ui::AttributedString compositionStart_;
  qm::ui::Range compositionReplaced_;

  bool repairSelectionMode_ = false;
  bool repairCursorEnabled_ = true;
  std::weak_ptr<qm::ui::Object> repairSelectionTarget_;
  qm::ui::Selector repairSelectionAction_;
  std::vector<qm::platform::TextRange> repairHighlightDisplayRanges_;
  std::vector<qm::platform::TextRange> repairWordDisplayRanges_;
  bool repairHighlightsVisible_ = true;
  std::u16string pickedTargetText_;
  std::u16string pickedReferenceText_;

  std::shared_ptr<QMActionView> languageChipView_;
  std::shared_ptr<qm::ui::Button> languageChipCloseButton_;
  std::shared_ptr<qm::ui::TextField> languageChipLabel_;
  std::u16string languageChipText_;
  std::weak_ptr<qm::ui::Object> languageChipTarget_;
  qm::ui::Selector languageChipAction_;
};
