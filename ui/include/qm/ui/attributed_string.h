#pragma once
// Attributed text: UTF-16 units with attribute runs (foreground, font, background, strikethrough
// style and colour, paragraph style, kerning, shadow, link, underline and custom boolean keys).
// Runs are kept maximal: neighbours with equal attributes are one run. Indexes and ranges are in
// UTF-16 units; an index or range outside the text throws RangeError, like the platform's range
// exception.

#include "qm/ui/color.h"
#include "qm/ui/font.h"
#include "qm/ui/geometry.h"

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::ui {

class RangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

enum class TextAlignment { Natural, Left, Right, Center, Justified };
enum class LineBreakMode { WordWrapping, CharWrapping, Clipping, TruncatingHead, TruncatingTail, TruncatingMiddle };

struct ParagraphStyle {
  TextAlignment alignment = TextAlignment::Natural;
  LineBreakMode lineBreakMode = LineBreakMode::WordWrapping;
  double lineSpacing = 0;
  double paragraphSpacing = 0;
  double paragraphSpacingBefore = 0;
  friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

struct TextShadow {
  Color color = Color::black().withAlpha(1.0 / 3.0);
  Size offset{0, 0};
  double blurRadius = 0;
  friend bool operator==(const TextShadow&, const TextShadow&) = default;
};

enum class AttributeKey { ForegroundColor, Font, BackgroundColor, StrikethroughStyle, StrikethroughColor, ParagraphStyle, Kern, Shadow, Link, UnderlineStyle };

// Every field is optional: an unset field is not part of the attributes.
struct TextAttributes {
  std::optional<Color> foregroundColor;
  std::optional<Font> font;
  std::optional<Color> backgroundColor;
  std::optional<int> strikethroughStyle;  // 0 none, 1 single
  std::optional<Color> strikethroughColor;
  std::optional<ParagraphStyle> paragraphStyle;
  std::optional<double> kern;
  std::optional<TextShadow> shadow;
  std::optional<std::string> link;
  std::optional<int> underlineStyle;  // 0 none, 1 single (drawn in the text colour)
  std::map<std::string, bool> custom;

  // The fields set in `other` replace these.
  void merge(const TextAttributes& other);
  void remove(AttributeKey key);
  bool empty() const;
  friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

// UTF-8 <-> UTF-16; invalid UTF-8 gives U+FFFD for each bad sequence.
std::u16string utf16FromUTF8(const std::string& text);
std::string utf8FromUTF16(const std::u16string& text);

class AttributedString {
 public:
  struct Run {
    std::size_t length = 0;
    TextAttributes attributes;
  };

  AttributedString() = default;
  explicit AttributedString(const std::string& utf8, const TextAttributes& attributes = {});
  explicit AttributedString(std::u16string text, const TextAttributes& attributes = {});

  std::size_t length() const { return text_.size(); }
  bool empty() const { return text_.empty(); }
  const std::u16string& string() const { return text_; }
  std::string utf8() const { return utf8FromUTF16(text_); }
  const std::vector<Run>& runs() const { return runs_; }

  // The attributes at `index` and, when asked, the run's range. Throws RangeError past the end.
  const TextAttributes& attributesAt(std::size_t index, Range* effectiveRange = nullptr) const;
  void setAttributes(const TextAttributes& attributes, Range range);
  void addAttributes(const TextAttributes& attributes, Range range);
  void removeAttribute(AttributeKey key, Range range);
  void removeCustomAttribute(const std::string& key, Range range);
  // Fills in, in every run, the attributes the run leaves unset from `defaults` (a view's font
  // and colour under the text's own).
  void addDefaultAttributes(const TextAttributes& defaults);

  // Text editing. Inserted plain text takes the attributes of the unit before it (or after it at
  // the start).
  void replaceCharacters(Range range, const std::u16string& text);
  void replaceCharacters(Range range, const AttributedString& text);
  void append(const AttributedString& text);
  void deleteCharacters(Range range) { replaceCharacters(range, std::u16string()); }
  AttributedString attributedSubstring(Range range) const;

  // Calls `visit` for each run inside `range` (clipped to it), in order.
  void enumerateRuns(Range range, const std::function<void(Range, const TextAttributes&)>& visit) const;

  friend bool operator==(const AttributedString&, const AttributedString&) = default;

 private:
  void check(Range range) const;
  // Applies `edit` to the attributes of every unit in `range`, keeping the runs maximal.
  void editAttributes(Range range, const std::function<void(TextAttributes&)>& edit);
  // Splits runs so that `at` is a run boundary; returns the index of the run that starts there.
  std::size_t splitAt(std::size_t at);
  void coalesce();

  std::u16string text_;
  std::vector<Run> runs_;
};

}  // namespace qm::ui
