// The window's timer call as the host makes it, with the store written as the processor writes
// it: the order of its steps, the transcript payload, the status record and the state machine
// (focus, transitions, credits, the forced-update lock), the render id, language tags, and the
// blocks the window writes back.

#include "WindowTickSupport.h"

#include "qm/platform/text.h"
#include "qm/ui/pasteboard.h"

using qmwindowtest::Defaults;
using qmwindowtest::TickFixture;

namespace {

constexpr const char* kPayload =
    R"({"text":"hello there world","words":[{"word":"hello","index":0,"start":0.0,"end":0.3},)"
    R"({"word":"there","index":1,"start":0.35,"end":0.6},{"word":"world","index":2,"start":0.65,"end":0.9}]})";

std::string TextOf(const QuillomancerStoreClient& store, uint32_t block) { return store.ReadString(block, 20000); }

using WindowTick = TickFixture;

TEST_F(WindowTick, NewAudioAndATranscriptOnOneTickResetFirstThenApply) {
  Store().WriteByte(kQMBlock_NewAudioLoaded, 1);
  Store().WriteString(kQMBlock_TranscriptPayload, kPayload);
  TakeWrites();
  Tick();
  EXPECT_EQ(Views().editorView->targetText(), u"hello there world");
  EXPECT_FALSE(Store().ReadFlag(kQMBlock_NewAudioLoaded));
  EXPECT_TRUE(TextOf(Store(), kQMBlock_TranscriptPayload).empty());
  const std::vector<uint32_t> writes = TakeWrites();
  const auto at = [&](uint32_t id) { return std::find(writes.begin(), writes.end(), id) - writes.begin(); };
  EXPECT_LT(at(kQMBlock_NewAudioLoaded), at(kQMBlock_TranscriptPayload));
  EXPECT_TRUE(Logged("GUI transcribe: applied 187-byte payload, textChars=17, timedWords=3"));
  EXPECT_TRUE(Logged("GUI: applied transcribe result to text box"));
  // The new Before text goes out on the same tick.
  EXPECT_EQ(TextOf(Store(), kQMBlock_Text), "hello there world");
}

TEST_F(WindowTick, PayloadIsReadUpToItsLimitAndACutOneIsShownPlain) {
  const std::string filler = std::string(16383 - std::string(R"({"text":""})").size(), 'a');
  const std::string exact = R"({"text":")" + filler + R"("})";
  ASSERT_EQ(exact.size(), 16383u);
  const std::string longer = R"({"text":")" + filler + R"(b"})";
  // A two-byte character across the limit is left out whole.
  const std::string plain = std::string(16382, 'c') + "\xC3\xA9";
  struct Case {
    const char* name;
    std::string payload;
    std::u16string shown;
    const char* log;
  } cases[] = {
      {"exactly at the limit", exact, qm::platform::utf8ToUtf16(filler),
       "GUI transcribe: applied 16383-byte payload, textChars=16372, timedWords=0"},
      {"one byte more", longer, qm::platform::utf8ToUtf16(longer.substr(0, 16383)),
       "GUI transcribe: applied 16383-byte payload, textChars=16383, timedWords=0"},
      {"a character across the limit", plain, std::u16string(16382, u'c'),
       "GUI transcribe: applied 16382-byte payload, textChars=16382, timedWords=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    logged.clear();
    Transcript(c.payload);
    EXPECT_EQ(Views().editorView->targetText(), c.shown);
    EXPECT_TRUE(Logged(c.log)) << (logged.empty() ? "" : logged.front());
  }
}

TEST_F(WindowTick, AShortStatusRecordLeavesTheLineAsItWas) {
  Store().WriteString(kQMBlock_ErrorText, "Service unavailable");
  Status(kQuillomancerState_Error);
  Tick();
  EXPECT_EQ(Line().text, "Service unavailable");
  w.parameters->readCountHook = [](uint32_t block, uint32_t* count) {
    if (block == kQMBlock_Status) *count = 27;
  };
  Status(kQuillomancerState_Analyzing);
  Tick();
  EXPECT_EQ(Line().text, "Service unavailable");
  EXPECT_FALSE(Logged("GUI state transition: Analyzing"));
  // Under the lock the window shows "update required" without a record.
  w.gui->SetMinimumVersionLock(true, "3.0.0");
  Tick();
  EXPECT_TRUE(Logged("GUI state transition: UpdateRequired"));
  EXPECT_EQ(Line().text, "");
}

TEST_F(WindowTick, InputTextRequiredCountsAsReadyOnceATextWasSent) {
  Status(kQuillomancerState_InputTextRequired);
  Tick();
  EXPECT_TRUE(Logged("GUI state transition: InputTextRequired"));
  Transcript(kPayload);  // sends the Before text on the same tick
  EXPECT_TRUE(Logged("GUI state transition: Ready"));
  Tick(3);
  EXPECT_EQ(std::count(logged.begin(), logged.end(), "GUI state transition: Ready"), 1) << "logged once";
}

TEST_F(WindowTick, AnotherTakeIndexReleasesTheEditorsFocus) {
  Transcript(kPayload);
  Status(kQuillomancerState_HasTakes, 2, 3);
  Tick();
  FocusEditor();
  ASSERT_TRUE(EditorHasFocus());
  Tick(2);
  EXPECT_TRUE(EditorHasFocus()) << "the same take keeps it";
  Status(kQuillomancerState_HasTakes, 1, 3);
  Tick();
  EXPECT_FALSE(EditorHasFocus());
  // The last take rendered: back to Ready releases it too.
  FocusEditor();
  Status(kQuillomancerState_Ready);
  Tick();
  EXPECT_FALSE(EditorHasFocus());
}

TEST_F(WindowTick, TheLockShowsUpdateRequiredButStillCountsTheCredits) {
  w.gui->SetMinimumVersionLock(true, "3.0.0");
  Status(kQuillomancerState_HasTakes, 0, 3, 42);
  Tick();
  EXPECT_TRUE(Logged("GUI state transition: UpdateRequired"));
  EXPECT_FALSE(Logged("GUI state transition: HasTakes"));
  EXPECT_EQ(Views().creditsLabel->stringValue(), "Credits: 42");
  EXPECT_EQ(Store().ReadByte(kQMBlock_CompatibilityLock), 1);
  EXPECT_FALSE(Views().editorView->textView()->isEditable());
  EXPECT_TRUE(Views().takeSelector->isHidden());
  // A balance that drops to 0 keeps the last one shown; 5 or less is orange.
  Status(kQuillomancerState_Ready, 0, 0, 0);
  Tick();
  EXPECT_EQ(Views().creditsLabel->stringValue(), "Credits: 42");
  Status(kQuillomancerState_Ready, 0, 0, 4);
  Tick();
  EXPECT_TRUE(qmwindowtest::SameColour(*Views().creditsLabel->textColor(), QMAccentOrange()));
  w.gui->SetMinimumVersionLock(false, "");
  Tick();
  EXPECT_EQ(Store().ReadByte(kQMBlock_CompatibilityLock), 0);
  EXPECT_TRUE(Views().editorView->textView()->isEditable());
}

TEST_F(WindowTick, RenderAndErrorTextsAreCutOnACharacterBoundary) {
  // 126 ASCII bytes, then a two-byte character that would straddle the 127-byte read.
  Store().WriteString(kQMBlock_RenderID, std::string(126, 'r') + "\xC3\xA9" + "tail");
  // 254 ASCII bytes, then a three-byte character across the 255-byte read.
  Store().WriteString(kQMBlock_ErrorText, std::string(254, 'e') + "\xE2\x80\x94" + "more");
  Status(kQuillomancerState_Error);
  Tick();
  EXPECT_EQ(w.gui->GetCurrentRenderId(), std::string(126, 'r'));
  EXPECT_TRUE(Views().voteUpButton->isEnabled());
  EXPECT_EQ(Line().text, std::string(254, 'e'));
  // The render id goes: the votes are disabled again.
  Store().Clear(kQMBlock_RenderID);
  Tick();
  EXPECT_FALSE(Views().voteUpButton->isEnabled());
  EXPECT_FALSE(Views().voteDownButton->isEnabled());
}

TEST_F(WindowTick, ALanguageTagLeavesTheTextAndChoosesTheLanguageInTheSameTimerCall) {
  Transcript(R"({"text":"bonjour"})");
  // The timer call alone, without a turn of the main queue before or after it.
  TypeAtEnd(u" (fr)");
  EXPECT_EQ(w.component->TimerWakeup(), 0);
  EXPECT_EQ(Views().editorView->targetText(), u"bonjour");
  EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "fr");
  TypeAtEnd(u" (es)");
  EXPECT_EQ(w.component->TimerWakeup(), 0);
  EXPECT_EQ(Views().editorView->targetText(), u"bonjour");
  EXPECT_EQ(TextOf(Store(), kQMBlock_Text), "bonjour");
  EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "es") << "the last tag typed chooses";
  EXPECT_EQ(Views().languageChipLabel->stringValue(), "ES");
}

