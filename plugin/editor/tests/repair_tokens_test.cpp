#include "QMRepairTokens.h"

#include <gtest/gtest.h>

using qm::platform::TextRange;
using Timing = QuillomancerTranscriptWordTiming;

namespace {

std::vector<std::string> Normalized(const std::vector<QMRepairTokenInfo>& tokens) {
  std::vector<std::string> out;
  for (const auto& t : tokens) out.push_back(t.normalized);
  return out;
}

Timing Timed(int index, std::size_t location, std::size_t length, double start, double end) {
  Timing t;
  t.index = index;
  t.textRange = {location, length};
  t.hasTextRange = true;
  t.start = start;
  t.end = end;
  return t;
}

}  // namespace

TEST(RepairWordCharacters, Membership) {
  for (char16_t c : std::u16string(u"aZ09_'\u2019-\u00E9\u0301\u4E2D\u0663"))
    EXPECT_TRUE(QMIsRepairWordCharacter(c)) << int(c);
  for (char16_t c : std::u16string(u" .,!?\"\u2018\u2014\u00A0\t\n\U0001F3A4"))
    EXPECT_FALSE(QMIsRepairWordCharacter(c)) << int(c);
}

TEST(RepairWordRanges, MaximalRunsInTextOrder) {
  EXPECT_EQ(QMTokenizeRepairWordRanges(u""), std::vector<TextRange>{});
  EXPECT_EQ(QMTokenizeRepairWordRanges(u" ,. "), std::vector<TextRange>{});
  EXPECT_EQ(QMTokenizeRepairWordRanges(u"Hello, world!"),
            (std::vector<TextRange>{{0, 5}, {7, 5}}));
  EXPECT_EQ(QMTokenizeRepairWordRanges(u"don\u2019t re-do it_now"),
            (std::vector<TextRange>{{0, 5}, {6, 5}, {12, 6}}));
  // An emoji (a surrogate pair) separates words.
  EXPECT_EQ(QMTokenizeRepairWordRanges(u"a\U0001F3A4b"), (std::vector<TextRange>{{0, 1}, {3, 1}}));
}

TEST(RepairNormalizer, Examples) {
  struct Case { std::u16string in, out; };
  const Case cases[] = {
      {u"", u""},
      {u"Caf\u00E9", u"cafe"},
      {u"DON\u2019T", u"don\u2019t"},  // the right quotation mark stays
      {u"don't", u"don't"},
      {u"Hello,", u"hello"},
      {u"na\u00EFve", u"naive"},
      {u"\uFF28\uFF45\uFF4C\uFF4C\uFF4F", u"hello"},  // full-width
      {u"\u00C9COLE-\u00C9T\u00C9", u"ecole-ete"},
      {u"\u041F\u0440\u0438\u0432\u0435\u0442", u"\u043F\u0440\u0438\u0432\u0435\u0442"},
      {u"Stra\u00DFe", u"stra\u00DFe"},
      {u"\u0130STANBUL", u"istanbul"},  // the dot above folds away before lower-casing
      {u"a\U0001F3A4b!", u"ab"},  // surrogate halves dropped
      {u"\u201Cquoted\u201D", u"quoted"},
  };
  for (const auto& c : cases) EXPECT_EQ(QMNormalizeRepairTokenString(c.in), c.out);
}

TEST(RepairTokens, SkipsRangesThatNormaliseToNothing) {
  // A run made only of a combining mark folds away and is no token.
  const auto tokens = QMTokenizeRepairTokens(u"Caf\u00E9, \u0301 MIXED\u0416\u00E9 \uFF21b");
  EXPECT_EQ(Normalized(tokens),
            (std::vector<std::string>{"cafe", "mixed\xD0\xB6" "e", "ab"}));
  EXPECT_EQ(tokens[0].range, (TextRange{0, 4}));
  EXPECT_EQ(tokens[1].range, (TextRange{8, 7}));
  EXPECT_EQ(tokens[2].range, (TextRange{16, 2}));
  EXPECT_TRUE(QMTokenizeRepairTokensUTF8("bad \xFF utf8").empty());
  EXPECT_EQ(Normalized(QMTokenizeRepairTokensUTF8("Caf\xC3\xA9 ok")),
            (std::vector<std::string>{"cafe", "ok"}));
}

