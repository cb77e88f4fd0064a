#include "qm/ui/view.h"

#include "qm/ui/animation.h"
#include "qm/ui/window.h"

#include <algorithm>

namespace qm::ui {

View::~View() {
  // Subviews that others still hold must not point at a dead superview.
  for (auto& child : subviews_) child->superview_ = nullptr;
}

// ---- geometry ----

void View::setFrame(const Rect& frame) {
  const Size old = frame_.size;
  frame_ = frame;
  if (layer_) layer_->frame = Rect{Point{}, frame.size};
  if (!(old == frame.size)) {
    if (autoresizesSubviews_) resizeSubviewsWithOldSize(old);
    needsLayout_ = true;
    updateTrackingAreas();
  }
  needsDisplay_ = true;
}

void View::setFrameOrigin(Point origin) { setFrame(Rect{origin, frame_.size}); }
void View::setFrameSize(Size size) { setFrame(Rect{frame_.origin, size}); }

void View::setBoundsOrigin(Point origin) {
  boundsOrigin_ = origin;
  needsDisplay_ = true;
}

void View::resizeSubviewsWithOldSize(Size oldSize) {
  const double dw = frame_.size.width - oldSize.width;
  const double dh = frame_.size.height - oldSize.height;
  for (auto& child : subviews_) {
    const unsigned m = child->autoresizingMask_;
    if (m == kViewNotSizable) continue;
    Rect f = child->frame_;
    auto share = [](bool a, bool b, bool c) { return (a ? 1 : 0) + (b ? 1 : 0) + (c ? 1 : 0); };
    const int nx = share(m & kViewMinXMargin, m & kViewWidthSizable, m & kViewMaxXMargin);
    if (nx > 0) {
      const double part = dw / nx;
      if (m & kViewMinXMargin) f.origin.x += part;
      if (m & kViewWidthSizable) f.size.width = std::max(0.0, f.size.width + part);
    }
    const int ny = share(m & kViewMinYMargin, m & kViewHeightSizable, m & kViewMaxYMargin);
    if (ny > 0) {
      const double part = dh / ny;
      // In a flipped superview the top margin is the one at low y.
      const bool lowMargin = isFlipped() ? (m & kViewMaxYMargin) : (m & kViewMinYMargin);
      if (lowMargin) f.origin.y += part;
      if (m & kViewHeightSizable) f.size.height = std::max(0.0, f.size.height + part);
    }
    child->setFrame(f);
  }
}

// ---- tree ----

bool View::addSubview(const std::shared_ptr<View>& view) { return addSubview(view, WindowOrderingMode::Above, nullptr); }

bool View::addSubview(const std::shared_ptr<View>& view, WindowOrderingMode mode, const View* relativeTo) {
  if (!view || view.get() == this || isDescendantOf(view.get())) return false;
  // Keep the view alive while it is moved: its old superview may hold the only reference.
  std::shared_ptr<View> keep = view;
  keep->removeFromSuperview();
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == relativeTo; });
  size_t index;
  if (it == subviews_.end())
    index = mode == WindowOrderingMode::Above ? subviews_.size() : 0;
  else
    index = static_cast<size_t>(it - subviews_.begin()) + (mode == WindowOrderingMode::Above ? 1 : 0);
  // Stack order between the neighbours, so that manual sublayers keep their places around it.
  const bool last = index == subviews_.size();
  if (last) {
    keep->stackOrder_ = nextStackOrder();
  } else {
    const double above = subviews_[index]->stackOrder_;
    const double below = index > 0 ? subviews_[index - 1]->stackOrder_ : above - 1.0;
    keep->stackOrder_ = (above + below) / 2.0;
  }
  keep->superview_ = this;
  subviews_.insert(subviews_.begin() + static_cast<long>(index), keep);
  keep->viewDidMoveToSuperview();
  keep->notifyMovedToWindow();
  return true;
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (!parent) return;
  // The superview may hold the last reference to this view: finish with our own fields
  // before the reference goes.
  superview_ = nullptr;
  auto& siblings = parent->subviews_;
  auto it = std::find_if(siblings.begin(), siblings.end(),
                         [this](const std::shared_ptr<View>& v) { return v.get() == this; });
  if (it == siblings.end()) return;
  std::shared_ptr<View> last = std::move(*it);
  siblings.erase(it);
  if (last.use_count() > 1) {
    last->viewDidMoveToSuperview();
    last->notifyMovedToWindow();
  }
  last.reset();  // may destroy this view; nothing below touches it
}

