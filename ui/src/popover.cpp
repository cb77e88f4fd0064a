#include "qm/ui/popover.h"

#include "qm/ui/application.h"
#include "qm/ui/graphics.h"
#include "qm/ui/path.h"

namespace qm::ui {

namespace {

Color chromeColor() { return Color::deviceRGB255(32, 35, 40); }
Color rimColor() { return Color::deviceWhite(1, 0.12); }

// The arrow, drawn over the bubble's rim where it meets it, in the content's own background
// when it has one, so that bubble and arrow read as one shape; it never takes a click.
class PopoverArrowView : public View {
 public:
  using View::View;
  RectEdge edge = RectEdge::MinY;
  std::weak_ptr<View> content;

  Color fillColor() const {
    auto v = content.lock();
    if (v && v->layer() && v->layer()->backgroundColor && v->layer()->backgroundColor->alpha() > 0)
      return *v->layer()->backgroundColor;
    return chromeColor();
  }

  View* hitTest(Point) override { return nullptr; }

  void drawRect(const Rect&, GraphicsContext& c) override {
    const Rect b = bounds();
    const double a = Popover::kArrowHeight, half = Popover::kArrowWidth / 2;
    Point tip, left, right, inLeft, inRight;  // base corners, then the same pushed 1 pt into the bubble
    switch (edge) {
      case RectEdge::MinY:
        tip = {b.midX(), b.minY()};
        left = {b.midX() - half, b.minY() + a};
        right = {b.midX() + half, b.minY() + a};
        inLeft = {left.x, left.y + 1};
        inRight = {right.x, right.y + 1};
        break;
      case RectEdge::MaxY:
        tip = {b.midX(), b.maxY()};
        left = {b.midX() - half, b.maxY() - a};
        right = {b.midX() + half, b.maxY() - a};
        inLeft = {left.x, left.y - 1};
        inRight = {right.x, right.y - 1};
        break;
      case RectEdge::MinX:
        tip = {b.minX(), b.midY()};
        left = {b.minX() + a, b.midY() - half};
        right = {b.minX() + a, b.midY() + half};
        inLeft = {left.x + 1, left.y};
        inRight = {right.x + 1, right.y};
        break;
      case RectEdge::MaxX:
        tip = {b.maxX(), b.midY()};
        left = {b.maxX() - a, b.midY() - half};
        right = {b.maxX() - a, b.midY() + half};
        inLeft = {left.x - 1, left.y};
        inRight = {right.x - 1, right.y};
        break;
    }
    Path fill;
    fill.moveTo(inLeft);
    fill.lineTo(left);
    fill.lineTo(tip);
    fill.lineTo(right);
    fill.lineTo(inRight);
    fill.close();
    c.fillPath(fill, fillColor());
    Path rim;
    rim.moveTo(left);
    rim.lineTo(tip);
    rim.lineTo(right);
    rim.setLineWidth(1);
    rim.setLineJoin(LineJoin::Round);
    c.strokePath(rim, rimColor());
  }
};

}  // namespace

// A clear window under the popover that covers its parent: it sees every press outside the
// popover, closes a transient popover, and hands each event on to the parent as if it were not
// there.
class PopoverCatcher : public Window {
 public:
  explicit PopoverCatcher(Popover* owner) : Window(Rect{}), owner_(owner) {}
  Popover* owner_;

