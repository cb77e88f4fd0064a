#include "qm/ui/text_view.h"

#include "qm/platform/text.h"
#include "qm/ui/application.h"
#include "qm/ui/cursor.h"
#include "qm/ui/graphics.h"
#include "qm/ui/pasteboard.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/window.h"

#include <algorithm>

namespace qm::ui {

namespace {

const Color kDefaultTextColor = Color::deviceWhite(0.85);
constexpr double kDefaultFontSize = 12;
constexpr double kCaretWidth = 1;

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// Lone surrogates become U+FFFD (same length), so that typed and pasted text stays well formed.
std::u16string sanitized(std::u16string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      ++i;
    } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
      text[i] = u'\uFFFD';
    }
  }
  return text;
}

AttributedString sanitized(const AttributedString& text) {
  AttributedString out = text;
  const std::u16string clean = sanitized(text.string());
  for (std::size_t i = 0; i < clean.size(); ++i)
    if (clean[i] != text.string()[i]) out.replaceCharacters(Range{i, 1}, std::u16string(1, clean[i]));
  return out;
}

bool isWordUnit(char16_t u) {
  return qm::platform::isAlphanumeric(u) || u == u'_' || u == u'\'' || u == u'\u2019';
}

// Units a key press types: none of the control characters nor the private-use function keys.
std::u16string typedText(const std::u16string& characters) {
  std::u16string out;
  for (char16_t u : characters)
    if (u >= 0x20 && u != 0x7F && !(u >= 0xF700 && u <= 0xF8FF)) out.push_back(u);
  return out;
}

Range clampRange(Range r, std::size_t length) {
  const std::size_t s = std::min(r.location, length);
  return Range{s, std::min(r.length, length - s)};
}

Range spanning(Range a, Range b) {
  const std::size_t s = std::min(a.location, b.location);
  return Range{s, std::max(a.end(), b.end()) - s};
}

}  // namespace

TextView::TextView(const Rect& frame)
    : View(frame),
      storage_(std::make_shared<TextStorage>()),
      undo_(std::make_shared<UndoManager>()),
      selectionColor_(Color::deviceRGB(0.24, 0.40, 0.64)),
      inactiveSelectionColor_(Color::deviceWhite(0.34)) {
  typingAttributes_.font = Font::system(kDefaultFontSize);
  typingAttributes_.foregroundColor = kDefaultTextColor;
  storage_->setChangeHandler([this](Range, long) { storageChanged(); });
  registerAction("copy:", [this](Object*) { copy(); });
  registerAction("cut:", [this](Object*) { cut(); });
  registerAction("paste:", [this](Object*) { paste(); });
  registerAction("selectAll:", [this](Object*) { selectAll(); });
  registerAction("undo:", [this](Object*) { undo(); });
  registerAction("redo:", [this](Object*) { redo(); });
  registerAction("delete:", [this](Object*) {
    if (selectedRange().length > 0) deleteBackward();
  });
}

TextView::~TextView() { storage_->setChangeHandler(nullptr); }

// ---- text ----

void TextView::storageChanged() {
  layout_.valid = false;
  const std::size_t n = storage_->length();
  selection_ = clampRange(selection_, n);
  anchor_ = std::min(anchor_, n);
  if (markedActive_ && marked_.location != Range::kNotFound && marked_.end() > n) endComposition();
  setNeedsDisplay();
  setNeedsLayout();
}

void TextView::setString(const std::u16string& text) {
  endComposition();
  breakCoalescing();
  storage_->setAttributedString(AttributedString(text, typingAttributes_));
  setSelectedRange(Range{storage_->length(), 0});
}

const AttributedString& TextView::displayString() const { return currentLayout().display; }

