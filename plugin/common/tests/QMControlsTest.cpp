// The window's small controls through clicks and the recording context, and the look helpers.

#include "QMControls.h"
#include "QMWindowLook.h"

#include "qm/ui/recording_context.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qm::ui;
using Kind = RecordedOp::Kind;

namespace {

struct Receiver : Object {
  Receiver() {
    registerAction("act:", [this](Object* sender) {
      ++count;
      sender_ = sender;
      if (auto* b = dynamic_cast<Button*>(sender)) stateSeen = b->state();
    });
  }
  int count = 0;
  int stateSeen = -1;
  Object* sender_ = nullptr;
};

struct Catcher : View {
  using View::View;
  void mouseDown(const Event&) override { ++clicks; }
  int clicks = 0;
};

struct Page : ::testing::Test {
  Page() : window(Rect{0, 0, 200, 100}) {
    window.setContentView(std::make_shared<View>());
    below = std::make_shared<Catcher>(Rect{0, 0, 200, 100});
    window.contentView()->addSubview(below);
  }
  Window window;
  std::shared_ptr<Catcher> below;
  std::shared_ptr<Receiver> receiver = std::make_shared<Receiver>();
  ScopedTextMeasurer fixed{std::make_shared<FixedWidthTextMeasurer>()};
};

std::shared_ptr<Image> icon(double w, double h) {
  return Image::withHandler(Size{w, h}, [](GraphicsContext&, const Rect&) { return true; });
}

}  // namespace

TEST_F(Page, TheShieldLetsClicksThroughWhenHiddenAndClaimsThemWhenShown) {
  auto shield = std::make_shared<QMModalInteractionShieldView>(Rect{0, 0, 200, 100});
  auto inner = std::make_shared<Catcher>(Rect{10, 10, 20, 20});
  shield->addSubview(inner);
  window.contentView()->addSubview(shield);
  shield->setHidden(true);
  window.click({50, 50});
  window.click({15, 15});
  EXPECT_EQ(below->clicks, 2);
  shield->setHidden(false);
  window.click({50, 50});
  EXPECT_EQ(below->clicks, 2);
  window.click({15, 15});
  EXPECT_EQ(inner->clicks, 1);
}

TEST_F(Page, TheCheckboxSendsOnMouseDownWithItsStateToggled) {
  auto box = std::make_shared<QMOrangeCheckbox>(Rect{10, 10, 100, 16});
  box->setTarget(receiver);
  box->setAction("act:");
  window.contentView()->addSubview(box);
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, {20, 15}));
  EXPECT_EQ(receiver->count, 1);
  EXPECT_EQ(receiver->stateSeen, kStateOn);
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, {190, 90}));  // released outside
  EXPECT_EQ(receiver->count, 1);
  window.click({20, 15});
  EXPECT_EQ(receiver->stateSeen, kStateOff);
}

TEST_F(Page, AnActionViewNeedsBothTargetAndAction) {
  auto chip = std::make_shared<QMActionView>(Rect{10, 10, 58, 20});
  window.contentView()->addSubview(chip);
  chip->setTarget(receiver);
  window.click({20, 20});
  chip->setTarget(nullptr);
  chip->setAction("act:");
  window.click({20, 20});
  EXPECT_EQ(receiver->count, 0);
  EXPECT_EQ(below->clicks, 0);  // ignored presses are not passed on either
  chip->setTarget(receiver);
  window.click({20, 20});
  EXPECT_EQ(receiver->count, 1);
  EXPECT_EQ(receiver->sender_, chip.get());
}

