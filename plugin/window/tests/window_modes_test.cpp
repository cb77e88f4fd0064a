// The editor modes and the buttons behind them, used as a person uses the window: tools clicked,
// words typed and painted, the host's timer call between the steps, and what the processor
// finds in the store read back; last, one session from LOAD to takes with the processor and the
// service stand-in.

#include "WindowTickSupport.h"
#include "../../editor/tests/EditorTestSupport.h"

#include "QMWindowLook.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerServer.h"

#include "qm/ui/application.h"
#include "qm/ui/render.h"
#include "qm/service/service.h"

#include <cmath>
#include <filesystem>
#include <thread>

using editor_test::S;
using editor_test::U;
using qmwindowtest::OpenedWindow;

namespace {

constexpr const char* kLine = "please take the red one";
// The service's answer, every word timed; then one whose "the red" has no timing.
constexpr const char* kTimed = R"({"text":"please take the red one","words":[{"word":"please","index":0,"start":0.1,)"
                               R"("end":0.3},{"word":"take","index":1,"start":0.4,"end":0.6},{"word":"the","index":2,)"
                               R"("start":0.7,"end":0.9},{"word":"red","index":3,"start":1.0,"end":1.2},)"
                               R"({"word":"one","index":4,"start":1.3,"end":1.5}]})";
constexpr const char* kGapped = R"({"text":"please take the red one","words":[{"word":"please","index":0,"start":0.1,)"
                                R"("end":0.3},{"word":"take","index":1,"start":0.4,"end":0.6},)"
                                R"({"word":"one","index":4,"start":1.3,"end":1.5}]})";
const std::u16string kBackspaces(3, qm::ui::keys::kBackspace);

// The window as the host opens it, measured with the real text measurer (the pictures show it).
struct ModesWindow : ::testing::Test {
  qmwindowtest::CleanChoices choices;
  qm::platform::ManualClock clock;
  OpenedWindow w;
  std::vector<std::string> logged;