// A tag typed at the start of the line goes; the caret stays where it was typed.
TEST_F(WindowTick, ALanguageTagTypedAtTheStartKeepsTheCaretThere) {
  Transcript(R"({"text":"bonjour"})");
  FocusEditor();
  for (char16_t c : std::u16string{qm::ui::keys::kHome} + u"(fr)") w.window.typeKey(std::u16string(1, c));
  Tick(2);
  w.window.typeKey(u"X");
  EXPECT_EQ(Views().editorView->targetText(), u"Xbonjour");
}

// Keys typed one by one, the host's timer call after every `perTick` of them (0: only after the
// last); Sent() reads the line back as "After|Before".
struct TagTyping : TickFixture {
  static constexpr const char* kRedLine = R"({"text":"please take the red one"})";
  static std::u16string Repeat(char16_t key, std::size_t times) { return std::u16string(times, key); }
  void Type(const std::u16string& keys) {  // no timer call
    for (char16_t key : keys) w.window.typeKey(std::u16string(1, key));
  }
  void Keys(const std::u16string& keys, std::size_t perTick = 0) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (i > 0 && perTick != 0 && i % perTick == 0) Tick();
      Type(keys.substr(i, 1));
    }
    Tick();
  }
  void Undo() {
    w.window.typeKey(u"z", qm::ui::kModifierCommand, 0, u"z");
    Tick();
  }
  void ToggleChange() {
    w.window.makeKeyWindow();
    Press(Views().changeToolButton);
    Tick();
    FocusEditor();
  }
  // After mode, "red" changed to "blue": the diff display is on.
  void ChangeRedToBlue() {
    Transcript(kRedLine);
    ToggleChange();
    Keys(qm::ui::keys::kEnd + Repeat(qm::ui::keys::kLeftArrow, 4) + Repeat(qm::ui::keys::kBackspace, 3) + u"blue");
  }
  std::string Sent() { return TextOf(Store(), kQMBlock_Text) + "|" + TextOf(Store(), kQMBlock_ReferenceText); }
  void ClickInTheLine() { ClickAtCharacter(7); }
  void ClickAtTheEnd() { ClickAtCharacter(Views().editorView->textView()->string().size()); }
  void PasteS() {
    qm::ui::Pasteboard::general().clearContents();
    qm::ui::Pasteboard::general().setString(u"s");
    w.window.typeKey(u"v", qm::ui::kModifierCommand, 0, u"v");
  }
};

