// The transcript editor's text model and editing rules, through keys, clicks and the pasteboard.

#include "EditorTestSupport.h"
#include "qm/ui/render.h"

#include <functional>

using namespace editor_test;

namespace {

// A storage from the Runs() notation: "ab[-cd]e" is kept "ab", deleted "cd", kept "e".
std::unique_ptr<TextStorage> Storage(const std::string& spec) {
  auto s = std::make_unique<TextStorage>();
  for (std::size_t i = 0; i < spec.size();) {
    TextAttributes a = QMTrackedKeptAttributes(std::nullopt);
    std::string piece;
    if (spec[i] == '[') {
      const std::size_t close = spec.find(']', i);
      a = spec[i + 1] == '-' ? QMTrackedDeletedAttributes(std::nullopt) : QMTrackedInsertedAttributes(std::nullopt);
      piece = spec.substr(i + 2, close - i - 2);
      i = close + 1;
    } else {
      const std::size_t next = std::min(spec.find('[', i), spec.size());
      piece = spec.substr(i, next - i);
      i = next;
    }
    s->insert(AttributedString(piece, a), s->length());
  }
  return s;
}

std::string Words(std::size_t units) {
  std::string out;
  while (out.size() < units) out += out.size() % 5 == 4 ? ' ' : static_cast<char>('a' + out.size() % 5);
  return out;
}

}  // namespace

TEST(TrackedTextModel, OffsetMapsAtTheEdges) {
  using Query = std::function<std::size_t(const TextStorage*)>;
  struct Case {
    const char* name;
    std::string spec;
    Query query;
    std::size_t expected;
  };
  const Case cases[] = {
      {"target 0 past an opening deletion", "[-A]b", [](auto s) { return QMDisplayLocationForTargetOffset(0, s); }, 1},
      {"location 1 after the deletion", "[-A]b", [](auto s) { return QMTargetOffsetForDisplayLocation(1, s); }, 0},
      {"reference 1 after the deletion", "[-A]b", [](auto s) { return QMDisplayLocationForReferenceOffset(1, s); }, 1},
      {"target end of run stays before deleted", "ab[-cd]e", [](auto s) { return QMDisplayLocationForTargetOffset(2, s); }, 2},
      {"location 4 behind the deletion", "ab[-cd]e", [](auto s) { return QMTargetOffsetForDisplayLocation(4, s); }, 2},
      {"reference 4 through deleted", "ab[-cd]e", [](auto s) { return QMDisplayLocationForReferenceOffset(4, s); }, 4},
      {"target beyond the text", "ab[-cd]e", [](auto s) { return QMDisplayLocationForTargetOffset(9, s); }, 5},
      {"location beyond the text clamps", "ab[-cd]e", [](auto s) { return QMTargetOffsetForDisplayLocation(99, s); }, 3},
      {"reference 0 past opening insertion", "[+X]y", [](auto s) { return QMDisplayLocationForReferenceOffset(0, s); }, 1},
      {"reference boundary before insertion", "a[+XY]b", [](auto s) { return QMDisplayLocationForReferenceOffset(1, s); }, 1},
      {"target count over a deletion", "ab[-cd]e", [](auto s) { return QMTargetCharacterCountInDisplayRange(Range{1, 4}, s); }, 2},
      {"reference count over an insertion", "a[+XY]b", [](auto s) { return QMReferenceCharacterCountInDisplayRange(Range{0, 9}, s); }, 2},
      {"count from beyond the end", "ab", [](auto s) { return QMTargetCharacterCountInDisplayRange(Range{3, 1}, s); }, 0},
      {"empty storage", "", [](auto s) { return QMDisplayLocationForTargetOffset(3, s); }, 0},
      {"missing storage", "ab", [](auto) { return QMTargetOffsetForDisplayLocation(1, nullptr); }, 0},
      {"inserted inside", "a[+X]b", [](auto s) { return std::size_t(QMDisplayRangeContainsInsertedCharacters(Range{0, 2}, s)); }, 1},
      {"inserted from the end", "a[+X]", [](auto s) { return std::size_t(QMDisplayRangeContainsInsertedCharacters(Range{2, 1}, s)); }, 0},
      {"inserted only", "a[+XY]b", [](auto s) { return std::size_t(QMRangeIsInsertedOnly(Range{1, 2}, s)); }, 1},
      {"inserted only, kept too", "a[+XY]b", [](auto s) { return std::size_t(QMRangeIsInsertedOnly(Range{1, 3}, s)); }, 0},
      {"inserted only past the end", "a[+XY]", [](auto s) { return std::size_t(QMRangeIsInsertedOnly(Range{1, 5}, s)); }, 0},
  };
  for (const auto& c : cases) {
    auto storage = Storage(c.spec);
    EXPECT_EQ(c.query(storage.get()), c.expected) << c.name;
  }
  EXPECT_EQ(S(QMTargetTextFromStorage(Storage("the [-cat][+dog] sat").get())), "the dog sat");
}

