// The text system used the way a person uses it: keys and clicks through the window, the
// pasteboard, an input method's marked text, links; the renderer for how struck text looks.

#include "qm/ui/application.h"
#include "qm/ui/pasteboard.h"
#include "qm/ui/render.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/text_storage.h"
#include "qm/ui/text_view.h"
#include "qm/ui/undo_manager.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <set>

using namespace qm::ui;

namespace {

// Writes down what the text view tells its delegate, and refuses changes while asked to.
struct Recorder : TextViewDelegate {
  std::vector<std::string> calls;
  bool refuse = false;
  bool markedWhenAsked = false;
  TextMovement ended = TextMovement::Other;
  bool textViewShouldChangeText(TextView& v, Range r, const std::u16string* s) override {
    markedWhenAsked = v.hasMarkedText();
    calls.push_back("should " + std::to_string(r.location) + "," + std::to_string(r.length) + " " + (s ? utf8FromUTF16(*s) : "nil"));
    return !refuse;
  }
  void textDidChange(TextView&) override { calls.push_back("changed"); }
  void textViewDidChangeSelection(TextView& v) override {
    calls.push_back("selection " + std::to_string(v.selectedRange().location) + "," + std::to_string(v.selectedRange().length));
  }
  void textDidEndEditing(TextView&, TextMovement m) override {
    calls.push_back("ended");
    ended = m;
  }
};

struct TextWindow : ::testing::Test {
  ScopedTextMeasurer fixed{std::make_shared<FixedWidthTextMeasurer>()};  // 12 points: 6 wide, 15 high
  Window window{Rect{0, 0, 200, 60}};
  std::shared_ptr<ScrollView> scroll = std::make_shared<ScrollView>(Rect{0, 0, 200, 30});
  std::shared_ptr<TextView> view = std::make_shared<TextView>(Rect{0, 0, 200, 30});
  Recorder recorder;

  TextWindow() {
    window.setContentView(std::make_shared<View>());
    window.contentView()->addSubview(scroll);
    view->setLineFragmentPadding(0);
    scroll->setDocumentView(view);
    view->setDelegate(&recorder);
    window.makeKeyWindow();
    window.makeFirstResponder(view.get());
  }
  std::string Text() const { return utf8FromUTF16(view->string()); }
  void Type(const std::u16string& s) {
    for (char16_t c : s) window.typeKey(std::u16string(1, c));
  }
  void Key(char16_t k, uint32_t mods = 0) { window.typeKey(std::u16string(1, k), mods); }
  Point At(std::size_t index) const {
    const Rect caret = view->caretRectForIndex(index);
    return view->convertPointToView(Point{caret.minX() + 0.1, caret.midY()}, nullptr);
  }
};

}  // namespace

TEST(TextStorage, RunsForOneKeyAndForAllButIgnoredKeysAndOneNoticePerBatch) {
  TextAttributes plain, flagged;
  plain.foregroundColor = Color::white();
  flagged = plain;
  flagged.custom["flag"] = true;
  TextStorage s(AttributedString(std::u16string(u"abcdef"), plain));
  int notices = 0;
  s.setChangeHandler([&](Range, long) { ++notices; });
  s.beginEditing();
  s.setAttributes(flagged, Range{2, 3});
  TextAttributes background;
  background.backgroundColor = Color::black();
  s.addAttributes(background, Range{3, 1});
  EXPECT_EQ(notices, 0);
  s.endEditing();
  EXPECT_EQ(notices, 1);

  EXPECT_EQ(s.longestEffectiveRange(3), (Range{3, 1}));
  EXPECT_EQ(s.longestEffectiveRange(3, {AttributeKey::BackgroundColor}), (Range{2, 3}));
  EXPECT_EQ(s.longestEffectiveRange(0, {std::string("flag")}), (Range{0, 3}));
  EXPECT_EQ(s.effectiveRange(std::string("flag"), 4), (Range{2, 3}));
  EXPECT_EQ(s.effectiveRange(AttributeKey::ForegroundColor, 4), (Range{0, 6}));
  EXPECT_THROW(s.longestEffectiveRange(6), RangeError);
}

TEST(UndoManager, ActionsThatRegisterTheirInverseUndoAndRedoAsOftenAsWanted) {
  UndoManager undo;
  int value = 0;
  std::function<void(int)> set = [&](int v) {
    const int old = value;
    value = v;
    undo.registerUndo([&, old] { set(old); });
  };
  set(1);
  undo.beginUndoGrouping();
  set(2);
  set(3);
  undo.endUndoGrouping();
  undo.undo();
  EXPECT_EQ(value, 1);  // the group went back as one
  undo.redo();
  EXPECT_EQ(value, 3);
  undo.undo();
  undo.undo();
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(undo.canUndo());
  undo.redo();
  EXPECT_EQ(value, 1);
  set(7);  // a new change forgets what could be redone
  EXPECT_FALSE(undo.canRedo());
}

