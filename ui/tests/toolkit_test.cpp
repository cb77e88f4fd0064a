// The toolkit used the way a person uses it: clicks and keys through the window, the manual
// clock for animations, the recording context and rendered pixels for what is drawn.

#include "qm/platform/dispatch.h"
#include "qm/platform/time.h"
#include "qm/ui/application.h"
#include "qm/ui/button.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/render.h"
#include "qm/ui/text_field.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

using namespace qm::ui;

namespace {

struct Receiver : Object {
  Receiver() {
    registerAction("pressed:", [this](Object* sender) {
      ++count;
      lastSender = sender;
      if (auto* b = dynamic_cast<Button*>(sender)) stateSeen = b->state();
    });
  }
  int count = 0;
  int stateSeen = -99;
  Object* lastSender = nullptr;
};

struct KeyView : View {
  using View::View;
  bool acceptsFirstResponder() const override { return true; }
  bool resignFirstResponder() override { return allowResign; }
  void keyDown(const Event& e) override { typed += utf8FromUTF16(e.characters); }
  bool performKeyEquivalent(const Event& e) override {
    if (!(e.modifierFlags & kModifierCommand)) return false;
    equivalents += utf8FromUTF16(e.charactersIgnoringModifiers);
    return true;
  }
  bool allowResign = true;
  std::string typed, equivalents;
};

struct Fixture : ::testing::Test {
  Fixture() : window(Rect{0, 0, 200, 100}) {
    window.setContentView(std::make_shared<View>());
    button = std::make_shared<Button>(Rect{10, 10, 80, 24});
    button->setTarget(receiver);
    button->setAction("pressed:");
    window.contentView()->addSubview(button);
  }
  Window window;
  std::shared_ptr<Receiver> receiver = std::make_shared<Receiver>();
  std::shared_ptr<Button> button;
};

}  // namespace

TEST_F(Fixture, APressSendsOnReleaseInsideOnlyAndAFreedTargetGetsNothing) {
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, {20, 20}));
  EXPECT_TRUE(button->isHighlighted());
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, {150, 80}));
  EXPECT_FALSE(button->isHighlighted());
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, {150, 80}));
  EXPECT_EQ(receiver->count, 0);

  window.click({20, 20});
  EXPECT_EQ(receiver->count, 1);
  EXPECT_EQ(receiver->lastSender, button.get());

  // A responder on the key window's chain that answers the action: a button without a target
  // reaches it, one whose target was freed or that is disabled does not.
  struct ChainView : View {
    explicit ChainView(const Rect& frame) : View(frame) { registerAction("pressed:", [this](Object*) { ++count; }); }
    bool acceptsFirstResponder() const override { return true; }
    int count = 0;
  };
  auto chain = std::make_shared<ChainView>(Rect{150, 0, 10, 10});
  window.contentView()->addSubview(chain);
  window.makeKeyWindow();
  ASSERT_TRUE(window.makeFirstResponder(chain.get()));
  receiver.reset();
  window.click({20, 20});
  EXPECT_EQ(chain->count, 0);
  auto later = std::make_shared<Receiver>();
  button->setTarget(later);
  button->setEnabled(false);
  window.click({20, 20});
  EXPECT_EQ(later->count, 0);
  button->setEnabled(true);
  button->setTarget(nullptr);
  window.click({20, 20});
  EXPECT_EQ(chain->count, 1);
  Application::shared().setKeyWindow(nullptr);
}

TEST_F(Fixture, ASwitchHasToggledWhenItsActionArrives) {
  button->setButtonType(ButtonType::Switch);
  window.click({20, 20});
  EXPECT_EQ(receiver->stateSeen, kStateOn);
  window.click({20, 20});
  EXPECT_EQ(receiver->stateSeen, kStateOff);
}