  ModesWindow() {
    w.window.makeKeyWindow();
    qmwindowtest::GatherWindowLog(logged);
  }
  ~ModesWindow() override { QuillomancerLogger::shared().setMessageObserver({}); }
  bool Logged(const std::string& line) const { return std::find(logged.begin(), logged.end(), line) != logged.end(); }
  QuillomancerStoreClient Store() const { return QuillomancerStoreClient(w.parameters); }
  QuillomancerWindowViews& Views() { return w.gui->views; }
  void Tick() { EXPECT_EQ(w.component->TimerWakeup(), 0); }
  // A transcript as the transcribe job leaves it; applied by the next tick.
  void Transcript(const std::string& payload) {
    Store().WriteString(kQMBlock_TranscriptPayload, payload);
    Tick();
  }
  void TypeAtEnd(const std::u16string& keys) { TypeAfter("one", keys); }
  qm::ui::TextView& TextView() { return *Views().editorView->textView(); }
  std::string Text() { return S(Views().editorView->targetText()); }
  std::string Runs() { return editor_test::DisplayRuns(TextView().textStorage()); }
  std::string Block(uint32_t id) { return Store().ReadString(id, 16383); }
  int Byte(uint32_t id) { return Store().ReadByte(id).value_or(-1); }
  void Press(qm::ui::View* button) { w.window.click(OpenedWindow::Centre(*button)); }
  qm::ui::Point At(std::size_t index) {
    const qm::ui::Rect caret = TextView().caretRectForIndex(index);
    return TextView().convertPointToView(qm::ui::Point{caret.minX() + 0.1, caret.midY()}, nullptr);
  }
  std::size_t Find(const char* word) { return TextView().string().find(U(word)); }
  void Drag(std::size_t from, std::size_t to) {
    using qm::ui::Event;
    w.window.sendEvent(Event::mouse(qm::ui::EventType::LeftMouseDown, At(from)));
    w.window.sendEvent(Event::mouse(qm::ui::EventType::LeftMouseDragged, At(to)));
    w.window.sendEvent(Event::mouse(qm::ui::EventType::LeftMouseUp, At(to)));
  }
  void Keys(const std::u16string& keys) {
    for (char16_t key : keys) w.window.typeKey(std::u16string(1, key));
  }
  // Clicks after the last letter of `word` and types.
  void TypeAfter(const char* word, const std::u16string& keys) {
    w.window.click(At(Find(word) + std::strlen(word)));
    Keys(keys);
  }
  void Picture(const std::string& name) {
    clock.advance(1.0);  // past the accents' fades
    Tick();
    const std::filesystem::path out = std::filesystem::path(QM_BINARY_DIR) / "test-output";
    std::filesystem::create_directories(out);
    std::string error;
    EXPECT_TRUE(qm::ui::render::writePNG(qm::ui::render::renderView(*w.hostView, 2.0), (out / name).string(), &error));
  }
};

TEST_F(ModesWindow, ChangeVoiceChangeAndClearingTheText) {
  Transcript(kTimed);
  Press(Views().changeToolButton);
  EXPECT_EQ(Byte(kQMBlock_Mode), kQuillomancerMode_After);
  EXPECT_EQ(Runs(), kLine) << "After starts as a copy of Before: no diff";
  TypeAfter("red", kBackspaces + u"blue");
  Tick();
  EXPECT_EQ(Runs(), "please take the [-red][+blue] one");
  EXPECT_EQ(TextView().selectedRange().location, Find("blue") + 4) << "the caret stays after what was typed";
  Picture("qm-window-change-diff.png");

  Views().takeSelector->setSelectedTakes(5);
  Press(Views().voiceChangeButton);
  EXPECT_EQ(Text(), QMVoiceChangeLockedMessage());
  EXPECT_EQ(qmwindowtest::Defaults().integerForKey(kQuillomancer_TakesDefaultsKey), 1) << "1 take is stored";
  const int modeWrites = w.parameters->WritesOf(kQMBlock_Mode);
  w.gui->SetEditorMode(kQuillomancerMode_VoiceChange);
  EXPECT_EQ(w.parameters->WritesOf(kQMBlock_Mode), modeWrites) << "a second switch does nothing";
  Picture("qm-window-voice-change.png");
  EXPECT_EQ(Block(kQMBlock_Text), "");

  Press(Views().voiceChangeButton);
  EXPECT_EQ(Runs(), "please take the [-red][+blue] one") << "back to the side and texts of before";
  Tick();  // shows the clear-text button again
  Press(Views().clearTextButton);
  Tick();
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(Block(kQMBlock_Text) + Block(kQMBlock_ReferenceText), "");
  EXPECT_EQ(Byte(kQMBlock_LineChange), 0);
  EXPECT_EQ(Byte(kQMBlock_Mode), kQuillomancerMode_After) << "the mode stays";
}

TEST_F(ModesWindow, RepairIsOfferedOnlyOnATimedTranscriptAndClearingDropsThePicks) {
  const struct {
    const char* payload;
    const char* denied;
    const char* message;
  } refusals[] = {{"", "missing, wordCount=0, longestMissingTimingRun=0", "transcribe audio first"},
                  {kLine, "present, wordCount=0, longestMissingTimingRun=5", "repair needs reliable transcript timing"},
                  {kGapped, "present, wordCount=3, longestMissingTimingRun=2", "repair needs reliable transcript timing"}};
  for (const auto& r : refusals) {
    if (*r.payload) Transcript(r.payload);
    logged.clear();
    Press(Views().repairToolButton);
    Tick();
    EXPECT_FALSE(w.gui->IsRepairToolActive());
    EXPECT_TRUE(Logged(std::string("GUI repair: activation denied (sourceText=") + r.denied + ")"));
    EXPECT_TRUE(Logged("GUI event: repair tool toggled on")) << "logged as on, also when refused";
    EXPECT_EQ(Views().statusLabel->stringValue(), r.message);
  }

  qm::ui::Application::shared().sendAction("transcribeDummyAction:", w.controller.get(), nullptr);  // LOAD
  Transcript(kTimed);
  Press(Views().repairToolButton);
  TypeAtEnd(u"zz");
  EXPECT_EQ(Text(), kLine) << "no typing while the tool is on";
  Drag(Find("red") + 1, Find("red") + 2);
  ASSERT_EQ(Views().editorView->repairHighlightDisplayRanges().size(), 1u);
  EXPECT_EQ(Views().editorView->repairHighlightDisplayRanges()[0], (qm::platform::TextRange{Find("red"), 3}))
      << "a pick snaps to the whole word";
  EXPECT_TRUE(Logged("GUI repair selection: captured 1 selected word(s), 0 audio-context word(s)"));
  EXPECT_NE(Block(kQMBlock_RepairPlan).find(R"("word":"red")"), std::string::npos);
  Drag(Find("take"), Find("take") + 1);
  Picture("qm-window-repair-picks.png");

  const int previewWrites = w.parameters->WritesOf(kQMBlock_RepairPreview);
  w.gui->SetRepairPreviewArmed(true);
  w.gui->SetRepairPreviewArmed(true);
  EXPECT_EQ(w.parameters->WritesOf(kQMBlock_RepairPreview), previewWrites + 2);
  EXPECT_FALSE(w.controller->views.easterEggLogoView->isHidden());
  Press(Views().clearTextButton);
  EXPECT_TRUE(Views().editorView->repairHighlightDisplayRanges().empty());
  EXPECT_EQ(Block(kQMBlock_RepairPlan), "");
  EXPECT_EQ(Byte(kQMBlock_RepairPreview), 0);
  EXPECT_TRUE(w.controller->views.easterEggLogoView->isHidden());
  TypeAtEnd(u"s");
  EXPECT_EQ(Text(), "please take the red ones") << "the tool is off and the text kept";
}

// Typing the Before text leaves the After text as typed; each block sent is what its display showed.
TEST_F(ModesWindow, TypingTheBeforeTextNeverRewritesTheAfterText) {
  // No transcript: the After text typed, then the Before text into the empty Before display; then
  // a transcript changed in After (untimed: no repair words cut the Before text), all of it replaced in Before.
  Press(Views().changeToolButton);
  w.window.click(At(0));
  Keys(u"take the blue one");
  Press(Views().changeToolButton);
  w.window.click(At(5));
  Keys(u"take the red one");
  Tick();
  EXPECT_EQ(Block(kQMBlock_Text) + "|" + Block(kQMBlock_ReferenceText), "take the blue one|take the red one");
  EXPECT_EQ(Runs(), "take the [-red][+blue] one");
  Transcript(kLine);
  Press(Views().changeToolButton);
  TypeAfter("red", kBackspaces + u"blue");
  Press(Views().changeToolButton);
  w.window.click(At(0));
  w.window.typeKey(u"a", qm::ui::kModifierCommand, 0, u"a");
  Keys(std::u16string(1, qm::ui::keys::kBackspace) + u"so");
  Tick();
  EXPECT_EQ(Block(kQMBlock_Text) + "|" + Block(kQMBlock_ReferenceText), "please take the blue one|so");
  EXPECT_EQ(Runs(), "[-so][+please take the blue one]");
}

// In After mode, "ab " struck and " ab" typed back in its place merge into shared text that shows
// a space where the Before text has none. Switched to Before, the display shows the Before text
// as it is, so a key typed between "a" and "b" lands there.
TEST_F(ModesWindow, TheBeforeTextIsShownAsItIsWhenItsEditingStarts) {
  using namespace qm::ui::keys;
  Transcript(R"({"text":"ab cd"})");
  Press(Views().changeToolButton);
  w.window.click(At(0));
  Keys(std::u16string{kHome, kForwardDelete, kForwardDelete, kForwardDelete});
  Tick();
  Keys(std::u16string(1, kHome) + u" ab");
  Press(Views().changeToolButton);
  ASSERT_TRUE(w.gui->IsEditingBeforeText());
  w.window.click(At(TextView().string().find(u'b')));
  Keys(u"X");
  Tick();
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "aXb cd");
}

