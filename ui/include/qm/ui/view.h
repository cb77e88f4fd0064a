#pragma once
// The view tree: a rectangle in its superview's coordinates with ordered subviews, a responder
// that takes mouse and key events, draws itself into a graphics context, and may carry a layer.
// A superview keeps its subviews alive (shared ownership, like a retained subview); a subview
// knows its superview only by a plain pointer, cleared when the superview goes away.
// Frames are in points with the origin at the lower left; a flipped view lets y grow downwards
// inside itself; a bounds origin other than zero scrolls the content (clip views).
// Views, like the windowing toolkit they stand in for, are used on the main thread only.

#include "qm/ui/cursor.h"
#include "qm/ui/geometry.h"
#include "qm/ui/layer.h"
#include "qm/ui/responder.h"

#include <memory>
#include <string>
#include <vector>

namespace qm::ui {

class GraphicsContext;
class View;
class Window;

// Which edges and sizes follow when the superview's size changes.
enum AutoresizingMask : unsigned {
  kViewNotSizable = 0,
  kViewMinXMargin = 1u << 0,  // flexible left margin
  kViewWidthSizable = 1u << 1,
  kViewMaxXMargin = 1u << 2,  // flexible right margin
  kViewMinYMargin = 1u << 3,  // flexible bottom margin
  kViewHeightSizable = 1u << 4,
  kViewMaxYMargin = 1u << 5,  // flexible top margin
};

enum TrackingAreaOption : unsigned {
  kTrackMouseEnteredAndExited = 1u << 0,
  kTrackMouseMoved = 1u << 1,
  kTrackCursorUpdate = 1u << 2,
  kTrackActiveWhenFirstResponder = 1u << 3,
  kTrackActiveInKeyWindow = 1u << 4,
  kTrackActiveAlways = 1u << 5,
  kTrackInVisibleRect = 1u << 6,  // the rectangle follows the view's visible rectangle
};

// A rectangle of a view (its own coordinates) whose owner hears of the mouse entering, moving
// in and leaving it, and of cursor updates.
class TrackingArea {
 public:
  TrackingArea(Rect rect, unsigned options, const std::shared_ptr<Responder>& owner)
      : rect_(rect), options_(options), owner_(owner) {}
  Rect rect() const { return rect_; }
  unsigned options() const { return options_; }
  std::shared_ptr<Responder> owner() const { return owner_.lock(); }

 private:
  Rect rect_;
  unsigned options_;
  std::weak_ptr<Responder> owner_;
};

enum class WindowOrderingMode { Above, Below };

class View : public Responder {
 public:
  View() = default;
  explicit View(const Rect& frame) : frame_(frame) {}
  ~View() override;

