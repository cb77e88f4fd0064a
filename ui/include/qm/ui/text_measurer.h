#pragma once
// Text measuring behind an interface: the process-wide measurer lays attributed text out with
// Pango (the fonts installed here), and tests install a fixed-width measurer so that widths and
// positions are exact numbers. Named fonts are looked up through the measurer.

#include "qm/ui/attributed_string.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qm::ui {

// One laid-out line: the units it holds (its line break or wrapping space included), its top and
// height measured from the top of the text, and the width of its glyphs.
struct LineFragment {
  Range range;
  double top = 0, height = 0, width = 0;
};

// Where a caret stands: x from the left edge of the text, and the top and height of its line.
struct CaretPosition {
  double x = 0, top = 0, height = 0;
};

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The size of the laid-out text: one line per paragraph, or wrapped at `wrapWidth` when it is
  // above 0 and the text's paragraph style wraps.
  virtual Size measure(const AttributedString& text, double wrapWidth = 0) const = 0;
  // The UTF-16 index of the character under `point` (measured from the top left of the laid-out
  // text), or none when the point is outside the text.
  virtual std::optional<std::size_t> characterIndexAt(const AttributedString& text, double wrapWidth, Point point) const = 0;
  // Whether a named face is installed.
  virtual bool hasFontNamed(const std::string& name) const = 0;

  // Line layout for carets, selections and clicks (text views). The defaults treat the text as
  // one line measured prefix by prefix; both measurers here lay lines out for real.
  // The lines, top to bottom, covering every unit; none for an empty text.
  virtual std::vector<LineFragment> lineFragments(const AttributedString& text, double wrapWidth) const;
  // The caret before unit `index` (0...length; larger values count as the length).
  virtual CaretPosition caretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const;
  // Where a line of two directions has two places for the caret before `index` (the end of one
  // run and the start of the other), the place that caretPosition does not give; elsewhere the
  // same place.
  virtual CaretPosition otherCaretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const;
  // The rectangles (from the top left of the text) that cover the units of `range`, line by line;
  // in a line of two directions a range may stand in more than one piece.
  virtual std::vector<Rect> rangeRects(const AttributedString& text, double wrapWidth, Range range) const;
  // The caret position (0...length) nearest to `point` (from the top left of the text): a point
  // above or below the text goes to the first or last line, one beside a line to its end.
  virtual std::size_t insertionIndexAt(const AttributedString& text, double wrapWidth, Point point) const;
};

// The process-wide measurer (Pango unless a test installed another). [main-thread]
const TextMeasurer& textMeasurer();
void setTextMeasurer(std::shared_ptr<const TextMeasurer> measurer);  // null restores Pango
std::shared_ptr<const TextMeasurer> makePangoTextMeasurer();

// Installs a measurer for the life of the object, then puts the previous one back.
class ScopedTextMeasurer {
 public:
  explicit ScopedTextMeasurer(std::shared_ptr<const TextMeasurer> measurer);
  ~ScopedTextMeasurer();
  ScopedTextMeasurer(const ScopedTextMeasurer&) = delete;
  ScopedTextMeasurer& operator=(const ScopedTextMeasurer&) = delete;

 private:
  std::shared_ptr<const TextMeasurer> previous_;
};

// Every UTF-16 unit is `widthFactor` x the font size wide (plus kerning), every line
// `heightFactor` x the largest font size on it high. Wraps at spaces. Knows the named fonts it is
// given and no others.
class FixedWidthTextMeasurer : public TextMeasurer {
 public:
  explicit FixedWidthTextMeasurer(double widthFactor = 0.5, double heightFactor = 1.25, std::set<std::string> fonts = {})
      : widthFactor_(widthFactor), heightFactor_(heightFactor), fonts_(std::move(fonts)) {}
  Size measure(const AttributedString& text, double wrapWidth = 0) const override;
  std::optional<std::size_t> characterIndexAt(const AttributedString& text, double wrapWidth, Point point) const override;
  bool hasFontNamed(const std::string& name) const override { return fonts_.count(name) > 0; }
  std::vector<LineFragment> lineFragments(const AttributedString& text, double wrapWidth) const override;
  CaretPosition caretPosition(const AttributedString& text, double wrapWidth, std::size_t index) const override;
  std::size_t insertionIndexAt(const AttributedString& text, double wrapWidth, Point point) const override;

 private:
  struct Line {
    std::size_t start = 0, end = 0;  // units [start, end)
    double width = 0, height = 0;
  };
  std::vector<Line> layout(const AttributedString& text, double wrapWidth) const;
  double advance(const AttributedString& text, std::size_t index) const;
  double fontSize(const AttributedString& text, std::size_t index) const;

  double widthFactor_;
  double heightFactor_;
  std::set<std::string> fonts_;
};

}  // namespace qm::ui
