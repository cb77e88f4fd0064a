// The mode and take selectors, used the way the editor uses them: clicks on the window, the
// recording context for what they draw, the manual clock for the pill's slide; and pictures of
// each state, written to test-output/ beside the build with the real text measurer.

#include "WindowTestSupport.h"

#include "QMModeSelector.h"
#include "QMTakeSelector.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/time.h"
#include "qm/ui/application.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/render.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qm::ui;

namespace {

// The user defaults of this program, in the tests' temporary home.
qm::platform::UserDefaults& defaults() { return qmwindowtest::Defaults(); }

// Takes the action as the target or, made first responder, along the key window's chain.
struct Receiver : View {
  Receiver() { registerAction("modeChanged:", [this](Object*) { ++count; }); }
  bool acceptsFirstResponder() const override { return true; }
  int count = 0;
};

// What a selector draws, in its own coordinates: the fills (track, then pill) and each title.
struct Drawn {
  std::vector<std::pair<Rect, Color>> fills;
  std::map<std::string, std::pair<Rect, std::optional<Color>>> titles;
  explicit Drawn(View& root) {
    RecordingContext c;
    drawViewTree(root, c);
    for (const RecordedOp* op : c.opsOfKind(RecordedOp::Kind::Fill))
      fills.emplace_back(op->path.transformed(op->ctm).bounds(), op->color);
    for (const RecordedOp* op : c.opsOfKind(RecordedOp::Kind::Text))
      titles[op->text.utf8()] = {Path::rect(op->rect).transformed(op->ctm).bounds(), op->text.attributesAt(0).foregroundColor};
  }
  Rect pill() const { return fills.at(1).first; }
  Color pillColor() const { return fills.at(1).second; }
  std::optional<Color> color(const std::string& title) const {
    auto it = titles.find(title);
    return it == titles.end() ? std::nullopt : it->second.second;
  }
};

struct Selectors : ::testing::Test {
  Selectors() : window(Rect{0, 0, 320, 60}) {
    qm::platform::setCurrentThreadAsMain();
    window.setContentView(std::make_shared<View>());
    defaults().remove(kQuillomancer_TakesDefaultsKey);
  }
  ~Selectors() override { defaults().remove(kQuillomancer_TakesDefaultsKey); }

  std::shared_ptr<QMModeSelector> modeSelector() {
    auto s = QMModeSelector::initWithFrame(Rect{10, 10, 138, 24});
    window.contentView()->addSubview(s);
    s->setTarget(receiver);
    s->setAction("modeChanged:");
    return s;
  }
  std::shared_ptr<QMTakeSelector> takeSelector() {
    auto s = QMTakeSelector::initWithFrame(Rect{160, 10, 132, 24});
    window.contentView()->addSubview(s);
    return s;
  }
  // A click in the middle of segment `index` of `count`.
  void click(const View& selector, int index, int count) {
    const Rect f = selector.frame();
    window.click(Point{f.minX() + f.width() * (index + 0.5) / count, f.midY()});
  }
  // A click on the cell of 1, 3 or 5 takes.
  void clickTakes(int takes) { window.click(Point{160 + 48 + 28.0 * (takes / 2) + 14, 22}); }
  // The pill is the mode selector's lowest subview and the first view in the take track.
  static AnimationSet& slides(QMModeSelector& s) { return s.subviews().front()->animations(); }
  static AnimationSet& slides(QMTakeSelector& s) { return s.subviews()[1]->subviews().front()->animations(); }
  void settle() { clock.advance(1); }

