#include "QMRepairAlignment.h"

#include "QMCommonSubsequence.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

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

  // The forward walk over the table of suffix lengths is the backward walk over the prefix
  // table of both sequences reversed: same comparisons, same ties (give up the first sequence's
  // token). Reversed, the pairs come out first first.
  std::vector<std::uint32_t> idsA, idsB;
  const std::size_t alphabet = qm::editor::AssignUnitIds(
      n, [&](std::size_t i) -> std::string_view { return a[a.size() - 1 - i].normalized; }, m,
      [&](std::size_t j) -> std::string_view { return b[b.size() - 1 - j].normalized; }, idsA, idsB);
  for (const auto& [i, j] : qm::editor::WalkBackCommonSubsequence(idsA, idsB, alphabet))
    matches.emplace_back(a.size() - 1 - i, b.size() - 1 - j);
  return matches;
}

namespace {

// A word without an index would select every other index-less word: not pickable.
bool IsPickable(const QuillomancerTranscriptWordTiming& timing) {
  return timing.index >= 0 && timing.HasUsableRange();
}

// Sorts words[from..] and drops repeats. The rows of neighbouring tokens mostly come in order.
void SortAndDropRepeats(std::vector<int>& words, std::size_t from) {
  const auto first = words.begin() + static_cast<std::ptrdiff_t>(from);
  if (!std::is_sorted(first, words.end())) std::sort(first, words.end());
  words.erase(std::unique(first, words.end()), words.end());
}

// The word indexes under every token, in one pass over the tokens (which ascend without
// overlapping, as the tokenizer cuts them) and the pickable timed words sorted by place: the
// words of token t are words[offsets[t]..offsets[t+1]), ascending, without repeats.
void CollectWordIndexesPerToken(const std::vector<QMRepairTokenInfo>& tokens,
                                const std::vector<QuillomancerTranscriptWordTiming>& timings,
                                std::vector<std::size_t>& offsets, std::vector<int>& words) {
  struct Placed {
    std::size_t location, end;
    int index;
  };
  std::vector<Placed> placed;
  placed.reserve(timings.size());
  for (const QuillomancerTranscriptWordTiming& timing : timings) {
    const TextRange range = timing.textRange;
    // A range whose end overflows ends before it starts and meets no token.
    if (!IsPickable(timing) || range.location == qm::platform::kTextNotFound ||
        range.length > SIZE_MAX - range.location)
      continue;
    placed.push_back(Placed{range.location, range.end(), timing.index});
  }
  const auto byLocation = [](const Placed& x, const Placed& y) { return x.location < y.location; };
  if (!std::is_sorted(placed.begin(), placed.end(), byLocation))
    std::sort(placed.begin(), placed.end(), byLocation);

  std::vector<Placed> open;  // started before the current token ends, not yet ended before it
  open.reserve(8);
  std::size_t next = 0;
  offsets.assign(1, 0);
  offsets.reserve(tokens.size() + 1);
  words.reserve(words.size() + placed.size() + tokens.size());
  for (const QMRepairTokenInfo& token : tokens) {
    const TextRange range = token.range;
    if (range.location != qm::platform::kTextNotFound && range.length != 0) {
      while (next < placed.size() && placed[next].location < range.end()) open.push_back(placed[next++]);
      std::erase_if(open, [&](const Placed& p) { return p.end <= range.location; });
      const std::size_t from = words.size();
      for (const Placed& p : open) words.push_back(p.index);
      SortAndDropRepeats(words, from);
    }
    offsets.push_back(words.size());
  }
}

}  // namespace

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
    for (const QuillomancerTranscriptWordTiming& timing : timings)
      if (IsPickable(timing) && qm::platform::rangesIntersect(timing.textRange, range))
        out->insert(timing.index);
  }
}

std::vector<QMRepairTokenAnchor> QMBuildEffectiveRepairTokenAnchors(
    std::u16string_view first, std::u16string_view second,
    const std::vector<QuillomancerTranscriptWordTiming>& timings) {
  const std::vector<QMRepairTokenInfo> a = QMTokenizeRepairTokens(first);
  const std::vector<QMRepairTokenInfo> b = QMTokenizeRepairTokens(second);
  if (a.empty() || b.empty() || timings.empty()) return {};

  // Every span's tokens are a run of consecutive first-text tokens, so all token sets are slices
  // of 0..|a|-1; a one-token span's words are that token's row. Wider spans get their merged
  // words appended after the rows. Slices are taken once nothing grows any more.
  struct Storage {
    std::vector<std::size_t> tokens;
    std::vector<int> words;
  };
  const auto storage = std::make_shared<Storage>();
  const std::shared_ptr<const void> owner = storage;
  storage->tokens.resize(a.size());
  std::iota(storage->tokens.begin(), storage->tokens.end(), std::size_t{0});
  std::vector<std::size_t> offsets;
  CollectWordIndexesPerToken(a, timings, offsets, storage->words);

  struct Span {
    std::size_t tokenFirst, tokenLast, wordFirst, wordLast, b0, b1;
  };
  std::vector<Span> spans;
  // Anchors the second-text tokens b0..b1-1 to the first-text tokens a0..a1-1.
  auto span = [&](std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
    if (b0 >= b1 || b0 >= b.size()) return;  // a pure deletion anchors nothing
    if (a0 >= a1) {
      // A pure insertion borrows the first-text neighbours of the insertion point.
      a0 = a0 > 0 ? a0 - 1 : a0;
      a1 = a1 < a.size() ? a1 + 1 : a1;
    }
    Span s{a0, a1, offsets[a0], offsets[a0 + 1], b0, std::min(b1, b.size())};
    if (a1 - a0 > 1) {
      std::vector<int>& words = storage->words;
      s.wordFirst = words.size();
      words.reserve(words.size() + offsets[a1] - offsets[a0]);
      for (std::size_t k = offsets[a0]; k < offsets[a1]; ++k) words.push_back(words[k]);
      SortAndDropRepeats(words, s.wordFirst);
      s.wordLast = words.size();
    }
    spans.push_back(s);
  };
  std::size_t cursorA = 0;
  std::size_t cursorB = 0;
  for (const auto& [i, j] : QMComputeRepairTokenLCSMatches(a, b)) {
    span(cursorA, i, cursorB, j);
    span(i, i + 1, j, j + 1);
    cursorA = i + 1;
    cursorB = j + 1;
  }
  span(cursorA, a.size(), cursorB, b.size());

  std::vector<QMRepairTokenAnchor> anchors;
  anchors.reserve(b.size());
  for (const Span& s : spans) {
    const QMRepairIndexSet<std::size_t> tokenIndexes(owner, storage->tokens.data() + s.tokenFirst,
                                                     s.tokenLast - s.tokenFirst);
    const QMRepairIndexSet<int> wordIndexes(owner, storage->words.data() + s.wordFirst,
                                            s.wordLast - s.wordFirst);
    for (std::size_t k = s.b0; k < s.b1; ++k)
      anchors.push_back(QMRepairTokenAnchor{b[k].range, tokenIndexes, wordIndexes});
  }
  return anchors;
}