void View::bringToFront() {
  View* parent = superview_;
  if (!parent) return;
  auto keep = sharedView();
  parent->addSubview(keep);
}

bool View::isDescendantOf(const View* other) const {
  if (!other) return false;
  for (const View* v = this; v; v = v->superview_) {
    if (v == other) return true;
  }
  return false;
}

View* View::rootView() {
  View* v = this;
  while (v->superview_) v = v->superview_;
  return v;
}

Window* View::window() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return v->hostWindow_;
}

void View::setHostWindow(Window* window) {
  hostWindow_ = window;
  notifyMovedToWindow();
}

void View::notifyMovedToWindow() {
  viewDidMoveToWindow();
  updateTrackingAreas();
  for (auto& child : std::vector<std::shared_ptr<View>>(subviews_)) child->notifyMovedToWindow();
}

// One step between a view's bounds and its superview's bounds. A frame lies in the superview's
// coordinates, so where its top is depends on whether the superview is flipped; where a point
// lies inside the view depends on whether the view is.
Point View::toSuperview(Point p) const {
  const double h = frame_.size.height;
  const double up = isFlipped() ? h - (p.y - boundsOrigin_.y) : p.y - boundsOrigin_.y;  // from the frame's bottom
  const double y = superview_->isFlipped() ? frame_.origin.y + h - up : frame_.origin.y + up;
  return Point{frame_.origin.x + (p.x - boundsOrigin_.x), y};
}

Point View::fromSuperview(Point p) const {
  // A root has no superview: its frame counts as lying in unflipped coordinates.
  const double h = frame_.size.height;
  const double up = superview_ && superview_->isFlipped() ? frame_.origin.y + h - p.y : p.y - frame_.origin.y;
  return Point{p.x - frame_.origin.x + boundsOrigin_.x, (isFlipped() ? h - up : up) + boundsOrigin_.y};
}

Point View::offsetInRoot(Point p) const {
  // A frame places a view in its superview; the root's own frame places it in nothing, so its
  // bounds are the root (window) coordinates.
  for (const View* v = this; v->superview_; v = v->superview_) p = v->toSuperview(p);
  return p;
}

Point View::offsetFromRoot(Point p) const {
  std::vector<const View*> chain;
  for (const View* v = this; v->superview_; v = v->superview_) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->fromSuperview(p);
  return p;
}

Point View::convertPointToView(Point p, const View* other) const {
  const Point root = offsetInRoot(p);
  return other ? other->offsetFromRoot(root) : root;
}

Point View::convertPointFromView(Point p, const View* other) const {
  const Point root = other ? other->offsetInRoot(p) : p;
  return offsetFromRoot(root);
}

namespace {
Rect spanning(Point a, Point b) {
  return Rect{std::min(a.x, b.x), std::min(a.y, b.y), std::abs(a.x - b.x), std::abs(a.y - b.y)};
}
}  // namespace

Rect View::convertRectToView(const Rect& r, const View* other) const {
  return spanning(convertPointToView(r.origin, other), convertPointToView({r.maxX(), r.maxY()}, other));
}

Rect View::convertRectFromView(const Rect& r, const View* other) const {
  return spanning(convertPointFromView(r.origin, other), convertPointFromView({r.maxX(), r.maxY()}, other));
}

// ---- state ----

void View::setHidden(bool hidden) {
  if (hidden_ == hidden) return;
  hidden_ = hidden;
  needsDisplay_ = true;
  if (superview_) superview_->needsDisplay_ = true;
}

