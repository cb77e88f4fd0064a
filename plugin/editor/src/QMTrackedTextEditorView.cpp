// The editor's construction, its setters, the restyle that rebuilds the display, and the chip.

#include "QMTrackedTextEditorView.h"

#include "QMWindowLook.h"
#include "QuillomancerTrackedText.h"

#include "qm/ui/application.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <algorithm>
#include <limits>

using qm::ui::Range;
using qm::ui::Rect;
using qm::ui::TextAttributes;

std::shared_ptr<QMTrackedTextEditorView> QMTrackedTextEditorView::Create(const Rect& frame) {
  auto editor = std::make_shared<QMTrackedTextEditorView>(Token{}, frame);
  editor->build();
  return editor;
}

QMTrackedTextEditorView::QMTrackedTextEditorView(Token, const Rect& frame) : qm::ui::View(frame) {
  // The text view reads the picking flags by key.
  registerProperty(
      "repairSelectionMode", [this] { return std::any(repairSelectionMode_); },
      [this](const std::any& v) {
        if (const bool* on = std::any_cast<bool>(&v)) setRepairSelectionMode(*on);
      });
  registerProperty(
      "repairCursorEnabled", [this] { return std::any(repairCursorEnabled_); },
      [this](const std::any& v) {
        if (const bool* on = std::any_cast<bool>(&v)) repairCursorEnabled_ = *on;
      });
  registerAction("onLanguageChipClose:", [this](qm::ui::Object* sender) { onLanguageChipClose(sender); });
}

QMTrackedTextEditorView::~QMTrackedTextEditorView() {
  if (textView_) {
    textView_->setDelegate(nullptr);
    textView_->setOwner(nullptr);
  }
}

void QMTrackedTextEditorView::build() {
  const Rect inside{0, 0, frame().width(), frame().height()};

  scrollView_ = std::make_shared<qm::ui::ScrollView>(inside);
  scrollView_->setBorderType(qm::ui::BorderType::None);
  scrollView_->setDrawsBackground(false);
  scrollView_->setHasVerticalScroller(false);
  scrollView_->setHasHorizontalScroller(false);
  scrollView_->setAutoresizingMask(qm::ui::kViewWidthSizable | qm::ui::kViewHeightSizable);

  textView_ = std::make_shared<QMTrackedTextView>(inside);
  textView_->setOwner(this);
  textView_->setDelegate(this);
  textView_->setDrawsBackground(false);
  textView_->setFont(qm::ui::Font::system(13, qm::ui::FontWeight::Regular));
  textView_->setTextColor(QMTextPrimary());
  textView_->setInsertionPointColor(qm::ui::Color::genericRGB(0.16, 0.77, 1.0, 1.0));
  textView_->setAutomaticQuoteSubstitutionEnabled(false);
  textView_->setAutomaticDashSubstitutionEnabled(false);
  textView_->setAutomaticTextCompletionEnabled(false);
  textView_->setTextContainerInset(qm::ui::Size{0, 2});
  textView_->setLineFragmentPadding(0);
  textView_->setWidthTracksTextView(true);
  const double largest = std::numeric_limits<float>::max();
  textView_->setMinSize(qm::ui::Size{0, 0});
  textView_->setMaxSize(qm::ui::Size{largest, largest});
  textView_->setVerticallyResizable(true);
  textView_->setHorizontallyResizable(false);
  textView_->setRichText(true);
  textView_->setImportsGraphics(false);
  textView_->setAllowsUndo(true);
  scrollView_->setDocumentView(textView_);
  addSubview(scrollView_);

  languageChipView_ = std::make_shared<QMActionView>(Rect{0, 0, 58, 20});
  languageChipView_->setWantsLayer(true);
  qm::ui::Layer* chip = languageChipView_->layer();
  chip->cornerRadius = 10;
  chip->backgroundColor = qm::ui::Color::deviceRGB(0.20, 0.22, 0.26, 1.0);
  chip->borderWidth = 0.5;
  chip->borderColor = qm::ui::Color::deviceRGB(1, 1, 1, 0.10);
  languageChipView_->setAutoresizingMask(qm::ui::kViewMinXMargin | qm::ui::kViewMaxYMargin);
  languageChipView_->setHidden(true);

  languageChipCloseButton_ = std::make_shared<qm::ui::Button>(Rect{4, 2, 14, 14});
  languageChipCloseButton_->setBordered(false);
  languageChipCloseButton_->setTitle("");
  if (auto xmark = qm::ui::Image::systemSymbol("xmark", "Clear language"))
    languageChipCloseButton_->setImage(xmark);
  else
    languageChipCloseButton_->setTitle("\u2715");
  languageChipCloseButton_->setImageScaling(qm::ui::ImageScaling::ProportionallyDown);
  languageChipCloseButton_->setContentTintColor(qm::ui::Color::deviceWhite(0.88, 1.0));
  languageChipCloseButton_->setTarget(sharedObject());
  languageChipCloseButton_->setAction("onLanguageChipClose:");

  languageChipLabel_ = qm::ui::TextField::label("", Rect{20, 1, 34, 16});
  languageChipLabel_->setFont(qm::ui::Font::system(12, qm::ui::FontWeight::Regular));
  languageChipLabel_->setTextColor(qm::ui::Color::deviceWhite(0.88, 1.0));
  languageChipLabel_->setBackgroundColor(qm::ui::Color::clear());
  languageChipLabel_->setAlignment(qm::ui::TextAlignment::Left);

  languageChipView_->addSubview(languageChipCloseButton_);
  languageChipView_->addSubview(languageChipLabel_);
  addSubview(languageChipView_);
  updateLanguageChipLayout();
}