  void sendEvent(const Event& event) override {
    auto keep = sharedObject();  // the popover may go away while the event is handed on
    Window* parent = parentWindow();
    if (!parent) return;
    Event outer = event;
    outer.locationInWindow = Point{event.locationInWindow.x + frame().minX(), event.locationInWindow.y + frame().minY()};
    const bool press = event.type == EventType::LeftMouseDown || event.type == EventType::RightMouseDown;
    if (press && owner_ && owner_->behavior() == PopoverBehavior::Transient && !owner_->pressHitsAnchor(*parent, outer.locationInWindow)) {
      owner_->close();  // takes this window out of the parent
      parent->sendEvent(outer);
      return;
    }
    setVisible(false);
    parent->sendEvent(outer);
    setVisible(true);
  }
};

Popover::Popover() {
  window_ = std::make_shared<Window>(Rect{});
  frameView_ = std::make_shared<View>();
  window_->setContentView(frameView_);
  bubble_ = std::make_shared<View>();
  bubble_->setWantsLayer(true);
  bubble_->layer()->cornerRadius = kCornerRadius;
  bubble_->layer()->masksToBounds = true;
  bubble_->layer()->backgroundColor = chromeColor();
  bubble_->layer()->borderWidth = 1;
  bubble_->layer()->borderColor = rimColor();
  bubble_->layer()->shadowOpacity = 0.45;
  bubble_->layer()->shadowRadius = 6;
  bubble_->layer()->shadowOffset = Size{0, -2};
  frameView_->addSubview(bubble_);
  frameView_->addSubview(std::make_shared<PopoverArrowView>());
  catcher_ = std::make_shared<PopoverCatcher>(this);
}

Popover::~Popover() {
  close();
  static_cast<PopoverCatcher*>(catcher_.get())->owner_ = nullptr;
}

void Popover::setContentView(std::shared_ptr<View> view) {
  if (view == contentView_) return;
  if (contentView_ && contentView_->superview() == bubble_.get()) contentView_->removeFromSuperview();
  contentView_ = std::move(view);
  if (contentView_) bubble_->addSubview(contentView_);
  placeContent();
}

Size Popover::contentSize() const {
  if (contentSize_) return *contentSize_;
  return contentView_ ? contentView_->frame().size : Size{};
}

void Popover::setContentSize(Size size) {
  contentSize_ = size;
  placeContent();
}

View* Popover::positioningView() const { return isShown() ? anchor_.lock().get() : nullptr; }

bool Popover::isShown() const { return shown_ && window_->parentWindow() != nullptr; }

void Popover::placeContent() {
  const Size s = contentSize();
  const double w = s.width, h = s.height, a = kArrowHeight;
  const Rect r = anchorRect_;
  Rect frame, bubble;
  switch (arrowEdge_) {
    case RectEdge::MinY:  // above the anchor, pointing down
      frame = Rect{r.midX() - w / 2, r.maxY(), w, h + a};
      bubble = Rect{0, a, w, h};
      break;
    case RectEdge::MaxY:  // below the anchor, pointing up
      frame = Rect{r.midX() - w / 2, r.minY() - h - a, w, h + a};
      bubble = Rect{0, 0, w, h};
      break;
    case RectEdge::MaxX:  // left of the anchor, pointing right
      frame = Rect{r.minX() - w - a, r.midY() - h / 2, w + a, h};
      bubble = Rect{0, 0, w, h};
      break;
    case RectEdge::MinX:  // right of the anchor, pointing left
      frame = Rect{r.maxX(), r.midY() - h / 2, w + a, h};
      bubble = Rect{a, 0, w, h};
      break;
  }
  window_->setFrame(frame);
  bubble_->setFrame(bubble);
  for (const auto& v : frameView_->subviews())
    if (auto* arrow = dynamic_cast<PopoverArrowView*>(v.get())) {
      arrow->edge = arrowEdge_;
      arrow->content = contentView_;
      arrow->setFrame(Rect{0, 0, frame.width(), frame.height()});
    }
  if (contentView_) contentView_->setFrame(Rect{0, 0, w, h});
}

void Popover::showRelativeToRect(const Rect& rect, View* positioningView, RectEdge preferredEdge) {
  if (!positioningView) return;
  Window* parent = positioningView->window();
  if (!parent || parent == window_.get()) return;  // a popover cannot stand on itself
  if (isShown() && window_->parentWindow() != parent) close();
  RectEdge edge = preferredEdge;
  if (positioningView->isFlipped()) {
    if (edge == RectEdge::MinY)
      edge = RectEdge::MaxY;
    else if (edge == RectEdge::MaxY)
      edge = RectEdge::MinY;
  }
  // The popover lies beyond that edge of the rectangle, so its arrow is on its opposite side.
  switch (edge) {
    case RectEdge::MinX: arrowEdge_ = RectEdge::MaxX; break;
    case RectEdge::MaxX: arrowEdge_ = RectEdge::MinX; break;
    case RectEdge::MinY: arrowEdge_ = RectEdge::MaxY; break;
    case RectEdge::MaxY: arrowEdge_ = RectEdge::MinY; break;
  }
  anchorRect_ = positioningView->convertRectToView(rect, nullptr);
  anchor_ = std::dynamic_pointer_cast<View>(positioningView->sharedObject());
  placeContent();
  catcher_->setFrame(Rect{Point{}, parent->frame().size});
  if (!isShown()) {
    catcher_->setVisible(true);
    parent->addChildWindow(catcher_);
    parent->addChildWindow(window_);
    shown_ = true;
  }
  window_->makeKeyWindow();
}

void Popover::close() {
  if (!shown_) return;
  shown_ = false;
  anchor_.reset();
  const bool wasKey = Application::shared().keyWindow() == window_.get();
  Window* parent = window_->parentWindow();
  if (Window* p = catcher_->parentWindow()) p->removeChildWindow(catcher_.get());
  if (parent) parent->removeChildWindow(window_.get());
  if (wasKey) {
    if (parent)
      parent->makeKeyWindow();
    else
      Application::shared().setKeyWindow(nullptr);
  }
}

bool Popover::pressHitsAnchor(Window& parent, Point locationInParent) const {
  auto anchor = anchor_.lock();
  if (!anchor || !parent.contentView()) return false;
  View* hit = parent.contentView()->hitTest(locationInParent);
  return hit && hit->isDescendantOf(anchor.get());
}

}  // namespace qm::ui
