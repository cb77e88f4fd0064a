// Typed JSON accessors, the timed-transcript readers, header lookup and the UTC timestamp.

#include "QuillomancerServer.h"
#include "QuillomancerServerPrivate.h"

#include <gtest/gtest.h>

#include <climits>

using nlohmann::json;

namespace {

json obj(const char* text) { return json::parse(text); }

}  // namespace

TEST(ParseJSONResponse, OnlyObjectsAreAnswers) {
  EXPECT_FALSE(ParseJSONResponse(""));
  EXPECT_FALSE(ParseJSONResponse("[1,2]"));
  EXPECT_FALSE(ParseJSONResponse("\"text\""));
  EXPECT_FALSE(ParseJSONResponse("{\"a\":"));
  EXPECT_FALSE(ParseJSONResponse("not json"));
  EXPECT_FALSE(ParseJSONResponse("{\"a\":\"\xff\"}"));  // invalid UTF-8
  const auto parsed = ParseJSONResponse("{\"a\":1}");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(JSONInt(&*parsed, "a"), 1);
}

TEST(ParseJSONResponse, DeepNestingDoesNotCrash) {
  std::string deep(100000, '[');
  EXPECT_FALSE(ParseJSONResponse("{\"a\":" + deep));
}

struct IntCase {
  const char* json;
  int32_t value;
  bool present;
};

TEST(JSONInt, ValueKinds) {
  const IntCase cases[] = {
      {R"({"v": 7})", 7, true},
      {R"({"v": 3.9})", 3, true},
      {R"({"v": -3.9})", -3, true},
      {R"({"v": true})", 1, true},
      {R"({"v": false})", 0, true},
      {R"({"v": "12abc"})", 12, true},
      {R"({"v": "  -42"})", -42, true},
      {R"({"v": "+5"})", 5, true},
      {R"({"v": "abc"})", 0, true},
      {R"({"v": ""})", 0, true},
      {R"({"v": null})", 0, false},
      {R"({"v": [1]})", 0, false},
      {R"({"v": {"x": 1}})", 0, false},
      {R"({"w": 1})", 0, false},
      // Values past 32 bits saturate instead of wrapping.
      {R"({"v": 4294967296})", INT32_MAX, true},
      {R"({"v": -4294967296})", INT32_MIN, true},
      {R"({"v": 18446744073709551615})", INT32_MAX, true},
      {R"({"v": 1e300})", INT32_MAX, true},
      {R"({"v": "99999999999999999999999"})", INT32_MAX, true},
      {R"({"v": "-2147483649"})", INT32_MIN, true},
      {R"({"v": "2147483647"})", INT32_MAX, true},
  };
  for (const auto& c : cases) {
    const json o = obj(c.json);
    bool present = !c.present;
    EXPECT_EQ(JSONIntWithPresence(&o, "v", &present), c.value) << c.json;
    EXPECT_EQ(present, c.present) << c.json;
    EXPECT_EQ(JSONInt(&o, "v"), c.value) << c.json;
  }
  EXPECT_EQ(JSONInt(nullptr, "v"), 0);
  const json array = json::array({1});
  EXPECT_EQ(JSONInt(&array, "v"), 0);
}

TEST(JSONBool, OnlyNumbersAndLiterals) {
  struct Case {
    const char* json;
    bool value;
    bool present;
  } cases[] = {
      {R"({"v": "true"})", false, false}, {R"({"v": 2})", true, true},   {R"({"v": 0})", false, true},
      {R"({"v": 0.5})", true, true},      {R"({"v": true})", true, true}, {R"({"v": false})", false, true},
      {R"({"v": null})", false, false},   {R"({})", false, false},
  };
  for (const auto& c : cases) {
    const json o = obj(c.json);
    bool present = !c.present;
    EXPECT_EQ(JSONBool(&o, "v", &present), c.value) << c.json;
    EXPECT_EQ(present, c.present) << c.json;
  }
}

TEST(JSONDouble, NumbersAndNumericStrings) {
  struct Case {
    const char* json;
    double value;
    bool present;
  } cases[] = {
      {R"({"v": 1.25})", 1.25, true},    {R"({"v": "2.5s"})", 2.5, true}, {R"({"v": " -0.75"})", -0.75, true},
      {R"({"v": "1e2"})", 100.0, true},  {R"({"v": "x"})", 0.0, true},    {R"({"v": "nan"})", 0.0, true},
      {R"({"v": "inf"})", 0.0, true},    {R"({"v": ".5"})", 0.5, true},   {R"({"v": true})", 1.0, true},
      {R"({"v": [1]})", 0.0, false},     {R"({})", 0.0, false},
  };
  for (const auto& c : cases) {
    const json o = obj(c.json);
    bool present = !c.present;
    EXPECT_DOUBLE_EQ(JSONDouble(&o, "v", &present), c.value) << c.json;
    EXPECT_EQ(present, c.present) << c.json;
  }
}