// An edit drops the picks made on the text (the editor's tests show the highlight going): the
// window forgets their plan and reference cut, and picks made afterwards stand on the new text.
TEST_F(ModesWindow, AnEditOfTheTextDropsThePicksMadeOnIt) {
  const auto names = [&](const char* word) {
    return Block(kQMBlock_RepairPlan).find(std::string(R"("word":")") + word + "\"") != std::string::npos;
  };
  Transcript(kTimed);
  Press(Views().repairToolButton);
  Drag(Find("red") + 1, Find("red") + 2);
  Press(Views().repairToolButton);  // off: the pick stays
  Tick();
  ASSERT_TRUE(names("red"));
  const int planWrites = w.parameters->WritesOf(kQMBlock_RepairPlan);
  w.window.click(At(0));
  Keys(u"so ");
  Tick();
  Tick();
  EXPECT_EQ(Block(kQMBlock_RepairPlan), "");
  EXPECT_EQ(w.parameters->WritesOf(kQMBlock_RepairPlan), planWrites + 1) << "the empty plan, once";
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "so please take the red one");

  Press(Views().repairToolButton);
  Drag(Find("please") + 1, Find("please") + 2);
  Tick();
  EXPECT_TRUE(names("please") && !names("red"));
  // "so", typed before it and not in the transcript, is regenerated with the word it leans on.
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "take the red one");

  // What was typed just before Repair is turned on stays: the press takes it in first.
  Press(Views().repairToolButton);
  TypeAfter("one", u" now");
  Press(Views().repairToolButton);
  Tick();
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "so please take the red one now");
}