// A tag typed among other keys leaves both lines; the keys around it stay, in order, at the caret,
// and the line is the same at any pace: one space where the tag and its spaces stood. Its leaving
// may squeeze and trim the line in several places; the keys after it still land where typed.
// Once the caret has been placed (a click, an arrow, Home or End, a paste), keys land where it
// stands.
TEST_F(TagTyping, KeysAroundATagStayWhereTheyWereTyped) {
  using namespace qm::ui::keys;
  enum Line {
    kBlueInBefore,   // "red" made "blue", then Before mode: shared text
    kBlue,           // "red" made "blue", After mode
    kPlainAfter,     // the transcript, After mode
    kNoTranscript,   // no Before text, "please take the blue one" typed in After mode
    kSoStruck,       // "so " struck at the start, Before mode
  };
  const std::u16string end(1, kEnd), home(1, kHome), intoBlue = kEnd + Repeat(kLeftArrow, 6);  // after "bl"
  const std::u16string intoShared = kHome + Repeat(kRightArrow, 7);                               // before "take"
  const std::u16string beforeThe = kHome + Repeat(kRightArrow, 12), pastASpace = kHome + Repeat(kRightArrow, 13);
  const char* const red = "|please take the red one";
  const struct {
    Line line;
    std::u16string place, keys;
    std::size_t perTick;
    std::u16string then;  // after a timer call
    const char* language;
    std::string sent;
    void (TagTyping::*first)() = nullptr;  // before `then`
  } cases[] = {
      {kBlueInBefore, intoShared, u"(it) ", 0, u"x", "it", "please xtake the blue one|please xtake the red one"},
      {kBlueInBefore, intoShared, u"(it) ", 3, u"x", "it", "please xtake the blue one|please xtake the red one"},
      {kBlueInBefore, intoShared, u"(it) ", 1, u"x", "it", "please xtake the blue one|please xtake the red one"},
      {kBlue, end, u" (fr)abcdef", 1, u"", "fr", std::string("please take the blue one abcdef") + red},
      {kBlue, end, u" (fr)abcdef", 0, u"", "fr", std::string("please take the blue one abcdef") + red},
      {kBlue, end, u" (fr)abcdef", 3, u"", "fr", std::string("please take the blue one abcdef") + red},
      {kPlainAfter, end, u" (fr)abcdef", 1, u"", "fr", std::string("please take the red one abcdef") + red},
      {kBlue, intoBlue, u"(fr)xy", 1, u"", "fr", std::string("please take the blxyue one") + red},
      {kNoTranscript, intoBlue, u"(fr)xy", 1, u"", "fr", "please take the blxyue one|"},
      {kSoStruck, home, u"(de) y", 1, u"z", "de", "please take the red one|yzso please take the red one"},
      {kSoStruck, home, u"(de) y", 3, u"z", "de", "please take the red one|yzso please take the red one"},
      {kSoStruck, home, u"(de) y", 0, u"z", "de", "please take the red one|yzso please take the red one"},
      // A space typed at the end, at the start or doubled, then a tag at the start, middle or end.
      {kBlue, end + u" " + home, u"(de)XY", 1, u"", "de", std::string("XYplease take the blue one") + red},
      {kBlue, end + u" " + beforeThe, u"(de)XY", 1, u"", "de", std::string("please take XYthe blue one") + red},
      {kBlue, end + u" ", u"(de)XY", 1, u"", "de", std::string("please take the blue one XY") + red},
      {kBlue, home + u" " + home, u"(de)XY", 1, u"", "de", std::string("XY please take the blue one") + red},
      {kBlue, home + u" " + pastASpace, u"(de)XY", 1, u"", "de", std::string("please take XYthe blue one") + red},
      {kBlue, home + u" " + end, u"(de)XY", 1, u"", "de", std::string("please take the blue oneXY") + red},
      {kBlue, intoShared + u" " + home, u"(de)XY", 1, u"", "de", std::string("XYplease take the blue one") + red},
      {kBlue, intoShared + u" " + pastASpace, u"(de)XY", 1, u"", "de", std::string("please take XYthe blue one") + red},
      {kBlue, intoShared + u" " + end, u"(de)XY", 1, u"", "de", std::string("please take the blue oneXY") + red},
      // The caret placed after the tag left, even back where it was: the key lands as shown.
      {kBlue, end, u" (fr)", 1, end + u"s", "fr", std::string("please take the blue ones") + red, &TagTyping::ClickInTheLine},
      {kBlue, end, u" (fr)", 0, u"s", "fr", std::string("please take the blue ones") + red, &TagTyping::ClickAtTheEnd},
      {kBlue, end, u" (fr)", 1, u"", "fr", std::string("please take the blue ones") + red, &TagTyping::PasteS},
      {kBlue, end, u" (fr)", 1, kLeftArrow + (kRightArrow + std::u16string(u"s")), "fr", std::string("please take the blue ones") + red},
      {kBlue, end, u" (fr)", 1, end + u"s", "fr", std::string("please take the blue ones") + red},
      {kBlue, end, u" (fr)", 1, kLeftArrow + std::u16string(u"e"), "fr", std::string("please take the blue onee") + red},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    if (c.line == kBlueInBefore || c.line == kBlue) ChangeRedToBlue();
    if (c.line == kPlainAfter) Transcript(kRedLine);
    if (c.line == kNoTranscript) Press(Views().clearTextButton);
    if (c.line == kSoStruck) {
      Transcript(R"({"text":"so please take the red one"})");
      ToggleChange();
      Keys(kHome + Repeat(kForwardDelete, 3));
    }
    if (c.line != kBlue) ToggleChange();
    if (c.line == kNoTranscript) Keys(u"please take the blue one");
    Keys(c.place);
    Keys(c.keys, c.perTick);
    if (c.first) (this->*c.first)();
    if (!c.then.empty()) Keys(c.then);
    Tick(2);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), c.language);
    if (!w.gui->IsEditingBeforeText()) ToggleChange();  // each row starts from Before mode
  }
}

