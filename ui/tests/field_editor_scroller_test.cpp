// Editable text fields with the window's field editor, and the scrollers of a scroll view, used
// the way a person uses them: clicks, drags, keys and the wheel on a window; what the scroller
// draws through the recording context.

#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/text_field.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

using namespace qm::ui;

namespace {

struct FieldDelegate : TextFieldDelegate {
  void controlTextDidChange(TextField& f) override { changes.push_back(f.stringValue()); }
  bool controlTextViewDoCommandBySelector(TextField&, TextView&, Selector command) override {
    commands.push_back(command.name());
    return takeNewline && command == Selector("insertNewline:");
  }
  std::vector<std::string> changes, commands;
  bool takeNewline = false;
};

// Takes first responder when pressed, and the field's action.
struct Other : View {
  explicit Other(const Rect& frame) : View(frame) { registerAction("fieldAction:", [this](Object*) { ++actions; }); }
  bool acceptsFirstResponder() const override { return true; }
  void mouseDown(const Event&) override { window()->makeFirstResponder(this); }
  int actions = 0;
};

// A 200 x 60 window with a 100 x 24 bordered field at (10, 10): its text starts 5 points in and
// 3 down from its top (y 34), 6 points a unit at 12 points.
struct FieldPage : ::testing::Test {
  FieldPage() {
    window.setContentView(std::make_shared<View>());
    window.contentView()->addSubview(other);
    window.contentView()->addSubview(field);
    field->setFont(Font::system(12));
    field->setBordered(true);
    field->setDelegate(delegate);
    field->setTarget(other);
    field->setAction("fieldAction:");
  }
  TextView* editor() { return window.fieldEditor(false); }
  Point beforeUnit(double i) const { return Point{10 + 5 + 6 * i + 1, 34 - 3 - 5}; }
  void type(const std::u16string& s) {
    for (char16_t c : s) window.typeKey(std::u16string(1, c));
  }

  ScopedTextMeasurer fixed{std::make_shared<FixedWidthTextMeasurer>()};
  Window window{Rect{0, 0, 200, 60}};
  std::shared_ptr<Other> other = std::make_shared<Other>(Rect{120, 0, 80, 60});
  std::shared_ptr<TextField> field = std::make_shared<TextField>(Rect{10, 10, 100, 24});
  std::shared_ptr<FieldDelegate> delegate = std::make_shared<FieldDelegate>();
};

TEST_F(FieldPage, ClickingStartsEditingWithTheWindowsFieldEditorAndLeavingCommits) {
  field->setStringValue("hello");
  window.click(beforeUnit(2));
  ASSERT_NE(editor(), nullptr);
  EXPECT_EQ(window.firstResponder(), editor());
  EXPECT_EQ(editor()->selectedRange(), (Range{2, 0}));
  type(u"X");
  EXPECT_EQ(field->stringValue(), "heXllo");
  EXPECT_EQ(delegate->changes, std::vector<std::string>{"heXllo"});
  window.click(Point{150, 30});  // another responder takes over: editing ends, the text stays
  EXPECT_EQ(window.firstResponder(), other.get());
  EXPECT_EQ(field->currentEditor(), nullptr);
  // Made first responder, the field selects all its text; a value set in code reaches the editor.
  ASSERT_TRUE(window.makeFirstResponder(field.get()));
  EXPECT_EQ(editor()->selectedRange(), (Range{0, 6}));
  type(u"a");
  field->setStringValue("ab");
  type(u"c");
  EXPECT_EQ(field->stringValue(), "abc");
  window.endEditingFor(nullptr);
  EXPECT_EQ(field->currentEditor(), nullptr);
  EXPECT_EQ(window.firstResponder(), &window);
}

TEST_F(FieldPage, TheDelegateSeesReturnFirstAndTabEndsEditing) {
  window.click(beforeUnit(0));
  type(u"de");
  delegate->takeNewline = true;
  window.typeKey(std::u16string(1, keys::kReturn));
  EXPECT_EQ(field->stringValue(), "de");
  EXPECT_EQ(other->actions, 0);
  delegate->takeNewline = false;  // Return then sends the action and keeps editing, all selected
  window.typeKey(std::u16string(1, keys::kReturn));
  EXPECT_EQ(other->actions, 1);
  ASSERT_EQ(field->currentEditor(), editor());
  EXPECT_EQ(editor()->selectedRange(), (Range{0, 2}));
  window.typeKey(std::u16string(1, keys::kTab));
  EXPECT_EQ(window.firstResponder(), &window);
  EXPECT_EQ(delegate->commands, (std::vector<std::string>{"insertNewline:", "insertNewline:", "insertTab:"}));
  EXPECT_EQ(field->stringValue(), "de");
}

TEST_F(FieldPage, TheCaretStaysInViewAndAFieldThatGoesAwayLeavesTheEditorBehind) {
  window.click(beforeUnit(0));
  type(std::u16string(40, u'w'));  // 240 points in a 90-point text area
  const auto caretX = [&] {
    return editor()->convertRectToView(editor()->caretRectForIndex(editor()->selectedRange().location), nullptr).minX();
  };
  EXPECT_LE(caretX(), 105);
  EXPECT_GT(caretX(), 100);
  window.typeKey(std::u16string(1, keys::kHome));
  EXPECT_EQ(caretX(), 15);
  // The field leaves while editing: the editor no longer edits it, and serves the next field.
  field->removeFromSuperview();
  field.reset();
  type(u"x");
  auto next = std::make_shared<TextField>(Rect{10, 10, 100, 24});
  window.contentView()->addSubview(next);
  ASSERT_TRUE(window.makeFirstResponder(next.get()));
  type(u"ok");
  EXPECT_EQ(next->stringValue(), "ok");
}

// A 100 x 100 scroll view showing an unflipped 85 x 400 document.
struct ScrollPage : ::testing::Test {
  ScrollPage() {
    window.setContentView(std::make_shared<View>());
    window.contentView()->addSubview(scroll);
    scroll->setHasVerticalScroller(true);
    scroll->setScrollerStyle(ScrollerStyle::Legacy);
    scroll->setDocumentView(std::make_shared<View>(Rect{0, 0, 85, 400}));
    scroll->scrollToFraction(true, 0);
  }
  Scroller& scroller() { return *scroll->verticalScroller(); }
  double top() { return scroll->contentView()->documentVisibleRect().maxY(); }