TEST(RepairTimingMap, FirstTimedOverlappingTimingWins) {
  const auto tokens = QMTokenizeRepairTokens(u"one two three");
  std::vector<Timing> timings = {
      Timed(0, 0, 3, 0.0, 0.5),
      Timed(1, 4, 3, 0.6, 0.6),   // end == start: not timed
      Timed(2, 4, 3, 0.6, 0.9),
      Timed(3, 4, 9, 1.0, 1.5),   // overlaps two and three
  };
  Timing noRange = Timed(4, 8, 5, 1.0, 2.0);
  noRange.hasTextRange = false;
  timings.push_back(noRange);
  const auto map = QMMapRepairSourceTokensToTimings(tokens, timings);
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map[0], &timings[0]);
  EXPECT_EQ(map[1], &timings[2]);
  EXPECT_EQ(map[2], &timings[3]);
}

TEST(RepairCoverage, LongestUnmappedRunDecides) {
  // Tokens of 'a b c d e' sit at 0, 2, 4, 6, 8.
  const auto tokens = QMTokenizeRepairTokens(u"a b c d e");
  auto timingsFor = [](std::initializer_list<int> mapped) {
    std::vector<Timing> t;
    for (int k : mapped) t.push_back(Timed(k, static_cast<std::size_t>(2 * k), 1, k, k + 0.5));
    return t;
  };
  struct Case {
    const char* name;
    std::vector<Timing> timings;
    bool usable;
    unsigned long gap;
  };
  const Case cases[] = {
      {"all mapped", timingsFor({0, 1, 2, 3, 4}), true, 0},
      {"single gaps", timingsFor({0, 2, 4}), true, 1},
      {"gap of two inside", timingsFor({0, 3, 4}), false, 2},
      {"gap of two at the start", timingsFor({2, 3, 4}), false, 2},
      {"gap of two at the end", timingsFor({0, 1, 2}), false, 2},
      {"one gap at each end", timingsFor({1, 2, 3}), true, 1},
      {"no timings", {}, false, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned long gap = 99;
    EXPECT_EQ(QMHasRecoverableRepairTimingCoverage(tokens, c.timings, &gap), c.usable);
    EXPECT_EQ(gap, c.gap);
    EXPECT_EQ(QMHasRecoverableRepairTimingCoverage(tokens, c.timings, nullptr), c.usable);
  }
  unsigned long gap = 99;
  EXPECT_FALSE(QMHasRecoverableRepairTimingCoverage({}, timingsFor({0}), &gap));
  EXPECT_EQ(gap, 0u);
  // A token covered only by a timing whose end equals its start counts as unmapped.
  auto zeroLength = timingsFor({0, 1, 2, 3, 4});
  zeroLength[1].end = zeroLength[1].start;
  zeroLength[2].end = zeroLength[2].start;
  EXPECT_FALSE(QMHasRecoverableRepairTimingCoverage(tokens, zeroLength, &gap));
  EXPECT_EQ(gap, 2u);
}

TEST(JsonDictionary, OnlyObjectsAnswer) {
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString(""));
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString("[1]"));
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString("\"text\""));
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString("{\"a\":"));
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString("{\"a\":\"\xFF\"}"));
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString("{\"a\":1e999e5}"));  // still not JSON
  EXPECT_FALSE(QMParseJSONDictionaryFromStdString("{\"a\":01e999}"));
  const auto nulled = QMParseJSONDictionaryFromStdString("{\"a\":-1E+999,\"b\":\"1e999\"}");
  ASSERT_TRUE(nulled);
  EXPECT_TRUE((*nulled)["a"].is_null());
  EXPECT_EQ((*nulled)["b"], "1e999");  // inside a string nothing changes
  const auto object = QMParseJSONDictionaryFromStdString(" {\"a\": 1} ");
  ASSERT_TRUE(object);
  EXPECT_EQ((*object)["a"], 1);
}

