#pragma once
// Scroll views: a scroll view frames a clip view (inside its border), and the clip view shows a
// part of one document view, the part that starts at its bounds origin. The clip view is
// flipped exactly when its document view is, so a flipped document (a text view) starts at the
// top. The scroll view carries a border type, a background (drawn by the clip view when asked
// for) and its scrollers (scroller.h): a vertical and a horizontal one, each present or not, in
// the legacy or the overlay style. Legacy scrollers take their room from the clip view when the
// scroll view tiles; with auto-hiding, a scroller whose document fits is left out at that moment
// (tile again after the document's size changed). The scroll wheel moves the document.

#include "qm/ui/color.h"
#include "qm/ui/scroller.h"
#include "qm/ui/view.h"

#include <memory>

namespace qm::ui {

enum class BorderType { None, Line, Bezel, Groove };

class ClipView : public View {
 public:
  using View::View;
  bool isFlipped() const override;

  View* documentView() const { return document_.get(); }
  // Replaces the document view; it is placed at the clip view's origin.
  void setDocumentView(std::shared_ptr<View> view);
  // Shows the document from `point` (document coordinates), kept inside the document: a
  // document smaller than the clip view stays at its origin.
  void scrollToPoint(Point point);
  // The part of the document that the clip view shows (document coordinates).
  Rect documentVisibleRect() const;

  bool drawsBackground() const { return drawsBackground_; }
  void setDrawsBackground(bool on) { drawsBackground_ = on; setNeedsDisplay(); }
  const Color& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const Color& color) { backgroundColor_ = color; setNeedsDisplay(); }

  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;

 private:
  std::shared_ptr<View> document_;
  bool drawsBackground_ = true;
  Color backgroundColor_ = Color::deviceWhite(0.12);
};

class ScrollView : public View {
 public:
  explicit ScrollView(const Rect& frame = {});

  ClipView* contentView() const { return clip_.get(); }
  View* documentView() const { return clip_->documentView(); }
  void setDocumentView(std::shared_ptr<View> view) {
    clip_->setDocumentView(std::move(view));
    tile();
  }
  // The size of the clip view for this frame and border.
  Size contentSize() const { return clip_->frame().size; }

  BorderType borderType() const { return borderType_; }
  void setBorderType(BorderType type);
  bool drawsBackground() const { return clip_->drawsBackground(); }
  void setDrawsBackground(bool on) { clip_->setDrawsBackground(on); }
  const Color& backgroundColor() const { return clip_->backgroundColor(); }
  void setBackgroundColor(const Color& color) { clip_->setBackgroundColor(color); }
  bool hasVerticalScroller() const { return hasVerticalScroller_; }
  void setHasVerticalScroller(bool on);
  bool hasHorizontalScroller() const { return hasHorizontalScroller_; }
  void setHasHorizontalScroller(bool on);
  bool autohidesScrollers() const { return autohidesScrollers_; }
  void setAutohidesScrollers(bool on);
  // Overlay unless set.
  ScrollerStyle scrollerStyle() const { return scrollerStyle_; }
  void setScrollerStyle(ScrollerStyle style);
  // The scroller views; present always, hidden when not shown.
  Scroller* verticalScroller() const { return vertical_.get(); }
  Scroller* horizontalScroller() const { return horizontal_.get(); }

  // How far the document can move along one axis (document size minus visible size, at least 0).
  double scrollableLength(bool vertical) const;
  // The scroll position along one axis: 0 at the top (left) of the document, 1 at its bottom
  // (right), whichever way the document is flipped; 0 when nothing scrolls.
  double scrollFraction(bool vertical) const;
  void scrollToFraction(bool vertical, double fraction);

  // Places the clip view inside the border and the shown scrollers beside it.
  void tile();
  void resizeSubviewsWithOldSize(Size oldSize) override;
  void scrollWheel(const Event& e) override;
  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;

 private:
  double borderWidth() const;
  bool shows(const Scroller& scroller) const;

  std::shared_ptr<ClipView> clip_;
  std::shared_ptr<Scroller> vertical_;
  std::shared_ptr<Scroller> horizontal_;
  BorderType borderType_ = BorderType::None;
  bool hasVerticalScroller_ = false;
  bool hasHorizontalScroller_ = false;
  bool autohidesScrollers_ = false;
  ScrollerStyle scrollerStyle_ = ScrollerStyle::Overlay;
};

}  // namespace qm::ui