using TrackedEditor = EditorWindow;

TEST_F(TrackedEditor, DiffDisplayStrikesAndInsertsAndPlainDisplayDropsTheStruck) {
  Diff("the cat sat", "the dog sat");
  EXPECT_EQ(Runs(), "the [-cat][+dog] sat");
  EXPECT_EQ(Target(), "the dog sat");
  const TextAttributes& struck = text->textStorage().attributesAt(4);
  EXPECT_EQ(struck.strikethroughStyle, 1);
  EXPECT_EQ(struck.strikethroughColor, struck.foregroundColor);

  ClickAt(12);  // before "at"
  editor->setLineChangeEnabled(false);
  editor->applyTrackedStyling();
  EXPECT_EQ(S(text->string()), "the dog sat");
  EXPECT_EQ(Selection(), (Range{9, 0}));  // still before "at"
  EXPECT_EQ(text->textStorage().attributesAt(4), QMTrackedBaseAttributes(Font::system(13)));

  // The diff display with an empty reference shows the plain text.
  editor->setLineChangeEnabled(true);
  editor->setReferenceText(u"");
  editor->applyTrackedStyling();
  EXPECT_EQ(Runs(), "the dog sat");
}

TEST_F(TrackedEditor, CaretAndSelectionSurviveARebuild) {
  Diff("the cat sat", "the dog sat");
  ClickAt(12);  // between "s" and "at"
  editor->setReferenceText(u"the cow sat");
  editor->applyTrackedStyling();
  EXPECT_EQ(Runs(), "the [-cow][+dog] sat");
  EXPECT_EQ(Selection(), (Range{12, 0}));

  Drag(7, 10);  // "dog"
  editor->setReferenceText(u"a cat sat");
  editor->applyTrackedStyling();
  EXPECT_EQ(Runs(), "[-a][+the] [-cat][+dog] sat");
  // The same target characters stay selected (with the struck word the start now stands before).
  const TextStorage* st = &text->textStorage();
  EXPECT_EQ(QMTargetOffsetForDisplayLocation(Selection().location, st), 4u);
  EXPECT_EQ(QMTargetOffsetForDisplayLocation(Selection().end(), st), 7u);
}

TEST_F(TrackedEditor, AClickReplacesTheCaretAnEarlierEditLeftForTheNextRebuild) {
  Diff("the cat sat", "the cat sat");
  ClickAt(7);
  Type("s");  // leaves its caret for the next rebuild
  ClickAt(2);
  editor->setReferenceText(u"the cat sat!");
  editor->applyTrackedStyling();
  EXPECT_EQ(Selection(), (Range{2, 0}));
}

