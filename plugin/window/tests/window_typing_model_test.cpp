// Seeded random typing through the window, checked after every step against what the window
// promises whatever the sequence: keys typed land in the text being edited at the caret; an
// edit of the Before text outside the text both lines share leaves the After text alone; the
// timer call only takes resolved language tags out (keys typed where one just left count as
// typed before it, until the caret is placed), and the caret keeps its place among the
// characters that stay; the line sent never holds a resolved tag; an undo gives back an earlier state of the text being edited, or
// does nothing, and never touches the other text.
//
// Each seed is one test, run in a window of its own and replayed by its name
// (--gtest_filter='Seeds/TypingModel.*/<seed>'); a failure, a throw included, names the seed and
// the steps up to it. QM_TYPING_MODEL_SEEDS and QM_TYPING_MODEL_STEPS (60 when unset, as in CI)
// set how many seeds of how many steps run.

#include "WindowTickSupport.h"
#include "../../editor/tests/EditorTestSupport.h"

#include "QMLanguages.h"

#include <cstdlib>
#include <optional>
#include <random>
#include <set>
#include <sstream>

using editor_test::S;
using editor_test::U;
using qmwindowtest::TickFixture;

namespace {

namespace keys = qm::ui::keys;

constexpr const char* kTranscript = "please take the red one";
const std::u16string kEmoji = u"\U0001F600";
const std::u16string kRightToLeftWord = u"\u05E9\u05DC\u05D5\u05DD";  // a Hebrew word, four letters
// Tags of listed languages, which leave the line, and brackets that stay: a two-letter word that
// names no language, a three-letter one, a stage direction.
const char* const kTags[] = {"(fr)", "(it)", "(de)", "(zz)", "(xyz)", "(maybe)"};

// True when `text` holds a tag that names a listed language: what the window takes out.
bool HoldsResolvedTag(const std::string& text) { return QMExtractFishLanguageTags(text, nullptr, nullptr); }

// What the window leaves: the removal repeated while it takes out a tag that the last one closed.
std::string WithoutTags(const std::string& text) {
  std::string cleaned = text, again;
  while (QMExtractFishLanguageTags(cleaned, &again, nullptr) && again != cleaned) cleaned = std::move(again);
  return cleaned;
}

// Spaces squeezed to one and the ends trimmed, as a cleaning leaves a text.
std::u16string Squeezed(std::u16string text) {
  for (std::size_t at; (at = text.find(u"  ")) != std::u16string::npos;) text.erase(at, 1);
  return std::u16string(qm::platform::trimWhitespaceAndNewlines(text));
}

// Where the caret at `at` of `text` stands once the tags are out (`cleaned`): among the characters
// before it that stay. A mark put there goes along with them; a mark that breaks a tag is moved
// before it, where the caret lands when the tag goes.
std::size_t CaretWithoutTags(const std::u16string& text, std::size_t at, const std::u16string& cleaned) {
  constexpr char16_t kMark = u'\uE000';
  for (std::size_t place = at;; --place) {
    if (place > 0 && place < text.size() && text[place] >= 0xDC00 && text[place] < 0xE000) continue;
    std::u16string marked = U(WithoutTags(S(std::u16string(text).insert(place, 1, kMark))));
    const std::size_t mark = marked.find(kMark);
    marked.erase(mark, 1);
    if (place == 0 || Squeezed(marked) == cleaned) return std::min(mark, cleaned.size());
  }
}

// The first place of `raw` whose caret lands at `at` of `cleaned` once the tags are out.
std::size_t FirstPlaceLandingAt(const std::u16string& raw, const std::u16string& cleaned, std::size_t at) {
  for (std::size_t place = 0; place < raw.size(); ++place) {
    if (place > 0 && raw[place] >= 0xDC00 && raw[place] < 0xE000) continue;
    if (CaretWithoutTags(raw, place, cleaned) >= at) return place;
  }
  return raw.size();
}

// Keys written out for a failure message: editing keys by name, text as it stands.
std::string Shown(const std::u16string& typed) {
  std::string out;
  std::u16string text;
  for (char16_t c : typed) {
    const char* name = c == keys::kBackspace      ? "{bs}"
                       : c == keys::kForwardDelete ? "{del}"
                       : c == keys::kLeftArrow     ? "{left}"
                       : c == keys::kRightArrow    ? "{right}"
                       : c == keys::kHome          ? "{home}"
                       : c == keys::kEnd           ? "{end}"
                                                   : nullptr;
    if (!name) {
      text += c;
      continue;
    }
    out += S(text) + name;
    text.clear();
  }
  return out + S(text);
}

// What the editor shows, read from its text storage: each display character kept, typed (in the
// After text only) or struck (in the Before text only).
struct Display {
  std::u16string string;
  std::vector<int> kind;  // 0 kept, 1 struck, 2 typed
  bool diff = false;
  bool editsReference = false;
  qm::ui::Range selection;