const TextView::Layout& TextView::currentLayout() const {
  const double width = layoutWidth();
  const TextMeasurer* measurer = &textMeasurer();
  if (layout_.valid && layout_.change == storage_->changeCount() && layout_.width == width && layout_.measurer == measurer)
    return layout_;
  AttributedString display = storage_->attributedString();
  TextAttributes defaults;
  defaults.font = font_.value_or(typingAttributes_.font.value_or(Font::system(kDefaultFontSize)));
  defaults.foregroundColor = textColor_.value_or(kDefaultTextColor);
  display.addDefaultAttributes(defaults);
  layout_.lines = measurer->lineFragments(display, width);
  layout_.measurer = measurer;
  layout_.display = std::move(display);
  layout_.change = storage_->changeCount();
  layout_.width = width;
  layout_.valid = true;
  return layout_;
}

// ---- look ----

void TextView::applyToWholeText(const TextAttributes& attributes) {
  typingAttributes_.merge(attributes);
  if (!storage_->empty()) storage_->addAttributes(attributes, Range{0, storage_->length()});
  relayout();
}

void TextView::relayout() {
  layout_.valid = false;
  setNeedsLayout();
  setNeedsDisplay();
}

void TextView::setFont(const Font& font) {
  font_ = font;
  TextAttributes a;
  a.font = font;
  applyToWholeText(a);
}

void TextView::setTextColor(const Color& color) {
  textColor_ = color;
  TextAttributes a;
  a.foregroundColor = color;
  applyToWholeText(a);
}

void TextView::setTextContainerInset(Size inset) {
  inset_ = inset;
  relayout();
}

void TextView::setLineFragmentPadding(double padding) {
  padding_ = padding;
  relayout();
}

void TextView::setWidthTracksTextView(bool on) {
  widthTracks_ = on;
  relayout();
}

void TextView::setContainerWidth(double width) {
  containerWidth_ = width;
  relayout();
}

void TextView::setEditable(bool on) {
  if (!on && markedActive_) unmarkText();
  editable_ = on;
  setNeedsDisplay();
}

void TextView::setSelectable(bool on) {
  selectable_ = on;
  setNeedsDisplay();
}

void TextView::setUndoManager(std::shared_ptr<UndoManager> manager) {
  undo_ = manager ? std::move(manager) : std::make_shared<UndoManager>();
  breakCoalescing();
}

// ---- selection ----

Range TextView::selectedRange() const { return clampRange(selection_, storage_->length()); }

void TextView::setSelectedRange(Range range, bool stillSelecting) {
  const Range r = clampRange(range, storage_->length());
  selection_ = r;
  anchor_ = r.location;
  if (!changingText_) breakCoalescing();
  scrollPending_ = true;
  setNeedsLayout();
  setNeedsDisplay();
  if (stillSelecting || r == notifiedSelection_) return;
  notifiedSelection_ = r;
  if (delegate_) delegate_->textViewDidChangeSelection(*this);
}

void TextView::moveSelectionTo(std::size_t index, bool extend) {
  if (!extend) {
    setSelectedRange(Range{index, 0});
    return;
  }
  const std::size_t anchor = anchor_;
  setSelectedRange(Range{std::min(anchor, index), anchor > index ? anchor - index : index - anchor});
  anchor_ = anchor;
}

// ---- changes ----

bool TextView::shouldChangeText(Range range, const std::u16string* replacement) {
  if (!editable_) return false;
  return delegate_ ? delegate_->textViewShouldChangeText(*this, range, replacement) : true;
}

void TextView::didChangeText() {
  setNeedsDisplay();
  if (delegate_) delegate_->textDidChange(*this);
}

bool TextView::replaceWithUndo(Range range, const AttributedString& text, EditKind kind, Range selectionAfter) {
  const std::u16string replacement = text.string();
  if (!shouldChangeText(range, &replacement)) return false;
  // The delegate allowed the change; the text may not have moved under it, but stay inside it.
  range = clampRange(range, storage_->length());
  AttributedString old = storage_->attributedString().attributedSubstring(range);
  changingText_ = true;
  storage_->replaceCharacters(range, text);
  registerUndo(Range{range.location, text.length()}, std::move(old), kind);
  setSelectedRange(selectionAfter);
  changingText_ = false;
  didChangeText();
  return true;
}