bool View::isHiddenOrHasHiddenAncestor() const {
  for (const View* v = this; v; v = v->superview_)
    if (v->hidden_) return true;
  return false;
}

void View::setAlphaValue(double alpha) {
  alpha_ = std::clamp(alpha, 0.0, 1.0);
  if (layer_) layer_->opacity = alpha_;
  needsDisplay_ = true;
}

void View::setWantsLayer(bool on) {
  if (on == (layer_ != nullptr)) return;
  if (on) {
    auto layer = std::make_shared<Layer>();
    layer->frame = Rect{Point{}, frame_.size};
    layer->opacity = alpha_;
    layer_ = std::move(layer);
  } else {
    layer_.reset();
  }
  needsDisplay_ = true;
}

void View::setLayer(std::shared_ptr<Layer> layer) {
  layer_ = std::move(layer);
  if (layer_) layer_->frame = Rect{Point{}, frame_.size};
  needsDisplay_ = true;
}

// ---- display and layout ----

void View::layoutSubtreeIfNeeded() {
  if (needsLayout_) {
    needsLayout_ = false;
    layout();
  }
  for (auto& child : std::vector<std::shared_ptr<View>>(subviews_)) child->layoutSubtreeIfNeeded();
}

void View::drawRect(const Rect&, GraphicsContext&) {}

Rect View::visibleRect() const {
  if (isHiddenOrHasHiddenAncestor()) return Rect{};
  Rect inRoot = convertRectToView(bounds(), nullptr);
  for (const View* a = superview_; a; a = a->superview_) {
    inRoot = inRoot.intersection(a->convertRectToView(a->bounds(), nullptr));
    if (inRoot.isEmpty()) return Rect{};
  }
  return convertRectFromView(inRoot, nullptr);
}

// ---- events ----

View* View::hitTest(Point pointInSuperview) {
  if (hidden_) return nullptr;
  if (!frame_.contains(pointInSuperview)) return nullptr;
  const Point local = fromSuperview(pointInSuperview);
  // Copy: a hit test may not change the tree, but keep iteration safe all the same.
  auto children = subviews_;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (View* hit = (*it)->hitTest(local)) return hit;
  }
  return this;
}

Responder* View::nextResponder() const {
  if (Responder* set = Responder::nextResponder()) return set;
  if (superview_) return superview_;
  return hostWindow_;
}

bool View::performKeyEquivalent(const Event& e) {
  auto children = subviews_;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if ((*it)->hidden_) continue;
    if ((*it)->performKeyEquivalent(e)) return true;
  }
  return false;
}

void View::addTrackingArea(std::shared_ptr<TrackingArea> area) {
  if (area) trackingAreas_.push_back(std::move(area));
}

void View::removeTrackingArea(const TrackingArea* area) {
  trackingAreas_.erase(std::remove_if(trackingAreas_.begin(), trackingAreas_.end(),
                                      [&](const auto& a) { return a.get() == area; }),
                       trackingAreas_.end());
}

void View::addCursorRect(const Rect& rect, std::shared_ptr<Cursor> cursor) {
  if (cursor && !rect.isEmpty()) cursorRects_.push_back(CursorRect{rect, std::move(cursor)});
}

// ---- animation ----

void View::Animator::setFrame(const Rect& frame) {
  if (AnimationContext* context = AnimationContext::current())
    context->record(view_.animations(), "frame", view_.frame(), frame);
  view_.setFrame(frame);
}

void View::Animator::setFrameOrigin(Point origin) { setFrame(Rect{origin, view_.frame().size}); }

void View::Animator::setAlphaValue(double alpha) {
  if (AnimationContext* context = AnimationContext::current())
    context->record(view_.animations(), view_.layer() ? "opacity" : "alphaValue", view_.alphaValue(), alpha);
  view_.setAlphaValue(alpha);
}

}  // namespace qm::ui