TEST(QMModeTextButtonDrawing, FaceStrokeBevelIconAndTitle) {
  ScopedTextMeasurer fixed(std::make_shared<FixedWidthTextMeasurer>());
  QMModeTextButton b(Rect{0, 0, 80, 20});
  b.gradientTopColor = QMTopButtonTopColor();
  b.gradientBottomColor = QMTopButtonBottomColor();
  b.pressedFillColor = Color::deviceRGB(0.16, 0.18, 0.21);
  b.strokeColor = QMHighlightGreen();
  TextAttributes a;
  a.font = Font::system(12);  // 6 points a unit, 15 high
  b.setAttributedTitle(AttributedString("Change", a));
  b.setImage(icon(20, 40));

  RecordingContext idle;
  b.drawRect(b.bounds(), idle);
  auto gradients = idle.opsOfKind(Kind::Gradient);
  ASSERT_EQ(gradients.size(), 1u);
  EXPECT_EQ(gradients[0]->gradient, Gradient(QMTopButtonTopColor(), QMTopButtonBottomColor()));
  EXPECT_EQ(gradients[0]->angle, 90);
  // No layer: half the height as radius, the face inset by 0.5.
  EXPECT_EQ(*gradients[0]->path.roundedRectShape(), (Path::RoundedRect{Rect{0.5, 0.5, 79, 19}, 10, 10}));
  auto strokes = idle.opsOfKind(Kind::Stroke);
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[0]->color, QMHighlightGreen());
  EXPECT_EQ(*strokes[1]->path.roundedRectShape(), (Path::RoundedRect{Rect{1.5, 1.5, 77, 17}, 9, 9}));
  EXPECT_EQ(strokes[1]->color, Color::deviceWhite(0, 0.65));
  // The 40-point icon in a 20-point button: 10 high (H - 10), width by the same factor.
  auto images = idle.opsOfKind(Kind::Image);
  ASSERT_EQ(images.size(), 1u);
  const double total = 5 + 6 + 36;  // icon, spacing, title
  EXPECT_EQ(images[0]->rect, (Rect{std::floor((80 - total) / 2), 5, 5, 10}));
  auto texts = idle.opsOfKind(Kind::Text);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->rect, (Rect{std::floor((80 - total) / 2) + 11, std::floor((20 - 15) / 2.0), 36, 15}));

  // Pressed: the pressed fill instead of the gradient; stroke and bevel stay.
  b.setHighlighted(true);
  RecordingContext pressed;
  b.drawRect(b.bounds(), pressed);
  EXPECT_TRUE(pressed.opsOfKind(Kind::Gradient).empty());
  ASSERT_EQ(pressed.opsOfKind(Kind::Fill).size(), 1u);
  EXPECT_EQ(pressed.opsOfKind(Kind::Fill)[0]->color, Color::deviceRGB(0.16, 0.18, 0.21));
  EXPECT_EQ(pressed.opsOfKind(Kind::Stroke).size(), 2u);

  // A layer's radius wins, also 0; without drawsBevel the inner bevel is not drawn either.
  b.setWantsLayer(true);
  b.layer()->cornerRadius = 0;
  b.setHighlighted(false);
  b.setImage(icon(8, 8));  // smaller than the maximum: kept
  RecordingContext layered;
  b.drawRect(b.bounds(), layered);
  EXPECT_EQ(layered.opsOfKind(Kind::Gradient)[0]->path.roundedRectShape()->radiusX, 0);
  EXPECT_EQ(layered.opsOfKind(Kind::Image)[0]->rect.size, (Size{8, 8}));
  b.drawsBevel = false;
  RecordingContext bare;
  b.drawRect(b.bounds(), bare);
  EXPECT_TRUE(bare.opsOfKind(Kind::Stroke).empty());
  EXPECT_TRUE(bare.opsOfKind(Kind::Gradient).empty());
  EXPECT_EQ(bare.opsOfKind(Kind::Text).size(), 1u);
}

TEST(QMModeTextButtonDrawing, TheInnerStyleReachesTheButtonByKeyWithFallbacks) {
  QMModeTextButton b(Rect{0, 0, 80, 20});
  QMApplyInnerButtonStyle(&b, 10, std::nullopt, std::nullopt, std::nullopt);  // no layer: nothing
  EXPECT_EQ(b.gradientTopColor, Color::clear());
  b.setWantsLayer(true);
  QMApplyInnerButtonStyle(&b, 10, QMHighlightGreen(), std::nullopt, std::nullopt);
  EXPECT_EQ(b.layer()->cornerRadius, 10);
  EXPECT_TRUE(b.layer()->masksToBounds);
  RecordingContext c;
  b.drawRect(b.bounds(), c);
  EXPECT_EQ(c.opsOfKind(Kind::Gradient)[0]->gradient, Gradient(QMHighlightGreen(), QMControlInnerOffColor()));
  EXPECT_EQ(c.opsOfKind(Kind::Stroke)[0]->color, QMControlHighlightColor());
}

TEST(QMAlignedLabelDrawing, XFollowsTheAlignmentAndTheOffsetMovesY) {
  ScopedTextMeasurer fixed(std::make_shared<FixedWidthTextMeasurer>());
  QMAlignedLabel label(Rect{0, 0, 100, 24});
  label.setStringValue("Takes:");  // 6 units of 6 points at 12, 15 high
  const std::pair<TextAlignment, double> cases[] = {
      {TextAlignment::Natural, 0}, {TextAlignment::Left, 0}, {TextAlignment::Center, 32}, {TextAlignment::Right, 64}};
  for (const auto& [alignment, x] : cases) {
    label.setAlignment(alignment);
    RecordingContext c;
    label.drawRect(label.bounds(), c);
    ASSERT_EQ(c.opsOfKind(Kind::Text).size(), 1u);
    EXPECT_EQ(c.opsOfKind(Kind::Text)[0]->rect, (Rect{x, 4, 36, 15}));
    EXPECT_EQ(*c.opsOfKind(Kind::Text)[0]->text.attributesAt(0).foregroundColor, QMTextPrimary());
  }
  label.textYOffset = 1;
  RecordingContext moved;
  label.drawRect(label.bounds(), moved);
  EXPECT_EQ(moved.opsOfKind(Kind::Text)[0]->rect.minY(), 5);
  label.setStringValue("");
  RecordingContext empty;
  label.drawRect(label.bounds(), empty);
  EXPECT_TRUE(empty.ops().empty());
}