bool TextView::replaceCharactersAsTyped(Range range, const AttributedString& text) {
  if (!editable_) return false;
  const AttributedString clean = sanitized(text);
  return replaceWithUndo(clampRange(range, storage_->length()), clean, EditKind::Other,
                         Range{std::min(range.location, storage_->length()) + clean.length(), 0});
}

void TextView::registerUndo(Range newRange, AttributedString old, EditKind kind) {
  if (!allowsUndo_) return;
  if (coalescing_ && coalescing_->kind == kind && kind != EditKind::Other && coalescing_->stamp == undo_->changeCount()) {
    UndoRecord& record = *coalescing_->record;
    if (kind == EditKind::Typing && old.empty() && record.range.end() == newRange.location) {
      record.range.length += newRange.length;
      return;
    }
    if (kind == EditKind::Deleting && newRange.length == 0) {
      if (newRange.location + old.length() == record.range.location) {  // Backspace again
        old.append(record.old);
        record.old = std::move(old);
        record.range.location = newRange.location;
        return;
      }
      if (newRange.location == record.range.location) {  // forward delete again
        record.old.append(old);
        return;
      }
    }
  }
  auto record = std::make_shared<UndoRecord>(UndoRecord{newRange, std::move(old)});
  std::weak_ptr<Object> weak = weak_from_this();
  const char* name = kind == EditKind::Typing ? "Typing" : kind == EditKind::Deleting ? "Delete" : "Change";
  undo_->registerUndo(
      [weak, record] {
        if (auto self = std::dynamic_pointer_cast<TextView>(weak.lock())) self->applyUndoRecord(*record);
      },
      name);
  if (kind != EditKind::Other)
    coalescing_ = Coalescing{kind, record, undo_->changeCount()};
  else
    breakCoalescing();
}

void TextView::applyUndoRecord(const UndoRecord& record) {
  const Range r = clampRange(record.range, storage_->length());
  const std::u16string replacement = record.old.string();
  if (!shouldChangeText(r, &replacement)) return;
  AttributedString current = storage_->attributedString().attributedSubstring(r);
  changingText_ = true;
  storage_->replaceCharacters(r, record.old);
  registerUndo(Range{r.location, record.old.length()}, std::move(current), EditKind::Other);
  setSelectedRange(record.old.empty() ? Range{r.location, 0} : Range{r.location, record.old.length()});
  changingText_ = false;
  breakCoalescing();
  didChangeText();
}

// ---- editing commands ----

void TextView::insertText(const std::u16string& text) {
  if (!editable_) return;
  const std::u16string clean = sanitized(text);
  if (markedActive_) {
    // The composition ends with this text in its place: one change, asked while it stands.
    const Range r = clampRange(marked_, storage_->length());
    if (!shouldChangeText(r, &clean)) return;
    const Range replaced = compositionStart_;
    AttributedString old = std::move(compositionOld_);
    endComposition();
    changingText_ = true;
    storage_->replaceCharacters(r, AttributedString(clean, typingAttributes_));
    if (replaced.location != Range::kNotFound) registerUndo(Range{r.location, clean.size()}, std::move(old), EditKind::Other);
    setSelectedRange(Range{r.location + clean.size(), 0});
    changingText_ = false;
    didChangeText();
    return;
  }
  const Range r = selectedRange();
  replaceWithUndo(r, AttributedString(clean, typingAttributes_), EditKind::Typing, Range{r.location + clean.size(), 0});
}

void TextView::deleteBackward() {
  if (!editable_) return;
  const Range sel = selectedRange();
  if (sel.length > 0) {
    replaceWithUndo(sel, AttributedString(), EditKind::Deleting, Range{sel.location, 0});
    return;
  }
  if (sel.location == 0) return;
  const std::size_t p = previousBoundary(sel.location);
  replaceWithUndo(Range{p, sel.location - p}, AttributedString(), EditKind::Deleting, Range{p, 0});
}

void TextView::deleteForward() {
  if (!editable_) return;
  const Range sel = selectedRange();
  if (sel.length > 0) {
    replaceWithUndo(sel, AttributedString(), EditKind::Deleting, Range{sel.location, 0});
    return;
  }
  if (sel.location >= storage_->length()) return;
  const std::size_t n = nextBoundary(sel.location);
  replaceWithUndo(Range{sel.location, n - sel.location}, AttributedString(), EditKind::Deleting, Range{sel.location, 0});
}