TEST_F(ModesWindow, LoadLeavesVoiceChangeAndTheUpdateLockKeepsTheEditorLocked) {
  Transcript(kTimed);
  Press(Views().voiceChangeButton);
  w.gui->SetRepairPreviewArmed(true);
  qm::ui::Application::shared().sendAction("transcribeDummyAction:", w.controller.get(), nullptr);
  EXPECT_EQ(Byte(kQMBlock_Mode), kQuillomancerMode_Before);
  EXPECT_EQ(Text(), "");
  EXPECT_EQ(Byte(kQMBlock_RepairPreview), 0);
  EXPECT_TRUE(Logged("GUI: cleared editor state for new audio load"));
  EXPECT_TRUE(Logged("GUI event: load button pressed -> ForceAnalyze result=-20011")) << "no processor here";

  Transcript(kTimed);
  TypeAtEnd(u"s");
  Press(Views().settingsButton);  // the settings card opens over the editor
  EXPECT_NE(w.window.firstResponder(), &TextView()) << "the editor lets go of the keys";
  Keys(u"x");
  Press(Views().settingsButton);  // closing it gives the editor the keys back
  TypeAtEnd(u"");
  w.gui->SetMinimumVersionLock(true, "9.0.0");
  Tick();
  w.window.makeFirstResponder(nullptr);
  w.gui->SetMainTextInputInteractive(true);  // as the card's editor lock would, wrongly
  Tick();
  EXPECT_FALSE(w.window.makeFirstResponder(&TextView())) << "the timer call keeps the editor locked";
  Keys(u"xy");
  EXPECT_EQ(Text(), "please take the red ones");
}

// The host's analysis pass over one mono clip, on a host thread of its own.
void RunAnalysis(Quillomancer_HostProcessor& processor, const std::vector<float>& clip) {
  std::thread([&] {
    int64_t start = 0, end = 0;
    processor.InitOutputBounds(0, int64_t(clip.size()), &start, &end);
    processor.PreAnalyze(1, 1000);
    for (std::size_t at = 0; at < clip.size(); at += 1000) {
      int32_t n = int32_t(std::min<std::size_t>(1000, clip.size() - at));
      const float* input = clip.data() + at;
      processor.SetLocation(int64_t(at));
      processor.AnalyzeAudio(&input, 1, &n);
    }
    processor.PostAnalyze();
  }).join();
}

TEST_F(ModesWindow, LoadTypeAChangeAndProcessWithTheMouse) {
  qm::service::Service service;
  ASSERT_TRUE(service.start());
  QuillomancerServerSetBaseURLOverride(service.url());
  service.setTranscriptText(kLine);
  w.host.Controller().SetSampleRate(16000);
  auto* processor = new Quillomancer_HostProcessor();
  processor->AddRef();
  ASSERT_EQ(processor->Initialize(w.host.Unknown()), 0);
  std::vector<float> clip(32000);
  for (std::size_t i = 0; i < clip.size(); ++i) clip[i] = 0.5f * float(std::sin(double(i) * 0.05));
  w.host.ProcessorDelegate().OnForceAnalyze([&] { return RunAnalysis(*processor, clip), AAX_Result(0); });
  const auto tickUntil = [&](const std::function<bool()>& done) {
    return qm::platform::runMainQueueUntil(
        [&] { return Tick(), Quillomancer_HostProcessor::RunningJobCount() == 0 && done(); }, 20.0);
  };

  qm::ui::Application::shared().sendAction("transcribeDummyAction:", w.controller.get(), nullptr);
  ASSERT_TRUE(tickUntil([&] { return Text() == kLine; }));
  Press(Views().changeToolButton);
  TypeAfter("red", kBackspaces + u"blue");
  Tick();
  w.controller->views.breathCheckbox->setState(qm::ui::kStateOn);
  w.controller->views.breathCheckbox->performClick();  // unticked
  Press(Views().processButton);
  ASSERT_TRUE(tickUntil([&] { return Store().ReadStatus().state == kQuillomancerState_HasTakes; }));
  const auto request = service.lastRequest(qm::service::kGenerate);
  ASSERT_TRUE(request && request->part("text") && request->part("breath"));
  EXPECT_EQ(request->part("text")->content, "please take the blue one");
  EXPECT_EQ(request->part("breath")->content, "false");

  w.Detach();
  processor->Uninitialize();
  processor->Release();
  QuillomancerServerSetBaseURLOverride(std::nullopt);
  qmwindowtest::Defaults().remove("com.quillomancer.addBreathAfterDialogue");
}

}  // namespace