// A tag typed, then a switch before a timer call saw it: the tag leaves both lines all the same.
TEST_F(TagTyping, ATagTypedJustBeforeASwitchLeavesBothLines) {
  const struct {
    bool changed;  // "red" made "blue"
    bool inAfter;  // typed in After mode; else in Before
    const char* sent;
  } cases[] = {
      {false, true, "please take the red one|please take the red one"},
      {true, true, "please take the blue one|please take the red one"},
      {false, false, "please take the red one|please take the red one"},  // no After text yet
      {true, false, "please take the blue one|please take the red one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.changed << c.inAfter);
    if (c.changed) {
      ChangeRedToBlue();
      if (!c.inAfter) ToggleChange();
    } else {
      Transcript(kRedLine);
      if (c.inAfter) ToggleChange();
      FocusEditor();
    }
    Type(qm::ui::keys::kEnd + std::u16string(u" (it)"));
    ToggleChange();
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "it");
    w.gui->ClearSelectedLanguage();
  }
}

// An After text of nothing but a tag is empty once it goes, so the diff display goes too; the caret
// keeps its place in the Before text.
TEST_F(TagTyping, TheCaretStaysWhenTheDiffGoesWithTheTag) {
  const auto change = [&] {
    Press(Views().changeToolButton);
    FocusEditor();
  };
  FocusEditor();
  Type(u"(it) ab");
  change();
  Type(qm::ui::keys::kEnd + Repeat(qm::ui::keys::kBackspace, 2));
  change();
  Type(qm::ui::keys::kEnd + std::u16string(1, qm::ui::keys::kLeftArrow) + u"x");
  ASSERT_EQ(Views().editorView->targetText(), u"(it) ");
  Tick();
  Keys(u"y");
  EXPECT_EQ(Sent(), "axyb|axyb");
}