TEST_F(TrackedEditor, MarkedTextIsNotRestyledUntilCommitted) {
  Diff("the cat sat", "the cat sat");
  ClickAt(7);
  text->setMarkedText(u"s");
  editor->setDirtyTrackedLayout(true);
  editor->applyTrackedStyling();
  EXPECT_TRUE(editor->hasActiveMarkedText());
  EXPECT_EQ(Runs(), "the cat[+s] sat");  // composed text shows as inserted, nothing rebuilt
  text->setMarkedText(u"sy");
  text->unmarkText();
  EXPECT_FALSE(editor->hasActiveMarkedText());
  EXPECT_EQ(Runs(), "the [-cat][+catsy] sat");  // the commit rebuilt the diff
}

TEST_F(TrackedEditor, BackspaceInsideAKeptWordStrikesTheCharacter) {
  Diff("the cat sat", "the cat sat");
  ClickAt(7);
  Key(keys::kBackspace);
  EXPECT_EQ(Runs(), "the ca[-t] sat");
  EXPECT_EQ(Selection(), (Range{6, 0}));
  EXPECT_EQ(Target(), "the ca sat");
}

TEST_F(TrackedEditor, ReplacingAKeptWordStrikesItAndTypesAfterIt) {
  Diff("the cat sat", "the cat sat");
  Drag(4, 7);
  Type("d");
  EXPECT_EQ(Runs(), "the [-cat][+d] sat");
  EXPECT_EQ(Selection(), (Range{8, 0}));
}

TEST_F(TrackedEditor, DeletingOrReplacingATypedWordRemovesIt) {
  Diff("the cat sat", "the dog sat");
  Drag(7, 10);
  Key(keys::kForwardDelete);
  EXPECT_EQ(Runs(), "the [-cat] sat");
  Diff("the cat sat", "the dog sat");
  Drag(7, 10);
  Type("x");
  EXPECT_EQ(Runs(), "the [-cat][+x] sat");
  EXPECT_EQ(Selection(), (Range{8, 0}));
}

TEST_F(TrackedEditor, RetypingADeletedWordRestoresIt) {
  Diff("the cat sat", "the sat");
  EXPECT_EQ(Runs(), "the[- cat] sat");
  ClickAt(7);
  Paste("cat");
  EXPECT_EQ(Runs(), "the cat sat");
  EXPECT_EQ(Selection(), (Range{7, 0}));
}

TEST_F(TrackedEditor, TheCleanUpCollapsesAWordDeletedAndTypedAndKeepsTheCaretInside) {
  Diff("hello there", "hello there");
  Drag(0, 5);
  Key(keys::kBackspace);
  ClickAt(6);
  Paste("hello");
  // Deleted "hello", a kept space, typed "hello": one kept "hello"; the caret, which stood after
  // the typed word, moves back with the text removed before it.
  EXPECT_EQ(Runs(), "hellothere");
  EXPECT_EQ(Selection(), (Range{5, 0}));
}

// A letter typed inside a kept word beside its equal is a letter of that word: it stays.
TEST_F(TrackedEditor, ALetterTypedBesideItsEqualInsideAWordStays) {
  const struct { std::size_t at; const char *typed, *target; } cases[] = {
      {12, "s", "the dog ssat"},  // after the "s" that follows the typed "dog"
      {13, "t", "the dog satt"},  // before the last "t"
  };
  for (const auto& c : cases) {
    Diff("the cat sat", "the dog sat");
    ClickAt(c.at);
    Type(c.typed);
    EXPECT_EQ(Target(), c.target);
  }
}

TEST_F(TrackedEditor, TheTargetNeverGrowsPastTheLimit) {
  Diff(Words(195), Words(195));
  Paste("0123456789");
  EXPECT_EQ(Target(), Words(195) + "01234");

  Diff(Words(200), Words(200));
  Drag(10, 13);
  Paste("0123456789");
  EXPECT_EQ(Target().size(), 200u);
  EXPECT_EQ(Runs(), Words(10) + "[-" + Words(13).substr(10) + "][+012]" + Words(200).substr(13));

  Diff(Words(200), Words(200));
  Type("x");
  EXPECT_EQ(Runs(), Words(200));

  // An emoji of two units at unit 199 is refused, not split.
  Diff(Words(199), Words(199));
  Paste("\xF0\x9F\x98\x80");
  EXPECT_EQ(Target(), Words(199));
}

