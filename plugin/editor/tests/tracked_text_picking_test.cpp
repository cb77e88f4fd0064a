// Repair picking, the paintbrush, the language chip, and the repair component reading the real
// editor, all through the window.

#include "EditorTestSupport.h"

#include "qm/ui/render.h"

#include <array>

using namespace editor_test;
using qm::platform::TextRange;

namespace {

struct Listener : Object {
  Listener() {
    registerAction("picksChanged:", [this](Object* sender) {
      ++count;
      from = sender;
    });
  }
  int count = 0;
  Object* from = nullptr;
};

struct Picking : EditorWindow {
  std::shared_ptr<Listener> listener = std::make_shared<Listener>();
  Picking() {
    editor->setRepairSelectionTarget(listener);
    editor->setRepairSelectionAction("picksChanged:");
  }
  void Pick(const std::string& text) {
    Plain(text);
    editor->setRepairSelectionMode(true);
  }
  std::vector<TextRange> Picks() const { return editor->repairHighlightDisplayRanges(); }
  bool Highlighted(std::size_t i) const { return text->textStorage().attributesAt(i).backgroundColor.has_value(); }
};

}  // namespace

TEST_F(Picking, ASelectionSnapsToWholeWords) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<TextRange> words;
    std::size_t from, to;
    TextRange expected;
  };
  const Case cases[] = {
      {"an apostrophe is a word character", "don't stop", {}, 1, 2, {0, 5}},
      {"punctuation stays out", "stop, go", {}, 3, 4, {0, 4}},
      {"only punctuation and space is picked as selected", "stop, go", {}, 4, 6, {4, 2}},
      {"word ranges that the selection meets", "abc defg hij", {{0, 3}, {4, 4}}, 2, 5, {0, 8}},
      {"no word range met: word characters", "abc defg hij", {{0, 3}, {4, 4}}, 10, 11, {9, 3}},
  };
  for (const auto& c : cases) {
    Pick(c.text);
    editor->clearRepairSelections();
    editor->setRepairWordDisplayRanges(c.words);
    Drag(c.from, c.to);
    EXPECT_EQ(Picks(), std::vector<TextRange>{c.expected}) << c.name;
    EXPECT_EQ(Selection(), (Range{c.expected.end(), 0})) << c.name;
    EXPECT_TRUE(Highlighted(c.expected.location)) << c.name;
    editor->setRepairSelectionMode(false);
  }
}

TEST_F(Picking, SelectingInsideAPickRemovesItAndOneMeetingTwoRemovesBoth) {
  Pick("one two three");
  Drag(0, 1);
  Drag(4, 5);
  EXPECT_EQ(Picks(), (std::vector<TextRange>{{0, 3}, {4, 3}}));
  Drag(5, 6);
  EXPECT_EQ(Picks(), (std::vector<TextRange>{{0, 3}}));
  Drag(8, 9);
  Drag(1, 9);  // meets "one" and "three"
  EXPECT_TRUE(Picks().empty());
  EXPECT_FALSE(Highlighted(0));
  EXPECT_EQ(listener->count, 5);
  EXPECT_EQ(listener->from, editor.get());
}

TEST_F(Picking, PickingFreezesTheTextAndLeavingKeepsTheHighlights) {
  Pick("the cat sat");
  Drag(4, 5);
  ClickAt(9);
  Type("x");
  Paste("dog");
  Key(keys::kBackspace);
  EXPECT_EQ(S(text->string()), "the cat sat");
  editor->setRepairSelectionMode(false);
  EXPECT_TRUE(Highlighted(4));
  editor->setRepairHighlightsVisible(false);
  editor->applyTrackedStyling();
  EXPECT_FALSE(Highlighted(4));
  editor->setRepairHighlightsVisible(true);
  editor->applyTrackedStyling();
  EXPECT_TRUE(Highlighted(4));
}

