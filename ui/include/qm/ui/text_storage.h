#pragma once
// The text storage behind a text view: attributed UTF-16 text that is edited in place, in
// batches (begin/end editing) after which its one observer, the text view that shows it, hears
// of the change once. Besides the runs the attributed string keeps, it answers the maximal
// range around a position over which one attribute keeps its value, or over which all
// attributes are equal apart from an ignore list (so that, say, a highlight's background does
// not split the runs that an editor reasons about).
// Indexes and ranges are UTF-16 units; out-of-range arguments throw RangeError like the
// attributed string. Main thread only, like the views.

#include "qm/ui/attributed_string.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace qm::ui {

// One attribute: a standard key or a custom (boolean) key by name.
using AttributeName = std::variant<AttributeKey, std::string>;

// Whether the two attribute sets hold the same value for `name` (both missing counts as same).
bool sameAttributeValue(const TextAttributes& a, const TextAttributes& b, const AttributeName& name);
// The custom boolean `key`; missing counts as false.
inline bool customFlag(const TextAttributes& a, const std::string& key) {
  auto it = a.custom.find(key);
  return it != a.custom.end() && it->second;
}

class TextStorage {
 public:
  TextStorage() = default;
  explicit TextStorage(AttributedString text) : text_(std::move(text)) {}
  TextStorage(const TextStorage&) = delete;
  TextStorage& operator=(const TextStorage&) = delete;

  std::size_t length() const { return text_.length(); }
  bool empty() const { return text_.empty(); }
  const std::u16string& string() const { return text_.string(); }
  const AttributedString& attributedString() const { return text_; }
  // Bumped by every change of characters or attributes (layout caches key on it).
  std::uint64_t changeCount() const { return changeCount_; }

  // ---- editing ----
  // Changes between begin and end reach the observer once, at the outermost end.
  void beginEditing();
  void endEditing();
  bool isEditing() const { return editingDepth_ > 0; }

  // Plain text takes the attributes of the unit before the range (or after it at the start).
  void replaceCharacters(Range range, const std::u16string& text);
  void replaceCharacters(Range range, const AttributedString& text);
  void insert(const AttributedString& text, std::size_t at) { replaceCharacters(Range{at, 0}, text); }
  void deleteCharacters(Range range) { replaceCharacters(range, std::u16string()); }
  void setAttributedString(const AttributedString& text);
  void setAttributes(const TextAttributes& attributes, Range range);
  void addAttributes(const TextAttributes& attributes, Range range);
  void removeAttribute(AttributeKey key, Range range);
  void removeCustomAttribute(const std::string& key, Range range);

  // ---- queries ----
  const TextAttributes& attributesAt(std::size_t index, Range* effectiveRange = nullptr) const {
    return text_.attributesAt(index, effectiveRange);
  }
  // The maximal range around `index` (inside `within`, the whole text by default) over which
  // every attribute except those in `ignoring` is equal.
  Range longestEffectiveRange(std::size_t index, const std::vector<AttributeName>& ignoring = {},
                              Range within = Range{Range::kNotFound, 0}) const;
  // The maximal range around `index` over which `name` keeps its value.
  Range effectiveRange(const AttributeName& name, std::size_t index) const;
  // Visits the maximal runs of one attribute inside `range`, in order (clipped to the range).
  void enumerateAttribute(const AttributeName& name, Range range,
                          const std::function<void(Range, const TextAttributes&)>& visit) const;

  // The observer hears of each change once it is complete: the range of the changed text in the
  // new text and the change in length. Changes inside a batch are merged into one.
  using ChangeHandler = std::function<void(Range editedRange, long changeInLength)>;
  void setChangeHandler(ChangeHandler handler) { handler_ = std::move(handler); }

 private:
  void edited(Range newRange, long delta);
  void flush();

  AttributedString text_;
  std::uint64_t changeCount_ = 0;
  int editingDepth_ = 0;
  bool pending_ = false;
  Range pendingRange_;
  long pendingDelta_ = 0;
  ChangeHandler handler_;
};

}  // namespace qm::ui