// The editor calls it too, whenever it rewrites the characters: the records would replay against
// another text.
void QMTrackedTextEditorView::forgetUndo() {
  if (textView_) textView_->undoManager().removeAllActions();
}

// ---- attribute sets ----

TextAttributes QMTrackedTextEditorView::baseAttributes() const {
  return QMTrackedBaseAttributes(textView_ ? textView_->font() : std::nullopt);
}
TextAttributes QMTrackedTextEditorView::insertedAttributes() const {
  return QMTrackedInsertedAttributes(textView_ ? textView_->font() : std::nullopt);
}
TextAttributes QMTrackedTextEditorView::deletedAttributes() const {
  return QMTrackedDeletedAttributes(textView_ ? textView_->font() : std::nullopt);
}
TextAttributes QMTrackedTextEditorView::keptAttributes() const {
  return QMTrackedKeptAttributes(textView_ ? textView_->font() : std::nullopt);
}

std::size_t QMTrackedTextEditorView::displayLocationForReferenceOffset(std::size_t offset) const {
  return QMDisplayLocationForReferenceOffset(offset, storage());
}

// ---- texts and displays ----

std::u16string QMTrackedTextEditorView::targetText() const {
  if (lineChangeEnabled_) return QMTargetTextFromStorage(storage());
  return textView_ ? textView_->string() : std::u16string();
}

void QMTrackedTextEditorView::setPlainString(const std::u16string& text) {
  textView_->setString(text);
  qm::ui::TextStorage& s = textView_->textStorage();
  if (!s.empty()) s.setAttributes(baseAttributes(), Range{0, s.length()});
}

void QMTrackedTextEditorView::setTargetText(const std::u16string& text) {
  internalEdit_ = true;
  setPlainString(text);
  internalEdit_ = false;
  forgetUndo();
  dirtyTrackedLayout_ = true;
  applyTrackedStyling();
}

void QMTrackedTextEditorView::setReferenceText(const std::u16string& text) {
  if (text == referenceText_) return;
  referenceText_ = text;
  dirtyTrackedLayout_ = true;
}