TEST(TranscriptPayload, TextRules) {
  struct Case {
    const char* name;
    std::string payload;
    bool ok;
    std::string text;
  };
  const Case cases[] = {
      {"empty payload", "", false, ""},
      {"not JSON", "hello there", false, ""},
      {"top-level array", "[{\"text\":\"a\"}]", false, ""},
      {"no text", "{\"words\":[]}", false, ""},
      {"empty text", "{\"text\":\"\"}", false, ""},
      {"text is a number", "{\"text\":5}", false, ""},
      {"text only", "{\"text\":\"Hi there\"}", true, "Hi there"},
      {"words not an array", "{\"text\":\"Hi\",\"words\":{\"word\":\"Hi\"}}", true, "Hi"},
      {"escaped text", "{\"text\":\"caf\\u00e9 \\ud83c\\udfa4\"}", true, "caf\xC3\xA9 \xF0\x9F\x8E\xA4"},
      {"lone surrogate escape", "{\"text\":\"a\\ud800\"}", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "stale";
    std::vector<Timing> timings(2);
    EXPECT_EQ(QMParseTranscriptPayloadJSON(c.payload, &text, &timings), c.ok);
    EXPECT_EQ(text, c.text);
    EXPECT_TRUE(timings.empty());
    EXPECT_EQ(QMParseTranscriptPayloadJSON(c.payload, nullptr, nullptr), c.ok);
  }
  // Longer than the window ever reads: refused.
  const std::string huge = "{\"text\":\"" + std::string(kQMTranscriptPayloadMaxBytes, 'a') + "\"}";
  EXPECT_FALSE(QMParseTranscriptPayloadJSON(huge, nullptr, nullptr));
}

TEST(TranscriptPayload, FieldValues) {
  struct Case {
    const char* name;
    std::string element;
    int index;
    std::string word;
    double start, end;
  };
  const Case cases[] = {
      {"all present", R"({"word":"x","index":3,"start":1.2,"end":1.45})", 3, "x", 1.2, 1.45},
      {"all missing", R"({})", -1, "", 0, 0},
      {"index as string", R"({"index":"7"})", 7, "", 0, 0},
      {"index as padded signed string", R"({"index":"  -12abc"})", -12, "", 0, 0},
      {"index string without number", R"({"index":"seven"})", 0, "", 0, 0},
      {"index null", R"({"index":null})", -1, "", 0, 0},
      {"index array", R"({"index":[1]})", -1, "", 0, 0},
      {"index object", R"({"index":{"v":1}})", -1, "", 0, 0},
      {"index float truncates", R"({"index":4.9})", 4, "", 0, 0},
      {"index boolean", R"({"index":true})", 1, "", 0, 0},
      {"index saturates", R"({"index":99999999999})", 2147483647, "", 0, 0},
      {"index string saturates", R"({"index":"-99999999999"})", -2147483647 - 1, "", 0, 0},
      {"index not finite", R"({"index":1e999})", -1, "", 0, 0},
      {"times as strings", R"({"start":"1.25","end":" 2.5e0s"})", -1, "", 1.25, 2.5},
      {"times not numbers", R"({"start":"soon","end":[1]})", -1, "", 0, 0},
      {"times not finite", R"({"start":1e999,"end":"-1e999"})", -1, "", 0, 0},
      {"string time out of range", R"({"start":"1e400","end":"1e-400"})", -1, "", 0, 0},
      {"overflowing literals", R"({"index":-1e400,"start":0.1e310,"end":123e-999})", -1, "", 0, 0},
      {"huge integer literal", "{\"index\":1" + std::string(400, '0') + "}", -1, "", 0, 0},
      {"large but finite", R"({"start":0.001e310,"end":"1e308"})", -1, "", 1e307, 1e308},
      {"word mistyped", R"({"word":5,"start":-0.5})", -1, "", -0.5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string payload = "{\"text\":\"zzz\",\"words\":[" + c.element + "]}";
    std::vector<Timing> timings;
    ASSERT_TRUE(QMParseTranscriptPayloadJSON(payload, nullptr, &timings));
    ASSERT_EQ(timings.size(), 1u);
    EXPECT_EQ(timings[0].index, c.index);
    EXPECT_EQ(timings[0].word, c.word);
    EXPECT_DOUBLE_EQ(timings[0].start, c.start);
    EXPECT_DOUBLE_EQ(timings[0].end, c.end);
    EXPECT_FALSE(timings[0].hasTextRange);
  }
}

TEST(TranscriptPayload, WordsArePlacedWithAForwardCursor) {
  const std::string payload = R"({"text":"Hello, na\u00efve a b a world","words":[
      "not an object", 17,
      {"word":"hello,","index":0,"start":0.0,"end":0.4},
      {"word":"naïve","index":1,"start":0.4,"end":0.8},
      {"word":"a","index":2,"start":0.8,"end":0.9},
      {"word":"a","index":3,"start":0.9,"end":1.0},
      {"word":"b","index":4,"start":1.0,"end":1.1},
      {"word":"missing","index":5,"start":1.1,"end":1.2},
      {"word":"World","index":6,"start":1.2,"end":1.5}]})";
  std::string text;
  std::vector<Timing> timings;
  ASSERT_TRUE(QMParseTranscriptPayloadJSON(payload, &text, &timings));
  EXPECT_EQ(text, "Hello, na\xC3\xAFve a b a world");
  ASSERT_EQ(timings.size(), 7u);  // the two elements that are not objects add nothing
  struct Expect { bool has; TextRange range; };
  const Expect expected[] = {
      {true, {0, 5}},    // 'hello,' matches 'Hello'
      {true, {7, 5}},    // 'naïve' matches 'naïve' (and would match 'naive')
      {true, {13, 1}},   // first 'a'
      {true, {17, 1}},   // second 'a' takes the last 'a'
      {false, {0, 0}},   // 'b' was passed by the cursor
      {false, {0, 0}},   // not in the text; the cursor stays
      {true, {19, 5}},
  };
  for (std::size_t k = 0; k < timings.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(timings[k].hasTextRange, expected[k].has);
    EXPECT_EQ(timings[k].textRange, expected[k].range);
    EXPECT_EQ(timings[k].index, static_cast<int>(k));
  }
  EXPECT_EQ(timings[1].word, "na\xC3\xAFve");
}

TEST(TranscriptPayload, TimingsNeedTheirOutput) {
  std::string text;
  EXPECT_TRUE(QMParseTranscriptPayloadJSON(R"({"text":"a","words":[{"word":"a"}]})", &text, nullptr));
  EXPECT_EQ(text, "a");
}

TEST(TranscriptPayload, BlockIsCutOnACodePointBoundary) {
  const std::string small = "{\"text\":\"a\"}";
  EXPECT_EQ(QMTranscriptPayloadFromBlock(small), small);
  // 16,382 ASCII bytes then a three-byte character: the character is left out whole.
  const std::string block = std::string(kQMTranscriptPayloadMaxBytes - 1, 'a') + "\xE2\x80\x99tail";
  const std::string payload = QMTranscriptPayloadFromBlock(block);
  EXPECT_EQ(payload.size(), kQMTranscriptPayloadMaxBytes - 1);
  EXPECT_TRUE(qm::platform::isValidUtf8(payload));
  EXPECT_EQ(QMTranscriptPayloadFromBlock(std::string(20000, 'b')).size(), kQMTranscriptPayloadMaxBytes);
}
