#include "qm/ui/scroller.h"

#include "qm/ui/graphics.h"
#include "qm/ui/scroll_view.h"

#include <algorithm>

namespace qm::ui {

namespace {

// The knob keeps this far from the track's ends and is this thick.
constexpr double kEndInset = 3;
constexpr double kKnobThickness = 7;

// The legacy look in a dark window: a faint track with a rim towards the content, a grey knob
// that brightens while held.
const Color kTrackColor = Color::deviceWhite(1, 0.035);
const Color kRimColor = Color::deviceWhite(1, 0.09);
const Color kKnobColor = Color::deviceWhite(1, 0.3);
const Color kKnobPressedColor = Color::deviceWhite(1, 0.45);

}  // namespace

ScrollView* Scroller::scrollView() const { return dynamic_cast<ScrollView*>(superview()); }

double Scroller::knobProportion() const {
  const ScrollView* s = scrollView();
  if (!s || !s->documentView()) return 1;
  const Size doc = s->documentView()->frame().size, visible = s->contentSize();
  const double total = vertical_ ? doc.height : doc.width, shown = vertical_ ? visible.height : visible.width;
  return total > shown && total > 0 ? shown / total : 1;
}

double Scroller::doubleValue() const {
  const ScrollView* s = scrollView();
  return s ? s->scrollFraction(vertical_) : 0;
}

Rect Scroller::knobRect() const {
  const Rect b = bounds();
  const double proportion = knobProportion();
  const double length = vertical_ ? b.height() : b.width();
  const double usable = length - 2 * kEndInset;
  if (!(proportion < 1) || usable < kMinimumKnobLength) return Rect{};
  const double knob = std::clamp(usable * proportion, kMinimumKnobLength, usable);
  const double start = kEndInset + (usable - knob) * doubleValue();  // from the top (left) end
  const double across = ((vertical_ ? b.width() : b.height()) + 1 - kKnobThickness) / 2;  // clear of the rim
  if (vertical_) return Rect{b.minX() + across, b.maxY() - start - knob, kKnobThickness, knob};
  return Rect{b.minX() + start, b.minY() + across - 1, knob, kKnobThickness};
}

void Scroller::drawRect(const Rect&, GraphicsContext& c) {
  const Rect b = bounds();
  c.fillRect(b, kTrackColor);
  c.fillRect(vertical_ ? Rect{b.minX(), b.minY(), 1, b.height()} : Rect{b.minX(), b.maxY() - 1, b.width(), 1}, kRimColor);
  const Rect knob = knobRect();
  if (knob.isEmpty()) return;
  const double r = kKnobThickness / 2;
  c.fillPath(Path::roundedRect(knob, r, r), dragging_ ? kKnobPressedColor : kKnobColor);
}

double Scroller::along(Point local) const { return vertical_ ? bounds().maxY() - local.y : local.x - bounds().minX(); }

void Scroller::mouseDown(const Event& e) {
  ScrollView* s = scrollView();
  const Rect knob = knobRect();
  if (!s || knob.isEmpty()) return;
  const double at = along(convertPointFromView(e.locationInWindow, nullptr));
  const double knobStart = vertical_ ? bounds().maxY() - knob.maxY() : knob.minX() - bounds().minX();
  const double knobLength = vertical_ ? knob.height() : knob.width();
  if (at >= knobStart && at < knobStart + knobLength) {
    dragging_ = true;
    grab_ = at - knobStart;
    setNeedsDisplay();
    return;
  }
  // A page towards the press: the visible length, less a line so that one stays in view.
  const Size visible = s->contentSize();
  const double page = std::max(1.0, (vertical_ ? visible.height : visible.width) - 10);
  const double range = s->scrollableLength(vertical_);
  const double direction = at < knobStart ? -1 : 1;
  s->scrollToFraction(vertical_, s->scrollFraction(vertical_) + direction * page / range);
  setNeedsDisplay();
}

void Scroller::mouseDragged(const Event& e) {
  ScrollView* s = scrollView();
  const Rect knob = knobRect();
  if (!dragging_ || !s || knob.isEmpty()) return;
  const double length = vertical_ ? bounds().height() : bounds().width();
  const double travel = length - 2 * kEndInset - (vertical_ ? knob.height() : knob.width());
  if (!(travel > 0)) return;
  const double start = along(convertPointFromView(e.locationInWindow, nullptr)) - grab_ - kEndInset;
  s->scrollToFraction(vertical_, start / travel);
  setNeedsDisplay();
}

void Scroller::mouseUp(const Event&) {
  dragging_ = false;
  setNeedsDisplay();
}

}  // namespace qm::ui
