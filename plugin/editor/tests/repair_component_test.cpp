#include "QMRepairComponent.h"

#include "AAX_CEffectParameters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using qm::platform::TextRange;
using testing::ElementsAre;
using testing::HasSubstr;
using Timing = QuillomancerTranscriptWordTiming;

namespace {

class FakeEditor : public QMRepairEditorAccess {
 public:
  std::vector<TextRange> picks;
  bool storage = true;
  std::size_t shift = 0;  // display location = reference offset + shift
  int clearCount = 0;
  std::vector<std::vector<TextRange>> wordRangeLists;

  std::vector<TextRange> repairHighlightDisplayRanges() const override { return picks; }
  bool hasTextStorage() const override { return storage; }
  std::size_t displayLocationForReferenceOffset(std::size_t offset) const override { return offset + shift; }
  void clearRepairSelections() override {
    picks.clear();
    ++clearCount;
  }
  void setRepairWordDisplayRanges(const std::vector<TextRange>& ranges) override {
    wordRangeLists.push_back(ranges);
  }
};

// A parameters object that records what is written to its store.
class RecordingParameters : public AAX_CEffectParameters {
 public:
  explicit RecordingParameters(std::vector<std::string>& writes) : writes_(writes) {}
  AAX_Result SetCustomData(AAX_CTypeID blockId, uint32_t size, const void* data) noexcept override {
    EXPECT_EQ(blockId, kQMBlock_RepairPlan);
    writes_.emplace_back(size == 0 ? std::string() : std::string(static_cast<const char*>(data), size));
    return AAX_SUCCESS;
  }

 private:
  std::vector<std::string>& writes_;
};

class FakeWindow : public QMRepairWindowAccess {
 public:
  std::uint8_t mode = kModeBefore;
  std::string source, target;
  FakeEditor* editor = nullptr;
  bool parameters = true;
  std::vector<std::string> writes;  // QMrp contents written, in order
  std::vector<std::string> log;

  std::uint8_t EditorMode() const override { return mode; }
  std::string SourceText() const override { return source; }
  std::string TargetText() const override { return target; }
  QMRepairEditorAccess* TranscriptEditor() const override { return editor; }
  QuillomancerStoreClient Store() override { return QuillomancerStoreClient(parameters ? &store_ : nullptr); }
  void Log(const std::string& line) override { log.push_back(line); }

 private:
  RecordingParameters store_{writes};
};

// Times every token of `text` a quarter second apart; word indexes equal token positions,
// except for the tokens listed in `untimed`, which get no timed word.
std::vector<Timing> TimeTokens(const std::string& text, std::set<std::size_t> untimed = {}) {
  std::vector<Timing> timings;
  const auto tokens = QMTokenizeRepairTokensUTF8(text);
  for (std::size_t t = 0; t < tokens.size(); ++t) {
    if (untimed.count(t)) continue;
    Timing timing;
    timing.index = static_cast<int>(t);
    timing.word = "w" + std::to_string(t);
    timing.textRange = tokens[t].range;
    timing.hasTextRange = true;
    timing.start = 0.25 * static_cast<double>(t);
    timing.end = timing.start + 0.2;
    timings.push_back(timing);
  }
  return timings;
}

// The display range of the k-th token of the source text (no shift).
TextRange TokenRange(const std::string& text, std::size_t k) {
  return QMTokenizeRepairTokensUTF8(text).at(k).range;
}

struct RepairFixture : testing::Test {
  FakeEditor editor;
  FakeWindow window;
  QMRepairComponent repair{window};

  RepairFixture() { window.editor = &editor; }

  void Load(const std::string& text, std::vector<Timing> timings) {
    repair.ClearTranscriptRepairState();
    repair.SetTranscript(text, std::move(timings));
    window.source = text;
    window.writes.clear();
    window.log.clear();
    editor.clearCount = 0;
  }
  void Pick(std::initializer_list<std::size_t> tokens) {
    for (std::size_t k : tokens) editor.picks.push_back(TokenRange(window.source, k));
    repair.NotifyRepairSelectionChanged();
  }
  nlohmann::json Plan() const { return nlohmann::json::parse(repair.BuildRepairPlanJSON()); }
};

constexpr const char* kTwelve = "one two three four five six seven eight nine ten eleven twelve";
constexpr const char* kEight = "one two three four five six seven eight";

}  // namespace

