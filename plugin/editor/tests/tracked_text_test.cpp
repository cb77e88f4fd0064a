#include "QuillomancerTrackedText.h"

#include <gtest/gtest.h>

#include <random>

using QuillomancerTrackedText::BuildSegments;
using QuillomancerTrackedText::Segment;
using Kind = QuillomancerTrackedText::SegmentKind;

namespace {

Segment K(std::string t) { return {Kind::kKept, std::move(t)}; }
Segment R(std::string t) { return {Kind::kRemoved, std::move(t)}; }
Segment I(std::string t) { return {Kind::kInserted, std::move(t)}; }

std::string Join(const std::vector<Segment>& segments, Kind skip) {
  std::string out;
  for (const auto& s : segments)
    if (s.kind != skip) out += s.text;
  return out;
}

}  // namespace

namespace QuillomancerTrackedText {
void PrintTo(const Segment& s, std::ostream* os) {
  *os << "{" << static_cast<int>(s.kind) << ", '" << s.text << "'}";
}
}  // namespace QuillomancerTrackedText

TEST(WordDiff, Examples) {
  struct Case {
    const char* name;
    std::string reference, edited;
    std::vector<Segment> expected;
  };
  const Case cases[] = {
      {"both empty", "", "", {}},
      {"only edited", "", "a b", {I("a b")}},
      {"only reference", "a b", "", {R("a b")}},
      {"equal texts merge into one kept run", "one two", "one two", {K("one two")}},
      {"one word replaced", "the cat sat", "the dog sat", {K("the "), R("cat"), I("dog"), K(" sat")}},
      {"whitespace runs are units", "a  b", "a b", {K("a"), R("  "), I(" "), K("b")}},
      {"tie gives up the reference unit", "x y", "y x", {I("y "), K("x"), R(" y")}},
      {"repeated unit kept at its last place", "a b a", "a", {R("a b "), K("a")}},
      {"reversal", "a b c", "c b a", {R("a"), I("c"), K(" b "), R("c"), I("a")}},
      {"case sensitive", "Word", "word", {R("Word"), I("word")}},
      {"no-break space joins words", "a\xC2\xA0" "b c", "a b c",
       {R("a\xC2\xA0" "b"), I("a b"), K(" c")}},
      {"CRLF differs from LF", "a\r\nb", "a\nb", {K("a"), R("\r\n"), I("\n"), K("b")}},
      {"tab differs from space", "a\tb", "a b", {K("a"), R("\t"), I(" "), K("b")}},
      {"vertical tab and form feed are not whitespace", "a\x0B" "b", "a b",
       {R("a\x0B" "b"), I("a b")}},
      {"multi-byte characters stay whole", "caf\xC3\xA9 ok", "cafe ok",
       {R("caf\xC3\xA9"), I("cafe"), K(" ok")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto segments = BuildSegments(c.reference, c.edited);
    EXPECT_EQ(segments, c.expected);
    EXPECT_EQ(Join(segments, Kind::kInserted), c.reference);
    EXPECT_EQ(Join(segments, Kind::kRemoved), c.edited);
  }
}

TEST(WordDiff, ReconstructsBothTextsAndNeverRepeatsAKind) {
  const std::pair<std::string, std::string> pairs[] = {
      {"please take the red one", "please  take a blue one now"},
      {" lead and trail ", "lead\tand trail"},
      {"a a a a b", "b a a"},
      {"x", "x x x"},
  };
  for (const auto& [reference, edited] : pairs) {
    SCOPED_TRACE(reference + " | " + edited);
    const auto segments = BuildSegments(reference, edited);
    EXPECT_EQ(Join(segments, Kind::kInserted), reference);
    EXPECT_EQ(Join(segments, Kind::kRemoved), edited);
    for (std::size_t k = 0; k < segments.size(); ++k) {
      EXPECT_FALSE(segments[k].text.empty());
      if (k > 0) {
        EXPECT_NE(segments[k].kind, segments[k - 1].kind);
      }
    }
  }
}

namespace {

// The diff computed the plain way: full table, backward walk, forward emit.
std::vector<Segment> PlainDiff(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
  for (std::size_t i = 1; i <= n; ++i)
    for (std::size_t j = 1; j <= m; ++j)
      lcs[i][j] = a[i - 1] == b[j - 1] ? lcs[i - 1][j - 1] + 1 : std::max(lcs[i - 1][j], lcs[i][j - 1]);
  std::vector<bool> keepA(n), keepB(m);
  for (std::size_t i = n, j = m; i > 0 && j > 0;) {
    if (a[i - 1] == b[j - 1]) {
      keepA[--i] = true;
      keepB[--j] = true;
    } else if (lcs[i - 1][j] < lcs[i][j - 1]) {
      --j;
    } else {
      --i;
    }
  }
  std::vector<Segment> out;
  auto append = [&](Kind kind, const std::string& text) {
    if (!out.empty() && out.back().kind == kind) out.back().text += text;
    else out.push_back({kind, text});
  };
  for (std::size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && keepA[i] && keepB[j]) {
      append(Kind::kKept, b[j]);
      ++i, ++j;
    } else if (i < n && !keepA[i]) {
      append(Kind::kRemoved, a[i++]);
    } else {
      append(Kind::kInserted, b[j++]);
    }
  }
  return out;
}

std::vector<std::string> RandomUnits(std::mt19937& rng) {
  static const char* words[] = {"a", "b", "c"};
  static const char* spaces[] = {" ", "  ", "\t"};
  std::vector<std::string> units;
  // Mostly short texts, dense in ties; some past the 64-unit word boundaries.
  const int count = static_cast<int>(rng() % (rng() % 4 ? 9 : 300));
  const bool startWithSpace = rng() % 2;
  for (int k = 0; k < count; ++k)
    units.push_back((k % 2 == 0) != startWithSpace ? words[rng() % 3] : spaces[rng() % 3]);
  return units;
}

}  // namespace

TEST(WordDiff, AgreesWithThePlainTableWalkOnRandomTexts) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 3000; ++round) {
    const auto a = RandomUnits(rng);
    const auto b = RandomUnits(rng);
    std::string reference, edited;
    for (const auto& u : a) reference += u;
    for (const auto& u : b) edited += u;
    SCOPED_TRACE("'" + reference + "' | '" + edited + "'");
    ASSERT_EQ(BuildSegments(reference, edited), PlainDiff(a, b));
  }
}