TEST_F(Fixture, KeysGoToKeyEquivalentsFirstThenTheFirstResponder) {
  auto field = std::make_shared<KeyView>(Rect{100, 10, 50, 20});
  auto other = std::make_shared<KeyView>(Rect{100, 40, 50, 20});
  window.contentView()->addSubview(field);
  window.contentView()->addSubview(other);
  ASSERT_TRUE(window.makeFirstResponder(field.get()));
  window.typeKey(u"a");
  window.typeKey(u"c", kModifierCommand);
  EXPECT_EQ(field->typed, "a");
  EXPECT_EQ(other->equivalents, "c");  // the front view took the equivalent first

  field->allowResign = false;
  EXPECT_FALSE(window.makeFirstResponder(other.get()));
  EXPECT_EQ(window.firstResponder(), field.get());
  field->allowResign = true;
  EXPECT_TRUE(window.makeFirstResponder(nullptr));
  EXPECT_EQ(window.firstResponder(), &window);
}

TEST_F(Fixture, CursorRectanglesAndTrackingAreasFollowTheMouse) {
  struct Tracked : View {
    using View::View;
    void resetCursorRects() override { addCursorRect(visibleRect(), Cursor::crosshair()); }
    void mouseEntered(const Event&) override { ++entered; }
    void mouseExited(const Event&) override { ++exited; }
    int entered = 0, exited = 0;
  };
  auto v = std::make_shared<Tracked>(Rect{100, 50, 40, 40});
  window.contentView()->addSubview(v);
  v->addTrackingArea(std::make_shared<TrackingArea>(Rect{}, kTrackMouseEnteredAndExited | kTrackInVisibleRect, v));
  window.invalidateCursorRectsForView(v.get());
  Cursor::arrow()->set();
  window.sendEvent(Event::mouse(EventType::MouseMoved, {110, 60}));
  EXPECT_EQ(window.currentCursor()->kind(), Cursor::Kind::Crosshair);
  window.sendEvent(Event::mouse(EventType::MouseMoved, {10, 90}));
  EXPECT_EQ(v->entered, 1);
  EXPECT_EQ(v->exited, 1);
}

TEST(Rendering, PixelsAreFlippedAndDoubled) {
  auto root = std::make_shared<View>(Rect{0, 0, 10, 10});
  auto corner = std::make_shared<View>(Rect{0, 0, 5, 5});  // lower left in points
  corner->setWantsLayer(true);
  corner->layer()->backgroundColor = Color::deviceRGB(1, 0, 0);
  root->addSubview(corner);
  const Bitmap b = render::renderView(*root, 2.0);
  ASSERT_EQ(b.width, 20);
  ASSERT_EQ(b.height, 20);
  EXPECT_EQ(b.at(1, 18), 0xFFFF0000u);  // bottom-left pixel rows are the view's low y
  EXPECT_EQ(b.at(9, 10), 0xFFFF0000u);  // 5 points = 10 pixels
  EXPECT_EQ(b.at(10, 9), 0u);
  EXPECT_EQ(b.at(1, 1), 0u);
  corner->setHidden(true);
  EXPECT_EQ(render::renderView(*root, 2.0).at(1, 18), 0u);
}

TEST(Rendering, SublayersAtTheBackStayUnderSubviewsAndLaterOnesCoverThem) {
  auto root = std::make_shared<View>(Rect{0, 0, 10, 10});
  root->setWantsLayer(true);
  auto child = std::make_shared<View>(Rect{0, 0, 10, 10});
  child->setWantsLayer(true);
  child->layer()->backgroundColor = Color::deviceRGB(0, 1, 0);
  root->addSubview(child);
  auto back = std::make_shared<Layer>();
  back->frame = Rect{0, 0, 10, 10};
  back->backgroundColor = Color::deviceRGB(1, 0, 0);
  root->layer()->insertSublayer(back, 0);
  EXPECT_EQ(render::renderView(*root, 1.0).at(5, 5), 0xFF00FF00u);
  auto top = std::make_shared<Layer>();
  top->frame = Rect{0, 0, 10, 10};
  top->backgroundColor = Color::deviceRGB(0, 0, 1);
  root->layer()->addSublayer(top);
  EXPECT_EQ(render::renderView(*root, 1.0).at(5, 5), 0xFF0000FFu);
}

