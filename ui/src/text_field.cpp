#include "qm/ui/text_field.h"

#include "qm/ui/application.h"
#include "qm/ui/graphics.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

namespace qm::ui {

namespace {
const Color kLabelColor = Color::deviceWhite(0.85);
const Color kPlaceholderColor = Color::deviceWhite(1, 0.35);
}  // namespace

TextField::TextField(const Rect& frame) : Control(frame) {}

std::shared_ptr<TextField> TextField::label(const std::string& text, const Rect& frame) {
  auto field = std::make_shared<TextField>(frame);
  field->setStringValue(text);
  field->setEditable(false);
  field->setSelectable(false);
  field->setBordered(false);
  field->setBezeled(false);
  field->setDrawsBackground(false);
  return field;
}

void TextField::setStringValue(const std::string& text) { replaceValue(AttributedString(text)); }
void TextField::setAttributedStringValue(const AttributedString& value) { replaceValue(value); }
void TextField::setTextColor(std::optional<Color> color) { textColor_ = color; setNeedsDisplay(); }
void TextField::setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; setNeedsDisplay(); }
void TextField::setDrawsBackground(bool on) { drawsBackground_ = on; setNeedsDisplay(); }
void TextField::setBordered(bool on) { bordered_ = on; setNeedsDisplay(); }
void TextField::setBezeled(bool on) { bezeled_ = on; setNeedsDisplay(); }
void TextField::setEditable(bool on) { editable_ = on; setNeedsDisplay(); }
void TextField::setLineBreakMode(LineBreakMode mode) { lineBreakMode_ = mode; setNeedsDisplay(); }
void TextField::setUsesSingleLineMode(bool on) { singleLine_ = on; setNeedsDisplay(); }
void TextField::setMaximumNumberOfLines(int lines) { maxLines_ = lines; setNeedsDisplay(); }

bool TextField::wraps() const {
  return !singleLine_ && (lineBreakMode_ == LineBreakMode::WordWrapping || lineBreakMode_ == LineBreakMode::CharWrapping);
}

Rect TextField::textRect() const {
  const Rect b = bounds();
  const double inset = (bordered_ || bezeled_) ? 3.0 : 0.0;
  return Rect{2 + inset, inset, std::max(0.0, b.width() - 4 - 2 * inset), std::max(0.0, b.height() - 2 * inset)};
}

Font TextField::effectiveFont() const { return font().value_or(Font::system(13)); }
Color TextField::effectiveTextColor() const { return textColor_.value_or(kLabelColor); }

AttributedString TextField::displayString() const {
  const bool placeholder = value_.empty() && !placeholder_.empty();
  AttributedString s = placeholder ? AttributedString(placeholder_) : value_;
  if (s.empty()) return s;
  TextAttributes defaults;
  defaults.font = effectiveFont();
  Color fg = placeholder ? kPlaceholderColor : effectiveTextColor();
  if (!isEnabled()) fg = fg.withAlpha(fg.alpha() * 0.5);
  defaults.foregroundColor = fg;
  ParagraphStyle p;
  p.alignment = alignment();
  p.lineBreakMode = lineBreakMode_;
  defaults.paragraphStyle = p;
  s.addDefaultAttributes(defaults);
  return s;
}

void TextField::drawRect(const Rect&, GraphicsContext& c) {
  const Rect b = bounds();
  if (drawsBackground_ && backgroundColor_) c.fillRect(b, *backgroundColor_);
  if (bordered_ || (bezeled_ && editable_)) {
    Path edge = Path::rect(b.insetBy(0.5, 0.5));
    c.strokePath(edge, Color::deviceWhite(1, bezeled_ ? 0.22 : 0.3));
  }
  if (currentEditor() && !value_.empty()) return;  // the field editor draws the text
  const AttributedString text = displayString();
  if (text.empty()) return;
  c.save();
  c.clipToRect(b);
  c.drawText(text, textRect());
  c.restore();
}

void TextField::mouseDown(const Event& e) {
  if (editable_ && isEnabled()) {
    auto keep = sharedView();
    if (!currentEditor())
      if (Window* w = window()) w->makeFirstResponder(this);
    if (TextView* editor = currentEditor()) editor->mouseDown(e);
    return;
  }
  if (!isSelectable() || !isEnabled()) {
    View::mouseDown(e);
    return;
  }
  const AttributedString text = displayString();
  if (text.empty()) return;
  const Rect r = textRect();
  const Point local = convertPointFromView(e.locationInWindow, nullptr);  // flipped: y from the top
  auto index = textMeasurer().characterIndexAt(text, wraps() ? r.width() : 0, Point{local.x - r.minX(), local.y - r.minY()});
  if (!index) return;
  const auto& link = text.attributesAt(*index).link;
  if (link && !link->empty()) Application::shared().openURL(*link);
}

}  // namespace qm::ui
