// The editing rules of the transcript editor. In the plain display (and in the diff display while
// the target is edited against an empty reference, which shows plainly) the text view applies
// every edit itself and the editor only holds the text to 200 units. In the diff display the editor
// refuses the text view's change and makes it itself as tracked changes: kept text that is
// removed is struck through and stays visible, typed text comes in as inserted, typing a word
// that stands deleted right there restores it, and a word that stands both deleted and inserted
// side by side collapses into one kept word. In reference mode the edit changes the reference
// text (and the target too where the edit lies inside text both hold) and the display is rebuilt.
//
// The target never grows past the limit (200 units, or its length when already longer): the
// allowance is checked before the edit, and what the edit would still add beyond it (a restored
// word with its spaces, a committed composition) is cut from the insertion. Cuts fall on
// code-point boundaries, so a surrogate pair is never split.

#include "QMTrackedTextEditorView.h"

#include <algorithm>

using qm::ui::AttributeKey;
using qm::ui::AttributeName;
using qm::ui::Range;
using qm::ui::TextAttributes;
using qm::ui::TextStorage;

namespace {

// Runs of all attributes as the rules see them: a pick's background never splits a word.
const std::vector<AttributeName> kIgnoredForRuns{AttributeKey::BackgroundColor};

// Units of a text of length `length` with `replaced` of them replaced that an edit may add.
std::size_t Allowance(std::size_t length, std::size_t replaced, std::size_t maxLength) {
  return length < maxLength ? maxLength - (length - replaced) : replaced;
}

// The longest prefix of `text` of at most `units` units that ends on a code point.
std::u16string CutToUnits(const std::u16string& text, std::size_t units) {
  return text.substr(0, qm::platform::utf16PrefixLength(text, units));
}

std::u16string TextOf(const TextStorage& s, Range r) { return s.string().substr(r.location, r.length); }

// Sets `attributes` over `range` but keeps each character's background (a pick's highlight).
void SetKeepingBackground(TextStorage& s, const TextAttributes& attributes, Range range) {
  std::vector<std::pair<Range, std::optional<qm::ui::Color>>> backgrounds;
  s.enumerateAttribute(AttributeKey::BackgroundColor, range,
                       [&](Range r, const TextAttributes& a) { backgrounds.emplace_back(r, a.backgroundColor); });
  for (const auto& [r, background] : backgrounds) {
    TextAttributes a = attributes;
    a.backgroundColor = background;
    s.setAttributes(a, r);
  }
}

// Moves a display location for text removed before it (onto the removal when inside it).
std::size_t ShiftForRemovals(std::size_t p, const std::vector<Range>& removed) {
  for (const Range& r : removed) {
    if (r.end() <= p)
      p -= r.length;
    else if (r.location < p)
      p = r.location;
  }
  return p;
}

}  // namespace

// ---- the delegate calls ----

bool QMTrackedTextEditorView::editsPlainly() const {
  return !lineChangeEnabled_ || (!editReferenceWhileShowingDiff_ && referenceText_.empty());
}

bool QMTrackedTextEditorView::textViewShouldChangeText(qm::ui::TextView& tv, Range range, const std::u16string* replacement) {
  if (repairSelectionMode_) return false;
  if (internalEdit_ || editsPlainly() || tv.hasMarkedText() || !storage()) {
    if (!internalEdit_ && !editsPlainly() && tv.hasMarkedText()) noteMarkedChange(range, replacement ? replacement->size() : 0);
    return true;
  }
  const std::u16string s = replacement ? *replacement : std::u16string();
  const bool deletion = s.empty() && range.length > 0;
  const bool insertion = !s.empty();
  if (!deletion && !insertion) return true;
  return editReferenceWhileShowingDiff_ ? editReference(range, s) : editTarget(range, s);
}

