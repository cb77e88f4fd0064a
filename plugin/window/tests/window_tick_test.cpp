// The window's timer call as the host makes it, with the store written as the processor writes
// it: the order of its steps, the transcript payload, the status record and the state machine
// (focus, transitions, credits, the forced-update lock), the render id, language tags, and the
// blocks the window writes back.

#include "WindowTickSupport.h"

#include "qm/platform/text.h"

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

// Typing as a person types: keys one by one into the editor, the host's timer call after every
// `perTick` of them (0: only after the last), the line sent read back as "After|Before" (the text
// to generate, which is the Before text while the two are equal, and the reference text).
struct TagTyping : TickFixture {
  static constexpr const char* kRedLine = R"({"text":"please take the red one"})";
  static std::u16string Repeat(char16_t key, std::size_t times) { return std::u16string(times, key); }
  // Keys with no timer call between them or after them.
  void Type(const std::u16string& keys) {
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
  // After mode with "red" changed to "blue": the diff display is on.
  void ChangeRedToBlue() {
    Transcript(kRedLine);
    ToggleChange();
    Keys(qm::ui::keys::kEnd + Repeat(qm::ui::keys::kLeftArrow, 4) + Repeat(qm::ui::keys::kBackspace, 3) + u"blue");
  }
  std::string Sent() { return TextOf(Store(), kQMBlock_Text) + "|" + TextOf(Store(), kQMBlock_ReferenceText); }
};

// In Before mode a tag typed inside text both lines hold goes into both; it leaves both, and the
// next key lands in both where the tag stood. A space typed after the timer call that took the
// tag out is a key like any other and stays.
TEST_F(TagTyping, ATagTypedInBeforeModeIntoSharedTextLeavesBothLines) {
  const struct {
    std::size_t perTick;
    const char* sent;
  } cases[] = {
      {0, "please xtake the blue one|please xtake the red one"},
      {3, "please xtake the blue one|please xtake the red one"},
      {1, "please  xtake the blue one|please  xtake the red one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.perTick);
    ChangeRedToBlue();
    ToggleChange();  // Before mode, the diff display still on
    Keys(qm::ui::keys::kHome + Repeat(qm::ui::keys::kRightArrow, 7));  // before "take"
    Keys(u"(it) ", c.perTick);
    EXPECT_EQ(Sent(), c.perTick == 1 ? "please  take the blue one|please  take the red one"
                                     : "please take the blue one|please take the red one");
    EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "it");
    Keys(u"x");
    EXPECT_EQ(Sent(), c.sent);
  }
}

// A tag typed and a switch to the other mode before a timer call saw it: the tag leaves both
// lines all the same (the switch can copy the Before text into an empty After text), and chooses
// the language.
TEST_F(TagTyping, ATagTypedJustBeforeASwitchLeavesBothLines) {
  const struct {
    const char* name;
    bool changed;  // "red" changed to "blue"
    bool inAfter;  // typed in After mode, then switched to Before; else the other way
    const char* sent;
  } cases[] = {
      {"After to Before, no change made", false, true, "please take the red one|please take the red one"},
      {"After to Before, the diff shown", true, true, "please take the blue one|please take the red one"},
      {"Before to After, no After text yet", false, false, "please take the red one|please take the red one"},
      {"Before to After, the diff shown", true, false, "please take the blue one|please take the red one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
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

// An After text that held nothing but a tag is empty once it goes, so the diff display gives way
// to the Before text alone; the caret keeps its place in the Before text all the same.
TEST_F(TagTyping, TheCaretStaysWhenTheDiffGoesWithTheTag) {
  // No transcript and no timer call until the last key: the Before text typed, After mode (a copy
  // of it) and two letters taken back, then Before mode with the diff display on.
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
  ASSERT_EQ(Views().editorView->referenceText(), u"(it) axb");
  ASSERT_EQ(Views().editorView->targetText(), u"(it) ");
  Tick();
  Keys(u"y");
  EXPECT_EQ(Sent(), "axyb|axyb");
  EXPECT_EQ(Views().editorView->targetText(), u"axyb");
}

// Keys typed after a tag, before or after the timer call that takes it out, all stay, in order,
// at the caret: in the plain display and the diff display, at the end of the line and inside a
// word.
TEST_F(TagTyping, KeysTypedRightAfterATagAreKept) {
  using qm::ui::keys::kEnd;
  const std::u16string atEnd(1, kEnd), intoBlue = kEnd + Repeat(qm::ui::keys::kLeftArrow, 6);  // after "bl"
  enum Line { kTranscript, kChanged, kNoTranscript };  // "blue" typed in After mode unless kTranscript
  const struct {
    const char* name;
    Line line;
    std::u16string place, keys;
    std::size_t perTick;
    const char* sent;
  } cases[] = {
      {"diff, a key per tick", kChanged, atEnd, u" (fr)abcdef", 1,
       "please take the blue oneabcdef|please take the red one"},
      {"diff, three keys per tick", kChanged, atEnd, u" (fr)abcdef", 3,
       "please take the blue one abcdef|please take the red one"},
      {"plain, a key per tick", kTranscript, atEnd, u" (fr)abcdef", 1,
       "please take the red oneabcdef|please take the red one"},
      {"inside a word, a key per tick", kChanged, intoBlue, u"(fr)xy", 1,
       "please take the blxyue one|please take the red one"},
      {"no Before text, a key per tick", kNoTranscript, intoBlue, u"(fr)xy", 1, "please take the blxyue one|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.line == kChanged) {
      ChangeRedToBlue();
    } else if (c.line == kTranscript) {
      Transcript(kRedLine);
      ToggleChange();
    } else {
      Press(Views().clearTextButton);
      ToggleChange();
      Keys(u"please take the blue one");
    }
    Keys(c.place);
    Keys(c.keys, c.perTick);
    Tick(2);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "fr");
    ToggleChange();  // back to Before mode for the next case
  }
}

// Before mode with words struck out at the start of the line: a tag typed at its start goes, and
// the keys after it stay at the start, not past the struck words.
TEST_F(TagTyping, ATagThatClosesAnotherAsItLeavesNeverReachesTheLine) {
  Transcript(kRedLine);
  ToggleChange();
  Type(std::u16string(1, qm::ui::keys::kEnd) + u" (i(fr)t)");  // every key before one timer call
  Tick();
  EXPECT_EQ(Sent(), "please take the red one|please take the red one");
  EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "fr");
}

TEST_F(TagTyping, KeysAfterATagAtTheStartOfTheBeforeLineStayThere) {
  const struct {
    std::size_t perTick;
    const char* before;
  } cases[] = {
      {1, " yzso please take the red one"},
      {3, "yzso please take the red one"},
      {0, "yzso please take the red one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.perTick);
    Transcript(R"({"text":"so please take the red one"})");
    ToggleChange();
    Keys(qm::ui::keys::kHome + Repeat(qm::ui::keys::kForwardDelete, 3));
    ToggleChange();
    ASSERT_EQ(Sent(), "please take the red one|so please take the red one");
    Keys(std::u16string(1, qm::ui::keys::kHome));
    Keys(u"(de) y", c.perTick);
    Keys(u"z");
    EXPECT_EQ(Sent(), std::string("please take the red one|") + c.before);
    EXPECT_EQ(TextOf(Store(), kQMBlock_GenerationLanguage), "de");
  }
}

// An undo takes back typing in the text it was typed in; once the other text is edited it changes
// neither.
TEST_F(TagTyping, AnUndoNeverReachesTheOtherText) {
  for (std::size_t perTick : {0, 1}) {
    SCOPED_TRACE(perTick);
    Transcript(kRedLine);
    FocusEditor();
    Keys(qm::ui::keys::kEnd + std::u16string(u" now"), perTick);
    Undo();
    EXPECT_EQ(Sent(), "please take the red one|please take the red one") << "undone in the same text";
    Keys(u" now", perTick);
    ToggleChange();  // After mode: a copy of the Before text
    Undo();
    EXPECT_EQ(Sent(), "please take the red one now|please take the red one now");
    Keys(u"!", perTick);
    ToggleChange();  // Before mode again, the diff display on
    Undo();
    EXPECT_EQ(Sent(), "please take the red one now!|please take the red one now");
  }
}

// A selection made in one text is carried into the other at a mode switch by its offsets; where
// they fall inside a character of the other text (half of an emoji's surrogate pair), the next
// key must not split it: the Before text would no longer be text and would go whole.
TEST_F(TagTyping, ASelectionCarriedAcrossASwitchNeverSplitsACharacter) {
  Transcript(R"({"text":"n\ud83d\ude00k"})");
  ToggleChange();  // After mode: a copy of the Before text
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
