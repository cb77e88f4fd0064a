#include "QMTrackedTextModel.h"

#include "QMWindowLook.h"

#include <algorithm>

using qm::ui::Range;
using qm::ui::TextAttributes;
using qm::ui::TextStorage;

namespace {

qm::ui::Font FontOrSystem(const std::optional<qm::ui::Font>& font) { return font.value_or(qm::ui::Font::system(13)); }

bool Usable(const TextStorage* storage) { return storage && !storage->empty(); }

// Calls `visit` for each maximal run of `key` from position 0, with whether the key is true;
// stops when `visit` answers false.
template <class Visit>
void WalkRuns(const TextStorage& storage, const std::string& key, Visit visit) {
  bool go = true;
  storage.enumerateAttribute(key, Range{0, storage.length()}, [&](Range r, const TextAttributes& a) {
    if (go) go = visit(r, qm::ui::customFlag(a, key));
  });
}

std::size_t OffsetForLocation(std::size_t location, const TextStorage* storage, const std::string& key) {
  if (!Usable(storage)) return 0;
  const std::size_t end = std::min(location, storage->length());
  std::size_t sum = 0;
  WalkRuns(*storage, key, [&](Range r, bool flagged) {
    if (r.location >= end) return false;
    if (!flagged) sum += std::min(r.end(), end) - r.location;
    return true;
  });
  return sum;
}

std::size_t LocationForOffset(std::size_t offset, const TextStorage* storage, const std::string& key) {
  if (!Usable(storage)) return 0;
  std::size_t left = offset;
  std::size_t found = storage->length();
  WalkRuns(*storage, key, [&](Range r, bool flagged) {
    if (flagged) return true;
    if (left <= r.length) {
      found = r.location + left;
      return false;
    }
    left -= r.length;
    return true;
  });
  return found;
}

std::size_t CountInRange(Range range, const TextStorage* storage, const std::string& key) {
  if (!storage || range.length == 0 || range.location > storage->length()) return 0;
  const std::size_t e = std::min(range.location + range.length, storage->length());
  const std::size_t s = std::min(range.location, e);
  const std::size_t a = OffsetForLocation(s, storage, key), b = OffsetForLocation(e, storage, key);
  return b > a ? b - a : 0;
}

}  // namespace

// ---- attribute sets ----

TextAttributes QMTrackedBaseAttributes(const std::optional<qm::ui::Font>& font) {
  TextAttributes a;
  a.foregroundColor = QMTextPrimary();
  a.font = FontOrSystem(font);
  return a;
}

TextAttributes QMTrackedInsertedAttributes(const std::optional<qm::ui::Font>& font) {
  TextAttributes a;
  a.foregroundColor = qm::ui::Color::genericRGB(0.70, 0.95, 0.76, 1.0);
  a.font = FontOrSystem(font);
  a.custom[kQMDeletedTokenAttribute] = false;
  a.custom[kQMInsertedTokenAttribute] = true;
  return a;
}

TextAttributes QMTrackedDeletedAttributes(const std::optional<qm::ui::Font>& font) {
  const qm::ui::Color red = qm::ui::Color::deviceRGB(0.88, 0.47, 0.44, 0.96);
  TextAttributes a;
  a.foregroundColor = red;
  a.strikethroughStyle = 1;
  a.strikethroughColor = red;
  a.font = FontOrSystem(font);
  a.custom[kQMDeletedTokenAttribute] = true;
  a.custom[kQMInsertedTokenAttribute] = false;
  return a;
}

TextAttributes QMTrackedKeptAttributes(const std::optional<qm::ui::Font>& font) {
  TextAttributes a = QMTrackedBaseAttributes(font);
  a.custom[kQMDeletedTokenAttribute] = false;
  a.custom[kQMInsertedTokenAttribute] = false;
  return a;
}

TextAttributes QMTrackedRepairHighlightAttributes() {
  TextAttributes a;
  a.backgroundColor = QMRepairHighlightOrange().withAlpha(0.40);
  return a;
}

// ---- one character ----