TEST_F(RepairFixture, UsableTranscriptSource) {
  EXPECT_FALSE(repair.HasUsableTranscriptRepairSource());  // nothing loaded
  Load("a b c d e", TimeTokens("a b c d e", {1, 3}));
  EXPECT_TRUE(repair.HasUsableTranscriptRepairSource());
  window.mode = QMRepairWindowAccess::kModeVoiceChange;
  EXPECT_FALSE(repair.HasUsableTranscriptRepairSource());
  window.mode = QMRepairWindowAccess::kModeAfter;
  EXPECT_TRUE(repair.HasUsableTranscriptRepairSource());
  Load("a b c d e", TimeTokens("a b c d e", {2, 3}));  // two neighbours untimed
  EXPECT_FALSE(repair.HasUsableTranscriptRepairSource());
  Load("a b c", {});
  EXPECT_FALSE(repair.HasUsableTranscriptRepairSource());
  Load("...", TimeTokens("a"));  // no tokens
  EXPECT_FALSE(repair.HasUsableTranscriptRepairSource());
}

TEST_F(RepairFixture, SinglePickGetsNeighbourContextInLongTranscripts) {
  Load(kTwelve, TimeTokens(kTwelve));
  Pick({5});
  EXPECT_EQ(repair.SelectedTokenIndexes(), std::set<std::size_t>{5});
  EXPECT_EQ(repair.SelectedWordIndexes(), std::set<int>{5});
  EXPECT_EQ(repair.AudioContextWordIndexes(), (std::set<int>{4, 6}));
  EXPECT_THAT(window.log, ElementsAre("GUI repair selection: captured 1 selected word(s), 2 audio-context word(s)",
                                      "GUI repair sync: wrote " + std::to_string(window.writes.at(0).size()) +
                                          "-byte repair plan"));
  EXPECT_EQ(repair.CollectEffectiveRepairWordIndexes(nullptr, nullptr), (std::set<int>{4, 5, 6}));

  editor.picks.clear();
  Pick({0});
  EXPECT_EQ(repair.AudioContextWordIndexes(), std::set<int>{1});

  Load(kEight, TimeTokens(kEight));
  editor.picks.clear();
  Pick({3});
  EXPECT_TRUE(repair.AudioContextWordIndexes().empty());

  Load(kTwelve, TimeTokens(kTwelve));
  editor.picks.clear();
  Pick({3, 8});
  EXPECT_EQ(repair.SelectedWordIndexes(), (std::set<int>{3, 8}));
  EXPECT_TRUE(repair.AudioContextWordIndexes().empty());
}

TEST_F(RepairFixture, PicksAreComparedInDisplayLocations) {
  Load(kTwelve, TimeTokens(kTwelve));
  editor.shift = 4;  // e.g. struck-through text before the source words
  editor.picks = {TextRange{8, 2}};  // over 'th' of 'three' in the source; 'two' on display
  repair.NotifyRepairSelectionChanged();
  EXPECT_EQ(repair.SelectedTokenIndexes(), std::set<std::size_t>{1});
  editor.storage = false;  // nothing to convert in: reference offsets are used as they are
  repair.NotifyRepairSelectionChanged();
  EXPECT_EQ(repair.SelectedTokenIndexes(), std::set<std::size_t>{2});
}

TEST_F(RepairFixture, PicksThatMeetNoAnchorLeaveSetsEmpty) {
  Load(kTwelve, TimeTokens(kTwelve));
  editor.picks = {TextRange{500, 3}};
  repair.NotifyRepairSelectionChanged();
  EXPECT_TRUE(repair.SelectedTokenIndexes().empty());
  EXPECT_TRUE(repair.SelectedWordIndexes().empty());
  EXPECT_TRUE(repair.AudioContextWordIndexes().empty());
  EXPECT_TRUE(window.writes.empty());  // the empty plan equals the cleared last plan
}

