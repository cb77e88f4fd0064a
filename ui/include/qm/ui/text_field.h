#pragma once
// Text fields: a string or attributed value, text and background colours, bordered or bezeled,
// editable and selectable flags, a line-break mode and single- or multi-line layout. The text
// starts at the top of the field, 2 points in from the sides. Clicking a link in a selectable
// field that is not editable opens it through the application.
//
// An editable field is edited with its window's field editor (Window::fieldEditor, one text view
// shared by every field of the window). Making the field first responder, or clicking it, starts
// editing: the field editor takes the field's text, font and colour, lies over the field's text
// (scrolled sideways to keep the caret in view) and becomes the window's first responder, with
// all the text selected or the caret where the click landed. The field is the field editor's
// delegate: every change is copied into the field's value and told to the field's delegate, and
// the delegate sees the editor's commands first (Return asks for "insertNewline:"). Editing ends
// when the field editor resigns first responder or the window ends editing; Return sends the
// field's action and keeps editing with the text selected, Tab and Backtab end editing and leave
// the window as first responder, Escape changes nothing.

#include "qm/ui/control.h"
#include "qm/ui/text_view.h"

#include <memory>
#include <optional>
#include <string>

namespace qm::ui {

class TextField;

// What a text field tells its delegate while the user edits it.
class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  // After every change of the text in the field editor (not after a value set in code).
  virtual void controlTextDidChange(TextField&) {}
  // A key of the field editor asks for `command` (TextViewDelegate lists them); true when the
  // delegate has dealt with it, and the field editor then does nothing more with the key.
  virtual bool controlTextViewDoCommandBySelector(TextField&, TextView&, Selector /*command*/) { return false; }
};

class TextField : public Control, public TextViewDelegate {
 public:
  explicit TextField(const Rect& frame = {});
  ~TextField() override;
  // A label: not editable, not selectable, no border, no background.
  static std::shared_ptr<TextField> label(const std::string& text, const Rect& frame = {});

  // While editing, the value is the field editor's text as it stands.
  std::string stringValue() const { return value_.utf8(); }
  void setStringValue(const std::string& text);
  // The value as set; plain values carry no attributes (the field's font and colours apply).
  const AttributedString& attributedStringValue() const { return value_; }
  void setAttributedStringValue(const AttributedString& value);
  const std::string& placeholderString() const { return placeholder_; }
  void setPlaceholderString(const std::string& text) { placeholder_ = text; setNeedsDisplay(); }

  // None: the default label colour.
  const std::optional<Color>& textColor() const { return textColor_; }
  void setTextColor(std::optional<Color> color);
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color);
  bool drawsBackground() const { return drawsBackground_; }
  void setDrawsBackground(bool on);
  bool isBordered() const { return bordered_; }
  void setBordered(bool on);
  bool isBezeled() const { return bezeled_; }
  void setBezeled(bool on);
  bool isEditable() const { return editable_; }
  void setEditable(bool on);
  bool isSelectable() const { return selectable_ || editable_; }
  void setSelectable(bool on) { selectable_ = on; }
  bool allowsEditingTextAttributes() const { return allowsEditingTextAttributes_; }
  void setAllowsEditingTextAttributes(bool on) { allowsEditingTextAttributes_ = on; }
  LineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(LineBreakMode mode);
  bool usesSingleLineMode() const { return singleLine_; }
  void setUsesSingleLineMode(bool on);
  // 0: as many as fit.
  int maximumNumberOfLines() const { return maxLines_; }
  void setMaximumNumberOfLines(int lines);

  // The value with the field's font, colour, alignment and line-break mode filled in where the
  // value does not set them.
  AttributedString displayString() const;
  // Where the text is laid out (bounds coordinates, y downwards).
  Rect textRect() const;
  bool wraps() const;

  // ---- editing ----
  // Held weakly, like a target.
  std::shared_ptr<TextFieldDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<TextFieldDelegate>& delegate) { delegate_ = delegate; }
  // The window's field editor while it edits this field, else null.
  TextView* currentEditor() const;
  // The field editor's undo manager while editing, else null.
  UndoManager* undoManager() const;

  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;
  // Starts editing (an editable field) and places the caret where pressed; opens a link under
  // the mouse in a selectable field; otherwise passes the event on.
  void mouseDown(const Event& e) override;
  void mouseDragged(const Event& e) override;
  void mouseUp(const Event& e) override;
  bool acceptsFirstResponder() const override { return isSelectable() && isEnabled(); }
  // An editable, enabled field in a window starts editing and hands first responder on to the
  // field editor.
  bool becomeFirstResponder() override;

  // ---- the field editor's delegate ----
  void textDidChange(TextView& editor) override;
  void textViewDidChangeSelection(TextView& editor) override;
  void textDidEndEditing(TextView& editor, TextMovement movement) override;
  bool textViewDoCommandBySelector(TextView& editor, Selector command) override;

 private:
  // The font and text colour where the value sets none.
  Font effectiveFont() const;
  Color effectiveTextColor() const;
  void replaceValue(AttributedString value);
  bool beginEditing();
  void endEditingSession();
  void keepCaretInView();

  AttributedString value_;
  std::string placeholder_;
  std::optional<Color> textColor_;
  std::optional<Color> backgroundColor_;
  bool drawsBackground_ = false;
  bool bordered_ = false;
  bool bezeled_ = true;
  bool editable_ = true;
  bool selectable_ = true;
  bool allowsEditingTextAttributes_ = false;
  LineBreakMode lineBreakMode_ = LineBreakMode::Clipping;
  bool singleLine_ = false;
  int maxLines_ = 1;
  std::weak_ptr<TextFieldDelegate> delegate_;
  std::weak_ptr<TextView> editor_;    // the field editor while it edits this field
  std::shared_ptr<View> editorClip_;  // holds the field editor over the text
};

}  // namespace qm::ui
