// A right-to-left line in the transcript editor, laid out with the real text system: it is drawn
// on the right, as a right-to-left paragraph stands, and clicks, drags and the caret meet the
// characters where the picture shows them.

#include "EditorTestSupport.h"

#include "qm/ui/render.h"

#include <algorithm>
#include <optional>

using namespace editor_test;

namespace {

// What the picture of the editor holds, column by column (one pixel per point).
struct Drawn {
  std::vector<bool> text, caret;
  std::optional<int> firstText() const { return first(text); }
  std::optional<int> lastText() const {
    for (int x = int(text.size()) - 1; x >= 0; --x)
      if (text[x]) return x;
    return std::nullopt;
  }
  std::optional<int> firstCaret() const { return first(caret); }
  static std::optional<int> first(const std::vector<bool>& columns) {
    const auto it = std::find(columns.begin(), columns.end(), true);
    return it == columns.end() ? std::nullopt : std::optional<int>(int(it - columns.begin()));
  }
};

// The editor of the other editor tests, measured and drawn by the real text system.
struct RightToLeft : EditorWindow {
  ScopedTextMeasurer pango{makePangoTextMeasurer()};

  // The editor drawn on black: light grey columns are text, blue ones the caret.
  Drawn Draw() {
    const Bitmap b = render::renderView(*editor, 1.0, Color::black());
    Drawn d{std::vector<bool>(std::size_t(b.width)), std::vector<bool>(std::size_t(b.width))};
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x) {
        const uint32_t p = b.at(x, y);
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, bl = p & 0xFF;
        if (bl > 150 && bl - r > 100) d.caret[std::size_t(x)] = true;
        else if (r > 60 && std::abs(r - bl) < 50 && std::abs(r - g) < 50) d.text[std::size_t(x)] = true;
      }
    return d;
  }
  // A window point at x (in the editor) on the line.
  Point OnLine(double x) const {
    const Rect caret = text->caretRectForIndex(0);
    return text->convertPointToView(Point{x, caret.midY()}, nullptr);
  }
  void DragAcross(double from, double to) {
    window.sendEvent(Event::mouse(EventType::LeftMouseDown, OnLine(from)));
    window.sendEvent(Event::mouse(EventType::LeftMouseDragged, OnLine(to)));
    window.sendEvent(Event::mouse(EventType::LeftMouseUp, OnLine(to)));
  }
};

const std::string kHebrew = "שלום עולם";  // "שלום" drawn on the right, "עולם" on the left

TEST_F(RightToLeft, TheLineIsDrawnWhereItIsClickedAndTheCaretStandsOnIt) {
  editor->setTargetText(U(kHebrew));
  Drawn drawn = Draw();
  ASSERT_TRUE(drawn.firstText() && drawn.lastText());
  EXPECT_GT(*drawn.firstText(), 221) << "a right-to-left line stands on the right";
  // The caret at the line's end stands beside its last character, the leftmost one.
  ASSERT_TRUE(drawn.firstCaret());
  EXPECT_NEAR(*drawn.firstCaret(), *drawn.firstText(), 3);

  // A click on the right half of the first character drawn puts the caret before it.
  window.click(OnLine(*drawn.lastText() - 1.5));
  EXPECT_EQ(Selection(), (Range{0, 0}));
  drawn = Draw();
  ASSERT_TRUE(drawn.firstCaret());
  EXPECT_NEAR(*drawn.firstCaret(), *drawn.lastText(), 3);

  // A drag over the word drawn on the left picks that word.
  // The space between the two words: the widest blank stretch inside the line.
  int gap = 0, widest = 0;
  for (int x = *drawn.firstText(), run = 0; x <= *drawn.lastText(); ++x) {
    run = drawn.text[std::size_t(x)] ? 0 : run + 1;
    if (run > widest) widest = run, gap = x - run + 1;
  }
  // Its selection is drawn over it.
  const std::vector<Rect> word = text->rectsForCharacterRange(Range{5, 4});
  ASSERT_EQ(word.size(), 1u);
  EXPECT_NEAR(word[0].minX(), *drawn.firstText(), 2);
  EXPECT_NEAR(word[0].maxX(), gap, 4);
  editor->setRepairSelectionMode(true);
  DragAcross(*drawn.firstText() + 2, gap - 2);
  ASSERT_EQ(editor->repairHighlightDisplayRanges().size(), 1u);
  EXPECT_EQ(editor->repairHighlightDisplayRanges()[0], (qm::platform::TextRange{5, 4}));
}

// Hebrew with a Latin name and digits: clicked at the left edge of the name, the caret stands there
// and not at the name's other end, where the same place in the text is also drawn.
TEST_F(RightToLeft, InAMixedLineTheCaretStaysOnTheCharacterClicked) {
  const std::u16string line = U("שלום David 2024 עולם");
  editor->setTargetText(line);
  const std::size_t d = line.find(u'D');
  const std::vector<Rect> name = text->rectsForCharacterRange(Range{d, 1});
  ASSERT_EQ(name.size(), 1u);
  const double left = text->convertPointToView(Point{name[0].minX(), 0}, nullptr).x;
  window.click(OnLine(left + 1));
  EXPECT_EQ(Selection(), (Range{d, 0}));
  const Drawn drawn = Draw();
  ASSERT_TRUE(drawn.firstCaret());
  EXPECT_NEAR(*drawn.firstCaret(), left, 2);
}

}  // namespace