  qm::platform::ManualClock clock;
  Window window;
  std::shared_ptr<Receiver> receiver = std::make_shared<Receiver>();
  ScopedTextMeasurer fixed{std::make_shared<FixedWidthTextMeasurer>()};
};

TEST_F(Selectors, ModeSelectionIsClampedAndTheCurrentValueDoesNothing) {
  auto s = modeSelector();
  s->setSelectedSegment(1);
  s->setSelectedSegment(-1);
  EXPECT_EQ(s->selectedSegment(), 0);
  s->setSelectedSegment(5);
  EXPECT_EQ(s->selectedSegment(), 1);
  settle();
  s->setSelectedSegment(1);
  EXPECT_TRUE(slides(*s).empty());
  s->setCenterTitle("Mid");
  s->setSelectedSegment(5);
  EXPECT_EQ(s->selectedSegment(), 2);
  EXPECT_EQ(receiver->count, 0);  // code sends no action
}

TEST_F(Selectors, ClicksPickOneOfTwoOrThreeAndResendOnTheSelectedOne) {
  auto s = modeSelector();
  click(*s, 1, 2);
  EXPECT_EQ(s->selectedSegment(), 1);
  ASSERT_TRUE(slides(*s).find("frame"));
  EXPECT_EQ(std::any_cast<Rect>(slides(*s).find("frame")->to), (Rect{69, 2, 67, 20}));
  settle();
  click(*s, 1, 2);
  EXPECT_EQ(receiver->count, 2);
  EXPECT_TRUE(slides(*s).empty());

  s->setCenterTitle("Mid");
  const float third = 134.0f / 3.0f;
  click(*s, 1, 3);
  EXPECT_EQ(s->selectedSegment(), 1);
  EXPECT_EQ(Drawn(*s).pill(), (Rect{static_cast<double>(third + 2.0f), 2, third, 20}));
  click(*s, 0, 3);
  EXPECT_EQ(s->selectedSegment(), 0);
  EXPECT_EQ(receiver->count, 4);
}

TEST_F(Selectors, DisabledOrWithoutTargetOrActionAClickSendsNothing) {
  auto s = modeSelector();
  window.contentView()->addSubview(receiver);
  window.makeKeyWindow();
  ASSERT_TRUE(window.makeFirstResponder(receiver.get()));
  s->setEnabled(false);
  click(*s, 1, 2);
  EXPECT_EQ(s->selectedSegment(), 0);
  EXPECT_TRUE(slides(*s).empty());
  s->setEnabled(true);
  s->setTarget(nullptr);
  click(*s, 1, 2);
  EXPECT_EQ(s->selectedSegment(), 1);
  s->setTarget(receiver);
  s->setAction({});
  click(*s, 0, 2);
  EXPECT_EQ(s->selectedSegment(), 0);
  EXPECT_EQ(receiver->count, 0);
  Application::shared().setKeyWindow(nullptr);
}

TEST_F(Selectors, TheCentreTakesTheRightFillAndTheLeftTextColourDisabledAndDimmedTheirOwn) {
  auto s = modeSelector();
  const Color leftFill = Color::deviceRGB255(36, 39, 46), rightFill = QMHighlightGreen();
  const Color leftText = Color::deviceRGB(0.5, 0.5, 0.9), rightText = Color::deviceRGB(0.08, 0.08, 0.08);
  s->setLeftSelectedFillColor(leftFill);
  s->setRightSelectedFillColor(rightFill);
  s->setLeftSelectedTextColor(leftText);
  s->setRightSelectedTextColor(rightText);
  s->setCenterTitle("Blend");
  EXPECT_EQ(Drawn(*s).pillColor(), leftFill);
  click(*s, 1, 3);
  Drawn d(*s);
  EXPECT_EQ(d.pillColor(), rightFill);
  EXPECT_EQ(d.color("Blend"), leftText);
  EXPECT_EQ(d.color("Before"), QMTextSecondary());
  EXPECT_EQ(d.color("After"), QMTextSecondary());
  click(*s, 2, 3);
  EXPECT_EQ(Drawn(*s).color("After"), rightText);

  // Disabled recolours only the titles; dimmed replaces that and darkens track and pill.
  s->setEnabled(false);
  d = Drawn(*s);
  EXPECT_EQ(d.fills.at(0).second, Color::deviceRGB255(18, 20, 23, 0.98));
  EXPECT_EQ(d.pillColor(), rightFill);
  EXPECT_EQ(d.color("After"), Color::deviceWhite(0.55));
  EXPECT_EQ(d.color("Before"), Color::deviceWhite(0.45));
  s->setDimmedAppearance(true);
  d = Drawn(*s);
  EXPECT_EQ(d.fills.at(0).second, Color::deviceRGB255(8, 10, 12, 0.98));
  EXPECT_EQ(d.pillColor(), Color::deviceRGB(0.12, 0.14, 0.17));
  EXPECT_EQ(d.color("After"), Color::deviceWhite(0.42));
  EXPECT_EQ(d.color("Before"), Color::deviceWhite(0.26));
}

TEST_F(Selectors, NoLeftTitleDrawsBeforeAndTooltipsFollowTheSegments) {
  auto s = modeSelector();
  s->setLeftTitle("Match");
  s->setLeftToolTip("Stay close.");
  s->setRightToolTip("Loosen up.");
  s->setLeftTitle(std::nullopt);
  EXPECT_FALSE(s->leftTitle());
  Drawn d(*s);
  ASSERT_TRUE(d.color("Before"));
  EXPECT_LT(d.titles["Before"].first.maxX(), 69);
  EXPECT_FALSE(d.color("Match"));
  window.sendEvent(Event::mouse(EventType::MouseMoved, Point{20, 20}));
  EXPECT_EQ(window.toolTipAtMouse(), "Stay close.");
  window.sendEvent(Event::mouse(EventType::MouseMoved, Point{140, 20}));
  EXPECT_EQ(window.toolTipAtMouse(), "Loosen up.");
}

TEST_F(Selectors, TheRightSegmentIsRenumberedWhenTheCentreComesAndGoes) {
  auto s = modeSelector();
  click(*s, 1, 2);
  s->setCenterTitle("Mid");
  EXPECT_EQ(s->selectedSegment(), 2);
  settle();
  click(*s, 2, 3);  // still the right one: nothing moves
  EXPECT_TRUE(slides(*s).empty());
  s->setCenterTitle(std::nullopt);
  EXPECT_EQ(s->selectedSegment(), 1);
  EXPECT_EQ(Drawn(*s).pill().minX(), 69);
  click(*s, 0, 2);
  EXPECT_EQ(s->selectedSegment(), 0);
  // An empty centre title keeps two segments but still slides and refreshes.
  settle();
  s->setCenterTitle("");
  EXPECT_TRUE(slides(*s).find("frame"));
  click(*s, 1, 2);
  EXPECT_EQ(s->selectedSegment(), 1);
}


TEST_F(Selectors, FiveToOneIsOneSlideAndTheDigitsRecolourAtOnce) {
  auto s = takeSelector();
  clickTakes(5);
  EXPECT_EQ(defaults().integerForKey(kQuillomancer_TakesDefaultsKey), 5);
  settle();
  clickTakes(1);
  EXPECT_EQ(s->selectedTakes(), 1);
  EXPECT_EQ(defaults().integerForKey(kQuillomancer_TakesDefaultsKey), 1);
  ASSERT_EQ(slides(*s).keys(), std::vector<std::string>{"frame"});
  const auto& slide = *slides(*s).find("frame");
  EXPECT_EQ(std::any_cast<Rect>(slide.from), (Rect{58, 2, 24, 20}));
  EXPECT_EQ(std::any_cast<Rect>(slide.to), (Rect{2, 2, 24, 20}));
  EXPECT_EQ(slide.timing, TimingFunction::EaseInEaseOut);
  Drawn d(*s);
  EXPECT_EQ(d.color("1"), Color::deviceRGB(0.10, 0.08, 0.02));
  EXPECT_EQ(d.color("3"), QMTextSecondary());
  EXPECT_EQ(d.color("5"), QMTextSecondary());

  // The pill keeps its height; x and width follow the current bounds.
  s->setFrameSize(Size{162, 24});
  s->setSelectedTakes(5);
  EXPECT_EQ(std::any_cast<Rect>(slides(*s).find("frame")->to), (Rect{78, 2, 34, 20}));
}

TEST_F(Selectors, OtherTakesTheChosenCellAndAStoredFourWriteNothing) {
  auto s = takeSelector();
  for (int32_t t : {0, 2, 4, 6, -1, -5}) s->setSelectedTakes(t);
  clickTakes(3);
  EXPECT_EQ(s->selectedTakes(), 3);
  EXPECT_FALSE(defaults().has(kQuillomancer_TakesDefaultsKey));
  EXPECT_TRUE(slides(*s).empty());
  // A stored 4 starts at 3 and stays until the next change (at once on Media Composer: 1).
  defaults().set(kQuillomancer_TakesDefaultsKey, 4);
  s->setSelectedTakes(QMInitialTakesRequested(false));
  EXPECT_EQ(s->selectedTakes(), 3);
  EXPECT_EQ(defaults().integerForKey(kQuillomancer_TakesDefaultsKey), 4);
  s->setSelectedTakes(QMInitialTakesRequested(true));
  EXPECT_EQ(defaults().integerForKey(kQuillomancer_TakesDefaultsKey), 1);
  defaults().set(kQuillomancer_TakesDefaultsKey, 5);
  EXPECT_EQ(QMInitialTakesRequested(true), 5);
}

// ---- pictures ----

// The pixel under a point of a 40-point page drawn at 2x.
uint32_t pixel(const Bitmap& b, double x, double y) { return b.at(static_cast<int>(x * 2), static_cast<int>((40 - y) * 2)); }

// The selectors' and the chooser's pages of `qmui gallery`, drawn with the real text measurer.
TEST(SelectorPictures, EachStateIsAGalleryPageAndThePillIsWhereTheChoiceIs) {
  qm::platform::setCurrentThreadAsMain();
  qm::platform::ManualClock clock;
  const std::filesystem::path out = std::filesystem::path(QM_BINARY_DIR) / "test-output";
  std::filesystem::create_directories(out);
  defaults().set(kQuillomancer_TakesDefaultsKey, 3);
  std::map<std::string, Bitmap> drawn;
  for (const auto& page : render::galleryPages()) {
    if (!page.name.starts_with("qm-mode-selector-") && !page.name.starts_with("qm-take-selector-") &&
        !page.name.starts_with("qm-language-chooser-"))
      continue;
    drawn[page.name] = render::renderView(*page.build(), 2.0, page.background);
    // The chooser's own test writes its pictures under these names.
    if (page.name.starts_with("qm-language-chooser-")) continue;
    std::string error;
    EXPECT_TRUE(render::writePNG(drawn[page.name], (out / (page.name + ".png")).string(), &error)) << error;
  }
  EXPECT_EQ(drawn.size(), 12u);
  EXPECT_EQ(defaults().integerForKey(kQuillomancer_TakesDefaultsKey), 3) << "the gallery leaves the stored choice";
  defaults().remove(kQuillomancer_TakesDefaultsKey);
  // Just inside the pill's left end, clear of its digit or title: the highlight green.
  const uint32_t green = 0xFF4ADE80u;
  EXPECT_EQ(pixel(drawn["qm-take-selector-5"], 8 + 48 + 58 + 3, 20), green);
  EXPECT_EQ(pixel(drawn["qm-take-selector-1"], 8 + 48 + 2 + 3, 20), green);
  EXPECT_EQ(pixel(drawn["qm-mode-selector-variation"], 8 + 69 + 4, 20), green);
  EXPECT_NE(pixel(drawn["qm-mode-selector-dimmed"], 8 + 69 + 4, 20), green);
  // The chooser: its list changes with what is typed.
  EXPECT_NE(drawn["qm-language-chooser-open"].pixels, drawn["qm-language-chooser-filtered"].pixels);
  EXPECT_NE(drawn["qm-language-chooser-filtered"].pixels, drawn["qm-language-chooser-empty"].pixels);
}

}  // namespace