void QMTrackedTextEditorView::setEditReferenceWhileShowingDiff(bool on) {
  if (on == editReferenceWhileShowingDiff_) return;
  editReferenceWhileShowingDiff_ = on;
  // Against an empty reference the flag decides what the display shows.
  if (referenceText_.empty()) dirtyTrackedLayout_ = true;
}

void QMTrackedTextEditorView::setLineChangeEnabled(bool on) {
  if (on == lineChangeEnabled_) return;
  lineChangeEnabled_ = on;
  dirtyTrackedLayout_ = true;
}

bool QMTrackedTextEditorView::hasActiveMarkedText() const { return textView_ && textView_->hasMarkedText(); }

void QMTrackedTextEditorView::applyTrackedStyling() {
  if (internalEdit_ || !textView_ || textView_->hasMarkedText()) return;
  const std::string reference = QMStdStringFromNSString(referenceText_);
  const bool needsRebuild = dirtyTrackedLayout_ || referenceText_ != lastAppliedReference_ ||
                            lastAppliedLineChangeEnabled_ != lineChangeEnabled_;
  if (needsRebuild) {
    // Editing the reference while it is empty shows it as empty: the whole target as typed text,
    // none of it shared, so that every edit goes to the reference alone.
    if (!lineChangeEnabled_ || (reference.empty() && !editReferenceWhileShowingDiff_))
      rebuildPlainDisplay();
    else
      rebuildDiffDisplay(reference);
  }
  applyRepairHighlightInPlace();
  if (!editsPlainly() && !editReferenceWhileShowingDiff_) {
    TextAttributes typing = insertedAttributes();
    typing.custom.erase(kQMDeletedTokenAttribute);
    textView_->setTypingAttributes(typing);
  } else {
    textView_->setTypingAttributes(baseAttributes());
  }
  lastAppliedReference_ = referenceText_;
  lastAppliedLineChangeEnabled_ = lineChangeEnabled_;
  dirtyTrackedLayout_ = false;
}

namespace {

bool IsFirstResponder(qm::ui::TextView& view) {
  qm::ui::Window* w = view.window();
  return w && w->firstResponder() == &view;
}

// A location carried over from another text (the other side after a mode switch) can fall inside
// a surrogate pair, where a typed key would split the character: it moves to the pair's start.
std::size_t OnCodePoint(const std::u16string& text, std::size_t location) {
  return qm::platform::utf16PrefixLength(text, location);
}

}  // namespace

void QMTrackedTextEditorView::rebuildPlainDisplay() {
  const bool wasFirstResponder = IsFirstResponder(*textView_);
  qm::ui::TextStorage* s = storage();
  // The caret stays on the same characters of the target text.
  const Range sel = textView_->selectedRange();
  const std::size_t selStart = QMTargetOffsetForDisplayLocation(sel.location, s);
  const std::size_t selEnd = QMTargetOffsetForDisplayLocation(sel.end(), s);
  // The selection is put back under the internal flag too: a restored selection is not one the
  // user made, so in picking mode it must not toggle a pick.
  const std::u16string shown = textView_->string();
  internalEdit_ = true;
  setPlainString(QMTargetTextFromStorage(s));
  const std::size_t start = OnCodePoint(textView_->string(), selStart);
  textView_->setSelectedRange(Range{start, std::max(start, OnCodePoint(textView_->string(), selEnd)) - start});
  internalEdit_ = false;
  // The same characters in the same places: the undo records still fit them.
  if (textView_->string() != shown) forgetUndo();
  if (wasFirstResponder && window()) window()->makeFirstResponder(textView_.get());
}

