// The status line as the timer call draws it from the processor's state: the length counter, the
// processing dots, the takes, the marquee of a text too wide for the line, the fade of error
// texts, states the window does not know, and the Process button's accent; with pictures of the
// window in its main states.

#include "WindowTickSupport.h"

#include "QMWindowLook.h"

#include "qm/ui/render.h"

#include <cmath>
#include <filesystem>

using qmwindowtest::SameColour;
using qmwindowtest::TickFixture;

namespace {

std::string Payload(const std::string& text) { return R"({"text":")" + text + R"("})"; }

struct StatusLine : TickFixture {
  // The Process button's ring, as drawn.
  qm::ui::Color ProcessRing() {
    qm::ui::RecordingContext c;
    qm::ui::drawViewTree(*Views().processButton, c);
    const auto strokes = c.opsOfKind(qm::ui::RecordedOp::Kind::Stroke);
    return strokes.empty() ? qm::ui::Color::clear() : strokes.front()->color;
  }
};

TEST_F(StatusLine, CounterShowsFrom180UnitsInOrangeAndInRedAt200) {
  struct Case {
    std::size_t length;
    const char* shown;
    qm::ui::Color colour;
  } cases[] = {
      {179, "", QMGrayColor()},
      {180, "180/200", QMAccentOrange()},
      {200, "200/200", QMAccentRed()},
  };
  Status(kQuillomancerState_Ready);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Transcript(Payload(std::string(c.length, 'x')));
    EXPECT_EQ(Line().text, c.shown);
    if (*c.shown) {
      EXPECT_TRUE(SameColour(Line().colour, c.colour));
    }
  }
}

TEST_F(StatusLine, ProcessingDotsAdvanceOnePhaseStepPerDisplay) {
  std::vector<std::string> shown;
  Status(kQuillomancerState_Processing);
  for (int display = 1; display <= 40; ++display) {
    Tick();
    shown.push_back(Line().text);
  }
  for (int display : {1, 13}) EXPECT_EQ(shown[display - 1], "Processing.  ") << display;
  for (int display : {14, 26}) EXPECT_EQ(shown[display - 1], "Processing.. ") << display;
  for (int display : {27, 39}) EXPECT_EQ(shown[display - 1], "Processing...") << display;
  EXPECT_EQ(shown[39], "Processing.  ") << "display 40 starts over with one dot";
  // Transcription keeps counting; Ready starts the dots over.
  Status(kQuillomancerState_Processing, 0, 0, 0, kQuillomancerActivity_Transcribe);
  Tick();
  EXPECT_EQ(Line().text, "Transcribing.  ");
  Status(kQuillomancerState_Ready);
  Tick();
  Status(kQuillomancerState_Processing);
  Tick(14);
  EXPECT_EQ(Line().text, "Processing.. ");
}

TEST_F(StatusLine, TakesReadyCountTheTakesThatCameBackAndUnknownStatesLeaveTheText) {
  Store().WriteByte(kQMBlock_Takes, 3);
  Status(kQuillomancerState_Processing, 0, 1);
  Tick();
  EXPECT_EQ(Line().text, "Take 1/3 ready");
  Status(kQuillomancerState_HasTakes, 1, 2);  // two of the three asked for came back
  Tick();
  EXPECT_EQ(Line().text, "Take 2/2 - ready to render");
  EXPECT_TRUE(SameColour(Line().colour, QMAccentGreen()));
  for (int32_t state : {5, 13, -1}) {
    Status(state);
    Tick();
    EXPECT_EQ(Line().text, "Take 2/2 - ready to render") << state;
  }
  // A render leaves one of the two; the next generation counts its own.
  Status(kQuillomancerState_HasTakes, 0, 1);
  Tick();
  EXPECT_EQ(Line().text, "Take 1/2 - ready to render");
  Status(kQuillomancerState_Processing);
  Tick();
  Status(kQuillomancerState_HasTakes, 0, 1);
  Tick();
  EXPECT_EQ(Line().text, "Take 1/1 - ready to render");
}

TEST_F(StatusLine, AnErrorTextFadesFromSevenToNineSecondsUntilItChanges) {
  Store().WriteString(kQMBlock_ErrorText, "Generation failed");
  Status(kQuillomancerState_Error);
  Tick();
  const struct {
    double at;
    double alpha;
  } steps[] = {{7.0, 1.0}, {8.0, 0.5}, {8.5, 0.25}};
  double now = 0;
  for (const auto& step : steps) {
    clock.advance(step.at - now);
    now = step.at;
    Tick();
    EXPECT_EQ(Line().text, "Generation failed") << step.at;
    EXPECT_NEAR(Line().alpha, step.alpha, 1e-9) << step.at;
  }
  clock.advance(1.0);  // 9.5 s
  Tick();
  EXPECT_EQ(Line().text, "") << "invisible from 9 s on";
  // A new text stands fully again.
  Store().WriteString(kQMBlock_ErrorText, "Generation failed again");
  Tick();
  EXPECT_EQ(Line().text, "Generation failed again");
  EXPECT_EQ(Line().alpha, 1.0);
}