void TextView::deleteWordBackward() {
  if (!editable_) return;
  const Range sel = selectedRange();
  if (sel.length > 0) return deleteBackward();
  const std::size_t start = wordStartBefore(sel.location);
  if (start < sel.location)
    replaceWithUndo(Range{start, sel.location - start}, AttributedString(), EditKind::Other, Range{start, 0});
}

void TextView::deleteWordForward() {
  if (!editable_) return;
  const Range sel = selectedRange();
  if (sel.length > 0) return deleteForward();
  const std::size_t end = wordEndAfter(sel.location);
  if (end > sel.location)
    replaceWithUndo(Range{sel.location, end - sel.location}, AttributedString(), EditKind::Other, Range{sel.location, 0});
}

void TextView::deleteToBeginningOfLine() {
  if (!editable_) return;
  const Range sel = selectedRange();
  if (sel.length > 0) return deleteBackward();
  const std::size_t start = lineRangeAt(sel.location).location;
  if (start < sel.location)
    replaceWithUndo(Range{start, sel.location - start}, AttributedString(), EditKind::Other, Range{start, 0});
}

void TextView::insertNewline() {
  if (fieldEditor_) return endFieldEditing(TextMovement::Return);
  insertText(u"\n");
}

void TextView::insertTab() {
  if (fieldEditor_) return endFieldEditing(TextMovement::Tab);
  insertText(u"\t");
}

void TextView::endFieldEditing(TextMovement movement) {
  if (markedActive_) unmarkText();
  if (delegate_) delegate_->textDidEndEditing(*this, movement);
}

bool TextView::delegateDoesCommand(Selector command) {
  return delegate_ && delegate_->textViewDoCommandBySelector(*this, command);
}

void TextView::selectAll() {
  if (!isSelectable()) return;
  setSelectedRange(Range{0, storage_->length()});
}

void TextView::copy() {
  const Range sel = selectedRange();
  if (sel.length == 0) return;
  const AttributedString piece = storage_->attributedString().attributedSubstring(sel);
  Pasteboard& board = Pasteboard::general();
  board.clearContents();
  if (richText_) board.setRichText(piece);
  board.setString(piece.string());
}

void TextView::cut() {
  const Range sel = selectedRange();
  if (sel.length == 0 || !editable_) return;
  copy();
  replaceWithUndo(sel, AttributedString(), EditKind::Other, Range{sel.location, 0});
}

void TextView::paste() {
  if (!editable_) return;
  const Pasteboard& board = Pasteboard::general();
  if (richText_ && board.richText()) {
    if (markedActive_) unmarkText();
    replaceCharactersAsTyped(selectedRange(), *board.richText());
  } else if (board.string()) {
    insertText(*board.string());
  }
}

void TextView::undo() {
  if (!editable_) return;
  if (markedActive_) unmarkText();
  breakCoalescing();
  undo_->undo();
}

void TextView::redo() {
  if (!editable_) return;
  if (markedActive_) unmarkText();
  breakCoalescing();
  undo_->redo();
}

// ---- marked text ----

Range TextView::markedRange() const { return markedActive_ ? marked_ : Range{Range::kNotFound, 0}; }

void TextView::endComposition() {
  markedActive_ = false;
  marked_ = Range{Range::kNotFound, 0};
  compositionStart_ = Range{Range::kNotFound, 0};
  compositionOld_ = AttributedString();
}

