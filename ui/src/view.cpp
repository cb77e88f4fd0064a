#include "qm/ui/view.h"

#include <algorithm>

namespace qm::ui {

View::~View() {
  // Subviews that others still hold must not point at a dead superview.
  for (auto& child : subviews_) child->superview_ = nullptr;
}

bool View::addSubview(const std::shared_ptr<View>& view) {
  if (!view || view.get() == this || isDescendantOf(view.get())) return false;
  // Keep the view alive while it is moved: its old superview may hold the only reference.
  std::shared_ptr<View> keep = view;
  keep->removeFromSuperview();
  keep->superview_ = this;
  subviews_.push_back(std::move(keep));
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
  last.reset();  // may destroy this view; nothing below touches it
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

Point View::offsetInRoot() const {
  // Each frame origin is the lower-left corner in the superview's coordinates; the root's
  // own frame places it in nothing, so its bounds are the root coordinates.
  Point offset{};
  for (const View* v = this; v->superview_; v = v->superview_) {
    offset.x += v->frame_.origin.x;
    offset.y += v->frame_.origin.y;
  }
  return offset;
}

Point View::convertPointToView(Point p, const View* other) const {
  Point mine = offsetInRoot();
  Point theirs = other ? other->offsetInRoot() : Point{};
  return Point{p.x + mine.x - theirs.x, p.y + mine.y - theirs.y};
}

Point View::convertPointFromView(Point p, const View* other) const {
  Point mine = offsetInRoot();
  Point theirs = other ? other->offsetInRoot() : Point{};
  return Point{p.x + theirs.x - mine.x, p.y + theirs.y - mine.y};
}

}  // namespace qm::ui