TEST(JSONStringAndDict, KindsMustMatch) {
  const json o = obj(R"({"s": "text", "n": 1, "t": true, "d": {"x": 1}, "a": []})");
  EXPECT_EQ(JSONString(&o, "s"), "text");
  EXPECT_EQ(JSONString(&o, "n"), "");
  EXPECT_EQ(JSONString(&o, "t"), "");
  EXPECT_EQ(JSONString(&o, "missing"), "");
  ASSERT_NE(JSONDict(&o, "d"), nullptr);
  EXPECT_EQ(JSONInt(JSONDict(&o, "d"), "x"), 1);
  EXPECT_EQ(JSONDict(&o, "a"), nullptr);
  EXPECT_EQ(JSONDict(&o, "s"), nullptr);
  EXPECT_EQ(JSONDict(nullptr, "d"), nullptr);
}

TEST(TimedWord, ReadsAlternativeKeysAndDefaults) {
  const json a = obj(R"({"index": "3", "text": "hello", "start_seconds": "0.5", "end_seconds": 1.5})");
  const auto w = QuillomancerServer::ParseTimedWordFromJSON(&a);
  EXPECT_EQ(w.index, 3);
  EXPECT_EQ(w.word, "hello");
  EXPECT_DOUBLE_EQ(w.start, 0.5);
  EXPECT_DOUBLE_EQ(w.end, 1.5);

  // "word" wins over "text" unless it is empty; "start" wins over "start_seconds" when present.
  const json b = obj(R"({"word": "", "text": "t", "start": 1, "start_seconds": 9, "end": "2", "end_seconds": 9})");
  const auto wb = QuillomancerServer::ParseTimedWordFromJSON(&b);
  EXPECT_EQ(wb.word, "t");
  EXPECT_EQ(wb.index, 0);  // present object without "index"
  EXPECT_DOUBLE_EQ(wb.start, 1.0);
  EXPECT_DOUBLE_EQ(wb.end, 2.0);

  const json c = obj(R"({"word": "w", "start": null, "start_seconds": 4})");
  EXPECT_DOUBLE_EQ(QuillomancerServer::ParseTimedWordFromJSON(&c).start, 4.0);

  const auto none = QuillomancerServer::ParseTimedWordFromJSON(nullptr);
  EXPECT_EQ(none.index, -1);
  EXPECT_TRUE(none.word.empty());
}

TEST(TimedTranscript, TimingFlagAndWordFiltering) {
  struct Case {
    const char* json;
    bool timing;
    size_t words;
  } cases[] = {
      {R"({"text": "a", "words": [{"word": "a"}, {"word": "b"}]})", true, 2},
      {R"({"text": "a", "timing_available": "true", "words": [{"word": "a"}]})", true, 1},
      {R"({"text": "a", "timing_available": "true", "words": []})", false, 0},
      {R"({"text": "a", "timing_available": false, "words": [{"word": "a"}]})", false, 1},
      {R"({"text": "a", "timing_available": 1})", true, 0},
      {R"({"text": "a", "words": [{"word": ""}, 5, "x", null, {"text": "b"}]})", true, 1},
      {R"({"text": "a", "words": {"word": "a"}})", false, 0},
  };
  for (const auto& c : cases) {
    const json o = obj(c.json);
    const auto t = QuillomancerServer::ParseTimedTranscriptFromJSON(&o);
    EXPECT_EQ(t.timingAvailable, c.timing) << c.json;
    EXPECT_EQ(t.words.size(), c.words) << c.json;
    EXPECT_EQ(t.text, "a") << c.json;
  }
  const json order = obj(R"({"words": [{"word": "x", "index": 2}, {"word": ""}, {"word": "y", "index": 5}]})");
  const auto t = QuillomancerServer::ParseTimedTranscriptFromJSON(&order);
  ASSERT_EQ(t.words.size(), 2u);
  EXPECT_EQ(t.words[0].word, "x");
  EXPECT_EQ(t.words[1].index, 5);
  EXPECT_FALSE(QuillomancerServer::ParseTimedTranscriptFromJSON(nullptr).timingAvailable);
}

TEST(HTTPHeaderValue, CaseInsensitiveFirstMatch) {
  qm::platform::HttpResponse response;
  response.status = 200;
  response.headers = {{"content-type", "application/json"}, {"x-render-id", "r-1"}, {"X-Render-Id", "r-2"}};
  EXPECT_EQ(HTTPHeaderValue(&response, "X-Render-Id"), "r-1");
  EXPECT_EQ(HTTPHeaderValue(&response, "x-missing"), "");
  EXPECT_EQ(HTTPHeaderValue(&response, ""), "");
  EXPECT_EQ(HTTPHeaderValue(nullptr, "X-Render-Id"), "");
}

TEST(SRVUTCNowISOString, FixedPatternWhateverTheLocale) {
  const char* saved = std::setlocale(LC_ALL, nullptr);
  const std::string savedLocale = saved ? saved : "C";
  std::setlocale(LC_ALL, "");
  const std::string now = SRVUTCNowISOString();
  std::setlocale(LC_ALL, savedLocale.c_str());
  const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";
  ASSERT_EQ(now.size(), pattern.size()) << now;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == 'd')
      EXPECT_TRUE(now[i] >= '0' && now[i] <= '9') << now;
    else
      EXPECT_EQ(now[i], pattern[i]) << now;
  }
}
