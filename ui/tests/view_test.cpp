#include "qm/ui/view.h"
#include "qm/ui/view_controller.h"

#include <gtest/gtest.h>

using namespace qm::ui;

namespace {

std::shared_ptr<View> makeView(double x, double y, double w, double h) {
  return std::make_shared<View>(Rect{x, y, w, h});
}

std::vector<View*> children(const View& v) {
  std::vector<View*> out;
  for (auto& c : v.subviews()) out.push_back(c.get());
  return out;
}

// Counts destructions so tests can see who keeps a view alive.
struct CountedView : View {
  explicit CountedView(int* deaths) : deaths_(deaths) {}
  ~CountedView() override { ++*deaths_; }
  int* deaths_;
};

}  // namespace

TEST(ViewTree, SubviewsKeepTheirOrderAndReparentingMovesOnTop) {
  auto root = makeView(0, 0, 100, 100);
  auto other = makeView(0, 0, 50, 50);
  auto a = makeView(0, 0, 1, 1), b = makeView(0, 0, 1, 1), c = makeView(0, 0, 1, 1);
  ASSERT_TRUE(root->addSubview(a));
  ASSERT_TRUE(root->addSubview(b));
  ASSERT_TRUE(root->addSubview(c));
  EXPECT_EQ(children(*root), (std::vector<View*>{a.get(), b.get(), c.get()}));
  EXPECT_EQ(b->superview(), root.get());

  // Adding again to the same superview brings the view to the front without duplicating it.
  ASSERT_TRUE(root->addSubview(a));
  EXPECT_EQ(children(*root), (std::vector<View*>{b.get(), c.get(), a.get()}));

  // Adding to another superview takes it out of the first.
  ASSERT_TRUE(other->addSubview(c));
  EXPECT_EQ(children(*root), (std::vector<View*>{b.get(), a.get()}));
  EXPECT_EQ(children(*other), (std::vector<View*>{c.get()}));
  EXPECT_EQ(c->superview(), other.get());
}

TEST(ViewTree, RefusesCyclesSelfAndNull) {
  auto root = makeView(0, 0, 10, 10);
  auto mid = makeView(0, 0, 10, 10);
  auto leaf = makeView(0, 0, 10, 10);
  root->addSubview(mid);
  mid->addSubview(leaf);
  EXPECT_FALSE(leaf->addSubview(root));
  EXPECT_FALSE(leaf->addSubview(mid));
  EXPECT_FALSE(mid->addSubview(mid));
  EXPECT_FALSE(mid->addSubview(nullptr));
  // Nothing moved.
  EXPECT_EQ(root->superview(), nullptr);
  EXPECT_EQ(mid->superview(), root.get());
  EXPECT_EQ(children(*leaf), std::vector<View*>{});
  EXPECT_TRUE(leaf->isDescendantOf(root.get()));
  EXPECT_FALSE(root->isDescendantOf(leaf.get()));
  EXPECT_EQ(leaf->rootView(), root.get());
}

TEST(ViewTree, RemoveFromSuperviewReleasesTheSuperviewsReference) {
  int deaths = 0;
  auto root = makeView(0, 0, 10, 10);
  {
    auto v = std::make_shared<CountedView>(&deaths);
    root->addSubview(v);
  }
  ASSERT_EQ(root->subviews().size(), 1u);
  EXPECT_EQ(deaths, 0);  // the superview keeps it alive
  root->subviews().front()->removeFromSuperview();
  EXPECT_EQ(deaths, 1);
  EXPECT_TRUE(root->subviews().empty());

  // Without a superview it does nothing.
  auto lone = makeView(0, 0, 1, 1);
  lone->removeFromSuperview();
  EXPECT_EQ(lone->superview(), nullptr);
}

TEST(ViewTree, DestroyedSuperviewLeavesHeldSubviewsParentless) {
  auto child = makeView(0, 0, 1, 1);
  {
    auto root = makeView(0, 0, 10, 10);
    root->addSubview(child);
  }
  EXPECT_EQ(child->superview(), nullptr);
  child->removeFromSuperview();  // safe
}

TEST(ViewGeometry, FramesAreLowerLeftOriginInSuperviewCoordinates) {
  auto root = makeView(0, 0, 800, 600);
  auto panel = makeView(100, 50, 300, 200);
  auto button = makeView(10, 20, 80, 30);
  root->addSubview(panel);
  panel->addSubview(button);

  EXPECT_EQ(button->bounds(), (Rect{0, 0, 80, 30}));
  // Button's lower-left corner in root coordinates: (100 + 10, 50 + 20).
  EXPECT_EQ(button->convertPointToView({0, 0}, nullptr), (Point{110, 70}));
  EXPECT_EQ(button->convertPointToView({5, 5}, panel.get()), (Point{15, 25}));
  EXPECT_EQ(button->convertPointFromView({110, 70}, root.get()), (Point{0, 0}));
  // Moving a frame upwards raises the converted y (y grows upwards).
  panel->setFrameOrigin({100, 60});
  EXPECT_EQ(button->convertPointToView({0, 0}, nullptr), (Point{110, 80}));
  EXPECT_TRUE(button->frame().contains({10, 20}));
  EXPECT_FALSE(button->frame().contains({90, 20}));
}

TEST(ViewControllerTest, OwnsItsView) {
  int deaths = 0;
  auto controller = std::make_shared<ViewController>();
  EXPECT_EQ(controller->view(), nullptr);
  controller->setView(std::make_shared<CountedView>(&deaths));
  ASSERT_NE(controller->view(), nullptr);
  controller->setView(nullptr);
  EXPECT_EQ(deaths, 1);

  controller->setView(std::make_shared<CountedView>(&deaths));
  auto host = makeView(0, 0, 10, 10);
  host->addSubview(controller->view());
  controller.reset();
  EXPECT_EQ(deaths, 1);  // still in the host view
  host->subviews().front()->removeFromSuperview();
  EXPECT_EQ(deaths, 2);
}
