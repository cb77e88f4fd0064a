// Undo across the editor's own rebuilds of the diff display: a rebuild that shows the same
// characters keeps the text view's undo records, one that shows others drops them.

#include "EditorTestSupport.h"

using namespace editor_test;

namespace {

struct DiffUndo : EditorWindow {};

// An input method's word committed in the diff display is applied by the text view (with an undo
// record) and the diff is rebuilt around it; the window's timer call rebuilds it again.
TEST_F(DiffUndo, ARebuildOfTheSameCharactersKeepsTheUndoOfACommittedComposition) {
  Diff("the cat sat", "the cat sat");
  ClickAt(7);
  text->setMarkedText(u" big");
  text->unmarkText();
  const std::string composed = Runs();
  ASSERT_EQ(Target(), "the cat big sat");
  editor->setDirtyTrackedLayout(true);
  editor->applyTrackedStyling();
  EXPECT_EQ(Runs(), composed);
  Command(u'z');
  EXPECT_EQ(Target(), "the cat sat");
  EXPECT_EQ(Runs(), "the cat sat");
}

}  // namespace