void TextView::setMarkedText(const std::u16string& text, Range selectedWithin, Range replacementRange) {
  if (!editable_) return;
  const std::u16string clean = sanitized(text);
  const bool starting = !markedActive_;
  if (starting && clean.empty()) return;
  Range r = markedActive_ ? marked_ : replacementRange.location != Range::kNotFound ? replacementRange : selectedRange();
  r = clampRange(r, storage_->length());
  const Range previous = marked_;
  // The delegate is asked with the composition already in place, so that it lets it through.
  markedActive_ = true;
  marked_ = r;
  if (!shouldChangeText(r, &clean)) {
    markedActive_ = !starting;
    marked_ = previous;
    return;
  }
  if (starting) {
    compositionStart_ = r;
    compositionOld_ = storage_->attributedString().attributedSubstring(r);
  }
  // The marked range is the new text's before the storage changes, so that it stays inside it.
  if (clean.empty()) {
    endComposition();
  } else {
    marked_ = Range{r.location, clean.size()};
  }
  changingText_ = true;
  storage_->replaceCharacters(r, AttributedString(clean, typingAttributes_));
  const std::size_t at = std::min(selectedWithin.location, clean.size());
  setSelectedRange(Range{r.location + at, std::min(selectedWithin.length, clean.size() - at)});
  changingText_ = false;
  didChangeText();
}

void TextView::unmarkText() {
  if (!markedActive_) return;
  insertText(storage_->attributedString().attributedSubstring(clampRange(marked_, storage_->length())).string());
  // A refused commit still ends the composition.
  endComposition();
}

// ---- positions ----

std::size_t TextView::previousBoundary(std::size_t index) const {
  return qm::platform::previousCharacterBoundary(storage_->string(), index);
}

std::size_t TextView::nextBoundary(std::size_t index) const {
  return qm::platform::nextCharacterBoundary(storage_->string(), index);
}

std::size_t TextView::characterStartAt(std::size_t index) const {
  return qm::platform::characterStartAt(storage_->string(), index);
}

std::size_t TextView::characterEndAt(std::size_t index) const {
  return characterStartAt(index) == index ? std::min(index, storage_->length()) : nextBoundary(index);
}

std::size_t TextView::wordStartBefore(std::size_t index) const {
  const auto& s = storage_->string();
  std::size_t j = std::min(index, s.size());
  while (j > 0 && !isWordUnit(s[j - 1])) j = previousBoundary(j);
  while (j > 0 && isWordUnit(s[j - 1])) --j;
  return characterStartAt(j);
}

std::size_t TextView::wordEndAfter(std::size_t index) const {
  const auto& s = storage_->string();
  std::size_t j = std::min(index, s.size());
  while (j < s.size() && !isWordUnit(s[j])) j = nextBoundary(j);
  while (j < s.size() && isWordUnit(s[j])) ++j;
  return characterEndAt(j);
}

Range TextView::wordRangeAt(std::size_t index) const {
  const auto& s = storage_->string();
  if (s.empty()) return Range{0, 0};
  const std::size_t i = characterStartAt(std::min(index, s.size() - 1));
  auto sameClass = [&](char16_t u) {
    if (isWordUnit(s[i])) return isWordUnit(u);
    if (qm::platform::isWhitespaceOrNewline(s[i])) return qm::platform::isWhitespaceOrNewline(u);
    return false;
  };
  if (!isWordUnit(s[i]) && !qm::platform::isWhitespaceOrNewline(s[i])) return Range{i, nextBoundary(i) - i};
  std::size_t a = i, b = i + 1;
  while (a > 0 && sameClass(s[a - 1])) --a;
  while (b < s.size() && sameClass(s[b])) ++b;
  a = characterStartAt(a);
  b = characterEndAt(b);
  return Range{a, b - a};
}

Range TextView::lineRangeAt(std::size_t index) const {
  const auto& lines = currentLayout().lines;
  for (const auto& l : lines)
    if (index < l.range.end() || &l == &lines.back()) {
      std::size_t end = l.range.end();
      const auto& s = storage_->string();
      if (&l != &lines.back() && end > l.range.location && (s[end - 1] == u'\n' || s[end - 1] == u' ')) --end;
      return Range{l.range.location, end - l.range.location};
    }
  return Range{0, 0};
}

Range TextView::dragRange(std::size_t index) const {
  Range at{index, 0};
  if (dragGranularity_ == 2)
    at = wordRangeAt(index);
  else if (dragGranularity_ >= 3)
    at = Range{0, storage_->length()};
  return spanning(dragOrigin_, at);
}

