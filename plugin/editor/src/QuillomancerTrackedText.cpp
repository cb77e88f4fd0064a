#include "QuillomancerTrackedText.h"

#include "QMCommonSubsequence.h"

#include <algorithm>
#include <cstddef>

namespace QuillomancerTrackedText {

namespace {

// Space, tab, line feed and carriage return, as bits 32, 9, 10 and 13.
bool IsAsciiWhitespace(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && ((0x100002600ull >> byte) & 1) != 0;
}

std::vector<Unit> Tokenize(const std::string& text) {
  std::vector<Unit> units;
  const char* bytes = text.data();
  const std::size_t size = text.size();
  if (size == 0) return units;
  std::size_t count = 1;
  bool white = IsAsciiWhitespace(bytes[0]);
  for (std::size_t pos = 1; pos < size; ++pos) {
    const bool next = IsAsciiWhitespace(bytes[pos]);
    count += next != white;
    white = next;
  }
  units.resize(count);
  Unit* unit = units.data();
  std::size_t start = 0;
  white = IsAsciiWhitespace(bytes[0]);
  for (std::size_t pos = 1; pos < size; ++pos) {
    const bool next = IsAsciiWhitespace(bytes[pos]);
    if (next == white) continue;
    (unit++)->text = std::string_view(bytes + start, pos - start);
    start = pos;
    white = next;
  }
  unit->text = std::string_view(bytes + start, size - start);
  return units;
}

// Units [from, to) as one view: the units of a text lie back to back in it.
std::string_view Run(const std::vector<Unit>& units, std::size_t from, std::size_t to) {
  if (from >= to) return {};
  const char* first = units[from].text.data();
  const std::string_view last = units[to - 1].text;
  return std::string_view(first, static_cast<std::size_t>(last.data() - first) + last.size());
}

}  // namespace

std::vector<Segment> BuildSegments(const std::string& reference, const std::string& edited) {
  const std::vector<Unit> a = Tokenize(reference);
  const std::vector<Unit> b = Tokenize(edited);

  // The backward walk keeps equal units as soon as it meets them, so a common suffix comes out
  // kept one to one whatever precedes it: keep it without the table.
  std::size_t n = a.size();
  std::size_t m = b.size();
  while (n > 0 && m > 0 && qm::editor::SameUnit(a[n - 1].text, b[m - 1].text)) {
    --n;
    --m;
  }

  // Walk back over the longest-common-subsequence table; on a tie give up the reference unit
  // first, so a repeated unit is matched at its last possible place.
  std::vector<std::uint32_t> idsA, idsB;
  const std::size_t alphabet = qm::editor::AssignUnitIds(
      n, [&](std::size_t i) { return a[i].text; }, m, [&](std::size_t j) { return b[j].text; }, idsA, idsB);
  const qm::editor::UnitPairs kept = qm::editor::WalkBackCommonSubsequence(idsA, idsB, alphabet);

  // Emit forward, run of kept pairs by run (the walk gives the pairs last first): before each run
  // the removed units, then the inserted ones. Two neighbouring pieces never share a kind: a run
  // ends where units are removed or inserted.
  std::vector<Segment> result;
  result.reserve(3 * kept.size() + 3);
  const auto emit = [&result](SegmentKind kind, std::string_view text) {
    if (text.empty()) return;
    Segment& segment = result.emplace_back();
    segment.kind = kind;
    segment.text.assign(text);  // in place: a short text is not copied twice
  };
  std::size_t i = 0, j = 0;
  const auto keep = [&](std::size_t toA, std::size_t toB, std::size_t count) {
    emit(SegmentKind::kRemoved, Run(a, i, toA));
    emit(SegmentKind::kInserted, Run(b, j, toB));
    emit(SegmentKind::kKept, Run(b, toB, toB + count));
    i = toA + count;
    j = toB + count;
  };
  for (auto pair = kept.rbegin(); pair != kept.rend();) {
    const std::size_t toA = pair->first, toB = pair->second;
    std::size_t count = 1;
    for (++pair; pair != kept.rend() && pair->first == toA + count && pair->second == toB + count; ++pair) {
      ++count;
    }
    // A run that reaches the common suffix goes on into it.
    if (toA + count == n && toB + count == m) {
      keep(toA, toB, count + a.size() - n);
      return result;
    }
    keep(toA, toB, count);
  }
  keep(n, m, a.size() - n);
  return result;
}

}  // namespace QuillomancerTrackedText