bool QMIsInsertedCharacter(const TextAttributes& a) {
  return qm::ui::customFlag(a, kQMInsertedTokenAttribute) && !qm::ui::customFlag(a, kQMDeletedTokenAttribute);
}
bool QMIsDeletedCharacter(const TextAttributes& a) { return qm::ui::customFlag(a, kQMDeletedTokenAttribute); }
bool QMIsTrackedCharacter(const TextAttributes& a) {
  return qm::ui::customFlag(a, kQMDeletedTokenAttribute) || qm::ui::customFlag(a, kQMInsertedTokenAttribute);
}

// ---- texts ----

std::u16string QMTargetTextFromStorage(const TextStorage* storage) {
  std::u16string out;
  if (!Usable(storage)) return out;
  WalkRuns(*storage, kQMDeletedTokenAttribute, [&](Range r, bool deleted) {
    if (!deleted) out.append(storage->string(), r.location, r.length);
    return true;
  });
  return out;
}

std::size_t QMTargetOffsetForDisplayLocation(std::size_t location, const TextStorage* storage) {
  return OffsetForLocation(location, storage, kQMDeletedTokenAttribute);
}
std::size_t QMReferenceOffsetForDisplayLocation(std::size_t location, const TextStorage* storage) {
  return OffsetForLocation(location, storage, kQMInsertedTokenAttribute);
}
std::size_t QMDisplayLocationForTargetOffset(std::size_t offset, const TextStorage* storage) {
  return LocationForOffset(offset, storage, kQMDeletedTokenAttribute);
}
std::size_t QMDisplayLocationForReferenceOffset(std::size_t offset, const TextStorage* storage) {
  return LocationForOffset(offset, storage, kQMInsertedTokenAttribute);
}
std::size_t QMTargetCharacterCountInDisplayRange(Range range, const TextStorage* storage) {
  return CountInRange(range, storage, kQMDeletedTokenAttribute);
}
std::size_t QMReferenceCharacterCountInDisplayRange(Range range, const TextStorage* storage) {
  return CountInRange(range, storage, kQMInsertedTokenAttribute);
}

bool QMDisplayRangeContainsInsertedCharacters(Range range, const TextStorage* storage) {
  if (!storage || range.length == 0 || range.location >= storage->length()) return false;
  const Range clipped{range.location, std::min(range.length, storage->length() - range.location)};
  bool found = false;
  storage->enumerateAttribute(kQMInsertedTokenAttribute, clipped, [&](Range, const TextAttributes& a) {
    found = found || qm::ui::customFlag(a, kQMInsertedTokenAttribute);
  });
  return found;
}

bool QMRangeIsInsertedOnly(Range range, const TextStorage* storage) {
  if (!storage || range.length == 0 || range.location > storage->length() ||
      range.length > storage->length() - range.location)
    return false;
  bool all = true;
  storage->attributedString().enumerateRuns(range, [&](Range, const TextAttributes& a) { all = all && QMIsInsertedCharacter(a); });
  return all;
}

bool QMDisplayRangeIsSharedText(Range range, const TextStorage* storage) {
  if (!storage) return false;
  const std::size_t n = storage->length();
  auto kept = [&](std::size_t i) { return !QMIsTrackedCharacter(storage->attributesAt(i)); };
  if (range.length == 0) return range.location > 0 && range.location < n && kept(range.location - 1) && kept(range.location);
  if (range.location >= n || range.length > n - range.location) return false;
  bool all = true;
  storage->attributedString().enumerateRuns(range, [&](Range r, const TextAttributes&) { all = all && kept(r.location); });
  return all;
}

std::string QMStdStringFromNSString(std::u16string_view text) { return qm::platform::utf16ToUtf8(text); }

std::u16string QMNormalizedTokenForMatch(std::u16string_view text) {
  return std::u16string(qm::platform::trimWhitespaceAndNewlines(text));
}

bool QMIsWhitespaceOnly(std::u16string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), qm::platform::isWhitespaceOrNewline);
}

// ---- ranges ----

bool QMIsValidDisplayRange(qm::platform::TextRange range) {
  return range.location < qm::platform::kTextNotFound && range.length != 0;
}

Range QMUIRange(qm::platform::TextRange range) {
  if (range.location >= qm::platform::kTextNotFound) return Range{Range::kNotFound, 0};
  return Range{range.location, range.length};
}

qm::platform::TextRange QMTextRange(Range range) {
  if (range.location == Range::kNotFound) return qm::platform::TextRange{qm::platform::kTextNotFound, 0};
  return qm::platform::TextRange{range.location, range.length};
}