void QMTrackedTextEditorView::textDidChange(qm::ui::TextView& tv) {
  if (internalEdit_) return;
  if (commitCompositionToReference()) {
    dropPicksOfEditedText();
    return;
  }
  limitCommittedComposition();
  // Held to the limit once any composition is committed, so that its text stays whole meanwhile.
  if (editsPlainly() && !tv.hasMarkedText() && tv.string().size() > kMaxLength) {
    internalEdit_ = true;
    const std::size_t keep = qm::platform::utf16PrefixLength(tv.string(), kMaxLength);
    tv.textStorage().deleteCharacters(Range{keep, tv.string().size() - keep});
    internalEdit_ = false;
    forgetUndo();
  }
  dropPicksOfEditedText();
  if (tv.hasMarkedText()) return;
  if (editsPlainly()) {
    applyTrackedStyling();
  } else if (skipNextLineChangeRebuild_) {
    skipNextLineChangeRebuild_ = false;
  } else {
    dirtyTrackedLayout_ = true;
    applyTrackedStyling();
  }
}

void QMTrackedTextEditorView::textViewDidChangeSelection(qm::ui::TextView& tv) {
  if (internalEdit_) return;
  // A caret the user placed replaces a pending one left by an earlier edit.
  hasPendingTargetCursor_ = false;
  if (!repairSelectionMode_) return;
  const Range sel = tv.selectedRange();
  if (sel.length > 0) toggleRepairSelectionRange(QMTextRange(sel));
}

// ---- compositions ----

void QMTrackedTextEditorView::noteMarkedChange(Range range, std::size_t insertedLength) {
  if (!composing_) {
    composing_ = true;
    compositionLimit_ = std::max(kMaxLength, QMTargetTextFromStorage(storage()).size());
    compositionStart_ = storage()->attributedString();
    compositionReplaced_ = range;
  }
  lastMarkedChange_ = Range{range.location, insertedLength};
}

bool QMTrackedTextEditorView::commitCompositionToReference() {
  if (!composing_ || textView_->hasMarkedText() || editsPlainly() || !editReferenceWhileShowingDiff_) return false;
  composing_ = false;
  // The composition went into the display as if into both texts: the display is put back as it
  // stood and the committed text replays as one reference edit of what it replaced.
  TextStorage& s = textView_->textStorage();
  const std::size_t at = std::min(lastMarkedChange_.location, s.length());
  const std::u16string committed = TextOf(s, Range{at, std::min(lastMarkedChange_.length, s.length() - at)});
  internalEdit_ = true;
  s.setAttributedString(compositionStart_);
  internalEdit_ = false;
  forgetUndo();
  const std::size_t from = std::min(compositionReplaced_.location, s.length());
  const Range r{from, std::min(compositionReplaced_.length, s.length() - from)};
  if (committed.empty() && r.length == 0) {
    internalEdit_ = true;
    textView_->setSelectedRange(Range{from, 0});
    internalEdit_ = false;
  } else {
    editReference(r, committed);
  }
  return true;
}

void QMTrackedTextEditorView::limitCommittedComposition() {
  if (!composing_ || textView_->hasMarkedText()) return;
  composing_ = false;
  if (editsPlainly()) return;
  TextStorage& s = textView_->textStorage();
  const std::size_t length = QMTargetTextFromStorage(&s).size();
  if (length <= compositionLimit_) return;
  const std::size_t excess = length - compositionLimit_;
  const std::size_t at = std::min(lastMarkedChange_.location, s.length());
  const Range committed{at, std::min(lastMarkedChange_.length, s.length() - at)};
  const std::u16string text = TextOf(s, committed);
  const std::size_t keep = qm::platform::utf16PrefixLength(text, committed.length > excess ? committed.length - excess : 0);
  internalEdit_ = true;
  s.deleteCharacters(Range{committed.location + keep, committed.length - keep});
  internalEdit_ = false;
  forgetUndo();
  textView_->setSelectedRange(Range{committed.location + keep, 0});
}

// ---- reference mode ----