void QMTrackedTextEditorView::rebuildDiffDisplay(const std::string& reference) {
  const bool wasFirstResponder = IsFirstResponder(*textView_);
  qm::ui::TextStorage* s = storage();
  // A target holding a lone surrogate (only possible from outside input) would convert to
  // nothing and strike every word: it is diffed with the surrogate replaced instead.
  const std::string target = qm::ui::utf8FromUTF16(QMTargetTextFromStorage(s));
  const TextAttributes inserted = insertedAttributes(), deleted = deletedAttributes(), kept = keptAttributes();
  qm::ui::AttributedString built;
  for (const auto& segment : QuillomancerTrackedText::BuildSegments(reference, target)) {
    using Kind = QuillomancerTrackedText::SegmentKind;
    const TextAttributes& a = segment.kind == Kind::kInserted ? inserted : segment.kind == Kind::kRemoved ? deleted : kept;
    built.append(qm::ui::AttributedString(qm::platform::utf8ToUtf16(segment.text), a));
  }

  const Range sel = textView_->selectedRange();
  const bool hadSelection = sel.length > 0;
  const std::size_t caret = hasPendingTargetCursor_ ? pendingTargetCursor_ : QMTargetOffsetForDisplayLocation(sel.location, s);
  std::size_t selA = 0, selB = 0;
  if (hadSelection) {
    auto offset = editReferenceWhileShowingDiff_ ? QMReferenceOffsetForDisplayLocation : QMTargetOffsetForDisplayLocation;
    selA = offset(sel.location, s);
    selB = offset(sel.end(), s);
  }

  const std::u16string shown = textView_->string();
  internalEdit_ = true;
  s->setAttributedString(built);
  internalEdit_ = false;
  if (built.string() != shown) forgetUndo();

  Range next;
  const std::u16string& display = built.string();
  if (hasPendingReferenceCursor_) {
    next = Range{OnCodePoint(display, QMDisplayLocationForReferenceOffset(pendingReferenceCursor_, s)), 0};
  } else if (!hadSelection) {
    next = Range{OnCodePoint(display, QMDisplayLocationForTargetOffset(caret, s)), 0};
  } else {
    auto location = editReferenceWhileShowingDiff_ ? QMDisplayLocationForReferenceOffset : QMDisplayLocationForTargetOffset;
    std::size_t a = OnCodePoint(display, location(selA, s)), b = OnCodePoint(display, location(selB, s));
    if (b < a) std::swap(a, b);
    next = Range{a, b - a};
  }
  internalEdit_ = true;
  textView_->setSelectedRange(next);
  internalEdit_ = false;
  if (wasFirstResponder && window()) window()->makeFirstResponder(textView_.get());
  pendingTargetCursor_ = caret;
  hasPendingTargetCursor_ = false;
  hasPendingReferenceCursor_ = false;
}

// ---- language chip ----

void QMTrackedTextEditorView::setLanguageChipText(const std::u16string& text) {
  if (text == languageChipText_) return;
  languageChipText_ = text;
  updateLanguageChipLayout();
}

void QMTrackedTextEditorView::onLanguageChipClose(qm::ui::Object*) {
  auto target = languageChipTarget_.lock();
  if (target && languageChipAction_) qm::ui::Application::shared().sendAction(languageChipAction_, target.get(), this);
}

void QMTrackedTextEditorView::updateLanguageChipLayout() {
  if (!languageChipView_ || !languageChipLabel_ || !languageChipCloseButton_) return;
  languageChipView_->setHidden(languageChipText_.empty());
  if (languageChipText_.empty()) return;
  languageChipLabel_->setStringValue(qm::ui::utf8FromUTF16(languageChipText_));
  TextAttributes a;
  a.font = languageChipLabel_->font().value_or(qm::ui::Font::system(12));
  const double textWidth = qm::ui::textMeasurer().measure(qm::ui::AttributedString(languageChipText_, a)).width;
  const double w = frame().width();
  const double width = std::max(58.0, std::min(w - 6, textWidth + 30));
  const double x = std::max(2.0, w - width - 2);
  languageChipView_->setFrame(Rect{x, 2, width, 20});
  languageChipCloseButton_->setFrame(Rect{4, 2, 14, 14});
  languageChipLabel_->setFrame(Rect{20, 1, width - 24, 16});
}

void QMTrackedTextEditorView::layout() {
  qm::ui::View::layout();
  updateLanguageChipLayout();
}