TEST_F(TagTyping, ATagThatClosesAnotherAsItLeavesNeverReachesTheLine) {
  Transcript(kRedLine);
  ToggleChange();
  Type(std::u16string(1, qm::ui::keys::kEnd) + u" (i(fr)t)");  // one timer call for every key
  Tick();
  EXPECT_EQ(Sent(), "please take the red one|please take the red one");
}

TEST_F(TagTyping, AnUndoNeverReachesTheOtherText) {
  for (std::size_t perTick : {0, 1}) {
    SCOPED_TRACE(perTick);
    Transcript(kRedLine);
    FocusEditor();
    Keys(qm::ui::keys::kEnd + std::u16string(u" now"), perTick);
    Undo();
    EXPECT_EQ(Sent(), "please take the red one|please take the red one");
    Keys(u" now", perTick);
    ToggleChange();  // After mode: a copy of the Before text
    Undo();
    EXPECT_EQ(Sent(), "please take the red one now|please take the red one now");
    Keys(u"!", perTick);
    ToggleChange();  // Before mode, the diff display on
    Undo();
    EXPECT_EQ(Sent(), "please take the red one now!|please take the red one now");
  }
}

// A selection carried into the other text by its offsets may fall inside an emoji there; the next
// key must not split it.
TEST_F(TagTyping, ASelectionCarriedAcrossASwitchNeverSplitsACharacter) {
  Transcript(R"({"text":"n\ud83d\ude00k"})");
  ToggleChange();
  Type(std::u16string(1, qm::ui::keys::kHome) + u"xy");
  w.window.typeKey(std::u16string(1, qm::ui::keys::kLeftArrow), qm::ui::kModifierShift);  // "y" selected
  Press(Views().changeToolButton);  // Before mode, no timer call since the keys
  Type(u"Z");
  Tick();
  EXPECT_EQ(Sent(), "xyn\U0001F600k|nZ\U0001F600k");
}

