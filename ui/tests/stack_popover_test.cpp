// Stack views and popovers, through clicks and keys on a window and what the renderer draws.

#include "qm/ui/application.h"
#include "qm/ui/control.h"
#include "qm/ui/popover.h"
#include "qm/ui/render.h"
#include "qm/ui/stack_view.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qm::ui;

namespace {

struct Row : View {
  using View::View;
  void mouseDown(const Event&) override { ++clicks; }
  void keyDown(const Event& e) override { typed += e.characters; }
  bool acceptsFirstResponder() const override { return true; }
  int clicks = 0;
  std::u16string typed;
};

std::shared_ptr<Row> row(double w, double h) { return std::make_shared<Row>(Rect{0, 0, w, h}); }

std::vector<double> bottoms(StackView& s) {
  std::vector<double> out;
  for (const auto& v : s.arrangedSubviews()) out.push_back(v->frame().minY());
  return out;
}

}  // namespace

TEST(StackView, StacksTopDownAtTheLeadingEdgeAndFollowsItsList) {
  Window window(Rect{0, 0, 240, 120});
  window.setContentView(std::make_shared<View>());
  auto stack = std::make_shared<StackView>(Rect{20, 10, 200, 100});
  EXPECT_EQ(stack->spacing(), 8);
  stack->setSpacing(2);
  window.contentView()->addSubview(stack);
  auto a = row(212, 18), b = row(220, 24), c = row(100, 24);
  for (auto& r : {a, b, c}) stack->addArrangedSubview(r);
  EXPECT_EQ(bottoms(*stack), (std::vector<double>{82, 56, 30}));
  EXPECT_EQ(c->frame().minX(), 0);
  window.click(Point{30, 10 + 60});
  EXPECT_EQ(b->clicks, 1);

  stack->setFrameSize(Size{200, 150});  // laid out again from the new top
  EXPECT_EQ(bottoms(*stack), (std::vector<double>{132, 106, 80}));
  // Out of the arrangement, a stays a subview; out of the stack, b leaves the arrangement too.
  stack->removeArrangedSubview(a.get());
  EXPECT_EQ(a->superview(), stack.get());
  b->removeFromSuperview();
  stack->layout();
  EXPECT_EQ(bottoms(*stack), (std::vector<double>{126}));
  // An arranged view added again moves to the bottom, once.
  stack->addArrangedSubview(a);
  stack->addArrangedSubview(c);
  EXPECT_EQ(bottoms(*stack), (std::vector<double>{132, 106}));
  EXPECT_EQ(stack->arrangedSubviews().back(), c);
}

namespace {

// A 480 x 300 window with a chip (holding a chevron) near its bottom and a popover of 264 x 246
// whose content holds a field.
struct PopoverPage : ::testing::Test {
  PopoverPage() : window(Rect{0, 0, 480, 300}) {
    window.setContentView(std::make_shared<View>());
    window.contentView()->addSubview(below);
    anchor->addSubview(std::make_shared<Row>(Rect{45, 3, 10, 10}));
    window.contentView()->addSubview(anchor);
    content->setWantsLayer(true);
    content->layer()->backgroundColor = Color::deviceRGB255(23, 27, 30);
    field->setFrameOrigin(Point{16, 184});
    content->addSubview(field);
    popover.setContentView(content);
    popover.setBehavior(PopoverBehavior::Transient);
    window.makeKeyWindow();
  }
  ~PopoverPage() override { Application::shared().setKeyWindow(nullptr); }
  void show() { popover.showRelativeToRect(anchor->bounds(), anchor.get(), RectEdge::MaxY); }

  Window window;
  std::shared_ptr<Row> below = row(480, 300), anchor = std::make_shared<Row>(Rect{300, 10, 60, 16}), field = row(230, 24);
  std::shared_ptr<View> content = std::make_shared<View>(Rect{0, 0, 264, 246});
  Popover popover;
  // The field's middle once shown above the chip: x 198 + 16 + 10, y 26 + arrow + 184 + 10.
  const Point inField{224, 26 + Popover::kArrowHeight + 194};
};

}  // namespace

TEST_F(PopoverPage, ShowsAboveItsAnchorAsTheKeyChildWindow) {
  show();
  ASSERT_TRUE(popover.isShown());
  EXPECT_EQ(window.childWindows().back(), popover.window());
  EXPECT_EQ(popover.window()->frame(), (Rect{330 - 132, 26, 264, 246 + Popover::kArrowHeight}));
  EXPECT_EQ(popover.arrowEdge(), RectEdge::MinY);
  ASSERT_TRUE(popover.window()->makeFirstResponder(field.get()));
  window.typeKey(u"d");
  EXPECT_EQ(field->typed, u"d");
  popover.close();
  EXPECT_TRUE(window.childWindows().empty());
  EXPECT_EQ(Application::shared().keyWindow(), &window);
  // Below the rectangle of a flipped view (a control) is its MaxY edge.
  auto control = std::make_shared<Control>(Rect{40, 200, 100, 40});
  window.contentView()->addSubview(control);
  popover.setContentSize(Size{100, 50});
  popover.showRelativeToRect(control->bounds(), control.get(), RectEdge::MaxY);
  EXPECT_EQ(popover.window()->frame(), (Rect{40, 200 - 50 - Popover::kArrowHeight, 100, 50 + Popover::kArrowHeight}));
}

TEST_F(PopoverPage, ATransientPopoverClosesOnAPressOutsideThatGoesThrough) {
  show();
  window.click(inField);
  EXPECT_EQ(field->clicks, 1);
  window.click(Point{310, 18});  // the chip: left to its own action
  window.click(Point{349, 17});  // the chevron inside it
  EXPECT_EQ(anchor->clicks, 1);
  EXPECT_TRUE(popover.isShown());
  window.click(Point{50, 50});
  EXPECT_FALSE(popover.isShown());
  EXPECT_EQ(below->clicks, 1);

  popover.setBehavior(PopoverBehavior::ApplicationDefined);
  show();
  window.click(Point{50, 50});
  EXPECT_TRUE(popover.isShown());
  EXPECT_EQ(below->clicks, 2);
}

TEST_F(PopoverPage, TheRendererDrawsItAboveTheWindowsViews) {
  below->setWantsLayer(true);
  below->layer()->backgroundColor = Color::white();
  show();
  const Bitmap b = render::renderWindow(window, 1.0);
  // Rows count from the top: the content's middle, the arrow, a point beside the popover.
  EXPECT_EQ(b.at(330, 300 - 158), 0xFF171B1Eu);
  EXPECT_EQ(b.at(330, 300 - 29), 0xFF171B1Eu);
  EXPECT_EQ(b.at(100, 150), 0xFFFFFFFFu);
  const std::filesystem::path out = std::filesystem::path(QM_BINARY_DIR) / "test-output";
  std::filesystem::create_directories(out);
  EXPECT_TRUE(render::writePNG(render::renderWindow(window, 2.0), (out / "ui-popover-above-anchor.png").string()));
  popover.close();
  EXPECT_EQ(render::renderWindow(window, 1.0).at(330, 300 - 158), 0xFFFFFFFFu);
}
