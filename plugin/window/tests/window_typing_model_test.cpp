// Seeded random typing through the window, checked after every step: keys land in the edited text
// at the caret; the timer call only takes resolved tags out, keeping the caret's place; the line
// sent holds no resolved tag; an undo gives back an earlier state of the edited text and never
// touches the other one.
// Replay one seed with --gtest_filter='Seeds/TypingModel.*/<seed>'.

#include "WindowTickSupport.h"
#include "../../editor/tests/EditorTestSupport.h"

#include "QMLanguages.h"

#include <random>
#include <set>

using editor_test::S;
using editor_test::U;
using qmwindowtest::TickFixture;

namespace {

namespace keys = qm::ui::keys;

// Listed languages, which leave the line, and brackets that stay.
const char* const kTags[] = {"(fr)", "(it)", "(de)", "(zz)", "(xyz)", "(maybe)"};

bool HoldsResolvedTag(const std::string& text) { return QMExtractFishLanguageTags(text, nullptr, nullptr); }

// The removal repeated while it takes out a tag the last one closed.
std::string WithoutTags(std::string text) {
  std::string again;
  while (QMExtractFishLanguageTags(text, &again, nullptr) && again != text) text = std::move(again);
  return text;
}

struct Step {
  enum Kind { Type, SelectAll, Key, Click, Change, Undo, Tick };
  Step(Kind k, std::u16string keys = {}) : kind(k), text(std::move(keys)) {}
  Kind kind;
  std::u16string text;       // Type: the keys (Home allowed); Key: the keys
  std::size_t where = 0;     // Click: display location
  bool tickBetween = false;  // Type: a timer call after each key
  bool twice = false;        // Tick: two calls; Change: an undo right after
};

Step RandomStep(std::mt19937& random) {
  const auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); };
  const int roll = pick(100);
  Step s{Step::Tick};
  if (roll < 25) {
    static const char16_t kLetters[] = u"abcdeklnorst   ";
    s = {Step::Type, std::u16string(1, kLetters[pick(int(std::size(kLetters)) - 1)])};
  } else if (roll < 28) {
    s = {Step::Type, u"\U0001F600"};
  } else if (roll < 31) {
    s = {Step::Type, u"\u05E9\u05DC\u05D5\u05DD"};  // right-to-left
    s.tickBetween = pick(2) == 0;
  } else if (roll < 40) {  // a tag, a third of them at the start, where struck words may stand
    s = {Step::Type, (pick(3) == 0 ? std::u16string(1, keys::kHome) : u"") + U(kTags[pick(int(std::size(kTags)))]) +
                         (pick(2) == 0 ? u" " : u"")};
    s.tickBetween = pick(2) == 0;
  } else if (roll < 47) {
    s = {Step::Key, std::u16string(1, keys::kBackspace)};
  } else if (roll < 52) {  // now and then words at the start go, struck in After mode
    const std::size_t n = pick(3) == 0 ? std::size_t(1 + pick(4)) : 0;
    s = {Step::Key, (n ? std::u16string(1, keys::kHome) : u"") + std::u16string(std::max<std::size_t>(n, 1), keys::kForwardDelete)};
  } else if (roll < 54) {
    s = {Step::SelectAll};
  } else if (roll < 62) {
    static const char16_t kArrows[] = {keys::kLeftArrow, keys::kRightArrow, keys::kHome, keys::kEnd};
    s = {Step::Key, std::u16string(1, kArrows[pick(4)])};
  } else if (roll < 67) {
    s = {Step::Click};
    s.where = std::size_t(pick(60));
  } else if (roll < 73) {
    s = {Step::Change};
    s.twice = pick(3) == 0;
  } else if (roll < 80) {
    s = {Step::Undo};
  } else {
    s.twice = pick(3) == 0;
  }
  return s;
}

struct TypingModel : TickFixture, ::testing::WithParamInterface<unsigned> {
  std::set<std::string> beforeSeen, afterSeen;  // every value each text held, for the undo check

  QMTrackedTextEditorView& Editor() { return *Views().editorView; }
  bool EditingBefore() { return w.gui->IsEditingBeforeText(); }
  bool Diff() { return Editor().lineChangeEnabled(); }
  bool DiffEditsBefore() { return Diff() && Editor().editReferenceWhileShowingDiff(); }
  std::string Edited() { return S(EditingBefore() && Diff() ? Editor().referenceText() : Editor().targetText()); }
  std::string Other() { return S(EditingBefore() ? Editor().targetText() : Editor().referenceText()); }
  qm::ui::Range Selection() { return Editor().textView()->selectedRange(); }

  // The caret's offset in the edited text: display characters of the other text left out.
  std::size_t Caret() {
    const std::size_t at = Selection().location;
    if (!Diff()) return at;
    const qm::ui::TextStorage& storage = Editor().textView()->textStorage();
    std::size_t n = 0;
    for (std::size_t i = 0; i < at && i < storage.length(); ++i) {
      const qm::ui::TextAttributes& a = storage.attributesAt(i);
      n += DiffEditsBefore() ? !QMIsInsertedCharacter(a) || QMIsDeletedCharacter(a) : !QMIsDeletedCharacter(a);
    }
    return n;
  }
  void Note() {
    if (Diff()) {
      beforeSeen.insert(S(Editor().referenceText()));
      afterSeen.insert(S(Editor().targetText()));
    } else {
      (EditingBefore() ? beforeSeen : afterSeen).insert(S(Editor().targetText()));
    }
  }
  void Key(const std::u16string& typed) {
    for (char16_t key : typed) w.window.typeKey(std::u16string(1, key));
  }
  void Command(char16_t c) { w.window.typeKey(std::u16string(1, c), qm::ui::kModifierCommand, 0, std::u16string(1, c)); }

