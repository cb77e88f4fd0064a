// What the processor finds in the store after the window's timer calls while the editor is used
// as a person uses it: typed and deleted text, Voice Change, repair picks and the reference text
// without them, the "No difference" hint and the Voice Change countdown.

#include "WindowTickSupport.h"

#include "QMWindowLook.h"

using qmwindowtest::SameColour;
using qmwindowtest::TickFixture;

namespace {

constexpr const char* kTimed = R"({"text":"please take the red one","words":[{"word":"please","index":0,"start":0.1,)"
                               R"("end":0.3},{"word":"take","index":1,"start":0.4,"end":0.6},{"word":"the","index":2,)"
                               R"("start":0.7,"end":0.9},{"word":"red","index":3,"start":1.0,"end":1.2},)"
                               R"({"word":"one","index":4,"start":1.3,"end":1.5}]})";

struct WindowSync : TickFixture {
  std::string Block(uint32_t id) { return Store().ReadString(id, 16383); }
  int Writes(uint32_t id) { return w.parameters->WritesOf(id); }
};

TEST_F(WindowSync, TypingAndDeletingWritesTheTextOnceAndClearsItOnce) {
  Tick();
  const int before = Writes(kQMBlock_Text);
  TypeAtEnd(u"hi");
  Tick(2);
  EXPECT_EQ(Block(kQMBlock_Text), "hi");
  EXPECT_EQ(Writes(kQMBlock_Text), before + 1);
  TypeAtEnd(std::u16string(2, qm::ui::keys::kBackspace));
  Tick(2);
  EXPECT_EQ(Block(kQMBlock_Text), "");
  EXPECT_EQ(Writes(kQMBlock_Text), before + 2) << "one clear, not one a tick";
}

TEST_F(WindowSync, PicksReduceTheReferenceAlsoAfterAVisitToVoiceChange) {
  Transcript(kTimed);
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "please take the red one");
  Press(Views().repairToolButton);
  PickWord(u"red");
  Tick();
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "please take the one");
  EXPECT_EQ(Store().ReadByte(kQMBlock_LineChange), 1);

  Press(Views().voiceChangeButton);
  Tick();
  EXPECT_EQ(Block(kQMBlock_Text) + Block(kQMBlock_ReferenceText), "") << "Voice Change sends neither text";
  // Back from Voice Change with the pick still made: the reduced text is written again.
  Press(Views().voiceChangeButton);
  Tick();
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "please take the one");
  EXPECT_EQ(Block(kQMBlock_Text), "please take the red one");

  Press(Views().repairToolButton);
  PickWord(u"red");  // the last pick taken away
  Tick();
  EXPECT_EQ(Block(kQMBlock_ReferenceText), "please take the red one");
  EXPECT_EQ(Store().ReadByte(kQMBlock_LineChange), 0);
}

TEST_F(WindowSync, NoDifferenceShowsWhileTheChangeIsUndoneAndAgainAfterItsLifetime) {
  Status(kQuillomancerState_Ready);
  Transcript(kTimed);
  Press(Views().changeToolButton);
  Tick();
  EXPECT_EQ(Line().text, "") << "an After text never changed is no hint";
  TypeAtEnd(std::u16string(3, qm::ui::keys::kBackspace) + u"ten");
  Tick();
  EXPECT_EQ(Block(kQMBlock_Text), "please take the red ten");
  TypeAtEnd(std::u16string(3, qm::ui::keys::kBackspace) + u"one");
  Tick();
  EXPECT_EQ(Line().text, "No difference");
  EXPECT_TRUE(SameColour(Line().colour, qm::ui::Color::deviceRGB(0.953, 0.612, 0.071, 1.0)));
  clock.advance(8.9);
  Tick();
  EXPECT_EQ(Line().text, "No difference");
  clock.advance(0.2);  // 9.1 s: the message ends, and the next call shows it anew
  Tick();
  EXPECT_EQ(Line().text, "");
  Tick();
  EXPECT_EQ(Line().text, "No difference");
}

TEST_F(WindowSync, AVoiceChangeGenerationCountsDownBesideTheDots) {
  Press(Views().voiceChangeButton);
  Status(kQuillomancerState_Processing, 0, 0, 0, kQuillomancerActivity_Generate, 12);
  Tick(27);
  EXPECT_EQ(Line().text, "Processing...  12s");
  EXPECT_EQ(Line().alignment, qm::ui::TextAlignment::Left);
  Status(kQuillomancerState_Processing, 0, 0, 0, kQuillomancerActivity_Generate, 30);  // no restart
  clock.advance(2.5);
  Tick();
  EXPECT_EQ(Line().text, "Processing...  10s");
  clock.advance(20);
  Tick();
  EXPECT_EQ(Line().text, "Processing...   0s");
}

}  // namespace