TEST_F(TextWindow, TypingAsksTheDelegateThenChangesAndTellsIt) {
  Type(u"ab");
  EXPECT_EQ(Text(), "ab");
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"should 0,0 a", "selection 1,0", "changed", "should 1,0 b",
                                                      "selection 2,0", "changed"}));
  recorder.refuse = true;
  Type(u"c");
  Key(keys::kBackspace);
  EXPECT_EQ(Text(), "ab");
  EXPECT_EQ(view->selectedRange(), (Range{2, 0}));

  recorder.refuse = false;
  TextAttributes red;
  red.foregroundColor = Color::deviceRGB(1, 0, 0);
  view->setTypingAttributes(red);
  Type(u"d");
  EXPECT_EQ(view->textStorage().attributesAt(2), red);
  // Keys with Command or Control type nothing.
  window.typeKey(u"x", kModifierCommand);
  window.typeKey(u"x", kModifierControl);
  EXPECT_EQ(Text(), "abd");
}

TEST_F(TextWindow, KeysMoveAndDeleteWholeCodePoints) {
  view->setString(u"a\U0001F600b cd");
  view->setSelectedRange(Range{3, 0});  // after the emoji
  Key(keys::kLeftArrow);
  EXPECT_EQ(view->selectedRange(), (Range{1, 0}));
  Key(keys::kRightArrow, kModifierShift);
  EXPECT_EQ(view->selectedRange(), (Range{1, 2}));
  Key(keys::kRightArrow);
  Key(keys::kBackspace);
  EXPECT_EQ(Text(), "ab cd");
  Key(keys::kEnd);
  Key(keys::kLeftArrow, kModifierOption);
  EXPECT_EQ(view->selectedRange(), (Range{3, 0}));
  Key(keys::kBackspace, kModifierOption);
  EXPECT_EQ(Text(), "cd");
  EXPECT_TRUE(view->undoManager().canUndo());
}

TEST_F(TextWindow, NoKeyLeavesTheCaretInsideACharacter) {
  const std::u16string family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467", flag = u"\U0001F1EB\U0001F1F7", e = u"e\u0301";
  const std::vector<std::u16string> characters{u"w", e, u" ", family, u"x", flag, u"-", u"n", e, u" ", flag};
  std::u16string text;
  std::set<std::size_t> boundaries{0};
  for (const auto& c : characters) boundaries.insert((text += c).size());
  for (const char16_t key : {keys::kRightArrow, keys::kLeftArrow}) {
    for (const uint32_t modifiers : {0u, uint32_t(kModifierOption)}) {
      view->setString(text);
      view->setSelectedRange(Range{key == keys::kRightArrow ? 0 : text.size(), 0});
      for (std::size_t step = 0; step < characters.size(); ++step) {
        Key(key, modifiers);
        EXPECT_TRUE(boundaries.count(view->selectedRange().location)) << int(key) << " " << modifiers << " " << step;
      }
    }
  }
  // Forward delete takes one whole character at a time.
  view->setSelectedRange(Range{0, 0});
  for (const auto& c : characters) {
    const std::u16string rest = view->string().substr(c.size());
    Key(keys::kForwardDelete);
    EXPECT_EQ(view->string(), rest);
  }
  // A double click selects whole characters.
  view->setString(u"caf" + e + u" " + flag);
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, At(7), 0, 2));
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, At(7), 0, 2));
  EXPECT_EQ(view->selectedRange(), (Range{6, 4}));
}

TEST_F(TextWindow, ConsecutiveTypingAndDeletingUndoAsOneStep) {
  Type(u"one two");
  Key(keys::kBackspace);
  Key(keys::kBackspace);
  EXPECT_EQ(Text(), "one t");
  view->undo();
  EXPECT_EQ(Text(), "one two");
  view->undo();
  EXPECT_EQ(Text(), "");
  view->redo();
  EXPECT_EQ(Text(), "one two");
  view->setSelectedRange(Range{3, 0});  // a move ends the step
  Type(u"!");
  Type(u"?");
  view->undo();
  EXPECT_EQ(Text(), "one two");
}

TEST_F(TextWindow, ADragSelectsAndIsReportedOnceOnRelease) {
  view->setString(u"hello world");
  recorder.calls.clear();
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, At(1)));
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, At(3)));
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, At(4)));
  EXPECT_TRUE(recorder.calls.empty());
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, At(4)));
  EXPECT_EQ(recorder.calls, std::vector<std::string>{"selection 1,3"});
  // Shift extends from where the selection started; a double click takes the word.
  window.click(At(8), kModifierShift);
  EXPECT_EQ(view->selectedRange(), (Range{1, 7}));
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, At(8), 0, 2));
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, At(8), 0, 2));
  EXPECT_EQ(view->selectedRange(), (Range{6, 5}));
}

