#include "qm/ui/control.h"

#include "qm/ui/application.h"
#include "qm/ui/graphics.h"
#include "qm/ui/image_view.h"

namespace qm::ui {

void Control::setEnabled(bool enabled) {
  enabled_ = enabled;
  setNeedsDisplay();
}

void Control::setTarget(const std::shared_ptr<Object>& target) {
  target_ = target;
  hadTarget_ = target != nullptr;
}

void Control::setFont(const Font& font) {
  font_ = font;
  setNeedsDisplay();
}

void Control::setAlignment(TextAlignment alignment) {
  alignment_ = alignment;
  setNeedsDisplay();
}

bool Control::sendAction(Selector action, const std::shared_ptr<Object>& target) {
  if (!action) return false;
  return Application::shared().sendAction(action, target.get(), this);
}

bool Control::sendOwnAction() {
  auto target = target_.lock();
  // A target that was set and has gone away gets nothing (and the chain is not asked either).
  if (hadTarget_ && !target) return false;
  return sendAction(action_, target);
}

Rect imageRectInBounds(Size image, const Rect& b, ImageScaling scaling, ImageAlignment alignment) {
  if (!(image.width > 0) || !(image.height > 0)) return Rect{b.origin, Size{}};
  Size s = image;
  const double fit = std::min(b.width() / image.width, b.height() / image.height);
  switch (scaling) {
    case ImageScaling::ProportionallyDown:
      if (fit < 1) s = Size{image.width * fit, image.height * fit};
      break;
    case ImageScaling::ProportionallyUpOrDown:
      s = Size{image.width * fit, image.height * fit};
      break;
    case ImageScaling::AxesIndependently:
      s = b.size;
      break;
    case ImageScaling::None:
      break;
  }
  double x = b.minX() + (b.width() - s.width) / 2, y = b.minY() + (b.height() - s.height) / 2;
  switch (alignment) {
    case ImageAlignment::Top: y = b.maxY() - s.height; break;
    case ImageAlignment::TopLeft: y = b.maxY() - s.height; x = b.minX(); break;
    case ImageAlignment::TopRight: y = b.maxY() - s.height; x = b.maxX() - s.width; break;
    case ImageAlignment::Left: x = b.minX(); break;
    case ImageAlignment::Right: x = b.maxX() - s.width; break;
    case ImageAlignment::Bottom: y = b.minY(); break;
    case ImageAlignment::BottomLeft: y = b.minY(); x = b.minX(); break;
    case ImageAlignment::BottomRight: y = b.minY(); x = b.maxX() - s.width; break;
    case ImageAlignment::Center: break;
  }
  return Rect{x, y, s.width, s.height};
}

void ImageView::drawRect(const Rect&, GraphicsContext& context) {
  if (!image_) return;
  const Rect r = imageRectInBounds(image_->size(), bounds(), scaling_, alignment_);
  const double fraction = isEnabled() ? 1.0 : 0.5;
  if (image_->isTemplate())
    context.drawTemplateImage(*image_, r, tint_.value_or(Color::deviceWhite(0.85)), fraction);
  else
    context.drawImage(*image_, r, CompositeOp::SourceOver, fraction);
}

}  // namespace qm::ui
