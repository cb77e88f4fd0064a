// Typing the two texts through the window, with or without the host's timer call between keys.

#include "WindowTickSupport.h"
#include "../../editor/tests/EditorTestSupport.h"

using qmwindowtest::TickFixture;

namespace {

struct TwoLines : TickFixture {};

// No transcript: once the After text was typed and shown, the Before text typed after a switch
// goes to the Before text alone.
TEST_F(TwoLines, AnEmptyBeforeTextIsTypedAloneAfterTheAfterTextWasShown) {
  for (bool tickBetween : {false, true}) {
    SCOPED_TRACE(tickBetween);
    const auto keys = [&](std::u16string_view typed) {
      for (char16_t key : typed) {
        w.window.typeKey(std::u16string(1, key));
        if (tickBetween) Tick();
      }
      Tick();
    };
    Press(Views().clearTextButton);
    Press(Views().changeToolButton);  // After
    FocusEditor();
    keys(u"take the blue one");
    Press(Views().changeToolButton);  // Before
    ASSERT_TRUE(w.gui->IsEditingBeforeText());
    Tick();
    ClickAtCharacter(5);  // inside "the"
    keys(u"take the red one");
    EXPECT_EQ(Store().ReadString(kQMBlock_Text, 16383) + "|" + Store().ReadString(kQMBlock_ReferenceText, 16383),
              "take the blue one|take the red one");
    Press(Views().changeToolButton);  // After again, for the next round to clear
  }
}

}  // namespace