TEST_F(TextWindow, CopyWritesBothFlavoursAndPasteTakesTheRichOne) {
  TextAttributes bold;
  bold.font = Font::boldSystem(12);
  view->textStorage().setAttributedString(AttributedString(std::string("bold"), bold));
  view->selectAll();
  view->copy();
  EXPECT_EQ(Pasteboard::general().string(), std::optional<std::u16string>(u"bold"));
  view->setSelectedRange(Range{4, 0});
  view->paste();
  EXPECT_EQ(Text(), "boldbold");
  EXPECT_EQ(view->textStorage().attributesAt(6).font, Font::boldSystem(12));

  view->setRichText(false);
  view->setSelectedRange(Range{0, 4});
  view->cut();
  EXPECT_FALSE(Pasteboard::general().richText().has_value());
  EXPECT_EQ(Text(), "bold");
}

TEST_F(TextWindow, MarkedTextIsAskedForWhileItStandsAndCommitsAsOneUndoStep) {
  Type(u"a");
  view->setMarkedText(u"k");
  EXPECT_TRUE(recorder.markedWhenAsked);
  view->setMarkedText(u"ka");
  EXPECT_EQ(Text(), "aka");
  EXPECT_EQ(view->markedRange(), (Range{1, 2}));
  view->insertText(u"\u304B");
  EXPECT_FALSE(view->hasMarkedText());
  EXPECT_EQ(Text(), "a\xE3\x81\x8B");
  view->undo();
  EXPECT_EQ(Text(), "a");
  // An empty composition removes itself.
  view->setMarkedText(u"x");
  view->setMarkedText(u"");
  EXPECT_EQ(Text(), "a");
  EXPECT_FALSE(view->hasMarkedText());
}

TEST_F(TextWindow, AFieldEditorEndsEditingOnReturnAndTab) {
  view->setFieldEditor(true);
  Type(u"ok");
  Key(keys::kReturn);
  EXPECT_EQ(recorder.ended, TextMovement::Return);
  Key(keys::kTab);
  EXPECT_EQ(recorder.ended, TextMovement::Tab);
  EXPECT_EQ(Text(), "ok");
}

TEST_F(TextWindow, ClicksFindTheirCharacterOnWrappedLinesAndTheCaretStaysInView) {
  // 33 units of 6 points fit on a 200-point line.
  view->setString(std::u16string(30, u'a') + u" " + std::u16string(30, u'b'));
  window.click(Point{6 * 3 + 1, 30 - 15 - 7});  // second line, after three "b"
  EXPECT_EQ(view->selectedRange(), (Range{34, 0}));
  Key(keys::kReturn);
  window.contentView()->layoutSubtreeIfNeeded();
  EXPECT_EQ(view->frame().height(), 45);  // three lines
  EXPECT_EQ(scroll->contentView()->bounds().origin.y, 15);  // the caret's line is in view
}

TEST(TextViewDrawing, StruckTextIsCrossedThroughItsMiddleAndBackgroundsAreFilled) {
  auto view = std::make_shared<TextView>(Rect{0, 0, 80, 20});
  view->setDrawsBackground(false);
  TextAttributes struck;
  struck.font = Font::system(13);
  struck.foregroundColor = Color::deviceRGB(0, 0, 1);
  struck.strikethroughStyle = 1;
  struck.strikethroughColor = Color::deviceRGB(1, 0, 0);
  TextAttributes marked = struck;
  marked.strikethroughStyle.reset();
  marked.backgroundColor = Color::deviceRGB(0, 1, 0);
  AttributedString s(std::string("xxxx"), struck);
  s.append(AttributedString(std::string("xx"), marked));
  view->textStorage().setAttributedString(s);
  const Bitmap b = render::renderView(*view, 2.0);
  auto red = [&](int x, int y) { return int((b.at(x, y) >> 16) & 255); };
  auto green = [&](int x, int y) { return int((b.at(x, y) >> 8) & 255); };
  // The line runs through the x-height, not along the baseline.
  int row = -1;
  for (int y = 0; y < b.height && row < 0; ++y)
    if (red(12, y) > 200 && red(20, y) > 200) row = y;
  ASSERT_GE(row, 0);
  int inkTop = b.height, inkBottom = -1;
  for (int y = 0; y < b.height; ++y)
    for (int x = 2; x < 60; ++x)
      if ((b.at(x, y) & 255) > 128 && red(x, y) < 100) {
        inkTop = std::min(inkTop, y);
        inkBottom = std::max(inkBottom, y);
      }
  EXPECT_GT(row, inkTop + 2);
  EXPECT_LT(row, inkBottom - 2);
  int behind = 0;  // the background behind "xx"
  for (int x = 75; x < 100; ++x) behind += green(x, row) > 200;
  EXPECT_GT(behind, 3);
}

TEST_F(TextWindow, APlainClickOnALinkOfAReadOnlyViewOpensItAndADragDoesNot) {
  std::vector<std::string> opened;
  Application::shared().setURLOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  TextAttributes link;
  link.link = "https://example.org/a";
  AttributedString s(std::string("go "));
  s.append(AttributedString(std::string("here"), link));
  view->textStorage().setAttributedString(s);
  window.click(At(4));  // editable: a click only places the caret
  view->setEditable(false);
  window.click(At(1));  // no link there
  window.click(At(4));
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, At(3)));
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, At(6)));
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, At(6)));
  EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/a"});
  Application::shared().setURLOpener({});
}