TEST_F(TrackedEditor, ARestoredWordWithItsSpacesStaysInsideTheLimit) {
  const std::string tail = Words(197);
  Diff("cat " + tail, tail);
  ClickAt(4);
  Paste("cat");  // restoring "cat " would add 4 units where 3 are left
  EXPECT_EQ(Target(), "ca" + tail);
  EXPECT_EQ(Runs(), "[-cat ][+ca]" + tail);
}

TEST_F(TrackedEditor, ACommittedCompositionIsCutToTheLimit) {
  Diff(Words(199), Words(199));
  text->setMarkedText(u"xyz");
  text->unmarkText();
  EXPECT_EQ(Target(), Words(199) + "x");
}

TEST_F(TrackedEditor, ReferenceModeEditsBothTextsOrOnlyTheReference) {
  Diff("the cat sat", "the dog sat", /*editReference=*/true);
  ClickAt(12);
  Type("x");
  EXPECT_EQ(Reference(), "the cat sxat");
  EXPECT_EQ(Target(), "the dog sxat");
  EXPECT_EQ(Selection(), (Range{13, 0}));

  ClickAt(8);  // inside the typed "dog"
  Type("y");
  EXPECT_EQ(Reference(), "the caty sxat");
  EXPECT_EQ(Target(), "the dog sxat");
}