double TextView::layoutWidth() const {
  const double w = widthTracks_ ? bounds().width() - 2 * inset_.width : containerWidth_;
  return std::max(0.0, w - 2 * padding_);
}

std::size_t TextView::characterIndexForPoint(Point p) const {
  const Layout& l = currentLayout();
  if (l.display.empty()) return 0;
  const Point o = textContainerOrigin();
  return characterStartAt(textMeasurer().insertionIndexAt(l.display, layoutWidth(), Point{p.x - o.x - padding_, p.y - o.y}));
}

Rect TextView::caretRectForIndex(std::size_t index) const {
  const Layout& l = currentLayout();
  const Point o = textContainerOrigin();
  CaretPosition c;
  if (l.display.empty()) {
    TextAttributes a = typingAttributes_;
    if (!a.font) a.font = font_.value_or(Font::system(kDefaultFontSize));
    c = textMeasurer().caretPosition(AttributedString(u" ", a), 0, 0);
  } else {
    c = textMeasurer().caretPosition(l.display, layoutWidth(), index);
  }
  return Rect{o.x + padding_ + c.x, o.y + c.top, kCaretWidth, c.height};
}

std::vector<Rect> TextView::rectsForCharacterRange(Range range) const {
  std::vector<Rect> out;
  const Layout& l = currentLayout();
  range = clampRange(range, l.display.length());
  if (range.length == 0) return out;
  const Point o = textContainerOrigin();
  for (const Rect& r : textMeasurer().rangeRects(l.display, layoutWidth(), range))
    out.push_back(Rect{o.x + padding_ + r.minX(), o.y + r.minY(), r.width(), r.height()});
  return out;
}

Rect TextView::drawnCaretRect(std::size_t index) const {
  const Layout& l = currentLayout();
  Rect r = caretRectForIndex(index);
  if (clickedCaret_ && clickedCaret_->index == index && clickedCaret_->change == storage_->changeCount() && !l.display.empty()) {
    const CaretPosition c = textMeasurer().otherCaretPosition(l.display, layoutWidth(), index);
    r = Rect{textContainerOrigin().x + padding_ + c.x, r.minY(), kCaretWidth, r.height()};
  }
  // A caret at the right edge of a full line (or of a right-to-left one) is drawn inside the view.
  const double maxX = bounds().width() - kCaretWidth;
  return maxX > 0 && r.minX() > maxX ? Rect{maxX, r.minY(), r.width(), r.height()} : r;
}

void TextView::noteClickedCaret(Point pointInView) {
  clickedCaret_.reset();
  const Range sel = selectedRange();
  const Layout& l = currentLayout();
  if (sel.length > 0 || l.display.empty()) return;
  // Where a caret has two places, the one beside the character clicked.
  const Point o = textContainerOrigin();
  const double x = pointInView.x - o.x - padding_;
  const double usual = textMeasurer().caretPosition(l.display, layoutWidth(), sel.location).x;
  const double other = textMeasurer().otherCaretPosition(l.display, layoutWidth(), sel.location).x;
  if (std::abs(other - x) < std::abs(usual - x)) clickedCaret_ = ClickedCaret{sel.location, storage_->changeCount()};
}

double TextView::usedHeight() const {
  const Layout& l = currentLayout();
  double h = l.lines.empty() ? caretRectForIndex(0).height() : l.lines.back().top + l.lines.back().height;
  return h + 2 * inset_.height;
}

void TextView::sizeToFit() {
  if (!verticallyResizable_) return;
  double h = usedHeight();
  if (auto* clip = dynamic_cast<ClipView*>(superview())) h = std::max(h, clip->frame().height());
  h = std::clamp(h, minSize_.height, std::max(minSize_.height, maxSize_.height));
  if (h != frame().height()) setFrameSize(Size{frame().width(), h});
}

