#include "qm/ui/button.h"

#include "qm/ui/graphics.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <cmath>

namespace qm::ui {

namespace {

// The standard look of the controls in the dark window.
const Color kTitleColor = Color::deviceWhite(0.88);
const Color kTintColor = Color::deviceWhite(0.85);
const Color kAccent = Color::deviceRGB(0.18, 0.49, 0.96);
constexpr double kTitleInset = 2;

}  // namespace

Button::Button(const Rect& frame) : Control(frame) { setAlignment(TextAlignment::Center); }

Font Button::titleFont() const { return font().value_or(Font::system(13)); }

void Button::setTitle(const std::string& title) {
  TextAttributes a;
  a.font = titleFont();
  ParagraphStyle p;
  p.alignment = TextAlignment::Center;
  a.paragraphStyle = p;
  attributedTitle_ = AttributedString(title, a);
  setNeedsDisplay();
}

void Button::setAttributedTitle(const AttributedString& title) {
  attributedTitle_ = title;
  setNeedsDisplay();
}

void Button::setImage(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  if (image_ && imagePosition_ == ImagePosition::NoImage) imagePosition_ = attributedTitle_.empty() ? ImagePosition::ImageOnly : ImagePosition::ImageLeft;
  setNeedsDisplay();
}
void Button::setImagePosition(ImagePosition position) { imagePosition_ = position; setNeedsDisplay(); }
void Button::setImageScaling(ImageScaling scaling) { imageScaling_ = scaling; setNeedsDisplay(); }
void Button::setBezelStyle(BezelStyle style) { bezelStyle_ = style; setNeedsDisplay(); }
void Button::setBordered(bool bordered) { bordered_ = bordered; setNeedsDisplay(); }
void Button::setTransparent(bool transparent) { transparent_ = transparent; setNeedsDisplay(); }
void Button::setButtonType(ButtonType type) {
  type_ = type;
  if (type == ButtonType::Switch || type == ButtonType::Radio) imagePosition_ = ImagePosition::ImageLeft;
  setNeedsDisplay();
}
void Button::setState(int state) { state_ = state; setNeedsDisplay(); }
void Button::setContentTintColor(std::optional<Color> tint) { tint_ = tint; setNeedsDisplay(); }
void Button::setHighlighted(bool highlighted) {
  if (highlighted_ == highlighted) return;
  highlighted_ = highlighted;
  setNeedsDisplay();
}

void Button::toggleStateForClick() {
  switch (type_) {
    case ButtonType::PushOnPushOff:
    case ButtonType::Toggle:
    case ButtonType::Switch:
    case ButtonType::OnOff:
      state_ = state_ == kStateOn ? kStateOff : kStateOn;
      break;
    case ButtonType::Radio:
      state_ = kStateOn;
      break;
    default:
      break;
  }
}

void Button::performClick() {
  if (!isEnabled()) return;
  setHighlighted(true);
  setHighlighted(false);
  toggleStateForClick();
  setNeedsDisplay();
  sendOwnAction();
}

bool Button::pointInside(const Event& e) const {
  return bounds().contains(convertPointFromView(e.locationInWindow, nullptr));
}

void Button::mouseDown(const Event& e) {
  if (!isEnabled()) return;
  tracking_ = true;
  setHighlighted(pointInside(e));
}

void Button::mouseDragged(const Event& e) {
  if (tracking_) setHighlighted(pointInside(e));
}

void Button::mouseUp(const Event& e) {
  if (!tracking_) return;
  tracking_ = false;
  setHighlighted(false);
  if (!pointInside(e) || !isEnabled()) return;
  toggleStateForClick();
  setNeedsDisplay();
  sendOwnAction();
}

void Button::drawBezel(GraphicsContext& c) {
  const Rect b = bounds();
  if (!bordered_) return;
  const bool pressed = highlighted_;
  const bool on = state_ == kStateOn && type_ != ButtonType::MomentaryPushIn && type_ != ButtonType::MomentaryChange;
  double radius = 5;
  switch (bezelStyle_) {
    case BezelStyle::Rounded: radius = std::min(6.0, b.height() * 0.5); break;
    case BezelStyle::RegularSquare:
    case BezelStyle::SmallSquare: radius = 3; break;
    case BezelStyle::Inline:
    case BezelStyle::Recessed:
    case BezelStyle::Circular: radius = b.height() * 0.5; break;
  }
  Path face = Path::roundedRect(b.insetBy(0.5, 0.5), radius, radius);
  // Flipped: the gradient's start colour lies at the top.
  if (on) {
    c.drawLinearGradient(Gradient(kAccent.withAlpha(1), Color::deviceRGB(0.13, 0.40, 0.85)), face, 90);
  } else if (pressed) {
    c.drawLinearGradient(Gradient(Color::deviceWhite(0.44), Color::deviceWhite(0.38)), face, 90);
  } else if (bezelStyle_ == BezelStyle::Inline || bezelStyle_ == BezelStyle::Recessed) {
    c.fillPath(face, Color::deviceWhite(1, 0.12));
  } else {
    c.drawLinearGradient(Gradient(Color::deviceWhite(0.33), Color::deviceWhite(0.27)), face, 90);
  }
  // A light rim on top, a dark outline around.
  Path rim = Path::line({b.minX() + radius, 1.0}, {b.maxX() - radius, 1.0});
  rim.setLineWidth(1);
  c.strokePath(rim, Color::deviceWhite(1, pressed ? 0.08 : 0.14));
  c.strokePath(face, Color::deviceWhite(0, 0.55));
}

void Button::drawContent(GraphicsContext& c, const Rect& area) {
  // Title with the standard colour filled in where the title has none.
  AttributedString title = attributedTitle_;
  TextAttributes defaults;
  defaults.foregroundColor = (type_ == ButtonType::Switch || state_ != kStateOn || !bordered_) ? kTitleColor : Color::white();
  defaults.font = titleFont();
  title.addDefaultAttributes(defaults);
  const bool hasTitle = !title.empty() && imagePosition_ != ImagePosition::ImageOnly;
  const bool hasImage = image_ && imagePosition_ != ImagePosition::NoImage;
  const Size ts = hasTitle ? textMeasurer().measure(title) : Size{};
  Size is{};
  if (hasImage) {
    const double availW = imagePosition_ == ImagePosition::ImageLeft || imagePosition_ == ImagePosition::ImageRight
                              ? std::max(0.0, area.width() - ts.width - 4)
                              : area.width();
    const double availH = imagePosition_ == ImagePosition::ImageAbove || imagePosition_ == ImagePosition::ImageBelow
                              ? std::max(0.0, area.height() - ts.height - 2)
                              : area.height();
    is = imageRectInBounds(image_->size(), Rect{0, 0, availW, availH}, imageScaling_, ImageAlignment::Center).size;
  }
  const double gap = hasTitle && hasImage ? 4 : 0;
  Rect imageRect, textRect;
  const double cx = area.midX(), cy = area.midY();
  switch (hasImage ? imagePosition_ : ImagePosition::NoImage) {
    case ImagePosition::ImageLeft:
    case ImagePosition::ImageLeading: {
      const double total = is.width + gap + ts.width;
      const double x = type_ == ButtonType::Switch ? area.minX() : std::floor(cx - total / 2);
      imageRect = Rect{x, cy - is.height / 2, is.width, is.height};
      textRect = Rect{x + is.width + gap, cy - ts.height / 2, ts.width, ts.height};
      break;
    }
    case ImagePosition::ImageRight:
    case ImagePosition::ImageTrailing: {
      const double total = is.width + gap + ts.width;
      const double x = std::floor(cx - total / 2);
      textRect = Rect{x, cy - ts.height / 2, ts.width, ts.height};
      imageRect = Rect{x + ts.width + gap, cy - is.height / 2, is.width, is.height};
      break;
    }
    case ImagePosition::ImageAbove:
    case ImagePosition::ImageBelow: {
      const double total = is.height + gap + ts.height;
      const double top = cy - total / 2;  // flipped: y grows downwards
      const bool above = imagePosition_ == ImagePosition::ImageAbove;
      imageRect = Rect{cx - is.width / 2, above ? top : top + ts.height + gap, is.width, is.height};
      textRect = Rect{cx - ts.width / 2, above ? top + is.height + gap : top, ts.width, ts.height};
      break;
    }
    default:
      imageRect = Rect{cx - is.width / 2, cy - is.height / 2, is.width, is.height};
      textRect = Rect{cx - ts.width / 2, cy - ts.height / 2, ts.width, ts.height};
      // A title alone follows the button's alignment, 2 points in from the side it keeps to.
      if (alignment() == TextAlignment::Left || alignment() == TextAlignment::Natural)
        textRect.origin.x = area.minX() + kTitleInset;
      else if (alignment() == TextAlignment::Right)
        textRect.origin.x = area.maxX() - kTitleInset - ts.width;
      if (type_ == ButtonType::Switch || type_ == ButtonType::Radio) textRect.origin.x = area.minX();
      break;
  }
  if (hasImage && !imageRect.isEmpty()) {
    if (image_->isTemplate())
      c.drawTemplateImage(*image_, imageRect, tint_.value_or(kTintColor));
    else
      c.drawImage(*image_, imageRect);
  }
  if (hasTitle) c.drawText(title, Rect{textRect.minX(), textRect.minY(), std::ceil(ts.width), std::ceil(ts.height)});
}

void Button::drawRect(const Rect&, GraphicsContext& c) {
  if (transparent_) return;
  const Rect b = bounds();
  const bool dim = !isEnabled();
  if (dim) c.beginTransparencyGroup(0.45);
  if (type_ == ButtonType::Switch || type_ == ButtonType::Radio) {
    // A check box (or radio dot) left of the title.
    const double box = 14;
    const Rect r{1, std::floor((b.height() - box) / 2), box, box};
    Path p = type_ == ButtonType::Radio ? Path::oval(r) : Path::roundedRect(r, 3.5, 3.5);
    const bool on = state_ == kStateOn;
    if (on)
      c.drawLinearGradient(Gradient(Color::deviceRGB(0.27, 0.58, 1.0), kAccent), p, 90);
    else
      c.fillPath(p, Color::deviceWhite(highlighted_ ? 0.32 : 0.22));
    Path edge = Path::roundedRect(r.insetBy(0.5, 0.5), 3, 3);
    c.strokePath(edge, Color::deviceWhite(0, 0.5));
    if (on && type_ == ButtonType::Switch) {
      Path tick;
      tick.moveTo({r.minX() + 3.5, r.midY()});
      tick.lineTo({r.minX() + 6, r.maxY() - 3.5});
      tick.lineTo({r.maxX() - 3, r.minY() + 3.5});
      tick.setLineWidth(2);
      tick.setLineCap(LineCap::Round);
      tick.setLineJoin(LineJoin::Round);
      c.strokePath(tick, Color::white());
    } else if (on) {
      c.fillPath(Path::oval(r.insetBy(4.5, 4.5)), Color::white());
    }
    drawContent(c, Rect{box + 6, 0, std::max(0.0, b.width() - box - 6), b.height()});
  } else {
    drawBezel(c);
    const bool fade = highlighted_ && !bordered_;
    if (fade) c.beginTransparencyGroup(0.55);
    drawContent(c, bordered_ ? b.insetBy(6, 2) : b);
    if (fade) c.endTransparencyGroup();
  }
  if (dim) c.endTransparencyGroup();
}

}  // namespace qm::ui