  // ---- geometry ----
  // Frame in the superview's coordinates, origin at the lower left. A new size resizes the
  // subviews by their autoresizing masks.
  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame);
  void setFrameOrigin(Point origin);
  void setFrameSize(Size size);
  // The view's own coordinate system: the bounds origin (normally zero) and the frame's size.
  Rect bounds() const { return Rect{boundsOrigin_, frame_.size}; }
  void setBoundsOrigin(Point origin);
  virtual bool isFlipped() const { return false; }

  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }
  // Applies the subviews' masks after this view's size changed from `oldSize`.
  virtual void resizeSubviewsWithOldSize(Size oldSize);

  // ---- tree ----
  View* superview() const { return superview_; }
  // Back to front: the last subview is drawn last and lies on top.
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }

  // Appends `view` on top of the other subviews. A view that already has a superview
  // (this one included) is taken out of it first. Refuses, answering false and changing
  // nothing, a null view, this view itself and any ancestor of this view (a cycle).
  bool addSubview(const std::shared_ptr<View>& view);
  // Adds `view` just above or below `relativeTo` (a subview of this view); with no such
  // subview, on top (Above) or at the back (Below).
  bool addSubview(const std::shared_ptr<View>& view, WindowOrderingMode mode, const View* relativeTo);
  // Takes this view out of its superview; the superview drops its reference, so a view that
  // nobody else holds is destroyed. Does nothing without a superview.
  void removeFromSuperview();
  // Moves this view on top of its siblings.
  void bringToFront();

  // True when `other` is this view or one of its ancestors.
  bool isDescendantOf(const View* other) const;
  // The view at the top of this view's tree (this view when it has no superview).
  View* rootView();
  // The window whose content view is this view's root, or null.
  Window* window() const;
  std::shared_ptr<View> sharedView() { return std::static_pointer_cast<View>(shared_from_this()); }

  // Called after the view joined or left a window or superview.
  virtual void viewDidMoveToWindow() {}
  virtual void viewDidMoveToSuperview() {}

  // Converts a point between this view's bounds and `other`'s bounds; a null `other` means the
  // root view's bounds (the window's coordinates). Both views must share a root.
  Point convertPointToView(Point p, const View* other) const;
  Point convertPointFromView(Point p, const View* other) const;
  Rect convertRectToView(const Rect& r, const View* other) const;
  Rect convertRectFromView(const Rect& r, const View* other) const;

  // ---- state ----
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  bool isHiddenOrHasHiddenAncestor() const;
  double alphaValue() const { return alpha_; }
  void setAlphaValue(double alpha);
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(const std::string& tip) { toolTip_ = tip; }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(const std::string& identifier) { identifier_ = identifier; }
  // Subviews and drawing are clipped to the bounds.
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool on) { clipsToBounds_ = on; }

  // ---- layer ----
  bool wantsLayer() const { return layer_ != nullptr; }
  // Gives the view a plain layer (or drops it).
  void setWantsLayer(bool on);
  // Null unless the view wants a layer. The layer's frame follows the view's bounds.
  Layer* layer() const { return layer_.get(); }
  const std::shared_ptr<Layer>& sharedLayer() const { return layer_; }
  void setLayer(std::shared_ptr<Layer> layer);

  // ---- display and layout ----
  bool needsDisplay() const { return needsDisplay_; }
  void setNeedsDisplay(bool on = true) { needsDisplay_ = on; }
  bool needsLayout() const { return needsLayout_; }
  void setNeedsLayout(bool on = true) { needsLayout_ = on; }
  // Lays out the subviews; the default does nothing.
  virtual void layout() {}
  // Runs layout on this view and every view below that needs it.
  void layoutSubtreeIfNeeded();
  // Draws the view's own content in its bounds coordinates (the context is clipped to the bounds
  // and flipped for a flipped view). The default draws nothing.
  virtual void drawRect(const Rect& dirtyRect, GraphicsContext& context);
  // The part of the bounds that no ancestor's bounds cut off; empty for a hidden view.
  Rect visibleRect() const;

  // ---- events ----
  // The deepest visible view under `pointInSuperview` (the superview's coordinates): this view
  // or one of its subviews, front to back; null outside the frame or when hidden.
  virtual View* hitTest(Point pointInSuperview);
  Responder* nextResponder() const override;
  // Offers the event to the subviews, front to back.
  bool performKeyEquivalent(const Event& e) override;

  // Tracking areas (rectangles in the view's coordinates).
  const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const { return trackingAreas_; }
  void addTrackingArea(std::shared_ptr<TrackingArea> area);
  void removeTrackingArea(const TrackingArea* area);
  // Called when the tracking areas need to be recomputed (joining a window, size changes).
  virtual void updateTrackingAreas() {}

  // Cursor rectangles: built in resetCursorRects, thrown away by discardCursorRects; the
  // window asks for them again when its cursor rectangles of this view are invalidated.
  struct CursorRect {
    Rect rect;
    std::shared_ptr<Cursor> cursor;
  };
  const std::vector<CursorRect>& cursorRects() const { return cursorRects_; }
  void addCursorRect(const Rect& rect, std::shared_ptr<Cursor> cursor);
  void discardCursorRects() { cursorRects_.clear(); }
  virtual void resetCursorRects() {}

  // ---- animation ----
  // Changes that go through the proxy inside an animation group are recorded (animation.h).
  class Animator {
   public:
    explicit Animator(View& view) : view_(view) {}
    void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin);
    void setAlphaValue(double alpha);

   private:
    View& view_;
  };
  Animator animator() { return Animator(*this); }
  // The animation records of a view without a layer (layer-backed views keep them on the layer).
  AnimationSet& animations() { return layer_ ? layer_->animations() : animations_; }

  // Where this view stands among its siblings and the manual sublayers of its superview's layer.
  double stackOrder() const { return stackOrder_; }

 protected:
  // The window hosting a root view (set by Window).
  friend class Window;
  void setHostWindow(Window* window);

 private:
  void notifyMovedToWindow();
  Point offsetInRoot(Point p) const;
  Point offsetFromRoot(Point p) const;
  Point toSuperview(Point p) const;
  Point fromSuperview(Point p) const;

  Rect frame_;
  Point boundsOrigin_;
  View* superview_ = nullptr;
  Window* hostWindow_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
  bool hidden_ = false;
  double alpha_ = 1.0;
  std::string toolTip_;
  std::string identifier_;
  bool clipsToBounds_ = false;
  std::shared_ptr<Layer> layer_;
  bool needsDisplay_ = true;
  bool needsLayout_ = false;
  unsigned autoresizingMask_ = kViewNotSizable;
  bool autoresizesSubviews_ = true;
  std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
  std::vector<CursorRect> cursorRects_;
  AnimationSet animations_;
  double stackOrder_ = 0;
};

}  // namespace qm::ui
