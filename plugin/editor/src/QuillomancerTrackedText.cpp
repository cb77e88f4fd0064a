#include "QuillomancerTrackedText.h"

#include <algorithm>
#include <cstddef>

namespace QuillomancerTrackedText {

namespace {

bool IsAsciiWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::vector<Unit> Tokenize(const std::string& text) {
  std::vector<Unit> units;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const bool white = IsAsciiWhitespace(text[pos]);
    std::size_t end = pos + 1;
    while (end < text.size() && IsAsciiWhitespace(text[end]) == white) ++end;
    units.push_back(Unit{text.substr(pos, end - pos)});
    pos = end;
  }
  return units;
}

void AppendSegment(std::vector<Segment>& result, SegmentKind kind, const std::string& text) {
  if (text.empty()) return;
  if (!result.empty() && result.back().kind == kind) {
    result.back().text += text;
    return;
  }
  result.push_back(Segment{kind, text});
}

}  // namespace

std::vector<Segment> BuildSegments(const std::string& reference, const std::string& edited) {
  const std::vector<Unit> a = Tokenize(reference);
  const std::vector<Unit> b = Tokenize(edited);
  std::vector<bool> keepA(a.size(), false);
  std::vector<bool> keepB(b.size(), false);

  // The backward walk keeps equal units as soon as it meets them, so a common suffix comes out
  // kept one to one whatever precedes it: keep it without the table.
  std::size_t n = a.size();
  std::size_t m = b.size();
  while (n > 0 && m > 0 && a[n - 1].text == b[m - 1].text) {
    keepA[--n] = true;
    keepB[--m] = true;
  }
  const std::size_t width = m + 1;

  // lcs[i*width + j]: length of a longest common subsequence of a[0..i) and b[0..j).
  std::vector<std::int32_t> lcs((n + 1) * width, 0);
  for (std::size_t i = 1; i <= n; ++i) {
    for (std::size_t j = 1; j <= m; ++j) {
      if (a[i - 1].text == b[j - 1].text)
        lcs[i * width + j] = lcs[(i - 1) * width + (j - 1)] + 1;
      else
        lcs[i * width + j] = std::max(lcs[(i - 1) * width + j], lcs[i * width + (j - 1)]);
    }
  }

  // Walk back; on a tie give up the reference unit first, so a repeated unit is matched at its
  // last possible place.
  for (std::size_t i = n, j = m; i > 0 && j > 0;) {
    if (a[i - 1].text == b[j - 1].text) {
      keepA[i - 1] = true;
      keepB[j - 1] = true;
      --i;
      --j;
    } else if (lcs[(i - 1) * width + j] < lcs[i * width + (j - 1)]) {
      --j;
    } else {
      --i;
    }
  }

  // Emit forward; between two kept units all removals come before all insertions.
  std::vector<Segment> result;
  n = a.size();
  m = b.size();
  for (std::size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && keepA[i] && keepB[j] && a[i].text == b[j].text) {
      AppendSegment(result, SegmentKind::kKept, b[j].text);
      ++i;
      ++j;
    } else if (i < n && !keepA[i]) {
      AppendSegment(result, SegmentKind::kRemoved, a[i].text);
      ++i;
    } else if (j < m && !keepB[j]) {
      AppendSegment(result, SegmentKind::kInserted, b[j].text);
      ++j;
    } else {
      if (i < n) ++i;
      if (j < m) ++j;
    }
  }
  return result;
}

}  // namespace QuillomancerTrackedText
