#pragma once
// Scrollers: the bars at the edges of a scroll view that show which part of the document is in
// view and move it. A scroller is a subview of its scroll view and reads the position from the
// scroll view's clip view whenever it draws or is pressed, so it never shows a stale position.
//
// Legacy scrollers take room beside the clip view: a track with a rim on its inner edge, and a
// knob once the document is larger than the view. Overlay scrollers lie over the content and
// show only while scrolling; nothing in the stand-in flashes them, so they are not drawn.
// Dragging the knob moves the document with it; a press in the track beside the knob moves one
// page towards the press. Main thread only.

#include "qm/ui/view.h"

namespace qm::ui {

class ScrollView;

enum class ScrollerStyle { Legacy, Overlay };

class Scroller : public View {
 public:
  // The width of a legacy scroller (its height when horizontal), in points.
  static constexpr double kLegacyWidth = 15;
  // The knob never gets shorter than this.
  static constexpr double kMinimumKnobLength = 20;

  explicit Scroller(bool vertical) : vertical_(vertical) {}
  bool isVertical() const { return vertical_; }

  // The visible share of the document (1 when it all fits) and the position, 0 at the top
  // (left) end, 1 at the bottom (right) end.
  double knobProportion() const;
  double doubleValue() const;
  // Where the knob is (the scroller's own coordinates, y upwards; the track is the bounds);
  // empty when there is nothing to scroll.
  Rect knobRect() const;

  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;
  void mouseDown(const Event& e) override;
  void mouseDragged(const Event& e) override;
  void mouseUp(const Event& e) override;

 private:
  ScrollView* scrollView() const;
  // Along the scroller's length, measured from its top (left) end.
  double along(Point local) const;

  bool vertical_;
  bool dragging_ = false;
  double grab_ = 0;  // where in the knob the press landed, from the knob's top (left) end
};

}  // namespace qm::ui