TEST(QMCheckboxDrawing, TheTickFollowsTheBox) {
  ScopedTextMeasurer fixed(std::make_shared<FixedWidthTextMeasurer>());
  QMOrangeCheckbox box(Rect{0, 0, 176, 16});
  box.setImagePosition(ImagePosition::ImageLeft);
  box.setAttributedTitle(AttributedString("Add", TextAttributes{}));
  box.setState(kStateOn);
  RecordingContext c;
  box.drawRect(box.bounds(), c);
  EXPECT_EQ(c.opsOfKind(Kind::Text)[0]->rect, (Rect{18, 0, std::ceil(3 * 6.5), 16}));
  EXPECT_EQ(*c.opsOfKind(Kind::Fill)[0]->path.roundedRectShape(), (Path::RoundedRect{Rect{0, 2, 12, 12}, 2, 2}));
  EXPECT_EQ(c.opsOfKind(Kind::Fill)[0]->color, QMHighlightGreen());
  const auto& tick = c.opsOfKind(Kind::Stroke)[0]->path.elements();
  ASSERT_EQ(tick.size(), 3u);
  EXPECT_DOUBLE_EQ(tick[1].points[0].x, 12 * 0.4000000059604645);
  EXPECT_EQ(c.opsOfKind(Kind::Stroke)[0]->path.lineCap(), LineCap::Round);
}

TEST(WindowLook, OuterShellTwiceKeepsOneOfEachNamedSublayer) {
  View shell(Rect{0, 0, 84, 24});
  shell.setWantsLayer(true);
  QMApplyOuterShellStyle(&shell, 12, false);
  QMApplyOuterShellStyle(&shell, 9, true);
  int shells = 0, highlights = 0;
  for (const auto& l : shell.layer()->sublayers()) {
    shells += l->name == "qmOuterShell";
    highlights += l->name == "qmOuterHighlight";
  }
  EXPECT_EQ(shells, 1);
  EXPECT_EQ(highlights, 1);
  auto gradient = std::dynamic_pointer_cast<GradientLayer>(QMFindNamedSublayer(shell.layer(), "qmOuterShell"));
  ASSERT_TRUE(gradient);
  EXPECT_EQ(gradient->cornerRadius, 9);
  EXPECT_EQ(gradient->colors.front(), Color::deviceRGB255(74, 79, 88));
  EXPECT_EQ(shell.layer()->sublayers().front(), gradient);
  EXPECT_EQ(shell.layer()->shadowRadius, 3);

  // A plain layer under the shape's name: a proper shape layer is added beside it.
  View other(Rect{0, 0, 10, 10});
  other.setWantsLayer(true);
  auto impostor = std::make_shared<Layer>();
  impostor->name = "qmOuterHighlight";
  other.layer()->addSublayer(impostor);
  auto shape = QMEnsureShapeSublayer(other.layer(), "qmOuterHighlight");
  ASSERT_EQ(other.layer()->sublayers().size(), 2u);
  EXPECT_EQ(other.layer()->sublayers().back(), shape);
  EXPECT_EQ(QMFindNamedSublayer(other.layer(), "qmOuterHighlight"), impostor);

  View plain(Rect{0, 0, 10, 10});
  QMApplyOuterShellStyle(&plain, 12, false);  // no layer: nothing
  EXPECT_FALSE(plain.layer());
}

TEST(WindowLook, TheBlendClampsAndWorksInDeviceRGB) {
  const Color a = Color::deviceWhite(0, 1), b = Color::genericRGB(1, 0.5, 0, 0.5);
  EXPECT_EQ(QMLerpColor(a, b, 1.7), Color::deviceRGB(1, 0.5, 0, 0.5));
  EXPECT_EQ(QMLerpColor(a, b, -1), Color::deviceRGB(0, 0, 0, 1));
  EXPECT_EQ(QMLerpColor(a, b, 0.5), Color::deviceRGB(0.5, 0.25, 0, 0.75));
}

TEST(WindowLook, TintedSymbolsColourOnlyTheSymbol) {
  EXPECT_FALSE(QMTintedSystemSymbolImage("no.such.symbol", "", QMHighlightGreen()));
  auto image = QMTintedSystemSymbolImage("scissors", "Change", std::nullopt);
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->isTemplate());
  EXPECT_NEAR(image->size().height, 27.75, 1e-9);
  RecordingContext c;
  image->handler()(c, Rect{Point{}, image->size()});
  ASSERT_EQ(c.ops().size(), 2u);
  EXPECT_EQ(c.ops()[0].kind, Kind::Image);
  EXPECT_EQ(c.ops()[1].op, CompositeOp::SourceAtop);
  EXPECT_EQ(c.ops()[1].color, QMTextSecondary());
  auto bandage = QMBandageIconImage(std::nullopt);
  EXPECT_EQ(bandage->size(), (Size{27, 27}));
  RecordingContext b;
  bandage->handler()(b, Rect{0, 0, 27, 27});
  EXPECT_EQ(b.opsOfKind(Kind::Fill).size(), 9u);
  EXPECT_EQ(b.opsOfKind(Kind::Fill)[0]->color, QMToolIconColor().withAlpha(0.92));
}