bool QMTrackedTextEditorView::editReference(Range r, std::u16string s) {
  TextStorage* st = storage();
  const std::u16string ref = referenceText_;
  const std::u16string tgt = QMTargetTextFromStorage(st);
  std::size_t refLoc = std::min(QMReferenceOffsetForDisplayLocation(r.location, st), ref.size());
  std::size_t refCount = std::min(QMReferenceCharacterCountInDisplayRange(r, st), ref.size() - refLoc);
  std::size_t tgtLoc = std::min(QMTargetOffsetForDisplayLocation(r.location, st), tgt.size());
  std::size_t tgtCount = std::min(QMTargetCharacterCountInDisplayRange(r, st), tgt.size() - tgtLoc);
  // The target changes with the reference only where both hold the same characters at the edited
  // place; anywhere else (typed or struck text, their edges, an empty reference) the edit is the
  // reference's alone, so the target is never rewritten at an offset that does not correspond.
  const bool alsoTarget = QMDisplayRangeIsSharedText(r, st);

  // The edit must fit the reference and, when it changes the target too, the target.
  std::size_t allowance = Allowance(ref.size(), refCount, kMaxLength);
  if (alsoTarget) allowance = std::min(allowance, Allowance(tgt.size(), tgtCount, kMaxLength));
  if (!s.empty() && s.size() > allowance) {
    s = CutToUnits(s, allowance);
    if (s.empty()) return false;
  }

  setReferenceText(std::u16string(ref).replace(refLoc, refCount, s));
  if (alsoTarget) {
    internalEdit_ = true;
    setPlainString(std::u16string(tgt).replace(tgtLoc, tgtCount, s));
    internalEdit_ = false;
    forgetUndo();
    pendingTargetCursor_ = tgtLoc + s.size();
    hasPendingTargetCursor_ = true;
  }
  pendingReferenceCursor_ = refLoc + s.size();
  hasPendingReferenceCursor_ = true;
  dirtyTrackedLayout_ = true;
  applyTrackedStyling();
  dropPicksOfEditedText();
  return false;
}

// ---- target mode ----

std::size_t QMTrackedTextEditorView::performTargetEdit(Range r, const std::u16string& s) {
  TextStorage& st = textView_->textStorage();
  const std::size_t a = r.location, n = r.length;
  std::size_t p = a + n;
  if (n > 0 && r.end() <= st.length()) {
    // Typed characters go; kept (and already deleted) ones are struck through and stay.
    std::vector<std::pair<Range, bool>> runs;
    st.attributedString().enumerateRuns(r, [&](Range run, const TextAttributes& at) {
      const bool typed = QMIsInsertedCharacter(at);
      if (!runs.empty() && runs.back().second == typed)
        runs.back().first.length += run.length;
      else
        runs.emplace_back(run, typed);
    });
    std::size_t removed = 0;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
      if (it->second) {
        st.deleteCharacters(it->first);
        removed += it->first.length;
      } else {
        SetKeepingBackground(st, deletedAttributes(), it->first);
      }
    }
    p = a + n - removed;
  }

  if (!s.empty() && n == 0) {
    // Typing a word that stands deleted right here brings it back instead.
    const std::u16string t = QMNormalizedTokenForMatch(s);
    auto matches = [&](std::size_t at, Range* run) {
      *run = st.longestEffectiveRange(at, kIgnoredForRuns);
      if (!QMIsDeletedCharacter(st.attributesAt(at))) return false;
      const std::u16string word = QMNormalizedTokenForMatch(TextOf(st, *run));
      return !word.empty() && word == t;
    };
    Range run;
    if ((p < st.length() && matches(p, &run)) || (p > 0 && p <= st.length() && matches(p - 1, &run))) {
      SetKeepingBackground(st, keptAttributes(), run);
      return run.end();
    }
  }

  if (!s.empty()) {
    p = std::min(p, st.length());
    st.insert(qm::ui::AttributedString(s, insertedAttributes()), p);
    return p + s.size();
  }
  return a;  // a deletion: the caret stands before the struck-through text
}

