// Typing the two texts through the window with the host's timer call between the keys: what each
// text holds after a mode switch, read from the editor and from the blocks the processor reads.

#include "WindowTickSupport.h"
#include "../../editor/tests/EditorTestSupport.h"

using editor_test::S;
using qmwindowtest::TickFixture;

namespace {

struct TwoLines : TickFixture {
  std::string Block(uint32_t id) { return Store().ReadString(id, 16383); }
  // A click before display location `index` of the editor.
  void ClickAt(std::size_t index) {
    qm::ui::TextView& text = *Views().editorView->textView();
    const qm::ui::Rect caret = text.caretRectForIndex(index);
    w.window.click(text.convertPointToView(qm::ui::Point{caret.minX() + 0.1, caret.midY()}, nullptr));
  }
  void Keys(const std::u16string& keys, bool tickBetween) {
    for (char16_t key : keys) {
      w.window.typeKey(std::u16string(1, key));
      if (tickBetween) Tick();
    }
  }
};

// With no transcript the Before text is empty: once the After text was typed and the timer call
// showed it, switching back to Before must show that text as the After text's own, so that what
// is typed there goes to the Before text alone.
TEST_F(TwoLines, AnEmptyBeforeTextIsTypedAloneAfterTheAfterTextWasShown) {
  for (bool tickBetween : {false, true}) {
    SCOPED_TRACE(tickBetween ? "a tick between keys" : "no tick between keys");
    Press(Views().clearTextButton);
    Press(Views().changeToolButton);  // After
    ASSERT_FALSE(w.gui->IsEditingBeforeText());
    FocusEditor();
    Keys(u"take the blue one", tickBetween);
    Tick();
    Press(Views().changeToolButton);  // Before
    ASSERT_TRUE(w.gui->IsEditingBeforeText());
    Tick();
    ClickAt(5);  // inside "the"
    Keys(u"take the red one", tickBetween);
    Tick();
    EXPECT_EQ(S(Views().editorView->targetText()), "take the blue one");
    EXPECT_EQ(S(Views().editorView->referenceText()), "take the red one");
    EXPECT_EQ(Block(kQMBlock_Text) + "|" + Block(kQMBlock_ReferenceText), "take the blue one|take the red one");
    Press(Views().changeToolButton);  // After again, for the next round to clear
  }
}

// A tag typed into the After text leaves it even when the user switches to Before before the
// timer call has seen it: the line sent never holds it.
TEST_F(TwoLines, ATagTypedJustBeforeASwitchNeverReachesTheLineSent) {
  Transcript(R"({"text":"please take the red one"})");
  Press(Views().changeToolButton);  // After
  TypeAtEnd(u" (it)");
  Press(Views().changeToolButton);  // Before, with no timer call between
  Tick();
  Tick();
  EXPECT_EQ(Block(kQMBlock_Text), "please take the red one");
  Press(Views().changeToolButton);  // After
  Tick();
  EXPECT_EQ(S(Views().editorView->targetText()), "please take the red one");
}

// A tag typed inside the After line leaves it with the caret where the tag stood, so the next key
// lands there: with an empty Before text too.
TEST_F(TwoLines, TheCaretStaysWhereATagLeftTheAfterLineWithoutABeforeText) {
  Press(Views().changeToolButton);  // After, no transcript
  FocusEditor();
  Keys(u"take the blue one", false);
  Tick();
  ClickAt(5);  // before "the"
  Keys(u"(fr)", true);
  Keys(u"x", false);
  Tick();
  EXPECT_EQ(S(Views().editorView->targetText()), "take xthe blue one");
}

// The same with the diff display showing.
TEST_F(TwoLines, TheCaretStaysWhereATagLeftTheAfterLine) {
  Transcript(R"({"text":"please take the red one"})");
  Press(Views().changeToolButton);  // After
  FocusEditor();
  ClickAt(19);  // after "red"
  Keys(std::u16string(3, qm::ui::keys::kBackspace) + u"blue", false);
  w.window.typeKey(std::u16string(1, qm::ui::keys::kEnd));
  Keys(u" (zz)", false);  // no language: it stays
  Tick();
  ClickAt(7);  // before "take"
  Keys(u"(fr)", true);
  Keys(u"x", false);
  Tick();
  EXPECT_EQ(S(Views().editorView->targetText()), "please xtake the blue one (zz)");
}

}  // namespace