void TextView::scrollRangeToVisible(Range range) {
  auto* clip = dynamic_cast<ClipView*>(superview());
  if (!clip) return;
  sizeToFit();
  Rect target = caretRectForIndex(range.location);
  for (const Rect& r : rectsForCharacterRange(range)) target = Rect{target.minX(), std::min(target.minY(), r.minY()), 1,
                                                                   std::max(target.maxY(), r.maxY()) - std::min(target.minY(), r.minY())};
  const Rect visible = clip->documentVisibleRect();
  if (target.minY() < visible.minY())
    clip->scrollToPoint(Point{visible.minX(), target.minY()});
  else if (target.maxY() > visible.maxY())
    clip->scrollToPoint(Point{visible.minX(), target.maxY() - visible.height()});
}

// ---- responder ----

bool TextView::isFirstResponder() const {
  const Window* w = window();
  return w && w->firstResponder() == this;
}

bool TextView::becomeFirstResponder() {
  setNeedsDisplay();
  return true;
}

bool TextView::resignFirstResponder() {
  setNeedsDisplay();
  endEditing();
  return true;
}

void TextView::endEditing() {
  if (markedActive_) unmarkText();
  if (fieldEditor_ && delegate_) delegate_->textDidEndEditing(*this, TextMovement::Other);
}

void TextView::mouseDown(const Event& e) {
  if (!isSelectable()) {
    View::mouseDown(e);
    return;
  }
  if (Window* w = window(); w && w->firstResponder() != this) w->makeFirstResponder(this);
  if (markedActive_) unmarkText();
  const std::size_t index = characterIndexForPoint(convertPointFromView(e.locationInWindow, nullptr));
  dragGranularity_ = std::clamp(e.clickCount, 1, 3);
  if (dragGranularity_ == 1 && (e.modifierFlags & kModifierShift))
    dragOrigin_ = Range{anchor_, 0};
  else if (dragGranularity_ == 1)
    dragOrigin_ = Range{index, 0};
  else
    dragOrigin_ = dragGranularity_ == 2 ? wordRangeAt(index) : Range{0, storage_->length()};
  mouseDragged(e);
}

void TextView::mouseDragged(const Event& e) {
  if (!isSelectable()) return;
  const std::size_t index = characterIndexForPoint(convertPointFromView(e.locationInWindow, nullptr));
  setSelectedRange(dragRange(index), /*stillSelecting=*/true);
  anchor_ = index < dragOrigin_.location ? dragOrigin_.end() : dragOrigin_.location;
  noteClickedCaret(convertPointFromView(e.locationInWindow, nullptr));
}

void TextView::mouseUp(const Event& e) {
  if (!isSelectable()) return;
  const std::size_t anchor = anchor_;
  setSelectedRange(selectedRange());
  anchor_ = anchor;
  // A plain click (no drag) on a link of a text view that cannot be edited opens the link.
  if (editable_ || e.clickCount != 1 || selectedRange().length != 0) return;
  const Point p = convertPointFromView(e.locationInWindow, nullptr);
  const std::size_t near = characterIndexForPoint(p);
  for (std::size_t at : {near, near > 0 ? near - 1 : near}) {
    if (at >= storage_->length()) continue;
    const auto& link = storage_->attributedString().attributesAt(at).link;
    if (!link || link->empty()) continue;
    for (const Rect& r : rectsForCharacterRange(Range{at, 1})) {
      if (r.contains(p)) {
        Application::shared().openURL(*link);
        return;
      }
    }
  }
}

void TextView::moveVertically(int direction, bool extend) {
  const Range sel = selectedRange();
  const std::size_t moving = anchor_ == sel.location ? sel.end() : sel.location;
  const Rect caret = caretRectForIndex(moving);
  const double y = direction < 0 ? caret.minY() - 1 : caret.maxY() + 1;
  std::size_t index;
  if (y < textContainerOrigin().y)
    index = 0;
  else if (y >= usedHeight() - inset_.height)
    index = storage_->length();
  else
    index = characterIndexForPoint(Point{caret.minX(), y});
  moveSelectionTo(index, extend);
}