// Picks stand on the text they were made on: an edit of the target or the reference drops them
// (and the word ranges) and tells the target once; a rebuild of the same texts keeps them.
TEST_F(Picking, AnEditOfTheTextDropsThePicksAndARebuildKeepsThem) {
  const struct {
    const char* name;
    bool diff, reference;
    void (*before)(Picking&);  // an edit before the pick, for the undo to take back
    void (*edit)(Picking&);
  } edits[] = {
      {"typing", false, false, nullptr, [](Picking& t) { t.ClickAt(0), t.Type("x"); }},
      {"undo", false, false, [](Picking& t) { t.ClickAt(11), t.Type("s"); }, [](Picking& t) { t.Command(u'z'); }},
      {"Backspace in the diff", true, false, nullptr, [](Picking& t) { t.ClickAt(3), t.Key(keys::kBackspace); }},
      {"the reference in the diff", true, true, nullptr, [](Picking& t) { t.ClickAt(0), t.Type("x"); }},
  };
  for (const auto& e : edits) {
    SCOPED_TRACE(e.name);
    editor->setRepairSelectionMode(false);
    e.diff ? Diff("the cat sat", "the cat sat", e.reference) : Plain("the cat sat");
    if (e.before) e.before(*this);
    editor->setRepairWordDisplayRanges({{0, 3}, {4, 3}, {8, 3}});
    editor->setRepairSelectionMode(true);
    Drag(4, 5);
    editor->setRepairSelectionMode(false);
    editor->setDirtyTrackedLayout(true);
    editor->applyTrackedStyling();
    ASSERT_EQ(Picks().size(), 1u);
    const int told = listener->count;
    e.edit(*this);
    EXPECT_TRUE(!e.before || S(editor->targetText()) == "the cat sat") << "undone";
    EXPECT_TRUE(Picks().empty());
    EXPECT_TRUE(editor->repairWordDisplayRanges().empty());
    EXPECT_FALSE(Highlighted(5));
    EXPECT_EQ(listener->count, told + 1) << "told once";
  }
}

TEST_F(Picking, ASelectionMadeBeforePickingIsNotPicked) {
  for (bool diff : {false, true}) {
    editor->setRepairSelectionMode(false);
    editor->clearRepairSelections();
    if (diff)
      Diff("the cat sat", "the dog sat");
    else
      Plain("the cat sat");
    Drag(4, 7);
    const int before = listener->count;
    editor->setRepairSelectionMode(true);
    EXPECT_TRUE(Picks().empty()) << (diff ? "diff" : "plain");
    EXPECT_FALSE(Highlighted(4)) << (diff ? "diff" : "plain");
    EXPECT_EQ(listener->count, before) << (diff ? "diff" : "plain");
  }
}

TEST_F(Picking, ClearingTellsTheTargetEvenWithoutPicks) {
  Pick("the cat");
  editor->clearRepairSelections();
  EXPECT_EQ(listener->count, 1);
}

