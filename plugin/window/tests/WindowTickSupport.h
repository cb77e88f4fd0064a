#pragma once
// The opened window driven by its timer as the host drives it: a manual clock, the fixed-width
// text measurer, the plug-in log as a list, the store written as the processor writes it, and
// the status line read back from what it draws.

#include "WindowTestSupport.h"

#include "QuillomancerLogger.h"

#include "qm/platform/time.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/text_measurer.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace qmwindowtest {

// The status line as drawn: its text, colour, alignment, group alpha and the text's left edge in
// the clipping view.
struct DrawnLine {
  std::string text;
  qm::ui::Color colour = qm::ui::Color::clear();
  qm::ui::TextAlignment alignment = qm::ui::TextAlignment::Natural;
  double alpha = 1.0;
  double x = 0;
};

inline DrawnLine DrawStatusLine(qm::ui::View& clip) {
  qm::ui::RecordingContext c;
  qm::ui::drawViewTree(clip, c);
  DrawnLine line;
  for (const qm::ui::RecordedOp& op : c.ops()) {
    if (op.kind == qm::ui::RecordedOp::Kind::BeginGroup) line.alpha = op.fraction;
    if (op.kind != qm::ui::RecordedOp::Kind::Text) continue;
    line.text = op.text.utf8();
    const qm::ui::TextAttributes& a = op.text.attributesAt(0);
    if (a.foregroundColor) line.colour = *a.foregroundColor;
    if (a.paragraphStyle) line.alignment = a.paragraphStyle->alignment;
    line.x = op.ctm.tx;
  }
  if (line.text.empty()) line.alpha = 1.0;
  return line;
}

inline bool SameColour(const qm::ui::Color& a, const qm::ui::Color& b) {
  const qm::ui::Color x = a.toDeviceRGB().value_or(a), y = b.toDeviceRGB().value_or(b);
  const auto near = [](double p, double q) { return std::abs(p - q) < 0.002; };
  return near(x.red(), y.red()) && near(x.green(), y.green()) && near(x.blue(), y.blue()) && near(x.alpha(), y.alpha());
}

struct TickFixture : ::testing::Test {
  CleanChoices choices;
  qm::platform::ManualClock clock;
  qm::ui::ScopedTextMeasurer measurer{std::make_shared<qm::ui::FixedWidthTextMeasurer>()};
  std::vector<std::string> logged;
  OpenedWindow w;

  TickFixture() {
    GatherWindowLog(logged);
  }
  ~TickFixture() override { QuillomancerLogger::shared().setMessageObserver({}); }

  QuillomancerStoreClient Store() const { return QuillomancerStoreClient(w.parameters); }
  QuillomancerWindowViews& Views() { return w.gui->views; }
  // The steps due now on the main queue, as the host's loop runs them before its timer call.
  void RunMainQueue() {
    clock.advance(0);
    qm::platform::drainMainQueue();
  }
  // One host timer call after the main queue ran.
  void Tick(int times = 1) {
    for (int i = 0; i < times; ++i) {
      RunMainQueue();
      EXPECT_EQ(w.component->TimerWakeup(), 0);
    }
  }
  void Status(int32_t state, int32_t takeIndex = 0, int32_t takesReady = 0, int32_t credits = 0,
              int32_t activity = 0, int32_t countdown = 0) {
    QuillomancerStatusRecord record;
    record.state = state;
    record.takeIndex = takeIndex;
    record.takesReady = takesReady;
    record.creditBalance = credits;
    record.asyncActivity = activity;
    record.countdown = countdown;
    Store().WriteStatus(record);
  }
  // A transcript as the transcribe job leaves it; applied by the next tick.
  void Transcript(const std::string& payload) {
    Store().WriteString(kQMBlock_TranscriptPayload, payload);
    Tick();
  }
  // A click into the editor, the caret to the end of its line and the text typed there.
  void FocusEditor() {
    w.window.makeKeyWindow();
    w.window.click(OpenedWindow::Centre(*Views().editorView));
  }
  bool EditorHasFocus() const { return w.window.firstResponder() == w.gui->views.editorView->textView(); }
  void TypeAtEnd(const std::u16string& text) {
    FocusEditor();
    w.window.typeKey(std::u16string(1, qm::ui::keys::kEnd));
    for (char16_t c : text) w.window.typeKey(std::u16string(1, c));
  }
  void Press(qm::ui::View* button) { w.window.click(OpenedWindow::Centre(*button)); }
  // The point in the window where a click puts the editor's caret before display character `index`.
  qm::ui::Point CaretPoint(std::size_t index) {
    qm::ui::TextView& text = *Views().editorView->textView();
    const qm::ui::Rect caret = text.caretRectForIndex(index);
    return text.convertPointToView(qm::ui::Point{caret.minX() + 0.1, caret.midY()}, nullptr);
  }
  void ClickAtCharacter(std::size_t index) { w.window.click(CaretPoint(index)); }
  // A drag inside a word of the editor: with the Repair tool on, it toggles the word's pick.
  void PickWord(const std::u16string& word) {
    const std::size_t start = Views().editorView->textView()->string().find(word);
    w.window.sendEvent(qm::ui::Event::mouse(qm::ui::EventType::LeftMouseDown, CaretPoint(start + 1)));
    w.window.sendEvent(qm::ui::Event::mouse(qm::ui::EventType::LeftMouseDragged, CaretPoint(start + 2)));
    w.window.sendEvent(qm::ui::Event::mouse(qm::ui::EventType::LeftMouseUp, CaretPoint(start + 2)));
  }
  DrawnLine Line() { return DrawStatusLine(*Views().statusClipView); }
  bool Logged(const std::string& line) const { return std::find(logged.begin(), logged.end(), line) != logged.end(); }
  // The blocks written since the last call, in order.
  std::vector<uint32_t> TakeWrites() {
    std::vector<uint32_t> ids;
    for (const auto& [id, size] : w.parameters->writes) ids.push_back(id);
    w.parameters->writes.clear();
    return ids;
  }
};

}  // namespace qmwindowtest
