#include "QMRepairAlignment.h"

#include <gtest/gtest.h>

#include <random>

using qm::platform::TextRange;
using Timing = QuillomancerTranscriptWordTiming;
using Matches = std::vector<QMRepairTokenMatch>;

namespace {

// One timed word per token of `text`, indexed 10, 11, ... so that word indexes differ from token
// positions.
std::vector<Timing> TimeEveryToken(std::u16string_view text) {
  std::vector<Timing> timings;
  int index = 10;
  double t = 0.0;
  for (const auto& token : QMTokenizeRepairTokens(text)) {
    Timing timing;
    timing.index = index++;
    timing.textRange = token.range;
    timing.hasTextRange = true;
    timing.start = t;
    timing.end = t += 0.25;
    timings.push_back(timing);
  }
  return timings;
}

struct AnchorView {
  TextRange range;
  std::set<std::size_t> tokens;
  std::set<int> words;
  friend bool operator==(const AnchorView&, const AnchorView&) = default;
};

std::vector<AnchorView> View(const std::vector<QMRepairTokenAnchor>& anchors) {
  std::vector<AnchorView> out;
  for (const auto& a : anchors) out.push_back({a.range, a.sourceTokenIndexes, a.sourceWordIndexes});
  return out;
}

void PrintTo(const AnchorView& a, std::ostream* os) {
  *os << "{" << a.range.location << "+" << a.range.length << " tokens:";
  for (auto t : a.tokens) *os << " " << t;
  *os << " words:";
  for (auto w : a.words) *os << " " << w;
  *os << "}";
}

}  // namespace

