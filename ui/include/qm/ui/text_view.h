#pragma once
// Text views: an editable, selectable view of a text storage, laid out in a text container that
// follows the view's width (inset from the edges, with padding inside each line) and drawn with
// its attributes (colours, fonts, background, strikethrough), the selection and the caret.
//
// Editing goes the way the platform's text view goes: every change of the text that the user
// makes (typing, deleting, pasting, cutting, undo and redo, marked text) first asks the
// delegate whether it may happen (textViewShouldChangeText), then replaces the text (typed text
// takes the typing attributes), records the inverse with the undo manager, moves the selection
// and tells the delegate (textViewDidChangeSelection, textDidChange). A delegate that refuses may
// change the storage itself meanwhile; the text view then does nothing more. Selection made with
// the mouse is reported once the drag ends, on mouse-up. A plain click on a link of a text view
// that cannot be edited opens it through the application.
//
// Typing attributes stay as set: the text view does not take them from the text at the caret.
// Consecutive typing (and consecutive deleting) is one undo step. Input methods work through
// marked text: setMarkedText shows a composition (the delegate is asked while the text view
// already reports marked text), insertText or unmarkText commits it.
//
// As a field editor (setFieldEditor) Return, Enter, Tab, Backtab and Escape end editing through
// the delegate instead of typing; resigning first responder ends editing too. The delegate sees
// the commands of those keys first and may take them over.
//
// Positions are UTF-16 units. The keys (arrows, word moves, Backspace and forward delete) and
// double-click selection step over whole characters as the user sees them (grapheme clusters:
// an accent with its letter, a flag, an emoji sequence), and user input never leaves a lone
// surrogate in the text. Main thread only.

#include "qm/ui/text_storage.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/undo_manager.h"
#include "qm/ui/view.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm::ui {

class TextView;

// How a field editor's editing ended.
enum class TextMovement { Other, Return, Tab, Backtab, Cancel };

class TextViewDelegate {
 public:
  virtual ~TextViewDelegate() = default;
  // `range` (in the text as it stands) is about to become `replacement` (null: only attributes
  // change). False refuses the change.
  virtual bool textViewShouldChangeText(TextView&, Range, const std::u16string* /*replacement*/) { return true; }
  virtual void textDidChange(TextView&) {}
  virtual void textViewDidChangeSelection(TextView&) {}
  // A field editor ended editing.
  virtual void textDidEndEditing(TextView&, TextMovement) {}
  // Return or Enter ("insertNewline:"), Tab ("insertTab:"), Backtab ("insertBacktab:") or
  // Escape ("cancelOperation:") asks for its command; true when the delegate has dealt with it,
  // and the text view then does nothing more with the key.
  virtual bool textViewDoCommandBySelector(TextView&, Selector /*command*/) { return false; }
};

class TextView : public View {
 public:
  explicit TextView(const Rect& frame = {});
  ~TextView() override;
  bool isFlipped() const override { return true; }

  // ---- text ----
  TextStorage& textStorage() const { return *storage_; }
  const std::shared_ptr<TextStorage>& sharedTextStorage() const { return storage_; }
  const std::u16string& string() const { return storage_->string(); }
  // Replaces the whole text, in the typing attributes: no delegate call, no undo record. Marked
  // text ends; the caret goes to the end.
  void setString(const std::u16string& text);