// A bracketed word that names no listed language stays in the line and chooses nothing; a listed
// one, or a no-hint word, is a tag. (Which words are tags is the languages' own test.)
TEST_F(WindowTick, OnlyATagThatNamesALanguageLeavesTheTextAndChoosesIt) {
  constexpr const char* kKey = "com.quillomancer.selectedLanguage";
  const struct {
    const char *line, *kept, *chip, *stored;  // chip null: as with no choice; stored "" none
  } cases[] = {
      {"I never said (uh) she took the car.", "I never said (uh) she took the car.", nullptr, ""},
      {"bonjour (French)", "bonjour", "FR", "fr"},
      {"hola (uh) (autodetect)", "hola (uh)", "--", "--"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    w.gui->ClearSelectedLanguage();
    const std::string noChoiceChip = Views().languageChipLabel->stringValue();
    Transcript(std::string(R"({"text":")") + c.line + R"("})");
    Tick(2);
    EXPECT_EQ(Views().editorView->targetText(), qm::platform::utf8ToUtf16(c.kept));
    EXPECT_EQ(TextOf(Store(), kQMBlock_Text), c.kept);
    EXPECT_EQ(Views().languageChipLabel->stringValue(), c.chip ? c.chip : noChoiceChip);
    EXPECT_EQ(Defaults().has(kKey) ? Defaults().stringForKey(kKey) : "", c.stored);
    EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), std::string(c.stored) == "--" ? "" : c.stored);
  }
}

TEST_F(WindowTick, TheFirstTickWritesEveryBlockAndASteadyOneOnlyWhatItMust) {
  // What another window of this plug-in left in the store is overwritten.
  Store().WriteString(kQMBlock_RepairPlan, R"({"selections":[1]})");
  Store().WriteString(kQMBlock_Text, "an old line");
  TakeWrites();
  Tick();
  std::vector<uint32_t> first = TakeWrites();
  std::sort(first.begin(), first.end());
  std::vector<uint32_t> all = {kQMBlock_CompatibilityLock, kQMBlock_Text, kQMBlock_LineChange,
                               kQMBlock_ReferenceText, kQMBlock_RepairPlan, kQMBlock_Mode,
                               kQMBlock_Variation, kQMBlock_Takes, kQMBlock_TranscriptionLanguage,
                               kQMBlock_GenerationLanguage};
  std::sort(all.begin(), all.end());
  EXPECT_EQ(first, all);
  EXPECT_TRUE(TextOf(Store(), kQMBlock_RepairPlan).empty());
  EXPECT_TRUE(TextOf(Store(), kQMBlock_Text).empty());
  for (int i = 0; i < 2; ++i) {
    Tick();
    EXPECT_EQ(TakeWrites(), (std::vector<uint32_t>{kQMBlock_ReferenceText, kQMBlock_Mode,
                                                   kQMBlock_TranscriptionLanguage, kQMBlock_GenerationLanguage}));
  }
  EXPECT_TRUE(TextOf(Store(), kQMBlock_TranscriptionLanguage).empty()) << "no language: both written empty";
}

}  // namespace