  // One key typing `text` lands in the edited text at the caret.
  void TypeChecked(const std::u16string& text) {
    const bool diff0 = Diff(), plainOrEditedInDiff = !Diff() || DiffEditsBefore() == EditingBefore();
    const std::size_t displayLength = Editor().textView()->string().size();
    const std::string edited0 = Edited();
    const std::size_t caret = Caret();
    const bool caretOnly = Selection().length == 0;
    w.window.typeKey(text);  // one key, an emoji's pair whole
    Note();
    if (!caretOnly) return;
    // Left out: the length limit, and the After-mode clean-up that merges a word typed beside its
    // equal (it shortens the display).
    const bool merged = diff0 && !EditingBefore() && Editor().textView()->string().size() < displayLength + text.size();
    if (plainOrEditedInDiff && U(edited0).size() + text.size() <= 200 && !merged) {
      EXPECT_EQ(Edited(), S(U(edited0).insert(caret, text))) << "a key typed at the caret";
    }
  }

  void TickChecked(bool twice) {
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
      const bool diff0 = Diff(), caretOnly = Selection().length == 0;
      const std::string x = Edited();
      const std::size_t caret = Caret();
      Tick();
      Note();
      const std::string y = Edited(), sent = Store().ReadString(kQMBlock_Text, 16383);
      EXPECT_TRUE(y == x || y == WithoutTags(x)) << "the timer call made '" << x << "' '" << y << "'";
      EXPECT_FALSE(HoldsResolvedTag(sent)) << "the line sent holds a tag: '" << sent << "'";
      if (!caretOnly || Selection().length != 0 || (y == x && diff0 != Diff())) continue;
      // The tag went as one stretch: the caret keeps its place among the characters that stay.
      const std::u16string a = U(x), b = U(y);
      std::size_t prefix = 0, suffix = 0;
      while (prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
      while (suffix < b.size() - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) ++suffix;
      if (prefix + suffix != b.size()) continue;
      const std::size_t expected = caret <= prefix ? caret : caret >= a.size() - suffix ? caret - (a.size() - b.size()) : prefix;
      EXPECT_EQ(Caret(), expected) << "the caret moved in '" << x << "' -> '" << y << "'";
    }
    if (twice) {
      EXPECT_FALSE(HoldsResolvedTag(Edited())) << "a tag stays in '" << Edited() << "'";
    }
  }

  void UndoChecked() {
    const bool before = EditingBefore(), diff0 = Diff();
    const std::string edited0 = Edited(), other0 = Other();
    Command(u'z');
    EXPECT_TRUE(Edited() == edited0 || (before ? beforeSeen : afterSeen).count(Edited()))
        << "an undo made '" << Edited() << "', never held";
    if (diff0 && Diff()) {
      EXPECT_EQ(Other(), other0) << "an undo changed the text not being edited";
    }
  }

  void Run(const Step& s) {
    switch (s.kind) {
      case Step::Type:
        for (std::size_t i = 0; i < s.text.size(); ++i) {
          if (s.text[i] == keys::kHome) {
            Key(std::u16string(1, keys::kHome));
            continue;
          }
          const std::size_t n = s.text[i] >= 0xD800 && s.text[i] < 0xDC00 ? 2 : 1;
          TypeChecked(s.text.substr(i, n));
          i += n - 1;
          if (s.tickBetween) TickChecked(false);
        }
        break;
      case Step::SelectAll: Command(u'a'); break;
      case Step::Key: Key(s.text); break;
      case Step::Click: {
        qm::ui::TextView& text = *Editor().textView();
        const qm::ui::Rect caret = text.caretRectForIndex(std::min(s.where, text.string().size()));
        w.window.click(text.convertPointToView(qm::ui::Point{caret.minX() + 0.1, caret.midY()}, nullptr));
        break;
      }
      case Step::Change: {
        const bool before = EditingBefore();
        const std::string edited = Edited();
        Press(Views().changeToolButton);
        ASSERT_NE(EditingBefore(), before);
        if (Diff()) {
          EXPECT_EQ(Other(), edited) << "lost by the switch";
        }
        if (s.twice) {
          Note();
          UndoChecked();
        }
        break;
      }
      case Step::Undo: UndoChecked(); break;
      case Step::Tick: TickChecked(s.twice); break;
    }
    Note();
  }

  void RunSeed(unsigned seed, int count) {
    std::mt19937 random(seed);
    // No transcript, the transcript, "please " struck, or "red" made "blue"; then either mode.
    const unsigned start = random() % 4;
    if (start != 0) Transcript(R"({"text":"please take the red one"})");
    FocusEditor();
    Note();
    if (start >= 2) {
      Run({Step::Change});
      if (start == 2) Run({Step::Key, keys::kHome + std::u16string(7, keys::kForwardDelete)});  // "please "
      if (start == 3) Run({Step::Key, keys::kEnd + std::u16string(4, keys::kLeftArrow) + std::u16string(3, keys::kBackspace)});
      if (start == 3) Run({Step::Type, u"blue"});
      Run({Step::Tick});
    }
    if (random() % 2 == 0) Run({Step::Change});
    for (int i = 0; i < count && !HasFailure(); ++i) {
      Run(RandomStep(random));
      if (HasFailure()) ADD_FAILURE() << "seed " << seed << ", step " << i;
    }
  }
};

TEST_P(TypingModel, RandomKeySequencesKeepTheirPromises) { RunSeed(GetParam(), 60); }

INSTANTIATE_TEST_SUITE_P(Seeds, TypingModel, ::testing::Range(0u, 60u));

}  // namespace
