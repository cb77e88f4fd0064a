#include "qm/ui/scroll_view.h"

#include "qm/ui/graphics.h"

#include <algorithm>

namespace qm::ui {

bool ClipView::isFlipped() const { return document_ && document_->isFlipped(); }

void ClipView::setDocumentView(std::shared_ptr<View> view) {
  if (document_) document_->removeFromSuperview();
  document_ = std::move(view);
  if (!document_) return;
  document_->setFrameOrigin(Point{});
  addSubview(document_);
  setBoundsOrigin(Point{});
}

void ClipView::scrollToPoint(Point point) {
  const Size doc = document_ ? document_->frame().size : Size{};
  const Size own = frame().size;
  const double maxX = std::max(0.0, doc.width - own.width);
  const double maxY = std::max(0.0, doc.height - own.height);
  setBoundsOrigin(Point{std::clamp(point.x, 0.0, maxX), std::clamp(point.y, 0.0, maxY)});
}

Rect ClipView::documentVisibleRect() const { return bounds(); }

void ClipView::drawRect(const Rect&, GraphicsContext& context) {
  if (drawsBackground_) context.fillRect(bounds(), backgroundColor_);
}

ScrollView::ScrollView(const Rect& frame) : View(frame) {
  clip_ = std::make_shared<ClipView>(Rect{0, 0, frame.width(), frame.height()});
  clip_->setClipsToBounds(true);
  addSubview(clip_);
  vertical_ = std::make_shared<Scroller>(true);
  horizontal_ = std::make_shared<Scroller>(false);
  for (auto* s : {vertical_.get(), horizontal_.get()}) {
    s->setHidden(true);
    addSubview(s->sharedView());
  }
}

double ScrollView::borderWidth() const {
  switch (borderType_) {
    case BorderType::None: return 0;
    case BorderType::Line: return 1;
    case BorderType::Bezel:
    case BorderType::Groove: return 2;
  }
  return 0;
}

void ScrollView::setBorderType(BorderType type) {
  borderType_ = type;
  tile();
  setNeedsDisplay();
}

void ScrollView::setHasVerticalScroller(bool on) {
  hasVerticalScroller_ = on;
  tile();
}

void ScrollView::setHasHorizontalScroller(bool on) {
  hasHorizontalScroller_ = on;
  tile();
}

void ScrollView::setAutohidesScrollers(bool on) {
  autohidesScrollers_ = on;
  tile();
}

void ScrollView::setScrollerStyle(ScrollerStyle style) {
  scrollerStyle_ = style;
  tile();
}

bool ScrollView::shows(const Scroller& scroller) const {
  if (scrollerStyle_ != ScrollerStyle::Legacy) return false;
  if (!(scroller.isVertical() ? hasVerticalScroller_ : hasHorizontalScroller_)) return false;
  if (!autohidesScrollers_) return true;
  // Measured against the room inside the border, before any scroller takes its share.
  const View* doc = documentView();
  if (!doc) return false;
  const double w = borderWidth();
  return scroller.isVertical() ? doc->frame().height() > frame().height() - 2 * w
                               : doc->frame().width() > frame().width() - 2 * w;
}

void ScrollView::tile() {
  const double w = borderWidth();
  const bool v = shows(*vertical_), h = shows(*horizontal_);
  const double inner = Scroller::kLegacyWidth;
  const double clipW = std::max(0.0, frame().width() - 2 * w - (v ? inner : 0));
  const double clipH = std::max(0.0, frame().height() - 2 * w - (h ? inner : 0));
  // The horizontal scroller runs along the bottom, so the clip view sits above it.
  clip_->setFrame(Rect{w, w + (h ? inner : 0), clipW, clipH});
  vertical_->setHidden(!v);
  horizontal_->setHidden(!h);
  if (v) vertical_->setFrame(Rect{w + clipW, w + (h ? inner : 0), inner, clipH});
  if (h) horizontal_->setFrame(Rect{w, w, clipW, inner});
  // Keep the position inside the document after the visible size changed.
  clip_->scrollToPoint(clip_->bounds().origin);
}

void ScrollView::resizeSubviewsWithOldSize(Size oldSize) {
  View::resizeSubviewsWithOldSize(oldSize);
  tile();
}

double ScrollView::scrollableLength(bool vertical) const {
  const View* doc = documentView();
  if (!doc) return 0;
  const Size d = doc->frame().size, v = clip_->frame().size;
  return std::max(0.0, vertical ? d.height - v.height : d.width - v.width);
}

double ScrollView::scrollFraction(bool vertical) const {
  const double range = scrollableLength(vertical);
  if (!(range > 0)) return 0;
  const Point o = clip_->bounds().origin;
  // An unflipped document has its top at its maximum y.
  const double fromStart = !vertical ? o.x : clip_->isFlipped() ? o.y : range - o.y;
  return std::clamp(fromStart / range, 0.0, 1.0);
}

void ScrollView::scrollToFraction(bool vertical, double fraction) {
  const double range = scrollableLength(vertical);
  const double along = std::clamp(fraction, 0.0, 1.0) * range;
  Point o = clip_->bounds().origin;
  if (!vertical)
    o.x = along;
  else
    o.y = clip_->isFlipped() ? along : range - along;
  clip_->scrollToPoint(o);
}

void ScrollView::scrollWheel(const Event& e) {
  // Ten points a step; a positive delta moves towards the top (left) of the document.
  constexpr double kStep = 10;
  bool moved = false;
  for (const bool vertical : {true, false}) {
    const double delta = vertical ? e.deltaY : e.deltaX;
    const double range = scrollableLength(vertical);
    if (delta == 0 || !(range > 0)) continue;
    scrollToFraction(vertical, scrollFraction(vertical) - delta * kStep / range);
    moved = true;
  }
  if (!moved) View::scrollWheel(e);
}

void ScrollView::drawRect(const Rect&, GraphicsContext& context) {
  const double w = borderWidth();
  if (w <= 0) return;
  Path edge = Path::rect(bounds().insetBy(w / 2, w / 2));
  edge.setLineWidth(w);
  context.strokePath(edge, borderType_ == BorderType::Line ? Color::deviceWhite(0.45) : Color::deviceWhite(0.3));
}

}  // namespace qm::ui