  Window window{Rect{0, 0, 100, 100}};
  std::shared_ptr<ScrollView> scroll = std::make_shared<ScrollView>(Rect{0, 0, 100, 100});
};

TEST_F(ScrollPage, ALegacyScrollerTakesItsRoomAndMovesTheDocument) {
  EXPECT_EQ(scroll->contentSize(), (Size{85, 100}));
  EXPECT_FALSE(scroller().isHidden());
  EXPECT_EQ(top(), 400);
  // The knob: a quarter of the track less its ends, at the top, drawn as a rounded fill.
  const Rect knob = scroller().knobRect();
  EXPECT_EQ(knob, (Rect{4.5, 97 - 23.5, 7, 23.5}));
  RecordingContext c;
  drawViewTree(*scroll, c);
  const RecordedOp* drawn = c.opsOfKind(RecordedOp::Kind::Fill).back();
  EXPECT_EQ(drawn->path.transformed(drawn->ctm).bounds(), knob.offsetBy(85, 0));
  // Dragged 20 points down, the knob takes the document with it.
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, Point{93, 90}));
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, Point{93, 70}));
  EXPECT_NEAR(scroll->scrollFraction(true), 20 / (94 - 23.5), 1e-9);
  EXPECT_NEAR(scroller().knobRect().maxY(), 77, 1e-9);
  // A press in the track below the knob moves a page (less a line); the wheel moves 10 points.
  const double before = top();
  window.click(Point{93, 5});
  EXPECT_NEAR(top(), before - 90, 1e-9);
  Event wheel = Event::mouse(EventType::ScrollWheel, Point{40, 40});
  wheel.deltaY = 2;
  window.sendEvent(wheel);
  EXPECT_NEAR(top(), before - 70, 1e-9);
}

TEST_F(ScrollPage, OverlayAndAutoHiddenScrollersTakeNoRoom) {
  scroll->setScrollerStyle(ScrollerStyle::Overlay);
  EXPECT_EQ(scroll->contentSize(), (Size{100, 100}));
  EXPECT_TRUE(scroller().isHidden());
  scroll->setScrollerStyle(ScrollerStyle::Legacy);
  scroll->setAutohidesScrollers(true);
  EXPECT_FALSE(scroller().isHidden());
  scroll->setDocumentView(std::make_shared<View>(Rect{0, 0, 85, 80}));  // it fits
  EXPECT_TRUE(scroller().isHidden());
  EXPECT_EQ(scroll->contentSize(), (Size{100, 100}));
  scroll->setAutohidesScrollers(false);  // always there, with no knob to drag
  EXPECT_FALSE(scroller().isHidden());
  EXPECT_TRUE(scroller().knobRect().isEmpty());
}

}  // namespace