  // ---- look and container ----
  // The font and colour of the whole text and of typing; none until set.
  const std::optional<Font>& font() const { return font_; }
  void setFont(const Font& font);
  const std::optional<Color>& textColor() const { return textColor_; }
  void setTextColor(const Color& color);
  const Color& insertionPointColor() const { return insertionPointColor_; }
  void setInsertionPointColor(const Color& color) { insertionPointColor_ = color; setNeedsDisplay(); }
  const Color& selectedTextBackgroundColor() const { return selectionColor_; }
  void setSelectedTextBackgroundColor(const Color& color) { selectionColor_ = color; setNeedsDisplay(); }
  bool drawsBackground() const { return drawsBackground_; }
  void setDrawsBackground(bool on) { drawsBackground_ = on; setNeedsDisplay(); }
  const Color& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const Color& color) { backgroundColor_ = color; setNeedsDisplay(); }
  // Space between the view's edges and the text container.
  Size textContainerInset() const { return inset_; }
  void setTextContainerInset(Size inset);
  // Space inside the container at both ends of every line.
  double lineFragmentPadding() const { return padding_; }
  void setLineFragmentPadding(double padding);
  bool widthTracksTextView() const { return widthTracks_; }
  void setWidthTracksTextView(bool on);
  // The container's width when it does not track the view's.
  double containerWidth() const { return containerWidth_; }
  void setContainerWidth(double width);
  Size minSize() const { return minSize_; }
  void setMinSize(Size size) { minSize_ = size; setNeedsLayout(); }
  Size maxSize() const { return maxSize_; }
  void setMaxSize(Size size) { maxSize_ = size; setNeedsLayout(); }
  bool isVerticallyResizable() const { return verticallyResizable_; }
  void setVerticallyResizable(bool on) { verticallyResizable_ = on; setNeedsLayout(); }
  bool isHorizontallyResizable() const { return horizontallyResizable_; }
  void setHorizontallyResizable(bool on) { horizontallyResizable_ = on; setNeedsLayout(); }
  // Rich text views copy and paste attributes; plain ones only strings.
  bool isRichText() const { return richText_; }
  void setRichText(bool on) { richText_ = on; }
  bool importsGraphics() const { return importsGraphics_; }
  void setImportsGraphics(bool on) { importsGraphics_ = on; }
  bool allowsUndo() const { return allowsUndo_; }
  void setAllowsUndo(bool on) { allowsUndo_ = on; }
  // Substitution and completion switches. The stand-in substitutes and completes nothing, so
  // they are kept for those who set and read them.
  bool isAutomaticQuoteSubstitutionEnabled() const { return quoteSubstitution_; }
  void setAutomaticQuoteSubstitutionEnabled(bool on) { quoteSubstitution_ = on; }
  bool isAutomaticDashSubstitutionEnabled() const { return dashSubstitution_; }
  void setAutomaticDashSubstitutionEnabled(bool on) { dashSubstitution_ = on; }
  bool isAutomaticTextCompletionEnabled() const { return textCompletion_; }
  void setAutomaticTextCompletionEnabled(bool on) { textCompletion_ = on; }

  bool isEditable() const { return editable_; }
  void setEditable(bool on);
  // An editable view is selectable too.
  bool isSelectable() const { return selectable_ || editable_; }
  void setSelectable(bool on);
  bool isFieldEditor() const { return fieldEditor_; }
  void setFieldEditor(bool on) { fieldEditor_ = on; }

  // ---- selection and typing attributes ----
  // Clamped to the text.
  Range selectedRange() const;
  // With `stillSelecting` (a drag in progress) the delegate hears of it at the final call.
  void setSelectedRange(Range range, bool stillSelecting = false);
  const TextAttributes& typingAttributes() const { return typingAttributes_; }
  void setTypingAttributes(const TextAttributes& attributes) { typingAttributes_ = attributes; }

  // ---- editing, as the keys and the edit menu do it ----
  // Replaces the marked text, or else the selection, with `text` in the typing attributes.
  void insertText(const std::u16string& text);
  // Replaces `range` with `text` the way typing does (delegate, undo, selection after it,
  // notices); false when refused or not editable.
  bool replaceCharactersAsTyped(Range range, const AttributedString& text);
  void deleteBackward();
  void deleteForward();
  void deleteWordBackward();
  void deleteWordForward();
  void deleteToBeginningOfLine();
  void insertNewline();
  void insertTab();
  void selectAll();
  // Both flavours: rich (in a rich text view) and the plain string.
  void copy();
  void cut();
  // A rich text view takes the rich flavour when there is one, otherwise the string.
  virtual void paste();
  void undo();
  void redo();
  // The checks and notices around a change that a subclass or delegate makes itself.
  bool shouldChangeText(Range range, const std::u16string* replacement);
  void didChangeText();

  // ---- marked text ----
  // Shows `text` as marked text in place of the marked text, else of `replacementRange` when
  // given (location kNotFound: none), else of the selection; `selectedWithin` is the selection
  // inside it. An empty text removes the marked text.
  void setMarkedText(const std::u16string& text, Range selectedWithin = Range{0, 0},
                     Range replacementRange = Range{Range::kNotFound, 0});
  // Commits the marked text as it stands.
  void unmarkText();
  bool hasMarkedText() const { return markedActive_; }
  // {kNotFound, 0} when there is none.
  Range markedRange() const;

  // ---- undo ----
  UndoManager& undoManager() const { return *undo_; }
  void setUndoManager(std::shared_ptr<UndoManager> manager);

  // ---- geometry (the view's coordinates, y downwards) ----
  // The top left of the text container.
  Point textContainerOrigin() const { return Point{inset_.width, inset_.height}; }
  // The width lines wrap at.
  double layoutWidth() const;
  // The caret position nearest to a point.
  std::size_t characterIndexForPoint(Point pointInView) const;
  // The caret's rectangle before unit `index`.
  Rect caretRectForIndex(std::size_t index) const;
  // One rectangle per line that `range` touches.
  std::vector<Rect> rectsForCharacterRange(Range range) const;
  // Height of the laid-out text, the container inset included.
  double usedHeight() const;
  // Grows or shrinks a vertically resizable view to its text (never below the clip view that
  // shows it, nor outside the minimum and maximum sizes).
  void sizeToFit();
  // Scrolls the enclosing clip view so that the range (its caret when empty) is in view.
  void scrollRangeToVisible(Range range);

  // ---- delegate (not owned; a delegate clears itself when it goes) ----
  TextViewDelegate* delegate() const { return delegate_; }
  void setDelegate(TextViewDelegate* delegate) { delegate_ = delegate; }

  // ---- responder and view ----
  bool acceptsFirstResponder() const override { return isSelectable(); }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  void endEditing() override;
  bool isFirstResponder() const;
  void mouseDown(const Event& e) override;
  void mouseDragged(const Event& e) override;
  void mouseUp(const Event& e) override;
  void keyDown(const Event& e) override;
  void resetCursorRects() override;
  void layout() override;
  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;

  // The storage as drawn: the text with the view's font and colour where it sets none.
  const AttributedString& displayString() const;

 private:
  enum class EditKind { Other, Typing, Deleting };
  struct UndoRecord {
    Range range;             // in the text after the change
    AttributedString old;    // what stood there before
  };
  struct Layout {
    std::uint64_t change = ~std::uint64_t{0};
    double width = -1;
    const TextMeasurer* measurer = nullptr;
    AttributedString display;
    std::vector<LineFragment> lines;
    bool valid = false;
  };

  // A click that put the caret at the other of its two places (see otherCaretPosition): drawn
  // there while the caret and the text stay as they were.
  struct ClickedCaret {
    std::size_t index = 0;
    std::uint64_t change = 0;
  };
  Rect drawnCaretRect(std::size_t index) const;
  void noteClickedCaret(Point pointInView);

  void storageChanged();
  // The font or colour for all the text and for typing.
  void applyToWholeText(const TextAttributes& attributes);
  void relayout();
  const Layout& currentLayout() const;
  bool replaceWithUndo(Range range, const AttributedString& text, EditKind kind, Range selectionAfter);
  void registerUndo(Range newRange, AttributedString old, EditKind kind);
  void applyUndoRecord(const UndoRecord& record);
  void breakCoalescing() { coalescing_.reset(); }
  void moveSelectionTo(std::size_t index, bool extend);
  void moveVertically(int direction, bool extend);
  void endFieldEditing(TextMovement movement);
  // Drops the composition's state (marked range, what it replaced) without committing it.
  void endComposition();
  bool delegateDoesCommand(Selector command);
  // Character boundaries: those of whole user-perceived characters (grapheme clusters), so
  // that no key stops or deletes inside one.
  std::size_t previousBoundary(std::size_t index) const;
  std::size_t nextBoundary(std::size_t index) const;
  // The start and the end of the character that holds unit `index` (index itself when it
  // stands on a boundary).
  std::size_t characterStartAt(std::size_t index) const;
  std::size_t characterEndAt(std::size_t index) const;
  std::size_t wordStartBefore(std::size_t index) const;
  std::size_t wordEndAfter(std::size_t index) const;
  Range wordRangeAt(std::size_t index) const;
  Range lineRangeAt(std::size_t index) const;
  Range dragRange(std::size_t index) const;

  std::shared_ptr<TextStorage> storage_;
  std::shared_ptr<UndoManager> undo_;
  TextViewDelegate* delegate_ = nullptr;

  std::optional<Font> font_;
  std::optional<Color> textColor_;
  Color insertionPointColor_ = Color::deviceWhite(0.9);
  Color selectionColor_;
  Color inactiveSelectionColor_;
  bool drawsBackground_ = true;
  Color backgroundColor_ = Color::deviceWhite(0.12);
  Size inset_{0, 0};
  double padding_ = 5;
  bool widthTracks_ = true;
  double containerWidth_ = 0;
  Size minSize_{0, 0};
  Size maxSize_{std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
  bool verticallyResizable_ = true;
  bool horizontallyResizable_ = false;
  bool richText_ = true;
  bool importsGraphics_ = false;
  bool allowsUndo_ = true;
  bool quoteSubstitution_ = false;
  bool dashSubstitution_ = false;
  bool textCompletion_ = false;
  bool editable_ = true;
  bool selectable_ = true;
  bool fieldEditor_ = false;

  Range selection_;
  std::size_t anchor_ = 0;           // the fixed end of a selection the keys extend
  Range notifiedSelection_;          // the selection the delegate heard of last
  TextAttributes typingAttributes_;

  bool markedActive_ = false;
  Range marked_{Range::kNotFound, 0};
  // The text that the composition replaced, for its undo record once committed.
  Range compositionStart_{Range::kNotFound, 0};
  AttributedString compositionOld_;

  struct Coalescing {
    EditKind kind = EditKind::Other;
    std::shared_ptr<UndoRecord> record;
    std::uint64_t stamp = 0;
  };
  std::optional<Coalescing> coalescing_;
  bool changingText_ = false;  // our own edit is moving the selection

  int dragGranularity_ = 1;   // 1 characters, 2 words, 3 lines
  Range dragOrigin_;          // what the press selected
  bool scrollPending_ = false;
  mutable Layout layout_;
  std::optional<ClickedCaret> clickedCaret_;
};

}  // namespace qm::ui
