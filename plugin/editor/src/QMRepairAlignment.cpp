#include "QMRepairAlignment.h"

#include <algorithm>
#include <cstdint>

using qm::platform::TextRange;

std::vector<QMRepairTokenMatch> QMComputeRepairTokenLCSMatches(
    const std::vector<QMRepairTokenInfo>& a, const std::vector<QMRepairTokenInfo>& b) {
  std::vector<QMRepairTokenMatch> matches;
  // The forward walk matches equal tokens as soon as it meets them, so a common prefix comes out
  // matched one to one whatever follows: match it without the table. Unchanged texts, the usual
  // case, then cost no table at all.
  std::size_t skip = 0;
  while (skip < a.size() && skip < b.size() && a[skip].normalized == b[skip].normalized) {
    matches.emplace_back(skip, skip);
    ++skip;
  }
  const std::size_t n = a.size() - skip;
  const std::size_t m = b.size() - skip;
  if (n == 0 || m == 0) return matches;
  auto A = [&](std::size_t i) -> const std::string& { return a[skip + i].normalized; };
  auto B = [&](std::size_t j) -> const std::string& { return b[skip + j].normalized; };

  const std::size_t width = m + 1;
  // suffix[i*width + j]: length of a longest common subsequence of the rest of a from i and of
  // b from j.
  std::vector<std::size_t> suffix((n + 1) * width, 0);
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      if (A(i) == B(j))
        suffix[i * width + j] = suffix[(i + 1) * width + (j + 1)] + 1;
      else
        suffix[i * width + j] = std::max(suffix[(i + 1) * width + j], suffix[i * width + (j + 1)]);
    }
  }
  // On a tie give up the token of the first sequence.
  for (std::size_t i = 0, j = 0; i < n && j < m;) {
    if (A(i) == B(j)) {
      matches.emplace_back(skip + i, skip + j);
      ++i;
      ++j;
    } else if (suffix[(i + 1) * width + j] < suffix[i * width + (j + 1)]) {
      ++j;
    } else {
      ++i;
    }
  }
  return matches;
}

void QMCollectRepairSourceWordIndexesForTokenSpan(
    const std::vector<QMRepairTokenInfo>& tokens,
    const std::vector<QuillomancerTranscriptWordTiming>& timings, unsigned long first,
    unsigned long last, std::set<int>* out) {
  if (!out || first >= last || tokens.empty()) return;
  first = std::min<unsigned long>(first, tokens.size());
  last = std::min<unsigned long>(last, tokens.size());
  for (unsigned long t = first; t < last; ++t) {
    const TextRange& range = tokens[t].range;
    if (range.location == qm::platform::kTextNotFound || range.length == 0) continue;
    for (const QuillomancerTranscriptWordTiming& timing : timings) {
      // A word without an index would select every other index-less word: not pickable.
      if (timing.index < 0 || !timing.HasUsableRange()) continue;
      if (qm::platform::rangesIntersect(timing.textRange, range)) out->insert(timing.index);
    }
  }
}

namespace {

struct AnchorBuilder {
  const std::vector<QMRepairTokenInfo>& a;
  const std::vector<QMRepairTokenInfo>& b;
  const std::vector<QuillomancerTranscriptWordTiming>& timings;
  std::vector<QMRepairTokenAnchor> anchors;

  // Anchors the second-text tokens b0..b1-1 to the first-text tokens a0..a1-1.
  void Span(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
    if (b0 >= b1 || b0 >= b.size()) return;  // a pure deletion anchors nothing
    std::set<std::size_t> tokenIndexes;
    std::set<int> wordIndexes;
    if (a0 < a1) {
      for (std::size_t t = a0; t < a1; ++t) tokenIndexes.insert(t);
      QMCollectRepairSourceWordIndexesForTokenSpan(a, timings, a0, a1, &wordIndexes);
    } else {
      // A pure insertion borrows the first-text neighbours of the insertion point.
      if (a0 > 0) {
        tokenIndexes.insert(a0 - 1);
        QMCollectRepairSourceWordIndexesForTokenSpan(a, timings, a0 - 1, a0, &wordIndexes);
      }
      if (a1 < a.size()) {
        tokenIndexes.insert(a1);
        QMCollectRepairSourceWordIndexesForTokenSpan(a, timings, a1, a1 + 1, &wordIndexes);
      }
    }
    for (std::size_t k = b0; k < b1 && k < b.size(); ++k)
      anchors.push_back(QMRepairTokenAnchor{b[k].range, tokenIndexes, wordIndexes});
  }
};

}  // namespace

std::vector<QMRepairTokenAnchor> QMBuildEffectiveRepairTokenAnchors(
    std::u16string_view first, std::u16string_view second,
    const std::vector<QuillomancerTranscriptWordTiming>& timings) {
  const std::vector<QMRepairTokenInfo> a = QMTokenizeRepairTokens(first);
  const std::vector<QMRepairTokenInfo> b = QMTokenizeRepairTokens(second);
  if (a.empty() || b.empty() || timings.empty()) return {};

  AnchorBuilder builder{a, b, timings, {}};
  std::size_t cursorA = 0;
  std::size_t cursorB = 0;
  for (const auto& [i, j] : QMComputeRepairTokenLCSMatches(a, b)) {
    builder.Span(cursorA, i, cursorB, j);
    builder.Span(i, i + 1, j, j + 1);
    cursorA = i + 1;
    cursorB = j + 1;
  }
  builder.Span(cursorA, a.size(), cursorB, b.size());
  return std::move(builder.anchors);
}