  // The offset in the After text (struck characters left out) or the Before text (typed ones
  // left out) of a display location.
  std::size_t AfterOffset(std::size_t location) const { return Count(location, 1); }
  std::size_t BeforeOffset(std::size_t location) const { return Count(location, 2); }
  std::size_t Count(std::size_t location, int leftOut) const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < location && i < kind.size(); ++i) n += kind[i] != leftOut ? 1 : 0;
    return n;
  }
  // No character kept by both texts within two units of the range: an edit there is not inside
  // shared text.
  bool AwayFromSharedText(qm::ui::Range r) const {
    const std::size_t from = r.location >= 2 ? r.location - 2 : 0;
    const std::size_t to = std::min(kind.size(), r.location + r.length + 2);
    for (std::size_t i = from; i < to; ++i) {
      if (kind[i] == 0) return false;
    }
    return true;
  }
};

struct Step {
  enum Kind { Type, Tag, Backspace, Delete, SelectAll, Arrow, Click, Change, Undo, Tick };
  Step(Kind k, std::u16string keys = {}) : kind(k), text(std::move(keys)) {}
  Kind kind;
  std::u16string text;       // Type, Tag: the keys; Arrow: the key
  std::size_t where = 0;     // Click: a display location (clamped); Delete: Home, then that many
  bool tickBetween = false;  // Tag and multi-key Type: a timer call after each key
  bool twice = false;        // Tick: a second timer call right after; Change: an undo right after

  std::string Describe() const {
    switch (kind) {
      case Type: return "type '" + Shown(text) + (tickBetween ? "' ticking" : "'");
      case Tag: return "tag '" + Shown(text) + (tickBetween ? "' ticking" : "'");
      case Backspace: return "{bs}";
      case Delete: return where ? "{home}" + std::to_string(where) + "x{del}" : "{del}";
      case SelectAll: return "{cmd-a}";
      case Arrow: return Shown(text);
      case Click: return "click@" + std::to_string(where);
      case Change: return twice ? "Change, {cmd-z}" : "Change";
      case Undo: return "{cmd-z}";
      case Tick: return twice ? "tick tick" : "tick";
    }
    return "?";
  }
};

