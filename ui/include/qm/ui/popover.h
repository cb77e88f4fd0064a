#pragma once
// A popover: a content view shown in a small bubble next to a rectangle of another view, with an
// arrow that points at that rectangle. It is shown as a child window of the anchor view's window
// (placed in that window's coordinates, so the renderer draws it above its anchor) and becomes the
// key window while shown, so that typing reaches its views; closing gives the key back.
//
// A transient popover closes when a press lands outside it. The press then goes on to the view
// under it as if no popover had been there, except a press on the positioning view itself (or
// a view inside it): that one is left to the positioning view, which usually toggles the popover,
// so a click on the anchor of a shown popover closes it once instead of closing and reopening it.
// Main thread only, like every view.

#include "qm/ui/geometry.h"
#include "qm/ui/object.h"
#include "qm/ui/view.h"
#include "qm/ui/window.h"

#include <memory>
#include <optional>

namespace qm::ui {

enum class RectEdge { MinX, MinY, MaxX, MaxY };
// Application-defined popovers close only when told to; transient ones also on a press outside.
enum class PopoverBehavior { ApplicationDefined, Transient };

class Popover : public Object {
 public:
  // The arrow's depth and width at its base, in points.
  static constexpr double kArrowHeight = 9;
  static constexpr double kArrowWidth = 18;
  static constexpr double kCornerRadius = 6;

  Popover();
  ~Popover() override;

  const std::shared_ptr<View>& contentView() const { return contentView_; }
  // Takes effect at once, also while shown.
  void setContentView(std::shared_ptr<View> view);
  // The size set, or (until one is set) the content view's size.
  Size contentSize() const;
  void setContentSize(Size size);

  PopoverBehavior behavior() const { return behavior_; }
  void setBehavior(PopoverBehavior behavior) { behavior_ = behavior; }

  // Shows the popover beside `rect` (in `positioningView`'s bounds) on `preferredEdge` of it, the
  // arrow at the middle of that edge; the edges are those of the view's own coordinates, so MaxY
  // is the top of an unflipped view and the bottom of a flipped one. Moves a shown popover.
  // Nothing happens when the view is missing, not in a window or inside this popover.
  // [main-thread]
  void showRelativeToRect(const Rect& rect, View* positioningView, RectEdge preferredEdge);
  bool isShown() const;
  // Takes the popover off screen; nothing when it is not shown. [main-thread]
  void close();

  // The child window that shows the popover (its frame in the parent window's coordinates).
  const std::shared_ptr<Window>& window() const { return window_; }
  // The positioning view while shown, else null.
  View* positioningView() const;
  // The edge the arrow sits on, seen from the popover: the side that faces the anchor.
  RectEdge arrowEdge() const { return arrowEdge_; }

 private:
  friend class PopoverCatcher;
  void placeContent();
  bool pressHitsAnchor(Window& parent, Point locationInParent) const;

  std::shared_ptr<View> contentView_;
  std::optional<Size> contentSize_;
  PopoverBehavior behavior_ = PopoverBehavior::ApplicationDefined;
  std::shared_ptr<Window> window_;
  std::shared_ptr<View> frameView_;
  std::shared_ptr<View> bubble_;
  std::shared_ptr<Window> catcher_;
  std::weak_ptr<View> anchor_;
  Rect anchorRect_;  // in the parent window's coordinates
  RectEdge arrowEdge_ = RectEdge::MinY;
  bool shown_ = false;
};

}  // namespace qm::ui