void TextView::keyDown(const Event& e) {
  if (!isSelectable()) {
    View::keyDown(e);
    return;
  }
  const uint32_t mods = e.deviceIndependentModifiers() & ~kModifierCapsLock;
  const bool shift = mods & kModifierShift, option = mods & kModifierOption;
  const bool command = mods & kModifierCommand, control = mods & kModifierControl;
  const std::u16string& keysPressed = e.charactersIgnoringModifiers.empty() ? e.characters : e.charactersIgnoringModifiers;
  if (keysPressed.empty()) return;
  if (markedActive_) unmarkText();
  const Range sel = selectedRange();
  const std::size_t moving = anchor_ == sel.location ? sel.end() : sel.location;
  const std::size_t length = storage_->length();
  switch (keysPressed[0]) {
    case keys::kLeftArrow:
      if (command)
        moveSelectionTo(lineRangeAt(moving).location, shift);
      else if (option)
        moveSelectionTo(wordStartBefore(moving), shift);
      else if (!shift && sel.length > 0)
        moveSelectionTo(sel.location, false);
      else
        moveSelectionTo(previousBoundary(moving), shift);
      return;
    case keys::kRightArrow:
      if (command)
        moveSelectionTo(lineRangeAt(moving).end(), shift);
      else if (option)
        moveSelectionTo(wordEndAfter(moving), shift);
      else if (!shift && sel.length > 0)
        moveSelectionTo(sel.end(), false);
      else
        moveSelectionTo(nextBoundary(moving), shift);
      return;
    case keys::kUpArrow:
      if (command) return moveSelectionTo(0, shift);
      return moveVertically(-1, shift);
    case keys::kDownArrow:
      if (command) return moveSelectionTo(length, shift);
      return moveVertically(1, shift);
    case keys::kHome: return moveSelectionTo(0, shift);
    case keys::kEnd: return moveSelectionTo(length, shift);
    case keys::kBackspace:
      if (command) return deleteToBeginningOfLine();
      if (option) return deleteWordBackward();
      return deleteBackward();
    case keys::kForwardDelete:
      if (option) return deleteWordForward();
      return deleteForward();
    case keys::kReturn:
    case keys::kEnter:
      if (!command && !control && !delegateDoesCommand("insertNewline:")) insertNewline();
      return;
    case keys::kTab:
      if (!command && !control && !delegateDoesCommand("insertTab:")) insertTab();
      return;
    case keys::kBacktab:
      if (!delegateDoesCommand("insertBacktab:") && fieldEditor_) endFieldEditing(TextMovement::Backtab);
      return;
    case keys::kEscape:
      if (!delegateDoesCommand("cancelOperation:") && fieldEditor_) endFieldEditing(TextMovement::Cancel);
      return;
    default: break;
  }
  if (command || control) {
    View::keyDown(e);
    return;
  }
  const std::u16string text = typedText(e.characters);
  if (!text.empty() && editable_) insertText(text);
}

void TextView::resetCursorRects() {
  if (isSelectable()) addCursorRect(visibleRect(), Cursor::iBeam());
}

void TextView::layout() {
  sizeToFit();
  if (scrollPending_) {
    scrollPending_ = false;
    scrollRangeToVisible(selectedRange());
  }
}

void TextView::drawRect(const Rect&, GraphicsContext& c) {
  if (drawsBackground_) c.fillRect(bounds(), backgroundColor_);
  const Layout& l = currentLayout();
  const bool focused = isFirstResponder();
  const Range sel = selectedRange();
  if (sel.length > 0)
    for (const Rect& r : rectsForCharacterRange(sel)) c.fillRect(r, focused ? selectionColor_ : inactiveSelectionColor_);
  const Point o = textContainerOrigin();
  if (!l.display.empty())
    c.drawText(l.display, Rect{o.x + padding_, o.y, layoutWidth(), std::max(0.0, bounds().height() - o.y)});
  if (markedActive_)
    for (const Rect& r : rectsForCharacterRange(marked_))
      c.fillRect(Rect{r.minX(), r.maxY() - 1, r.width(), 1}, textColor_.value_or(kDefaultTextColor));
  if (focused && editable_ && sel.length == 0) c.fillRect(drawnCaretRect(sel.location), insertionPointColor_);
}

}  // namespace qm::ui
