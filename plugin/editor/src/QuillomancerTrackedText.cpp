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
  const std::string_view view(text);
  std::size_t count = view.empty() ? 0 : 1;
  for (std::size_t pos = 1; pos < view.size(); ++pos)
    count += IsAsciiWhitespace(view[pos]) != IsAsciiWhitespace(view[pos - 1]);
  units.reserve(count);
  std::size_t pos = 0;
  while (pos < view.size()) {
    const bool white = IsAsciiWhitespace(view[pos]);
    std::size_t end = pos + 1;
    while (end < view.size() && IsAsciiWhitespace(view[end]) == white) ++end;
    units.push_back(Unit{view.substr(pos, end - pos)});
    pos = end;
  }
  return units;
}

void AppendSegment(std::vector<Segment>& result, SegmentKind kind, std::string_view text) {
  if (text.empty()) return;
  if (!result.empty() && result.back().kind == kind) {
    result.back().text += text;
    return;
  }
  Segment& segment = result.emplace_back();
  segment.kind = kind;
  segment.text.assign(text);  // in place: a short text is not copied twice
}

// Collects the appended units of one kind while they follow one another in their text, so that
// a run of many units becomes one segment with one copy.
class SegmentWriter {
 public:
  explicit SegmentWriter(std::size_t expectedSegments) { result_.reserve(expectedSegments); }

  void Append(SegmentKind kind, std::string_view unit) {
    if (unit.empty()) return;
    if (!run_.empty() && kind == kind_ && unit.data() == run_.data() + run_.size()) {
      run_ = std::string_view(run_.data(), run_.size() + unit.size());
      return;
    }
    AppendSegment(result_, kind_, run_);
    kind_ = kind;
    run_ = unit;
  }
  std::vector<Segment> Finish() {
    AppendSegment(result_, kind_, run_);
    return std::move(result_);
  }

 private:
  std::vector<Segment> result_;
  SegmentKind kind_ = SegmentKind::kKept;
  std::string_view run_;
};

// Room for the usual number of segments: a kept one per block of kept reference units, and a
// removed and an inserted one around each.
std::size_t ExpectedSegments(const std::vector<std::uint8_t>& keepA, std::size_t units) {
  std::size_t blocks = 0;
  for (std::size_t i = 0; i < keepA.size(); ++i) blocks += keepA[i] && (i == 0 || !keepA[i - 1]);
  return std::min(units, 3 * blocks + 2);
}

}  // namespace

std::vector<Segment> BuildSegments(const std::string& reference, const std::string& edited) {
  const std::vector<Unit> a = Tokenize(reference);
  const std::vector<Unit> b = Tokenize(edited);
  // One byte per flag: cheaper to test and set than packed bits, and a few hundred bytes.
  std::vector<std::uint8_t> keepA(a.size(), 0);
  std::vector<std::uint8_t> keepB(b.size(), 0);

  // The backward walk keeps equal units as soon as it meets them, so a common suffix comes out
  // kept one to one whatever precedes it: keep it without the table.
  std::size_t n = a.size();
  std::size_t m = b.size();
  while (n > 0 && m > 0 && qm::editor::SameUnit(a[n - 1].text, b[m - 1].text)) {
    keepA[--n] = 1;
    keepB[--m] = 1;
  }

  // Walk back over the longest-common-subsequence table; on a tie give up the reference unit
  // first, so a repeated unit is matched at its last possible place.
  std::vector<std::uint32_t> idsA, idsB;
  const std::size_t alphabet = qm::editor::AssignUnitIds(
      n, [&](std::size_t i) { return a[i].text; }, m, [&](std::size_t j) { return b[j].text; }, idsA, idsB);
  for (const auto& [i, j] : qm::editor::WalkBackCommonSubsequence(idsA, idsB, alphabet)) {
    keepA[i] = 1;
    keepB[j] = 1;
  }

  // Emit forward; between two kept units all removals come before all insertions.
  SegmentWriter result(ExpectedSegments(keepA, a.size() + b.size()));
  n = a.size();
  m = b.size();
  for (std::size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && keepA[i] && keepB[j] && qm::editor::SameUnit(a[i].text, b[j].text)) {
      result.Append(SegmentKind::kKept, b[j].text);
      ++i;
      ++j;
    } else if (i < n && !keepA[i]) {
      result.Append(SegmentKind::kRemoved, a[i].text);
      ++i;
    } else if (j < m && !keepB[j]) {
      result.Append(SegmentKind::kInserted, b[j].text);
      ++j;
    } else {
      if (i < n) ++i;
      if (j < m) ++j;
    }
  }
  return result.Finish();
}

}  // namespace QuillomancerTrackedText