// A reference edit reaches the target only inside text both hold (the window's test types an empty one).
TEST_F(TrackedEditor, ReferenceEditsReachTheTargetOnlyInsideSharedText) {
  const struct { void (*edit)(TrackedEditor&); const char *newReference, *newTarget; } cases[] = {
      {[](TrackedEditor& t) { t.ClickAt(10), t.Type("x"); }, "the catx sat", "the dog sat"},
      {[](TrackedEditor& t) { t.ClickAt(13), t.Key(keys::kBackspace); }, "the cat st", "the dog st"},
      {[](TrackedEditor& t) { t.ClickAt(10), t.text->setMarkedText(u"x"), t.text->unmarkText(); }, "the catx sat", "the dog sat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.newReference);
    Diff("the cat sat", "the dog sat", /*editReference=*/true);
    c.edit(*this);
    EXPECT_EQ(Reference() + "|" + Target(), std::string(c.newReference) + "|" + c.newTarget);
  }
}

// One Backspace takes a whole family emoji or an e with its accent, in both displays.
TEST_F(TrackedEditor, BackspaceTakesAWholeCharacterInBothDisplays) {
  for (const std::string character : {"\U0001F468\u200D\U0001F469\u200D\U0001F467", "e\u0301"}) {
    for (const bool diff : {false, true}) {
      SCOPED_TRACE(std::string(diff ? "diff " : "plain ") + character);
      editor->setLineChangeEnabled(false);
      diff ? Diff("a" + character, "a" + character) : Plain("a" + character);
      Key(keys::kEnd);
      Key(keys::kBackspace);
      EXPECT_EQ(Runs(), diff ? "a[-" + character + "]" : "a");
    }
  }
}

TEST_F(TrackedEditor, ReferenceModeHoldsTheTargetToTheLimitToo) {
  const std::string tail = Words(195);
  Diff("a b c", "a b c" + tail, /*editReference=*/true);
  ClickAt(1);
  Type("x");
  EXPECT_EQ(Reference(), "a b c");
  EXPECT_EQ(Target(), "a b c" + tail);
}

TEST_F(TrackedEditor, DeletingKeptAndTypedTextTogetherRemovesTheTypedAndStrikesTheKept) {
  Diff("the cat sat", "the dog sat");
  Drag(4, 10);  // "catdog"
  Key(keys::kBackspace);
  EXPECT_EQ(Runs(), "the [-cat] sat");
  EXPECT_EQ(Target(), "the  sat");
  // The reference as shown is still the reference text, so its offsets stay right.
  EXPECT_EQ(S(text->string()), Reference());
}

TEST_F(TrackedEditor, APicksHighlightDoesNotStopAWordBeingRestored) {
  Diff("the cat sat", "the sat");  // "the[- cat] sat"
  editor->setRepairSelectionMode(true);
  editor->setRepairWordDisplayRanges({{5, 2}});
  Drag(5, 6);  // picks "at" of the struck " cat"
  editor->setRepairSelectionMode(false);
  ClickAt(7);
  Paste("cat");
  EXPECT_EQ(Runs(), "the cat sat");
  // The target changed under the pick, so the pick went with the edit.
  EXPECT_FALSE(text->textStorage().attributesAt(5).backgroundColor.has_value());
}

TEST_F(TrackedEditor, PlainDisplayKeepsTheFirst200UnitsWithoutSplittingACharacter) {
  Plain(Words(200));
  Key(keys::kHome);
  Type("x");
  EXPECT_EQ(Target(), "x" + Words(199));
  EXPECT_EQ(Selection(), (Range{1, 0}));

  Plain(Words(198) + "\xF0\x9F\x98\x80");  // the emoji ends at unit 200
  Key(keys::kHome);
  Type("x");
  EXPECT_EQ(Target(), "x" + Words(198));
}

TEST_F(TrackedEditor, UndoAndRedoKeys) {
  Plain("the cat");
  Type(" sat");
  Command(u'z');
  EXPECT_EQ(Target(), "the cat");
  Command(u'Z', kModifierShift);
  EXPECT_EQ(Target(), "the cat sat");
  Command(u'z');
  Command(u'z', kModifierOption);  // left to the text view: nothing
  window.typeKey(u"z", kModifierControl, 0, u"z");
  EXPECT_EQ(Target(), "the cat");
}

TEST_F(TrackedEditor, TheEditingKeysLeaveAnotherFieldWithTheKeyboardAlone) {
  Plain("the cat");
  auto other = std::make_shared<TextView>(Rect{0, 40, 200, 20});
  window.contentView()->addSubview(other);
  window.makeFirstResponder(other.get());
  Pasteboard::general().clearContents();
  Pasteboard::general().setString(u"dog");
  Command(u'v');
  Command(u'a');
  EXPECT_EQ(Target(), "the cat");
  EXPECT_EQ(Selection(), (Range{7, 0}));
}

TEST_F(TrackedEditor, UndoDoesNotReplayAgainstARewrittenText) {
  Plain("the cat");
  Type("s");
  // The window switches to the diff display; the display is rebuilt around the same target.
  editor->setLineChangeEnabled(true);
  editor->setReferenceText(u"the dog");
  editor->applyTrackedStyling();
  EXPECT_EQ(Runs(), "the [-dog][+cats]");
  Command(u'z');
  EXPECT_EQ(Target(), "the cats");
}

TEST_F(TrackedEditor, PasteInsertsPlainTextOnly) {
  TextAttributes loud;
  loud.foregroundColor = Color::deviceRGB(1, 0, 0);
  loud.font = Font::boldSystem(20);
  Pasteboard::general().clearContents();
  Pasteboard::general().setRichText(AttributedString(std::string("red"), loud));
  Pasteboard::general().setString(u"red");

  Plain("a ");
  Command(u'v');
  EXPECT_EQ(Target(), "a red");
  EXPECT_EQ(text->textStorage().attributesAt(3), QMTrackedBaseAttributes(Font::system(13)));

  Diff("a", "a");
  Command(u'v');
  EXPECT_EQ(Runs(), "a[+red]");
  EXPECT_EQ(text->textStorage().attributesAt(2), QMTrackedInsertedAttributes(Font::system(13)));
}

// With no reference (no transcript yet) the diff display edits as the plain one, held to 200
// units, and shows the diff once a reference arrives.
TEST_F(TrackedEditor, AnEmptyReferenceEditsPlainlyUntilOneArrives) {
  Diff("", "");
  Type("hello");
  Key(keys::kBackspace);
  Type("p");
  EXPECT_EQ(Runs(), "hellp");
  Diff("", "");
  Type(Words(200));
  Key(keys::kHome);
  Type("x");
  EXPECT_EQ(Target(), "x" + Words(199));
  Diff("help", "hello");
  Key(keys::kEnd);
  Type("s");
  EXPECT_EQ(Runs(), "[-help][+hellos]");
}

// A right-to-left line laid out by the real text system is drawn where clicks, drags and the caret
// measure it: on the right, as a right-to-left paragraph stands.
struct RightToLeft : EditorWindow {
  ScopedTextMeasurer pango{makePangoTextMeasurer()};
  struct Drawn { int firstText = -1, lastText = -1, caret = -1; };  // columns on black: text grey, caret blue
  Drawn Draw() {
    const Bitmap b = render::renderView(*editor, 1.0, Color::black());
    Drawn d;
    for (int x = 0; x < b.width; ++x)
      for (int y = 0; y < b.height; ++y) {
        const int r = (b.at(x, y) >> 16) & 0xFF, g = (b.at(x, y) >> 8) & 0xFF, bl = b.at(x, y) & 0xFF;
        if (bl > 150 && bl - r > 100 && d.caret < 0) d.caret = x;
        if (r > 60 && std::abs(r - bl) < 50 && std::abs(r - g) < 50) d.lastText = x, d.firstText = d.firstText < 0 ? x : d.firstText;
      }
    return d;
  }
  Point OnLine(double x) const { return text->convertPointToView(Point{x, text->caretRectForIndex(0).midY()}, nullptr); }
};

TEST_F(RightToLeft, TheLineIsDrawnWhereItIsClickedAndTheCaretStandsOnIt) {
  editor->setTargetText(U("שלום עולם"));  // "שלום" drawn on the right, "עולם" on the left
  const Drawn drawn = Draw();
  EXPECT_GT(drawn.firstText, 221) << "a right-to-left line stands on the right";
  EXPECT_NEAR(drawn.caret, drawn.firstText, 3) << "the caret at the end stands beside the leftmost character";
  window.click(OnLine(drawn.lastText - 1.5));  // the right half of the first character
  EXPECT_EQ(Selection(), (Range{0, 0}));
  EXPECT_NEAR(Draw().caret, drawn.lastText, 3);
  editor->setRepairSelectionMode(true);  // a drag inside the word drawn on the left picks it
  window.sendEvent(Event::mouse(EventType::LeftMouseDown, OnLine(drawn.firstText + 2)));
  window.sendEvent(Event::mouse(EventType::LeftMouseDragged, OnLine(drawn.firstText + 6)));
  window.sendEvent(Event::mouse(EventType::LeftMouseUp, OnLine(drawn.firstText + 6)));
  EXPECT_EQ(editor->repairHighlightDisplayRanges(), (std::vector<qm::platform::TextRange>{{5, 4}}));
}

// Hebrew with a Latin name and digits: clicked at the name's left edge, the caret stands there, not
// at the name's other end, where the same place in the text is also drawn.
TEST_F(RightToLeft, InAMixedLineTheCaretStaysOnTheCharacterClicked) {
  editor->setTargetText(U("שלום David 2024 עולם"));
  const double left = text->convertPointToView(Point{text->rectsForCharacterRange(Range{5, 1}).at(0).minX(), 0}, nullptr).x;
  window.click(OnLine(left + 1));  // at the "D"
  EXPECT_EQ(Selection(), (Range{5, 0}));
  EXPECT_NEAR(Draw().caret, left, 2);
}
