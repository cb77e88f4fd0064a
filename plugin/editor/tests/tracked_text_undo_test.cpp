#include "EditorTestSupport.h"

using namespace editor_test;

namespace {

struct DiffUndo : EditorWindow {};

// A word committed by an input method in the diff display, then the diff rebuilt again: undo
// still takes the word back.
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
