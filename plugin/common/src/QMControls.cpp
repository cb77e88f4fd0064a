#include "QMControls.h"

#include "qm/ui/application.h"
#include "qm/ui/graphics.h"
#include "qm/ui/text_measurer.h"

#include <cmath>

using qm::ui::Color;
using qm::ui::Path;
using qm::ui::Rect;

namespace {

std::any colourValue(const std::optional<Color>& c) { return c ? std::any(*c) : std::any(); }

std::optional<Color> colourFrom(const std::any& v) {
  if (const Color* c = std::any_cast<Color>(&v)) return *c;
  return std::nullopt;
}

}  // namespace

QMModeTextButton::QMModeTextButton(const Rect& frame) : qm::ui::Button(frame) {
  registerProperty("gradientTopColor", [this] { return colourValue(gradientTopColor); },
                   [this](const std::any& v) { gradientTopColor = colourFrom(v); });
  registerProperty("gradientBottomColor", [this] { return colourValue(gradientBottomColor); },
                   [this](const std::any& v) { gradientBottomColor = colourFrom(v); });
  registerProperty("strokeColor", [this] { return colourValue(strokeColor); },
                   [this](const std::any& v) { strokeColor = colourFrom(v); });
}

void QMModeTextButton::mouseDown(const qm::ui::Event& e) {
  setNeedsDisplay();
  qm::ui::Button::mouseDown(e);
  setNeedsDisplay();
}

void QMModeTextButton::drawRect(const Rect&, qm::ui::GraphicsContext& c) {
  const Rect b = bounds();
  const double W = b.width(), H = b.height();
  const double r = layer() ? layer()->cornerRadius : H * 0.5;
  if (drawsBevel) {
    const Path face = Path::roundedRect(b.insetBy(0.5, 0.5), r, r);
    if (isHighlighted() && pressedFillColor) {
      c.fillPath(face, *pressedFillColor);
    } else {
      const Color start = gradientTopColor.value_or(normalFillColor.value_or(QMControlInnerOffColor()));
      const Color end = gradientBottomColor.value_or(normalFillColor.value_or(QMControlInnerOffColor()));
      c.drawLinearGradient(qm::ui::Gradient(start, end), face, 90);
    }
    Path outline = face;
    outline.setLineWidth(1);
    c.strokePath(outline, strokeColor.value_or(QMControlHighlightColor()));
    if (drawsInnerBevel) {
      const double inner = std::max(r - 1, 0.0);
      Path bevel = Path::roundedRect(b.insetBy(1.5, 1.5), inner, inner);
      bevel.setLineWidth(1);
      c.strokePath(bevel, Color::deviceWhite(0.0, 0.65));
    }
  }
  const qm::ui::AttributedString& title = attributedTitle();
  const auto& icon = image();
  if (title.empty() && !icon) return;
  const qm::ui::Size ts = title.empty() ? qm::ui::Size{} : qm::ui::textMeasurer().measure(title);
  qm::ui::Size is = icon ? icon->size() : qm::ui::Size{};
  if (icon) {
    const double m = preferredIconHeight > 0 ? preferredIconHeight : H - 10;
    if (is.height > m && is.height > 0) {
      const double f = m / is.height;
      is = qm::ui::Size{is.width * f, is.height * f};
    }
  }
  const double g = (icon && !title.empty()) ? iconTitleSpacing : 0;
  const double T = is.width + g + ts.width;
  double x = std::floor((W - T) * 0.5 + contentXOffset);
  if (icon) {
    const double y = std::floor((H - is.height) * 0.5);
    c.drawImage(*icon, Rect{x, y, is.width, is.height}, qm::ui::CompositeOp::SourceOver, 1.0);
    x += is.width + g;
  }
  if (!title.empty()) {
    const double y = std::floor((H - ts.height) * 0.5 + titleYOffset);
    c.drawText(title, Rect{x, y, std::ceil(ts.width), std::ceil(ts.height)});
  }
}

void QMOrangeCheckbox::mouseDown(const qm::ui::Event&) {
  setState(state() == qm::ui::kStateOn ? qm::ui::kStateOff : qm::ui::kStateOn);
  setNeedsDisplay();
  sendOwnAction();
}

void QMOrangeCheckbox::drawRect(const Rect&, qm::ui::GraphicsContext& c) {
  const Rect b = bounds();
  constexpr double kBox = 12;
  const double boxY = b.minY() + b.height() * 0.5 - 6;
  const bool boxLeft = imagePosition() == qm::ui::ImagePosition::ImageLeft;
  double tw = 0;
  if (!attributedTitle().empty()) {
    tw = std::ceil(qm::ui::textMeasurer().measure(attributedTitle()).width);
    c.drawText(attributedTitle(), Rect{boxLeft ? kBox + 6 : 0.0, 0, tw, b.height()});
  }
  const double boxX = boxLeft ? 0 : tw + 4;
  const Path box = Path::roundedRect(Rect{boxX, boxY, kBox, kBox}, 2, 2);
  if (state() != qm::ui::kStateOn) {
    c.strokePath(box, Color::deviceRGB(0.35, 0.38, 0.42, 1));
    return;
  }
  c.fillPath(box, QMHighlightGreen());
  const double k = static_cast<double>(0.4f);
  Path tick;
  tick.moveTo({boxX + 2.5, boxY + 6});
  tick.lineTo({boxX + kBox * k, boxY + 2.5});
  tick.lineTo({boxX + kBox - 2, boxY + kBox - 2.5});
  tick.setLineWidth(1.8);
  tick.setLineCap(qm::ui::LineCap::Round);
  tick.setLineJoin(qm::ui::LineJoin::Round);
  c.strokePath(tick, Color::deviceRGB(0.10, 0.08, 0.02, 1));
}

void QMActionView::mouseDown(const qm::ui::Event&) {
  auto target = target_.lock();
  if (target && action_) qm::ui::Application::shared().sendAction(action_, target.get(), this);
}

void QMAlignedLabel::drawRect(const Rect&, qm::ui::GraphicsContext& c) {
  const std::string text = stringValue();
  if (text.empty()) return;
  qm::ui::TextAttributes a;
  a.font = font().value_or(qm::ui::Font::system(12));
  a.foregroundColor = textColor().value_or(QMTextPrimary());
  qm::ui::ParagraphStyle p;
  p.alignment = alignment();
  p.lineBreakMode = lineBreakMode();
  a.paragraphStyle = p;
  const qm::ui::AttributedString s(text, a);
  const qm::ui::Size size = qm::ui::textMeasurer().measure(s);
  const Rect b = bounds();
  double x = 0;
  if (alignment() == qm::ui::TextAlignment::Center)
    x = std::floor((b.width() - size.width) * 0.5);
  else if (alignment() == qm::ui::TextAlignment::Right)
    x = std::floor(b.width() - size.width);
  const double y = std::floor((b.height() - size.height) * 0.5 + textYOffset);
  c.drawText(s, Rect{x, y, std::ceil(size.width), std::ceil(size.height)});
}

qm::ui::View* QMModalInteractionShieldView::hitTest(qm::ui::Point pointInSuperview) {
  if (isHidden() || !frame().contains(pointInSuperview)) return nullptr;
  qm::ui::View* hit = qm::ui::View::hitTest(pointInSuperview);
  return hit ? hit : this;
}
