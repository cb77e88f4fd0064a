#pragma once
// The view tree: a rectangle in its superview's coordinates with ordered subviews.
// A superview keeps its subviews alive (shared ownership, like a retained subview); a subview
// knows its superview only by a plain pointer, cleared when the superview goes away.
// Views, like the windowing toolkit they stand in for, are used on the main thread only.

#include "qm/ui/geometry.h"

#include <memory>
#include <vector>

namespace qm::ui {

class View : public std::enable_shared_from_this<View> {
 public:
  View() = default;
  explicit View(const Rect& frame) : frame_(frame) {}
  virtual ~View();

  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Frame in the superview's coordinates, origin at the lower left.
  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame) { frame_ = frame; }
  void setFrameOrigin(Point origin) { frame_.origin = origin; }
  void setFrameSize(Size size) { frame_.size = size; }
  // The view's own coordinate system: origin (0, 0) at its lower-left corner, the frame's size.
  Rect bounds() const { return Rect{Point{}, frame_.size}; }

  View* superview() const { return superview_; }
  // Back to front: the last subview is drawn last and lies on top.
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }

  // Appends `view` on top of the other subviews. A view that already has a superview
  // (this one included) is taken out of it first. Refuses, answering false and changing
  // nothing, a null view, this view itself and any ancestor of this view (a cycle).
  bool addSubview(const std::shared_ptr<View>& view);
  // Takes this view out of its superview; the superview drops its reference, so a view that
  // nobody else holds is destroyed. Does nothing without a superview.
  void removeFromSuperview();

  // True when `other` is this view or one of its ancestors.
  bool isDescendantOf(const View* other) const;
  // The view at the top of this view's tree (this view when it has no superview).
  View* rootView();

  // Converts a point between this view's bounds and `other`'s bounds; a null `other` means the
  // root view's bounds. Both views must share a root (otherwise the point is taken as given in
  // the root coordinates of each tree).
  Point convertPointToView(Point p, const View* other) const;
  Point convertPointFromView(Point p, const View* other) const;

 private:
  Point offsetInRoot() const;

  Rect frame_;
  View* superview_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
};

}  // namespace qm::ui
