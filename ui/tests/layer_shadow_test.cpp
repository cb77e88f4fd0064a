// Layer shadows in rendered pixels: a shadow falls from what the layer and its view draw (an
// image view's image, subviews beyond the bounds), and an opaque rounded rectangle casts the
// same shadow as its outline.

#include "qm/ui/graphics.h"
#include "qm/ui/image_view.h"
#include "qm/ui/layer.h"
#include "qm/ui/render.h"
#include "qm/ui/view.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace qm::ui;

namespace {

constexpr double kScale = 2.0;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

// The pixel under a point of the root view (origin lower left).
uint32_t pixelAt(const Bitmap& b, double x, double y) {
  return b.at(static_cast<int>(x * kScale), b.height - 1 - static_cast<int>(y * kScale));
}

int green(uint32_t argb) { return static_cast<int>((argb >> 8) & 0xFF); }

void giveShadow(View& view, double radius, Size offset, double alpha = 1) {
  view.setWantsLayer(true);
  view.layer()->shadowColor = Color::black().withAlpha(alpha);
  view.layer()->shadowOpacity = 1;
  view.layer()->shadowRadius = radius;
  view.layer()->shadowOffset = offset;
}

TEST(LayerShadow, AnImageViewsShadowFollowsTheImageNotTheBounds) {
  auto root = std::make_shared<View>(Rect{0, 0, 60, 60});
  // A disc of 12 points in the middle of a 40-point image view, drawn translucent and at an alpha
  // (both lighten the shadow, neither makes it a box).
  auto disc = Image::withHandler(Size{40, 40}, [](GraphicsContext& c, const Rect&) {
    c.fillPath(Path::oval(Rect{14, 14, 12, 12}), Color::black().withAlpha(0.8));
    return true;
  });
  auto view = std::make_shared<ImageView>(Rect{10, 10, 40, 40});
  view->setImage(disc);
  view->setImageScaling(ImageScaling::AxesIndependently);
  view->setAlphaValue(0.75);
  giveShadow(*view, 4, Size{0, 0});
  root->addSubview(view);
  const Bitmap b = render::renderView(*root, kScale, Color::white());

  EXPECT_EQ(pixelAt(b, 12, 12), kWhite);  // inside the bounds, far from the disc
  EXPECT_EQ(pixelAt(b, 48, 47), kWhite);
  EXPECT_EQ(pixelAt(b, 2, 2), kWhite);
  // Around the disc (centre 30, 30; radius 6) on every side, fading outwards.
  for (auto [x, y] : {std::pair{37.5, 30.0}, std::pair{22.5, 30.0}, std::pair{30.0, 37.5}, std::pair{30.0, 22.5}})
    EXPECT_LT(green(pixelAt(b, x, y)), 245) << x << ", " << y;
  EXPECT_LT(green(pixelAt(b, 37, 30)), green(pixelAt(b, 39, 30)));
  EXPECT_LT(green(pixelAt(b, 39, 30)), green(pixelAt(b, 42, 30)));
}

// Draws, at `shape`'s place in the root, what a layer with that outline used to draw: the
// outline's shadow, then the background.
class OutlineShadowView : public View {
 public:
  OutlineShadowView(const Rect& frame, Path shape, Color fill) : View(frame), shape_(std::move(shape)), fill_(fill) {}
  void drawRect(const Rect&, GraphicsContext& c) override {
    c.drawShadow(shape_, Color::black().withAlpha(0.6), 3, Size{0, -3});
    c.fillPath(shape_, fill_);
  }

 private:
  Path shape_;
  Color fill_;
};

TEST(LayerShadow, AnOpaqueRoundedRectangleCastsTheShadowOfItsOutline) {
  const Rect frame{15, 20, 30, 20};
  const Color fill = Color::deviceRGB(0.9, 0.1, 0.1);
  auto root = std::make_shared<View>(Rect{0, 0, 60, 60});
  auto card = std::make_shared<View>(frame);
  giveShadow(*card, 3, Size{0, -3}, 0.6);
  card->layer()->backgroundColor = fill;
  card->layer()->cornerRadius = 6;
  root->addSubview(card);
  const Bitmap shadowed = render::renderView(*root, kScale, Color::white());

  auto reference = std::make_shared<OutlineShadowView>(Rect{0, 0, 60, 60}, Path::roundedRect(frame, 6, 6), fill);
  const Bitmap expected = render::renderView(*reference, kScale, Color::white());

  ASSERT_EQ(shadowed.pixels.size(), expected.pixels.size());
  int worst = 0;
  for (size_t i = 0; i < expected.pixels.size(); ++i)
    for (int shift = 0; shift < 32; shift += 8)
      worst = std::max(worst, std::abs(static_cast<int>((shadowed.pixels[i] >> shift) & 0xFF) -
                                       static_cast<int>((expected.pixels[i] >> shift) & 0xFF)));
  EXPECT_LE(worst, 2);
  EXPECT_LT(green(pixelAt(shadowed, 30, 18)), 200);  // the shadow lies below the card
}

TEST(LayerShadow, SubviewsBeyondTheBoundsCastItUnlessTheLayerMasksThem) {
  auto root = std::make_shared<View>(Rect{0, 0, 70, 60});
  auto container = std::make_shared<View>(Rect{20, 20, 20, 20});
  giveShadow(*container, 3, Size{0, 0});
  root->addSubview(container);
  auto outside = std::make_shared<View>(Rect{25, 5, 10, 10});  // 45...55 x 25...35 in the root
  outside->setWantsLayer(true);
  outside->layer()->backgroundColor = Color::deviceRGB(0.2, 0.4, 0.9);
  container->addSubview(outside);

  Bitmap b = render::renderView(*root, kScale, Color::white());
  EXPECT_LT(green(pixelAt(b, 56.5, 30)), 235);
  EXPECT_LT(green(pixelAt(b, 50, 23.5)), 235);
  EXPECT_EQ(pixelAt(b, 25, 25), kWhite);  // the container itself draws nothing

  container->layer()->masksToBounds = true;
  b = render::renderView(*root, kScale, Color::white());
  EXPECT_EQ(pixelAt(b, 56.5, 30), kWhite);
  EXPECT_EQ(pixelAt(b, 50, 30), kWhite);
}

}  // namespace
