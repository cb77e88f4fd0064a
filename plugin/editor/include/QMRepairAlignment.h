#pragma once
// Token alignment: a longest common subsequence of two token sequences by normalised form, and
// the anchors that tie every token of a second text (the source text the user corrected) to the
// tokens and timed words of a first text (the transcript the service timed).

#include "QMRepairTokens.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <set>
#include <utility>
#include <vector>

// (index in the first sequence, index in the second); a match list ascends in both.
using QMRepairTokenMatch = std::pair<std::size_t, std::size_t>;

// An ordered set of indexes, read-only: ascending values without repeats. A set of more than
// two values shares its storage with its copies, so that the anchors of one span (and of one
// call) hold no copies of their sets; smaller ones are kept inline.
template <typename T>
class QMRepairIndexSet {
 public:
  using value_type = T;
  using const_iterator = const T*;
  using iterator = const_iterator;

  QMRepairIndexSet() = default;
  // The `count` ascending, distinct values at `values`, which `owner` keeps alive.
  QMRepairIndexSet(const std::shared_ptr<const void>& owner, const T* values, std::size_t count)
      : count_(count) {
    if (count <= kInline) std::copy(values, values + count, inline_);
    else shared_ = std::shared_ptr<const T>(owner, values);
  }

  // A copy of `values`, so that an anchor can still be made from sets.
  QMRepairIndexSet(const std::set<T>& values)
      : QMRepairIndexSet(std::make_shared<const std::vector<T>>(values.begin(), values.end())) {}

  const_iterator begin() const { return shared_ ? shared_.get() : inline_; }
  const_iterator end() const { return begin() + count_; }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  operator std::set<T>() const { return std::set<T>(begin(), end()); }

  friend bool operator==(const QMRepairIndexSet& a, const QMRepairIndexSet& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator==(const QMRepairIndexSet& a, const std::set<T>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  static constexpr std::size_t kInline = 2;

  explicit QMRepairIndexSet(const std::shared_ptr<const std::vector<T>>& values)
      : QMRepairIndexSet(values, values->data(), values->size()) {}

  std::shared_ptr<const T> shared_;  // null when the values are inline
  std::size_t count_ = 0;
  T inline_[kInline] = {};
};

// One token of the second text with the first-text tokens and word indexes it stands for.
struct QMRepairTokenAnchor {
  qm::platform::TextRange range;                      // the second-text token's place in its text
  QMRepairIndexSet<std::size_t> sourceTokenIndexes;  // tokens of the first text
  QMRepairIndexSet<int> sourceWordIndexes;           // the service's index values of their timed words

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
// insertion point. No anchors when either text has no tokens or there are no timings. The
// anchors of one call share the storage of their index sets.
std::vector<QMRepairTokenAnchor> QMBuildEffectiveRepairTokenAnchors(
    std::u16string_view first, std::u16string_view second,
    const std::vector<QuillomancerTranscriptWordTiming>& timings);