TEST_F(StatusLine, ATextTooWideForTheLineScrollsAndComesBack) {
  const double w = Views().statusClipView->frame().width();
  // 6 points a character at 12 points: the text overflows the line by d, under 48 points, so each
  // way takes the minimum 1.6 s.
  const std::size_t n = static_cast<std::size_t>(std::ceil((w + 30) / 6));
  const double d = 6.0 * n + 2 - w;
  ASSERT_LT(d, 48);
  Store().WriteString(kQMBlock_ErrorText, std::string(n, 'm'));
  Status(kQuillomancerState_Error);
  Tick();
  const double rest = Line().x;
  const double r = 1.6;
  const struct {
    double at;
    double offset;
  } steps[] = {
      {0.5, 0},                         // holds still at first
      {0.75 + r / 2, -d / 2},           // scrolling left
      {0.75 + r + 0.3, -d},             // holds at the end
      {0.75 + r + 0.65 + r / 2, -d / 2},  // scrolling back
      {0.75 + 2 * r + 0.65 + 0.3, 0},   // rests at its start
      {0.75 + 2 * r + 1.3 + r / 2, -d / 2},  // the next cycle
  };
  double now = 0;
  for (const auto& step : steps) {
    clock.advance(step.at - now);
    now = step.at;
    Tick();
    EXPECT_NEAR(Line().x - rest, step.offset, 1e-6) << step.at;
    EXPECT_EQ(Line().alignment, qm::ui::TextAlignment::Left);
  }
}

TEST_F(StatusLine, ArmingProcessTwiceRunsOneAnimation) {
  EXPECT_TRUE(SameColour(ProcessRing(), QMControlOuterColor()));
  Transcript(Payload("first take"));
  clock.advance(0.5);
  Tick();
  const qm::ui::Color half = QMLerpColor(QMControlOuterColor(), QMHighlightGreen(), 0.5);
  EXPECT_TRUE(SameColour(ProcessRing(), half));
  Transcript(Payload("second take"));  // arms Process again
  EXPECT_TRUE(SameColour(ProcessRing(), half));
  clock.advance(0.5);
  Tick();
  EXPECT_TRUE(SameColour(ProcessRing(), QMHighlightGreen())) << "the first animation ends on time";
  // Loading puts it out at once.
  Status(kQuillomancerState_Analyzing);
  Tick();
  EXPECT_TRUE(SameColour(ProcessRing(), QMControlOuterColor()));
  // Lit again by the next transcript, processing fades it out over a second.
  Status(kQuillomancerState_Ready);
  Transcript(Payload("third take"));
  clock.advance(1.0);
  Tick();
  Status(kQuillomancerState_Processing);
  Tick();
  clock.advance(0.25);
  Tick();
  EXPECT_TRUE(SameColour(ProcessRing(), QMLerpColor(QMControlOuterColor(), QMHighlightGreen(), 0.75)));
}

// The window in each of its main states, drawn with the real text measurer.
TEST(StatusPictures, TheWindowInItsMainStates) {
  qmwindowtest::CleanChoices choices;
  qm::platform::ManualClock clock;
  qmwindowtest::OpenedWindow w;
  const QuillomancerStoreClient store(w.parameters);
  const std::filesystem::path out = std::filesystem::path(QM_BINARY_DIR) / "test-output";
  std::filesystem::create_directories(out);
  store.WriteString(kQMBlock_TranscriptPayload, Payload("We should go back before the storm comes in."));
  const struct {
    const char* name;
    int32_t state, takesReady, ticks;
    const char* expected;
  } pictures[] = {
      {"ready", kQuillomancerState_Ready, 0, 1, ""},
      {"analyzing", kQuillomancerState_Analyzing, 0, 1, "Loading Audio..."},
      {"processing", kQuillomancerState_Processing, 0, 20, "Processing.. "},
      {"takes-ready", kQuillomancerState_HasTakes, 3, 1, "Take 1/3 - ready to render"},
      {"error", kQuillomancerState_Error, 0, 1, "Could not reach server"},
      {"too-short", kQuillomancerState_SelectionTooShort, 0, 1, "Error \u2014 Selection too short (minimum 0.5 seconds)"},
  };
  for (const auto& p : pictures) {
    SCOPED_TRACE(p.name);
    QuillomancerStatusRecord record;
    record.state = p.state;
    record.takesReady = p.takesReady;
    store.WriteStatus(record);
    for (int i = 0; i < p.ticks; ++i) {
      clock.advance(0.03);
      qm::platform::drainMainQueue();
      w.component->TimerWakeup();
    }
    EXPECT_EQ(qmwindowtest::DrawStatusLine(*w.gui->views.statusClipView).text, p.expected);
    std::string error;
    EXPECT_TRUE(qm::ui::render::writePNG(qm::ui::render::renderView(*w.hostView, 2.0),
                                         (out / (std::string("qm-window-") + p.name + ".png")).string(), &error))
        << error;
  }
}

}  // namespace
