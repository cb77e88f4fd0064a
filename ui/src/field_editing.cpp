// Editing a text field with its window's field editor (text_field.h describes the session).

#include "qm/ui/text_field.h"

#include "qm/ui/window.h"

#include <algorithm>

namespace qm::ui {

namespace {

// Holds the field editor over the field's text rectangle and cuts off what lies outside it.
class FieldEditorClip : public View {
 public:
  using View::View;
  bool isFlipped() const override { return true; }
};

}  // namespace

TextField::~TextField() { endEditingSession(); }

TextView* TextField::currentEditor() const { return editor_.lock().get(); }

UndoManager* TextField::undoManager() const {
  TextView* editor = currentEditor();
  return editor ? &editor->undoManager() : nullptr;
}

void TextField::replaceValue(AttributedString value) {
  value_ = std::move(value);
  if (auto editor = editor_.lock()) {
    editor->setString(value_.string());
    keepCaretInView();
  }
  setNeedsDisplay();
}

bool TextField::becomeFirstResponder() {
  if (editable_ && isEnabled() && !currentEditor()) beginEditing();
  return true;
}

bool TextField::beginEditing() {
  Window* w = window();
  if (!w) return false;
  TextView* editor = w->fieldEditor(true);
  // Still attached to another field (one that left the window while editing): that ends first.
  if (auto* other = dynamic_cast<TextField*>(editor->delegate()); other && other != this) other->endEditingSession();
  auto shared = std::static_pointer_cast<TextView>(editor->sharedView());
  editor->setDelegate(nullptr);
  editor->removeFromSuperview();
  editor->setEditable(true);
  editor->setFont(effectiveFont());
  editor->setTextColor(effectiveTextColor());
  editor->setInsertionPointColor(effectiveTextColor());
  editor->setString(value_.string());
  editor->undoManager().removeAllActions();
  editor->setSelectedRange(Range{0, editor->string().size()});
  editorClip_ = std::make_shared<FieldEditorClip>(textRect());
  editorClip_->setClipsToBounds(true);
  editor->setFrame(Rect{0, 0, textRect().width(), textRect().height()});
  editorClip_->addSubview(shared);
  addSubview(editorClip_);
  editor_ = shared;
  editor->setDelegate(this);
  keepCaretInView();
  setNeedsDisplay();
  w->makeFirstResponder(editor);
  return true;
}

void TextField::endEditingSession() {
  auto editor = editor_.lock();
  editor_.reset();
  if (editor) {
    if (editor->delegate() == this) editor->setDelegate(nullptr);
    editor->removeFromSuperview();
  }
  if (editorClip_) {
    editorClip_->removeFromSuperview();
    editorClip_.reset();
  }
  setNeedsDisplay();
}

void TextField::keepCaretInView() {
  auto editor = editor_.lock();
  if (!editor || !editorClip_) return;
  const double visible = editorClip_->bounds().width();
  const double textWidth = editor->caretRectForIndex(editor->string().size()).maxX();
  Rect f = editor->frame();
  f.size.width = std::max(visible, textWidth + 1);
  const Rect caret = editor->caretRectForIndex(editor->selectedRange().end());
  double x = f.minX();
  if (caret.minX() + x < 0)
    x = -caret.minX();
  else if (caret.maxX() + x > visible)
    x = visible - caret.maxX();
  f.origin.x = std::clamp(x, std::min(0.0, visible - f.width()), 0.0);
  editor->setFrame(f);
}

void TextField::mouseDragged(const Event& e) {
  if (TextView* editor = currentEditor())
    editor->mouseDragged(e);
  else
    Control::mouseDragged(e);
}

void TextField::mouseUp(const Event& e) {
  if (TextView* editor = currentEditor())
    editor->mouseUp(e);
  else
    Control::mouseUp(e);
}

// ---- the field editor's delegate ----

void TextField::textDidChange(TextView& editor) {
  if (&editor != currentEditor()) return;
  value_ = AttributedString(editor.string());
  keepCaretInView();
  setNeedsDisplay();
  if (auto d = delegate()) d->controlTextDidChange(*this);
}

void TextField::textViewDidChangeSelection(TextView& editor) {
  if (&editor == currentEditor()) keepCaretInView();
}

bool TextField::textViewDoCommandBySelector(TextView& editor, Selector command) {
  if (&editor != currentEditor()) return false;
  auto d = delegate();
  return d && d->controlTextViewDoCommandBySelector(*this, editor, command);
}

void TextField::textDidEndEditing(TextView& editor, TextMovement movement) {
  if (&editor != currentEditor()) return;
  auto keep = sharedView();  // the action may take the field out of its window
  switch (movement) {
    case TextMovement::Return:
      sendOwnAction();
      if (TextView* still = currentEditor()) still->setSelectedRange(Range{0, still->string().size()});
      return;
    case TextMovement::Cancel:
      return;
    case TextMovement::Tab:
    case TextMovement::Backtab: {
      Window* w = window();
      endEditingSession();
      if (w) w->makeFirstResponder(nullptr);
      return;
    }
    case TextMovement::Other:
      endEditingSession();
      return;
  }
}

}  // namespace qm::ui