TEST(Animation, CompletionRunsOnTheClockUnlessTheRecordsAreRemovedOrGone) {
  qm::platform::setCurrentThreadAsMain();
  qm::platform::ManualClock clock;
  auto view = std::make_shared<View>(Rect{0, 0, 10, 10});
  view->setWantsLayer(true);
  int done = 0;
  auto fade = [&] {
    AnimationContext::runAnimationGroup(
        [&](AnimationContext& c) {
          c.setDuration(0.85);
          view->animator().setAlphaValue(0);
        },
        [&] { ++done; });
  };
  fade();
  EXPECT_EQ(view->alphaValue(), 0);  // the end state at once
  ASSERT_TRUE(view->layer()->animations().find("opacity"));
  EXPECT_EQ(view->layer()->animations().find("opacity")->duration, 0.85);
  clock.advance(0.8);
  EXPECT_EQ(done, 0);
  clock.advance(0.1);
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(view->layer()->animations().empty());

  fade();
  view->layer()->removeAllAnimations();
  clock.advance(1);
  EXPECT_EQ(done, 1);

  fade();
  view.reset();
  clock.advance(1);
  EXPECT_EQ(done, 1);
}

TEST(Text, RunsStayMaximalAndOutOfRangeThrows) {
  AttributedString s("hello world");
  TextAttributes red;
  red.foregroundColor = Color::deviceRGB(1, 0, 0);
  s.addAttributes(red, Range{0, 5});
  s.addAttributes(red, Range{5, 6});
  EXPECT_EQ(s.runs().size(), 1u);
  s.removeAttribute(AttributeKey::ForegroundColor, Range{2, 2});
  EXPECT_EQ(s.runs().size(), 3u);
  Range r;
  s.attributesAt(3, &r);
  EXPECT_EQ(r, (Range{2, 2}));
  EXPECT_THROW(s.attributesAt(11), RangeError);
  EXPECT_THROW(s.addAttributes(red, Range{8, 4}), RangeError);
  EXPECT_EQ(utf8FromUTF16(utf16FromUTF8("A\xF0\x9F\x8E\xA4z")), "A\xF0\x9F\x8E\xA4z");
}

TEST(Text, ClickingALinkInASelectableLabelOpensIt) {
  ScopedTextMeasurer fixed(std::make_shared<FixedWidthTextMeasurer>());
  Window window(Rect{0, 0, 200, 40});
  window.setContentView(std::make_shared<View>());
  auto label = TextField::label("", Rect{0, 0, 200, 40});
  TextAttributes a;
  a.font = Font::system(10);  // 5 points a unit
  AttributedString text("see ", a);
  a.link = "https://example.invalid/help";
  text.append(AttributedString("help", a));
  label->setAttributedStringValue(text);
  label->setSelectable(true);
  window.contentView()->addSubview(label);
  std::string opened;
  Application::shared().setURLOpener([&](const std::string& url) { opened = url; return true; });
  window.click({2 + 5, 35});  // over "s"
  EXPECT_EQ(opened, "");
  window.click({2 + 5 * 5 + 1, 35});  // over "e" of "help"; the text starts at the top
  EXPECT_EQ(opened, "https://example.invalid/help");
  Application::shared().setURLOpener(nullptr);
}

TEST(Symbols, KnownNamesDrawAndAMissingNameFallsBack) {
  for (const auto& name : Image::symbolNames()) {
    auto image = Image::systemSymbol(name, name);
    ASSERT_TRUE(image) << name;
    RecordingContext c;
    EXPECT_TRUE(image->handler()(c, Rect{Point{}, image->size()}));
    EXPECT_FALSE(c.ops().empty()) << name;
  }
  auto big = Image::systemSymbol("scissors", "Change")->withSymbolConfiguration({27.75, FontWeight::Medium});
  EXPECT_NEAR(big->size().height, 27.75, 1e-9);
  Image::setSymbolMissingForTesting("xmark", true);
  EXPECT_FALSE(Image::systemSymbol("xmark", "Close"));
  Image::clearMissingSymbolsForTesting();
  EXPECT_FALSE(Image::systemSymbol("no.such.symbol", ""));
}
