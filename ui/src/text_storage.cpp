#include "qm/ui/text_storage.h"

#include <algorithm>

namespace qm::ui {

namespace {

TextAttributes without(const TextAttributes& attributes, const std::vector<AttributeName>& ignoring) {
  TextAttributes out = attributes;
  for (const auto& name : ignoring) {
    if (const auto* key = std::get_if<AttributeKey>(&name))
      out.remove(*key);
    else
      out.custom.erase(std::get<std::string>(name));
  }
  return out;
}

}  // namespace

bool sameAttributeValue(const TextAttributes& a, const TextAttributes& b, const AttributeName& name) {
  if (const auto* custom = std::get_if<std::string>(&name)) {
    const auto ia = a.custom.find(*custom), ib = b.custom.find(*custom);
    if (ia == a.custom.end() || ib == b.custom.end()) return (ia == a.custom.end()) == (ib == b.custom.end());
    return ia->second == ib->second;
  }
  switch (std::get<AttributeKey>(name)) {
    case AttributeKey::ForegroundColor: return a.foregroundColor == b.foregroundColor;
    case AttributeKey::Font: return a.font == b.font;
    case AttributeKey::BackgroundColor: return a.backgroundColor == b.backgroundColor;
    case AttributeKey::StrikethroughStyle: return a.strikethroughStyle == b.strikethroughStyle;
    case AttributeKey::StrikethroughColor: return a.strikethroughColor == b.strikethroughColor;
    case AttributeKey::ParagraphStyle: return a.paragraphStyle == b.paragraphStyle;
    case AttributeKey::Kern: return a.kern == b.kern;
    case AttributeKey::Shadow: return a.shadow == b.shadow;
    case AttributeKey::Link: return a.link == b.link;
    case AttributeKey::UnderlineStyle: return a.underlineStyle == b.underlineStyle;
  }
  return false;
}

// ---- editing ----

void TextStorage::beginEditing() { ++editingDepth_; }

void TextStorage::endEditing() {
  if (editingDepth_ == 0) return;
  if (--editingDepth_ == 0) flush();
}

void TextStorage::edited(Range newRange, long delta) {
  ++changeCount_;
  if (!pending_) {
    pending_ = true;
    pendingRange_ = newRange;
    pendingDelta_ = delta;
  } else {
    // The earlier range, moved by this change when it lies behind it, joined with this one.
    std::size_t end = pendingRange_.end();
    if (end > newRange.location) end = static_cast<std::size_t>(std::max<long>(static_cast<long>(newRange.location), static_cast<long>(end) + delta));
    const std::size_t start = std::min(pendingRange_.location, newRange.location);
    end = std::min(std::max(end, newRange.end()), text_.length());
    pendingRange_ = Range{std::min(start, end), end - std::min(start, end)};
    pendingDelta_ += delta;
  }
  if (editingDepth_ == 0) flush();
}

void TextStorage::flush() {
  if (!pending_) return;
  pending_ = false;
  const Range range = pendingRange_;
  const long delta = pendingDelta_;
  if (handler_) handler_(range, delta);
}

void TextStorage::replaceCharacters(Range range, const std::u16string& text) {
  text_.replaceCharacters(range, text);
  edited(Range{range.location, text.size()}, static_cast<long>(text.size()) - static_cast<long>(range.length));
}

void TextStorage::replaceCharacters(Range range, const AttributedString& text) {
  text_.replaceCharacters(range, text);
  edited(Range{range.location, text.length()}, static_cast<long>(text.length()) - static_cast<long>(range.length));
}

void TextStorage::setAttributedString(const AttributedString& text) {
  const std::size_t old = text_.length();
  text_ = text;
  edited(Range{0, text_.length()}, static_cast<long>(text_.length()) - static_cast<long>(old));
}

void TextStorage::setAttributes(const TextAttributes& attributes, Range range) {
  text_.setAttributes(attributes, range);
  edited(range, 0);
}

void TextStorage::addAttributes(const TextAttributes& attributes, Range range) {
  text_.addAttributes(attributes, range);
  edited(range, 0);
}

void TextStorage::removeAttribute(AttributeKey key, Range range) {
  text_.removeAttribute(key, range);
  edited(range, 0);
}

void TextStorage::removeCustomAttribute(const std::string& key, Range range) {
  text_.removeCustomAttribute(key, range);
  edited(range, 0);
}

// ---- queries ----

Range TextStorage::longestEffectiveRange(std::size_t index, const std::vector<AttributeName>& ignoring, Range within) const {
  if (index >= text_.length()) throw RangeError("index " + std::to_string(index) + " out of bounds; length " + std::to_string(text_.length()));
  if (within.location == Range::kNotFound) within = Range{0, text_.length()};
  const auto& runs = text_.runs();
  // Find the run holding `index`, then grow across neighbours that differ only in ignored keys.
  std::vector<std::size_t> starts(runs.size());
  std::size_t at = 0, k = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    starts[i] = at;
    if (index >= at && index < at + runs[i].length) k = i;
    at += runs[i].length;
  }
  const TextAttributes key = without(runs[k].attributes, ignoring);
  std::size_t first = k, last = k;
  while (first > 0 && starts[first] > within.location && without(runs[first - 1].attributes, ignoring) == key) --first;
  while (last + 1 < runs.size() && starts[last] + runs[last].length < within.end() &&
         without(runs[last + 1].attributes, ignoring) == key)
    ++last;
  const std::size_t s = std::max(starts[first], within.location);
  const std::size_t e = std::min(starts[last] + runs[last].length, within.end());
  return Range{s, e - s};
}

Range TextStorage::effectiveRange(const AttributeName& name, std::size_t index) const {
  if (index >= text_.length()) throw RangeError("index " + std::to_string(index) + " out of bounds; length " + std::to_string(text_.length()));
  Range found{0, 0};
  enumerateAttribute(name, Range{0, text_.length()}, [&](Range r, const TextAttributes&) {
    if (r.contains(index)) found = r;
  });
  return found;
}

void TextStorage::enumerateAttribute(const AttributeName& name, Range range,
                                     const std::function<void(Range, const TextAttributes&)>& visit) const {
  if (range.location > text_.length() || range.length > text_.length() - range.location)
    throw RangeError("range out of bounds");
  const auto& runs = text_.runs();
  std::size_t at = 0;
  std::size_t i = 0;
  while (i < runs.size()) {
    // One maximal run of the attribute: runs [i, j) share its value.
    std::size_t j = i + 1, end = at + runs[i].length;
    while (j < runs.size() && sameAttributeValue(runs[i].attributes, runs[j].attributes, name)) end += runs[j++].length;
    const std::size_t s = std::max(at, range.location), e = std::min(end, range.end());
    if (s < e) visit(Range{s, e - s}, runs[i].attributes);
    if (end >= range.end()) break;
    at = end;
    i = j;
  }
}

}  // namespace qm::ui