TEST(RepairWidening, ShortRunsGetNeighbours) {
  auto timings = [](int count) {
    std::string text;
    for (int k = 0; k < count; ++k) text += "w ";
    return TimeTokens(text);
  };
  struct Case {
    const char* name;
    int timedWords;
    std::set<int> selected, expected;
  };
  const Case cases[] = {
      {"single word", 10, {4}, {3, 4, 5}},
      {"run of two", 10, {4, 5}, {3, 4, 5, 6}},
      {"run of three stays", 10, {4, 5, 6}, {4, 5, 6}},
      {"first word", 10, {0}, {0, 1}},
      {"last word", 10, {9}, {8, 9}},
      {"two separate runs", 10, {1, 7}, {0, 1, 2, 6, 7, 8}},
      {"added neighbours never extend a run", 10, {2, 4}, {1, 2, 3, 4, 5}},
      {"eight timed words are too few", 8, {4}, {4}},
      {"nine are enough", 9, {4}, {3, 4, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::set<int> selected = c.selected;
    EXPECT_EQ(QMExpandShortRepairSelectionBlocks(timings(c.timedWords), &selected), c.selected != c.expected);
    EXPECT_EQ(selected, c.expected);
  }
  // Repeated indexes in a row count once; unplaced and index-less words do not count.
  auto repeated = timings(11);
  repeated.insert(repeated.begin() + 5, repeated[4]);
  repeated[0].hasTextRange = false;
  repeated[1].index = -1;
  std::set<int> selected = {5};
  EXPECT_TRUE(QMExpandShortRepairSelectionBlocks(repeated, &selected));
  EXPECT_EQ(selected, (std::set<int>{4, 5, 6}));
  EXPECT_FALSE(QMExpandShortRepairSelectionBlocks(repeated, nullptr));
}

TEST_F(RepairFixture, WideningAppliesOnlyToPicksNotYetCaptured) {
  Load(kTwelve, TimeTokens(kTwelve));
  editor.picks = {TokenRange(kTwelve, 4)};  // picked, but no notification yet
  EXPECT_EQ(repair.CollectEffectiveRepairWordIndexes(nullptr, nullptr), (std::set<int>{3, 4, 5}));
  EXPECT_THAT(window.log.back(), HasSubstr("expanded short selection with neighboring context (1 -> 3 timed words)"));
  EXPECT_TRUE(repair.HasEffectiveRepairSelections());
}

TEST_F(RepairFixture, ChangeAssist) {
  const std::string source = "please take the red one";
  struct Case {
    const char* name;
    std::string target;
    bool assist;
    std::set<int> effective;
    const char* logged;
  };
  const Case cases[] = {
      {"one word replaced", "please take the blue one", true, {3},
       "GUI auto-cut assist: removing 1 source word(s) for Change mode"},
      {"three words replaced", "please give a blue one", true, {1, 2, 3},
       "GUI auto-cut assist: removing 3 source word(s) for Change mode"},
      {"four words replaced", "so give a blue one", false, {},
       "GUI auto-cut assist: disabled because change touched 4 source words (>3)"},
      {"words only added", "please take the red one now", false, {}, nullptr},
      {"target equals source", source, false, {}, nullptr},
      {"no target", "", false, {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Load(source, TimeTokens(source));
    window.target = c.target;
    bool assist = !c.assist;
    std::set<int> assistWords = {99};
    EXPECT_EQ(repair.CollectEffectiveRepairWordIndexes(&assist, &assistWords), c.effective);
    EXPECT_EQ(assist, c.assist);
    EXPECT_EQ(assistWords, c.assist ? c.effective : std::set<int>{});
    if (c.logged) {
      EXPECT_THAT(window.log, ElementsAre(c.logged));
    } else {
      EXPECT_TRUE(window.log.empty());
    }
  }
  Load(source, TimeTokens(source));
  window.target = "please take the blue one";
  window.mode = QMRepairWindowAccess::kModeVoiceChange;
  EXPECT_TRUE(repair.CollectEffectiveRepairWordIndexes(nullptr, nullptr).empty());
}

TEST_F(RepairFixture, ReferenceText) {
  const std::string text = "I told you, not him";
  Load(text, TimeTokens(text));
  EXPECT_EQ(repair.BuildRepairReferenceText(), text);  // nothing picked
  Pick({2});
  EXPECT_EQ(repair.BuildRepairReferenceText(), "I told, not him");

  // Context words are cut too: a single pick in a long transcript takes its neighbours along.
  Load(kTwelve, TimeTokens(kTwelve));
  editor.picks.clear();
  Pick({5});
  EXPECT_EQ(repair.BuildRepairReferenceText(), "one two three four eight nine ten eleven twelve");

  // Change assist words are cut from the reference text.
  Load("please take the red one", TimeTokens("please take the red one"));
  editor.picks.clear();
  window.target = "please take the blue one";
  EXPECT_EQ(repair.BuildRepairReferenceText(), "please take the one");
  window.target.clear();

  // No usable transcript: the source text unchanged.
  Load(text, TimeTokens(text));
  editor.picks.clear();
  Pick({2});
  window.mode = QMRepairWindowAccess::kModeVoiceChange;
  EXPECT_EQ(repair.BuildRepairReferenceText(), text);
}

TEST(RepairReferenceNormalizer, Examples) {
  struct Case { std::u16string in, out; };
  const Case cases[] = {
      {u"I told , not him", u"I told, not him"},
      {u"  a   b \n\n c  ", u"a b c"},
      {u"wait . what ?", u"wait. what?"},
      {u"a\u00A0\u00A0b", u"a b"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(QMNormalizeRepairReferenceText(c.in), c.out);
}

TEST_F(RepairFixture, PlanForOneTimedWord) {
  const std::string text = "a b c d";
  auto timings = TimeTokens(text);
  timings[3].index = 3;
  timings[3].word = "d!";
  timings[3].start = 1.20;
  timings[3].end = 1.45;
  Load(text, timings);
  Pick({3});
  const nlohmann::json plan = Plan();
  EXPECT_EQ(plan["source_text"], text);
  EXPECT_EQ(plan["edited_source_text"], text);
  EXPECT_EQ(plan["change_assist"], false);
  ASSERT_EQ(plan["selections"].size(), 1u);
  const auto& s = plan["selections"][0];
  EXPECT_EQ(s["word_index"], 3);
  EXPECT_EQ(s["word"], "d!");
  EXPECT_EQ(s["char_start"], 6);
  EXPECT_EQ(s["char_length"], 1);
  EXPECT_DOUBLE_EQ(s["start_seconds"].get<double>(), 1.20);
  EXPECT_DOUBLE_EQ(s["end_seconds"].get<double>(), 1.45);
}

TEST_F(RepairFixture, PlanSpansForUntimedTokens) {
  const std::string text = "zero one two three four";
  struct Case {
    const char* name;
    std::size_t picked;
    double prevStart, prevEnd, nextStart, nextEnd;
    bool included;
    double start, end;
  };
  const Case cases[] = {
      {"silence between neighbours", 2, 0.80, 1.00, 1.10, 1.30, true, 1.00, 1.10},
      {"gap too short: cover the neighbours", 2, 0.80, 1.00, 1.02, 1.30, true, 0.80, 1.30},
      {"exactly 40 ms", 2, 0.80, 1.00, 1.04, 1.30, true, 1.00, 1.04},
      {"overlapping neighbours", 2, 0.80, 1.20, 1.10, 1.30, true, 0.80, 1.30},
      {"first token", 0, 0, 0, 0.50, 0.70, true, 0.50, 0.70},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto timings = TimeTokens(text, {c.picked});
    for (auto& timing : timings) {
      if (timing.index == static_cast<int>(c.picked) - 1) {
        timing.start = c.prevStart;
        timing.end = c.prevEnd;
      } else if (timing.index == static_cast<int>(c.picked) + 1) {
        timing.start = c.nextStart;
        timing.end = c.nextEnd;
      }
    }
    Load(text, timings);
    editor.picks.clear();
    Pick({c.picked});
    ASSERT_TRUE(repair.SelectedWordIndexes().empty());
    const std::string json = repair.BuildRepairPlanJSON();
    ASSERT_EQ(!json.empty(), c.included);
    const auto selections = nlohmann::json::parse(json)["selections"];
    ASSERT_EQ(selections.size(), 1u);
    EXPECT_EQ(selections[0]["word_index"], -100000 - static_cast<int>(c.picked));
    EXPECT_EQ(selections[0]["word"], QMTokenizeRepairTokensUTF8(text)[c.picked].normalized);
    EXPECT_DOUBLE_EQ(selections[0]["start_seconds"].get<double>(), c.start);
    EXPECT_DOUBLE_EQ(selections[0]["end_seconds"].get<double>(), c.end);
  }
}

TEST_F(RepairFixture, WordsWithoutIndexAreNotPickable) {
  // 'b' and 'd' are timed but have no index: picking 'b' must not select 'd' (nor 'b').
  const std::string text = "a b c d e";
  auto timings = TimeTokens(text);
  timings[1].index = -1;
  timings[3].index = -1;
  Load(text, timings);
  Pick({1});
  EXPECT_EQ(repair.SelectedTokenIndexes(), std::set<std::size_t>{1});
  EXPECT_TRUE(repair.SelectedWordIndexes().empty());
  EXPECT_EQ(repair.BuildRepairPlanJSON(), "");  // the token has a timing, but no pickable word
  EXPECT_TRUE(window.writes.empty());
}

TEST_F(RepairFixture, PickedWordThePlanCannotCarryStaysInTheReferenceText) {
  // 'b' is timed but has no index: the plan leaves it out, so cutting it would lose it.
  const std::string text = "a b c d e";
  auto timings = TimeTokens(text);
  timings[1].index = -1;
  Load(text, timings);
  Pick({1});
  EXPECT_EQ(repair.BuildRepairPlanJSON(), "");
  EXPECT_EQ(repair.BuildRepairReferenceText(), "a b c d e");
  EXPECT_THAT(window.log, testing::Contains("GUI repair: skipped 'b': no timing the repair plan can use; kept in "
                                            "the reference text"));
  // A pick beside it that the plan carries is cut as before.
  Pick({3});
  EXPECT_EQ(Plan()["selections"].size(), 1u);
  EXPECT_EQ(repair.BuildRepairReferenceText(), "a b c e");
}

TEST_F(RepairFixture, PlanIsWrittenOncePerChange) {
  Load(kTwelve, TimeTokens(kTwelve));
  Pick({5});
  ASSERT_EQ(window.writes.size(), 1u);
  EXPECT_FALSE(window.writes[0].empty());
  EXPECT_EQ(window.writes[0], repair.LastRepairPlan());
  repair.SyncRepairPlanToParameters();
  repair.SyncRepairPlanToParameters();
  EXPECT_EQ(window.writes.size(), 1u);

  repair.ClearRepairSelections();
  EXPECT_EQ(editor.clearCount, 1);
  ASSERT_EQ(window.writes.size(), 2u);
  EXPECT_EQ(window.writes[1], "");
  EXPECT_EQ(window.log.back(), "GUI repair sync: cleared repair plan");
  repair.SyncRepairPlanToParameters();
  EXPECT_EQ(window.writes.size(), 2u);

  // Without the store nothing is built or remembered.
  window.parameters = false;
  Pick({5});
  EXPECT_EQ(window.writes.size(), 2u);
  EXPECT_EQ(repair.LastRepairPlan(), "");
}

TEST_F(RepairFixture, VoiceChangeOrNoEditorGivesAnEmptyPlan) {
  Load(kTwelve, TimeTokens(kTwelve));
  Pick({5});
  ASSERT_FALSE(repair.BuildRepairPlanJSON().empty());
  window.mode = QMRepairWindowAccess::kModeVoiceChange;
  EXPECT_EQ(repair.BuildRepairPlanJSON(), "");
  window.mode = QMRepairWindowAccess::kModeBefore;
  window.editor = nullptr;
  EXPECT_EQ(repair.BuildRepairPlanJSON(), "");
  repair.ClearRepairSelections();  // without an editor nothing changes
  EXPECT_FALSE(repair.SelectedWordIndexes().empty());
}

TEST_F(RepairFixture, ClearTranscriptRepairState) {
  Load(kTwelve, TimeTokens(kTwelve));
  Pick({5});
  repair.SetLastReferenceText("x");
  window.writes.clear();
  repair.ClearTranscriptRepairState();
  EXPECT_TRUE(repair.TranscriptText().empty());
  EXPECT_TRUE(repair.WordTimings().empty());
  EXPECT_TRUE(repair.LastRepairPlan().empty());
  EXPECT_TRUE(repair.LastReferenceText().empty());
  EXPECT_TRUE(repair.SelectedWordIndexes().empty());
  EXPECT_TRUE(repair.AudioContextWordIndexes().empty());
  EXPECT_TRUE(repair.SelectedTokenIndexes().empty());
  EXPECT_THAT(window.writes, ElementsAre(""));
  EXPECT_THAT(editor.wordRangeLists.back(), testing::IsEmpty());
  EXPECT_EQ(editor.clearCount, 1);
}

TEST_F(RepairFixture, OversizedPlanIsNotWrittenCut) {
  std::string text;
  for (int k = 0; k < 400; ++k) text += "word" + std::to_string(k) + " ";
  Load(text, TimeTokens(text));
  editor.picks = {TextRange{0, 100000}};
  repair.NotifyRepairSelectionChanged();
  ASSERT_EQ(window.writes.size(), 1u);
  EXPECT_EQ(window.writes[0], "");
  EXPECT_THAT(window.log.back(), HasSubstr("exceeds the 16383-byte limit"));
  EXPECT_GT(repair.LastRepairPlan().size(), 16383u);
  repair.SyncRepairPlanToParameters();  // the same plan again: nothing more is written
  EXPECT_EQ(window.writes.size(), 1u);
}