Step RandomStep(std::mt19937& random) {
  const auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); };
  const int roll = pick(100);
  Step s(Step::Tick);
  if (roll < 25) {
    static const char16_t kLetters[] = u"abcdeklnorst   ";
    s = {Step::Type, std::u16string(1, kLetters[pick(int(std::size(kLetters)) - 1)])};
  } else if (roll < 28) {
    s = {Step::Type, kEmoji};
  } else if (roll < 31) {
    s = {Step::Type, kRightToLeftWord};
    s.tickBetween = pick(2) == 0;
  } else if (roll < 40) {
    // A third of the tags go to the start of the line, where struck words may stand.
    s = {Step::Tag, (pick(3) == 0 ? std::u16string(1, keys::kHome) : u"") + U(kTags[pick(int(std::size(kTags)))]) +
                        (pick(2) == 0 ? u" " : u"")};
    s.tickBetween = pick(2) == 0;
  } else if (roll < 47) {
    s = {Step::Backspace};
  } else if (roll < 52) {
    // Now and then a few words at the start go, which in After mode strikes them.
    s = {Step::Delete};
    if (pick(3) == 0) s.where = std::size_t(1 + pick(4));
  } else if (roll < 54) {
    s = {Step::SelectAll};
  } else if (roll < 62) {
    static const char16_t kArrows[] = {keys::kLeftArrow, keys::kRightArrow, keys::kHome, keys::kEnd};
    s = {Step::Arrow, std::u16string(1, kArrows[pick(4)])};
  } else if (roll < 67) {
    s = {Step::Click};
    s.where = std::size_t(pick(60));
  } else if (roll < 73) {
    // A switch is often followed at once by an undo of what was typed before it.
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
  // Every value each text was seen to hold, for the undo check.
  std::set<std::string> beforeSeen, afterSeen;

  QMTrackedTextEditorView& Editor() { return *Views().editorView; }
  bool EditingBefore() { return w.gui->IsEditingBeforeText(); }

  Display Look() {
    Display d;
    QMTrackedTextEditorView& editor = Editor();
    const qm::ui::TextStorage& storage = editor.textView()->textStorage();
    d.string = storage.string();
    for (std::size_t i = 0; i < storage.length(); ++i) {
      const qm::ui::TextAttributes& a = storage.attributesAt(i);
      d.kind.push_back(QMIsDeletedCharacter(a) ? 1 : QMIsInsertedCharacter(a) ? 2 : 0);
    }
    d.diff = editor.lineChangeEnabled();
    d.editsReference = editor.editReferenceWhileShowingDiff();
    d.selection = editor.textView()->selectedRange();
    return d;
  }
  // The text the user edits now, and where the caret stands in it.
  std::string Edited() {
    return S(EditingBefore() && Editor().lineChangeEnabled() ? Editor().referenceText() : Editor().targetText());
  }
  std::size_t CaretInEdited(const Display& d) {
    if (!d.diff) return d.selection.location;
    return d.editsReference ? d.BeforeOffset(d.selection.location) : d.AfterOffset(d.selection.location);
  }
  void Note() {
    if (Editor().lineChangeEnabled()) {
      beforeSeen.insert(S(Editor().referenceText()));
      afterSeen.insert(S(Editor().targetText()));
    } else {
      (EditingBefore() ? beforeSeen : afterSeen).insert(S(Editor().targetText()));
    }
  }

  void Key(const std::u16string& key) { w.window.typeKey(key); }
  // A key that places the caret, even where it stands: keys typed next are no longer typed where
  // a tag left.
  void Place(const std::u16string& key) {
    Key(key);
    ForgetLeftTags();
  }
  void ForgetLeftTags() { leftTag[0] = leftTag[1] = std::nullopt; }
  void Command(char16_t letter) { w.window.typeKey(std::u16string(1, letter), qm::ui::kModifierCommand, 0, std::u16string(1, letter)); }

  // One key that types `text`, checked: in After mode the After text gains it at the caret, in
  // Before mode the Before text does, and outside shared text the After text stays as it was.
  void TypeChecked(const std::u16string& text, bool inTag) {
    const Display d0 = Look();
    const bool before = EditingBefore();
    const std::u16string target0 = Editor().targetText(), reference0 = Editor().referenceText();
    const std::size_t caret = CaretInEdited(d0);
    Key(text);
    Note();
    const Display d1 = Look();
    const std::u16string target1 = Editor().targetText(), reference1 = Editor().referenceText();
    if (d0.selection.length != 0) return;
    if (!before) {
      // A tag's own characters are checked as the rest; the limit and the clean-up pass that
      // merges a word typed beside its equal (which shortens the display) are left out.
      const bool merged = d0.diff && d1.string.size() < d0.string.size() + text.size();
      if (target0.size() + text.size() <= 200 && !merged) {
        EXPECT_EQ(S(target1), S(std::u16string(target0).insert(caret, text)))
            << "a key typed in After mode" << (inTag ? " (in a tag)" : "") << " is in the After text at the caret";
      }
      return;
    }
    const bool diffEditsReference = d0.diff && d0.editsReference;
    const std::u16string edited0 = diffEditsReference ? reference0 : target0;
    const std::u16string edited1 = diffEditsReference ? reference1 : Editor().targetText();
    if (edited0.size() + text.size() <= 200 && (diffEditsReference || !d0.diff)) {
      EXPECT_EQ(S(edited1), S(std::u16string(edited0).insert(caret, text)))
          << "a key typed in Before mode is in the Before text at the caret";
    }
    if (diffEditsReference && (reference0.empty() || d0.AwayFromSharedText(d0.selection))) {
      EXPECT_EQ(S(target1), S(target0)) << "a Before-mode edit outside shared text leaves the After text";
    }
  }

  // Backspace or Delete: outside shared text in Before mode, the After text stays.
  void DeleteChecked(char16_t key) {
    const Display d0 = Look();
    const std::u16string target0 = Editor().targetText(), reference0 = Editor().referenceText();
    Key(std::u16string(1, key));
    if (EditingBefore() && d0.diff && d0.editsReference) {
      const qm::ui::Range r = d0.selection.length ? d0.selection
                              : key == keys::kBackspace ? qm::ui::Range{d0.selection.location > 2 ? d0.selection.location - 2 : 0, 2}
                                                        : qm::ui::Range{d0.selection.location, 2};
      if (reference0.empty() || d0.AwayFromSharedText(r)) {
        EXPECT_EQ(S(Editor().targetText()), S(target0)) << "a Before-mode edit outside shared text leaves the After text";
      }
    }
  }

  // Where the timer call last took a tag out of the After (0) and the Before (1) text: the text
  // it cleaned and the caret there, what it left and the caret there. Keys typed at that caret
  // next count as typed before the tag left; a switch, or the caret placed, forgets this.
  struct LeftTag {
    std::u16string raw, left;
    std::size_t rawAt = 0, leftAt = 0;
  };
  std::optional<LeftTag> leftTag[2];

  // The timer call takes resolved tags out of the text being edited and nothing else, squeezing
  // and trimming the spaces as the cleaning does: what was typed since the last call stays, and
  // so does the caret's place among the characters that stay.
  void TickChecked(bool twice) {
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
      const Display d0 = Look();
      const bool before = EditingBefore();
      const std::u16string x = U(Edited());
      const std::size_t caret = CaretInEdited(d0);
      std::optional<LeftTag>& left = leftTag[before];
      // What the call cleans: the text, or keys typed where a tag left put back where it stood.
      std::u16string source = x;
      std::size_t sourceAt = caret;
      if (left && x.size() > left->left.size()) {
        const std::size_t typed = x.size() - left->left.size(), at = left->leftAt;
        const std::u16string r = std::u16string(left->raw).insert(left->rawAt, x, at, typed);
        if (x.compare(0, at, left->left, 0, at) == 0 && x.compare(at + typed, x.npos, left->left, at) == 0 &&
            HoldsResolvedTag(S(r)) && U(WithoutTags(S(r))).size() <= QMTrackedTextEditorView::kMaxLength) {
          source = r;
          sourceAt = caret < at            ? FirstPlaceLandingAt(left->raw, left->left, caret)
                     : caret <= at + typed ? left->rawAt + (caret - at)
                                           : FirstPlaceLandingAt(left->raw, left->left, caret - typed) + typed;
        }
      }
      const bool cleans = HoldsResolvedTag(S(source));
      const std::u16string expected = cleans ? U(WithoutTags(S(source))) : x;
      Tick();
      Note();
      const std::u16string y = U(Edited());
      EXPECT_EQ(S(y), S(expected)) << "the timer call on the " << (before ? "Before" : "After") << " text '" << S(x)
                                   << "' (cleaned as '" << S(source) << "')";
      const std::string sent = Store().ReadString(kQMBlock_Text, 16383);
      EXPECT_FALSE(HoldsResolvedTag(sent)) << "the line sent holds a tag: '" << sent << "'";
      const std::size_t landed = cleans ? CaretWithoutTags(source, sourceAt, expected) : caret;
      if (cleans) left = LeftTag{source, expected, sourceAt, landed};
      if (!cleans && left && x != left->left) left.reset();
      const Display d1 = Look();
      // A text the call leaves as it was is not shown again: the caret stays.
      if (d0.selection.length == 0 && d1.selection.length == 0 && y == expected && (y != x || d0.diff == d1.diff)) {
        EXPECT_EQ(CaretInEdited(d1), y == x ? caret : landed)
            << "the caret left its place in the " << (before ? "Before" : "After") << " text '" << S(x) << "' ("
            << (d0.diff ? "diff" : "plain") << " display, cleaned as '" << S(source) << "')";
      }
    }
    // Two calls in a row, no key between: the tag is out of the text being edited.
    if (twice) {
      EXPECT_FALSE(HoldsResolvedTag(Edited())) << "a tag stays in '" << Edited() << "'";
    }
  }

  void UndoChecked() {
    const bool before = EditingBefore();
    const bool diff0 = Editor().lineChangeEnabled();
    const std::string edited0 = Edited();
    const std::string other0 = S(before ? Editor().targetText() : Editor().referenceText());
    Command(u'z');
    const std::string edited1 = Edited();
    const std::set<std::string>& seen = before ? beforeSeen : afterSeen;
    EXPECT_TRUE(edited1 == edited0 || seen.count(edited1))
        << "an undo made the " << (before ? "Before" : "After") << " text '" << edited1 << "', which it never held";
    if (diff0 && Editor().lineChangeEnabled()) {
      EXPECT_EQ(S(before ? Editor().targetText() : Editor().referenceText()), other0)
          << "an undo changed the text not being edited";
    }
  }

  void Do(const Step& s) {
    switch (s.kind) {
      case Step::Type:
        for (std::size_t i = 0; i < s.text.size(); ++i) {
          const std::size_t n = s.text[i] >= 0xD800 && s.text[i] < 0xDC00 ? 2 : 1;
          TypeChecked(s.text.substr(i, n), false);
          i += n - 1;
          if (s.tickBetween) TickChecked(false);
        }
        break;
      case Step::Tag:
        for (char16_t c : s.text) {
          if (c == keys::kHome) {
            Place(std::u16string(1, c));
            continue;
          }
          TypeChecked(std::u16string(1, c), true);
          if (s.tickBetween) TickChecked(false);
        }
        break;
      case Step::Backspace: DeleteChecked(keys::kBackspace); break;
      case Step::Delete:
        if (s.where > 0) Place(std::u16string(1, keys::kHome));
        for (std::size_t i = 0; i < std::max<std::size_t>(1, s.where); ++i) DeleteChecked(keys::kForwardDelete);
        break;
      case Step::SelectAll: Command(u'a'); break;
      case Step::Arrow: Place(s.text); break;
      case Step::Click:
        ClickAtCharacter(std::min(s.where, Editor().textView()->string().size()));
        ForgetLeftTags();
        break;
      case Step::Change: {
        const bool before = EditingBefore();
        const std::string edited = Edited();
        Press(Views().changeToolButton);
        ASSERT_NE(EditingBefore(), before);
        ForgetLeftTags();
        // The text edited until now is kept through the switch.
        if (Editor().lineChangeEnabled()) {
          EXPECT_EQ(S(before ? Editor().referenceText() : Editor().targetText()), edited) << "lost by the switch";
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

  // A step; a throw is a failure too.
  void Run(const Step& s) try {
    Do(s);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "threw: " << e.what();
  }

  // Runs `count` steps of one seed; on a failure stops with the seed and the steps so far.
  void RunSeed(unsigned seed, int count) {
    std::mt19937 random(seed);
    // The line the steps start from: no transcript, or the transcript as it came, or with its
    // first word struck or a word replaced in the After text; in either mode.
    const unsigned start = random() % 4;
    if (start != 0) Transcript(std::string(R"({"text":")") + kTranscript + "\"}");
    FocusEditor();
    Note();
    if (start >= 2) {
      Run(Step(Step::Change));
      Step change = start == 2 ? Step(Step::Delete) : Step(Step::Type, u"blue");
      if (start == 2) change.where = 7;  // "please "
      if (start == 3) {
        Step click(Step::Click);
        click.where = 19;  // after "red"
        Run(click);
        for (int i = 0; i < 3; ++i) Run(Step(Step::Backspace));
      }
      Run(change);
      Run(Step(Step::Tick));
    }
    if (random() % 2 == 0) Run(Step(Step::Change));
    static const char* const kStarts[] = {"no transcript", "the transcript", "\"please \" struck", "\"red\" -> \"blue\""};
    std::string done = std::string("from ") + kStarts[start] + " in " + (EditingBefore() ? "Before" : "After") + " mode:";
    for (int i = 0; i < count; ++i) {
      const Step step = RandomStep(random);
      done += (i == 0 ? " " : ", ") + step.Describe();
      Run(step);
      if (HasFailure()) {
        ADD_FAILURE() << "seed " << seed << ", step " << i << "; steps: " << done;
        return;
      }
    }
  }
};

unsigned Knob(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? unsigned(std::strtoul(value, nullptr, 10)) : 60;
}

TEST_P(TypingModel, RandomKeySequencesKeepTheirPromises) { RunSeed(GetParam(), int(Knob("QM_TYPING_MODEL_STEPS"))); }

INSTANTIATE_TEST_SUITE_P(Seeds, TypingModel, ::testing::Range(0u, Knob("QM_TYPING_MODEL_SEEDS")));

}  // namespace
