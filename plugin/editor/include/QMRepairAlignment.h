#pragma once
// Token alignment: a longest common subsequence of two token sequences by normalised form, and
// the anchors that tie every token of a second text (the source text the user corrected) to the
// tokens and timed words of a first text (the transcript the service timed).

#include "QMRepairTokens.h"

#include <cstddef>
#include <set>
#include <utility>
#include <vector>

// (index in the first sequence, index in the second); a match list ascends in both.
using QMRepairTokenMatch = std::pair<std::size_t, std::size_t>;

// One token of the second text with the first-text tokens and word indexes it stands for.
struct QMRepairTokenAnchor {
  qm::platform::TextRange range;           // the second-text token's place in its text
  std::set<std::size_t> sourceTokenIndexes;  // tokens of the first text
  std::set<int> sourceWordIndexes;           // the service's index values of their timed words

  bool IsValid() const {
    return range.location != qm::platform::kTextNotFound && range.length != 0;
  }
  friend bool operator==(const QMRepairTokenAnchor&, const QMRepairTokenAnchor&) = default;
};

// A longest common subsequence of `a` and `b` by byte-equal normalised strings. On a tie the walk
// gives up the token of the first sequence ('x y' against 'y x' matches (1, 0)).
std::vector<QMRepairTokenMatch> QMComputeRepairTokenLCSMatches(
    const std::vector<QMRepairTokenInfo>& a, const std::vector<QMRepairTokenInfo>& b);

// Adds to `out` the word indexes of the timed words whose text ranges overlap the tokens
// first..last-1 (clamped to the tokens). Timed words without an index (negative) are not
// pickable and are never collected.
void QMCollectRepairSourceWordIndexesForTokenSpan(
    const std::vector<QMRepairTokenInfo>& tokens,
    const std::vector<QuillomancerTranscriptWordTiming>& timings, unsigned long first,
    unsigned long last, std::set<int>* out);

// One anchor per token of `second`, in order: matched tokens anchor one to one, replaced runs to
// the first-text tokens they replace, pure insertions to the first-text neighbours of the
// insertion point. No anchors when either text has no tokens or there are no timings.
std::vector<QMRepairTokenAnchor> QMBuildEffectiveRepairTokenAnchors(
    std::u16string_view first, std::u16string_view second,
    const std::vector<QuillomancerTranscriptWordTiming>& timings);