TEST(RepairTokenLCS, MatchesAndTies) {
  struct Case {
    const char* name;
    std::u16string a, b;
    Matches expected;
  };
  const Case cases[] = {
      {"tie gives up the first sequence", u"x y", u"y x", {{1, 0}}},
      {"equal texts", u"we go now", u"we go now", {{0, 0}, {1, 1}, {2, 2}}},
      {"insertion", u"we go now", u"we really go now", {{0, 0}, {1, 2}, {2, 3}}},
      {"normalisation decides", u"Don\u2019t! stop", u"don\u2019t stop", {{0, 0}, {1, 1}}},
      {"apostrophe differs from quotation mark", u"don't", u"don\u2019t", {}},
      {"repeats on the tie walk", u"a b a", u"a", {{0, 0}}},
      {"reversal of three: ties keep giving up the first", u"a b c", u"c b a", {{2, 0}}},
      {"empty side", u"", u"a", {}},
      {"common prefix then a tie", u"p q x y", u"p q y x", {{0, 0}, {1, 1}, {3, 2}}},
      {"prefix covers the shorter text", u"a b", u"a b b", {{0, 0}, {1, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QMComputeRepairTokenLCSMatches(QMTokenizeRepairTokens(c.a), QMTokenizeRepairTokens(c.b)),
              c.expected);
  }
}

TEST(RepairWordIndexes, SpanCollectsEveryOverlappingTimedWord) {
  const std::u16string text = u"one two three";
  const auto tokens = QMTokenizeRepairTokens(text);
  std::vector<Timing> timings = TimeEveryToken(text);  // 10, 11, 12
  Timing wide = timings[1];  // a second word over 'two three', times ignored here
  wide.index = 20;
  wide.textRange = {4, 9};
  wide.end = wide.start;
  timings.push_back(wide);
  Timing unindexed = timings[0];
  unindexed.index = -1;
  timings.push_back(unindexed);
  Timing unplaced = timings[0];
  unplaced.index = 30;
  unplaced.hasTextRange = false;
  timings.push_back(unplaced);

  struct Case {
    unsigned long first, last;
    std::set<int> expected;
  };
  const Case cases[] = {
      {0, 1, {10}},  // the index-less word is never collected
      {1, 2, {11, 20}},
      {1, 3, {11, 12, 20}},
      {2, 99, {12, 20}},  // clamped
      {2, 2, {}},
      {3, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ".." << c.last);
    std::set<int> out = {};
    QMCollectRepairSourceWordIndexesForTokenSpan(tokens, timings, c.first, c.last, &out);
    EXPECT_EQ(out, c.expected);
  }
  std::set<int> kept = {5};
  QMCollectRepairSourceWordIndexesForTokenSpan({}, timings, 0, 1, &kept);
  EXPECT_EQ(kept, std::set<int>{5});
  QMCollectRepairSourceWordIndexesForTokenSpan(tokens, timings, 0, 1, nullptr);  // no crash
}

TEST(RepairAnchors, Examples) {
  struct Case {
    const char* name;
    std::u16string first, second;
    std::vector<AnchorView> expected;
  };
  const Case cases[] = {
      {"equal texts", u"we go now", u"we go now",
       {{{0, 2}, {0}, {10}}, {{3, 2}, {1}, {11}}, {{6, 3}, {2}, {12}}}},
      {"insertion borrows both neighbours", u"we go now", u"we really go now",
       {{{0, 2}, {0}, {10}}, {{3, 6}, {0, 1}, {10, 11}}, {{10, 2}, {1}, {11}}, {{13, 3}, {2}, {12}}}},
      {"typed before the first word", u"go now", u"so go now",
       {{{0, 2}, {0}, {10}}, {{3, 2}, {0}, {10}}, {{6, 3}, {1}, {11}}}},
      {"typed after the last word", u"go now", u"go now then",
       {{{0, 2}, {0}, {10}}, {{3, 3}, {1}, {11}}, {{7, 4}, {1}, {11}}}},
      {"merge of two words", u"to morrow", u"tomorrow", {{{0, 8}, {0, 1}, {10, 11}}}},
      {"replacement", u"cat", u"dog", {{{0, 3}, {0}, {10}}}},
      {"deleted word belongs to no anchor", u"go on now", u"go now",
       {{{0, 2}, {0}, {10}}, {{3, 3}, {2}, {12}}}},
      {"swap", u"x y", u"y x", {{{0, 1}, {1}, {11}}, {{2, 1}, {1}, {11}}}},
      {"normalised equality", u"Don\u2019t! go", u"don\u2019t go",
       {{{0, 5}, {0}, {10}}, {{6, 2}, {1}, {11}}}},
      {"first text empty of words", u"...", u"go", {}},
      {"second text empty", u"go", u"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto anchors = QMBuildEffectiveRepairTokenAnchors(c.first, c.second, TimeEveryToken(c.first));
    EXPECT_EQ(View(anchors), c.expected);
    for (const auto& a : anchors) EXPECT_TRUE(a.IsValid());
  }
}

TEST(RepairAnchors, NoneWithoutTimings) {
  EXPECT_TRUE(QMBuildEffectiveRepairTokenAnchors(u"we go", u"we go", {}).empty());
}

TEST(RepairAnchors, UntimedTokensAnchorWithoutWordIndexes) {
  const std::u16string first = u"one two three";
  auto timings = TimeEveryToken(first);
  timings.erase(timings.begin() + 1);  // 'two' has no timed word
  const auto anchors = QMBuildEffectiveRepairTokenAnchors(first, u"one two three", timings);
  ASSERT_EQ(anchors.size(), 3u);
  EXPECT_EQ(anchors[1].sourceTokenIndexes, std::set<std::size_t>{1});
  EXPECT_TRUE(anchors[1].sourceWordIndexes.empty());
  EXPECT_EQ(anchors[2].sourceWordIndexes, std::set<int>{12});
}

TEST(RepairAnchors, ACopyOutlivesTheCallThatMadeIt) {
  const std::u16string first = u"one two three four";
  QMRepairTokenAnchor kept;
  {
    const auto anchors = QMBuildEffectiveRepairTokenAnchors(first, u"five six seven eight", TimeEveryToken(first));
    ASSERT_EQ(anchors.size(), 4u);
    kept = anchors.back();
  }
  EXPECT_EQ(kept, (QMRepairTokenAnchor{{15, 5}, std::set<std::size_t>{0, 1, 2, 3}, std::set<int>{10, 11, 12, 13}}));
}

TEST(RepairTokenLCS, AgreesWithThePlainTableWalkOnRandomTexts) {
  // The plain way: full suffix table and forward walk, no shortcut for a common prefix.
  auto plain = [](const std::vector<QMRepairTokenInfo>& a, const std::vector<QMRepairTokenInfo>& b) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<std::size_t>> s(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
      for (std::size_t j = m; j-- > 0;)
        s[i][j] = a[i].normalized == b[j].normalized ? s[i + 1][j + 1] + 1 : std::max(s[i + 1][j], s[i][j + 1]);
    Matches out;
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
      if (a[i].normalized == b[j].normalized) out.emplace_back(i++, j++);
      else if (s[i + 1][j] < s[i][j + 1]) ++j;
      else ++i;
    }
    return out;
  };
  std::mt19937 rng(1209);
  auto randomText = [&] {
    std::u16string text;
    // Mostly short texts, dense in ties; some past the 64-token word boundaries.
    for (int k = static_cast<int>(rng() % (rng() % 4 ? 8 : 200)); k > 0; --k)
      text += std::u16string(1, u"xyz"[rng() % 3]) + u" ";
    return text;
  };
  for (int round = 0; round < 3000; ++round) {
    const auto a = QMTokenizeRepairTokens(randomText());
    const auto b = QMTokenizeRepairTokens(randomText());
    ASSERT_EQ(QMComputeRepairTokenLCSMatches(a, b), plain(a, b)) << round;
  }
}
