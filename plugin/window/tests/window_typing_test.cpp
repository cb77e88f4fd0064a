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

}  // namespace