TEST_F(Picking, ThePaintbrushShowsOverTheTextWhilePicking) {
  Pick("the cat sat");
  window.sendEvent(Event::mouse(EventType::MouseMoved, At(3)));
  EXPECT_EQ(window.currentCursor()->image(), QMRepairSelectionCursor()->image());
  editor->setRepairSelectionMode(false);
  window.sendEvent(Event::mouse(EventType::MouseMoved, Point{300, 55}));
  window.sendEvent(Event::mouse(EventType::MouseMoved, At(3)));
  EXPECT_EQ(window.currentCursor()->kind(), Cursor::Kind::IBeam);

  const auto cursor = QMRepairSelectionCursor();
  ASSERT_EQ(cursor->kind(), Cursor::Kind::Image);
  EXPECT_EQ(cursor->image()->size(), (Size{28, 24}));
  EXPECT_EQ(cursor->hotSpot(), (Point{3.5, 18}));
  // The stroke is blue and the brush orange (the symbol tinted where it is drawn).
  const Bitmap b = render::rasterize(*cursor->image(), 2.0);
  auto channels = [&](int x, int y) {
    const uint32_t p = b.at(x, y);
    return std::array<int, 4>{int(p >> 24), int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
  };
  const auto stroke = channels(7, 30);
  EXPECT_GT(stroke[3], stroke[1]);  // more blue than red
  int orange = 0, other = 0;
  for (int y = 25; y < 48; ++y)
    for (int x = 18; x < 46; ++x) {
      const auto c = channels(x, y);
      if (c[0] < 200) continue;
      (c[1] > c[2] && c[2] > c[3] ? orange : other)++;
    }
  EXPECT_GT(orange, 20);
  EXPECT_EQ(other, 0);
}

TEST_F(Picking, TheRepairComponentReadsThePicksOfTheEditor) {
  struct Owner : QMRepairWindowAccess {
    std::string source;
    QMRepairEditorAccess* editor = nullptr;
    std::uint8_t EditorMode() const override { return kModeBefore; }
    std::string SourceText() const override { return source; }
    std::string TargetText() const override { return ""; }
    QMRepairEditorAccess* TranscriptEditor() const override { return editor; }
    QuillomancerStoreClient Store() override { return QuillomancerStoreClient(nullptr); }
    void Log(const std::string&) override {}
  } owner;
  owner.source = "please take the red one";
  owner.editor = editor.get();
  QMRepairComponent repair(owner);
  std::vector<QuillomancerTranscriptWordTiming> timings;
  const auto tokens = QMTokenizeRepairTokensUTF8(owner.source);
  for (std::size_t t = 0; t < tokens.size(); ++t) {
    QuillomancerTranscriptWordTiming w;
    w.index = static_cast<int>(t);
    w.textRange = tokens[t].range;
    w.hasTextRange = true;
    w.start = 0.3 * double(t);
    w.end = w.start + 0.25;
    timings.push_back(w);
  }
  repair.SetTranscript(owner.source, timings);

  struct Forward : Object {
    explicit Forward(QMRepairComponent& r) {
      registerAction("repairSelectionChangedAction:", [&r](Object*) { r.NotifyRepairSelectionChanged(); });
    }
  };
  auto forward = std::make_shared<Forward>(repair);
  editor->setRepairSelectionTarget(forward);
  editor->setRepairSelectionAction("repairSelectionChangedAction:");

  // Before mode showing the diff: the typed "big " shifts the display against the source.
  Diff(owner.source, "please take the big red one", /*editReference=*/true);
  editor->setRepairSelectionMode(true);
  Drag(21, 22);  // inside "red"
  EXPECT_EQ(repair.SelectedWordIndexes(), (std::set<int>{3}));
  EXPECT_EQ(repair.BuildRepairReferenceText(), "please take the one");
  repair.ClearRepairSelections();
  EXPECT_TRUE(editor->repairHighlightDisplayRanges().empty());
}

TEST_F(EditorWindow, TheLanguageChipSizesToItsTextAtTheBottomRight) {
  // One unit of the chip's 12-point label is 10 points wide here.
  ScopedTextMeasurer tens(std::make_shared<FixedWidthTextMeasurer>(10.0 / 12.0));
  auto narrow = QMTrackedTextEditorView::Create(Rect{0, 0, 300, 35});
  window.contentView()->addSubview(narrow);
  EXPECT_TRUE(narrow->languageChipView()->isHidden());
  narrow->setLanguageChipText(u"x");
  EXPECT_FALSE(narrow->languageChipView()->isHidden());
  EXPECT_EQ(narrow->languageChipView()->frame(), (Rect{240, 2, 58, 20}));
  EXPECT_EQ(narrow->languageChipLabel()->frame(), (Rect{20, 1, 34, 16}));
  narrow->setLanguageChipText(std::u16string(20, u'x'));
  EXPECT_EQ(narrow->languageChipView()->frame(), (Rect{68, 2, 230, 20}));
  narrow->setLanguageChipText(std::u16string(40, u'x'));
  EXPECT_EQ(narrow->languageChipView()->frame(), (Rect{4, 2, 294, 20}));
  narrow->setLanguageChipText(u"");
  EXPECT_TRUE(narrow->languageChipView()->isHidden());

  struct Closer : Object {
    Closer() { registerAction("close:", [this](Object* sender) { from = sender; }); }
    Object* from = nullptr;
  };
  auto closer = std::make_shared<Closer>();
  narrow->setLanguageChipText(u"x");
  window.click(Point{240 + 4 + 7, 2 + 2 + 7});
  EXPECT_EQ(closer->from, nullptr);  // no target: nothing
  narrow->setLanguageChipTarget(closer);
  narrow->setLanguageChipAction("close:");
  window.click(Point{240 + 4 + 7, 2 + 2 + 7});
  EXPECT_EQ(closer->from, narrow.get());
}