bool QMTrackedTextEditorView::editTarget(Range r, std::u16string s) {
  TextStorage& st = textView_->textStorage();
  const std::size_t length = QMTargetTextFromStorage(&st).size();
  const std::size_t replaced = QMTargetCharacterCountInDisplayRange(r, &st);
  const std::size_t allowance = Allowance(length, replaced, kMaxLength);
  if (!s.empty() && s.size() > allowance) {
    s = CutToUnits(s, allowance);
    if (s.empty()) return false;
  }
  const std::size_t limit = std::max(kMaxLength, length);
  const qm::ui::AttributedString before = st.attributedString();

  internalEdit_ = true;
  st.beginEditing();
  std::size_t p = 0;
  for (;;) {
    p = performTargetEdit(r, s);
    std::vector<Range> removed;
    reconcileEquivalentWordPairsInTextStorage(&st, &removed);
    p = std::min(ShiftForRemovals(p, removed), st.length());
    const std::size_t grown = QMTargetTextFromStorage(&st).size();
    if (grown <= limit || s.empty()) break;
    // A restored word or a collapsed pair added more than was typed: cut the typing and redo.
    st.setAttributedString(before);
    s = CutToUnits(s, s.size() > grown - limit ? s.size() - (grown - limit) : 0);
    if (s.empty() && r.length == 0) {
      st.endEditing();
      internalEdit_ = false;
      return false;
    }
  }
  st.endEditing();
  internalEdit_ = false;
  forgetUndo();
  textView_->setSelectedRange(Range{p, 0});
  pendingTargetCursor_ = QMTargetOffsetForDisplayLocation(p, &st);
  hasPendingTargetCursor_ = true;
  skipNextLineChangeRebuild_ = true;
  textView_->didChangeText();
  dirtyTrackedLayout_ = false;
  return false;
}

// ---- the clean-up pass ----

void QMTrackedTextEditorView::reconcileEquivalentWordPairsInTextStorage(TextStorage* storage, std::vector<Range>* removed) {
  if (!storage || storage->empty()) return;
  TextStorage& st = *storage;
  bool changed = true;
  while (changed && !st.empty()) {
    changed = false;
    std::size_t pos = 0;
    while (pos < st.length()) {
      const Range run1 = st.longestEffectiveRange(pos, kIgnoredForRuns);
      const std::size_t e1 = run1.end();
      if (e1 >= st.length()) break;
      std::size_t s2 = e1;
      while (s2 < st.length()) {
        const Range between = st.longestEffectiveRange(s2, kIgnoredForRuns);
        if (!QMIsWhitespaceOnly(TextOf(st, between))) break;
        s2 = between.end();
      }
      if (s2 >= st.length()) {
        pos = e1;
        continue;
      }
      const Range run2 = st.longestEffectiveRange(s2, kIgnoredForRuns);
      const bool tracked1 = QMIsTrackedCharacter(st.attributesAt(run1.location));
      const bool tracked2 = QMIsTrackedCharacter(st.attributesAt(run2.location));
      // With nothing between, a kept run and a tracked one are parts of one word of the text (a
      // letter typed beside its equal inside "sat"): only a struck and a typed word pair there.
      const bool pairs = e1 < s2 ? tracked1 || tracked2 : tracked1 && tracked2;
      const std::u16string w1 = QMNormalizedTokenForMatch(TextOf(st, run1));
      if (pairs && !w1.empty() && w1 == QMNormalizedTokenForMatch(TextOf(st, run2))) {
        SetKeepingBackground(st, keptAttributes(), run1);
        const Range gone = e1 < s2 ? Range{e1, run2.end() - e1} : run2;
        st.deleteCharacters(gone);
        if (removed) removed->push_back(gone);
        changed = true;
        break;
      }
      pos = e1;
    }
  }
}
