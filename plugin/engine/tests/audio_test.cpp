#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "QuillomancerAudio.h"

namespace {

TEST(HandleLayout, AnalysisLayoutCentresTheSelection) {
  struct Case { int64_t range, selection, expSel, expHead, expTail; };
  const Case cases[] = {
      {48000, 24001, 24001, 11999, 12000},
      {48000, 48000, 48000, 0, 0},   // as long as the range: no handles
      {48000, 0, 48000, 0, 0},       // no selection
      {48000, 60000, 48000, 0, 0},
      {0, 100, 0, 0, 0},
      {-5, 100, 0, 0, 0},
      {11, 1, 1, 5, 5},
  };
  for (const auto& c : cases) {
    int64_t sel = -1, head = -1, tail = -1;
    QMComputeHandleLayoutFromSelection(c.range, c.selection, &sel, &head, &tail);
    EXPECT_EQ(sel, c.expSel) << c.range << "/" << c.selection;
    EXPECT_EQ(head, c.expHead);
    EXPECT_EQ(tail, c.expTail);
  }
  QMComputeHandleLayoutFromSelection(10, 4, nullptr, nullptr, nullptr);  // outputs may be absent
}

TEST(HandleLayout, RenderLayoutPutsTheOddSampleInTheTail) {
  struct Case { int64_t output, selection, head, tail; };
  const Case cases[] = {{110, 100, 5, 5}, {111, 100, 5, 6}, {100, 100, 0, 0},
                        {90, 100, 0, 0},  {0, 0, 0, 0},     {10, 0, 0, 0}};
  for (const auto& c : cases) {
    int64_t head = -1, tail = -1;
    QMComputeRenderHandleLayout(c.output, c.selection, &head, &tail);
    EXPECT_EQ(head, c.head) << c.output << "/" << c.selection;
    EXPECT_EQ(tail, c.tail);
  }
}

TEST(MonoMix, GainsAndClamp) {
  std::vector<float> ones(4, 1.0f);
  float out[4];
  const float* one[] = {ones.data()};
  QMMixWindowToMono(one, 1, out, 4);
  EXPECT_EQ(out[0], 0.7943282f);  // single channel: -2 dB, not clamped

  const float* two[] = {ones.data(), ones.data()};
  QMMixWindowToMono(two, 2, out, 4);
  EXPECT_EQ(out[3], 0.8912509f);  // 1.41589 clamped to -1 dB

  const float* secondMissing[] = {ones.data(), nullptr};
  QMMixWindowToMono(secondMissing, 2, out, 4);
  EXPECT_EQ(out[1], 0.70794576f);

  const float* oneMissing[] = {nullptr};
  QMMixWindowToMono(oneMissing, 1, out, 4);
  EXPECT_EQ(out[2], 0.0f);

  // Forty channels (more than one group) with every third missing: 27 x 0.01 x -3 dB.
  std::vector<float> hundredth(4, 0.01f);
  std::vector<const float*> many(40, hundredth.data());
  float expected = 0.0f;
  for (int c = 0; c < 40; ++c) {
    if (c % 3 == 0) {
      many[size_t(c)] = nullptr;
    } else {
      expected = std::fma(0.01f, 0.70794576f, expected);
    }
  }
  QMMixWindowToMono(many.data(), 40, out, 4);
  EXPECT_EQ(out[0], expected);

  std::vector<float> minus(4, -1.0f);
  const float* neg[] = {minus.data(), minus.data(), minus.data()};
  QMMixWindowToMono(neg, 3, out, 4);
  EXPECT_EQ(out[0], -0.8912509f);
}

TEST(Trim, KeepsTheSelectionBetweenTheHandles) {
  QuillomancerSamples capture(48000);
  for (size_t i = 0; i < capture.size(); ++i) capture[i] = float(i);
  const int64_t kept = QMTrimCapture(capture, 48000, 11999, 12000);
  EXPECT_EQ(kept, 24001);
  ASSERT_EQ(capture.size(), 24001u);
  EXPECT_EQ(capture.front(), 11999.0f);
  EXPECT_EQ(capture.back(), 35999.0f);

  QuillomancerSamples untouched(100, 1.0f);
  EXPECT_EQ(QMTrimCapture(untouched, 80, 0, 0), 80);
  EXPECT_EQ(untouched.size(), 100u);

  QuillomancerSamples tooShort(10, 1.0f);  // handles larger than what was written
  EXPECT_EQ(QMTrimCapture(tooShort, 10, 30, 30), 0);
  EXPECT_TRUE(tooShort.empty());
}

TEST(SampleRate, UnusableHostRatesCountAs48000) {
  EXPECT_EQ(QMSanitizeSampleRate(44100.0), 44100);
  EXPECT_EQ(QMSanitizeSampleRate(48000.9), 48000);
  EXPECT_EQ(QMSanitizeSampleRate(1.0), 1);
  for (double bad : {0.0, 0.5, -48000.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e30}) {
    EXPECT_EQ(QMSanitizeSampleRate(bad), 48000) << bad;
  }
}

TEST(SampleRate, SecondsToSamplesIsClampedBeforeConversion) {
  EXPECT_EQ(QMSecondsToSamplesClamped(1.5, 48000, false, 0, 1000000), 72000);
  EXPECT_EQ(QMSecondsToSamplesClamped(1e300, 48000, true, 0, 500), 500);
  EXPECT_EQ(QMSecondsToSamplesClamped(-1e300, 48000, false, 0, 500), 0);
  EXPECT_EQ(QMSecondsToSamplesClamped(std::nan(""), 48000, false, 0, 500), 0);
  EXPECT_EQ(QMSecondsToSamplesClamped(std::numeric_limits<double>::infinity(), 48000, true, 0, 9), 9);
  EXPECT_EQ(QMSecondsToSamplesClamped(0.00001, 48000, true, 0, 100), 1);
}

TEST(Duration, LimitsAreInclusive) {
  struct Case { double seconds; QMDurationLimits limits; int expected; };
  const Case cases[] = {
      {0.49, kQMTranscribeLimits, -1}, {0.5, kQMTranscribeLimits, 0},
      {15.0, kQMTranscribeLimits, 0},  {15.01, kQMTranscribeLimits, 1},
      {0.9, kQMVoicePassLimits, -1},   {1.0, kQMVoicePassLimits, 0},
      {25.5, kQMVoicePassLimits, 1},   {0.2, kQMPerformancePassLimits, -1},
      {30.0, kQMPerformancePassLimits, 0}, {31.0, kQMPerformancePassLimits, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(QMCheckDuration(c.seconds, c.limits), c.expected) << c.seconds;
  EXPECT_EQ(QMCheckDuration(QMDurationSeconds(24000, 48000), kQMTranscribeLimits), 0);
}

TEST(Countdown, RoundsUp) {
  EXPECT_EQ(QMCountdownEstimate(3, 2.0), 18);
  EXPECT_EQ(QMCountdownEstimate(1, 10.0), 15);
  EXPECT_EQ(QMCountdownEstimate(5, 7.3), 47);
  EXPECT_EQ(QMTakesFromByte(true, 4), 3);
  EXPECT_EQ(QMTakesFromByte(false, 5), 3);
  EXPECT_EQ(QMTakesFromByte(true, 5), 5);
}

TEST(RepairPlan, ParsesAndSortsValidRanges) {
  std::vector<QuillomancerRepairRange> ranges;
  const std::string plan = R"({"source_text":"a b","selections":[
      {"word":"late","word_index":"4","start_seconds":"2.5","end_seconds":3.0},
      7,
      {"word":"early","start_seconds":0.5,"end_seconds":"0.75abc"},
      {"word":"flat","word_index":2,"start_seconds":1.0,"end_seconds":1.0},
      {"word":12,"word_index":true,"start_seconds":1.0,"end_seconds":2.0}
  ],"change_assist":{}})";
  ASSERT_TRUE(QMParseRepairPlan(plan, &ranges));
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[0].word, "early");
  EXPECT_EQ(ranges[0].wordIndex, -1);
  EXPECT_DOUBLE_EQ(ranges[0].end, 0.75);
  EXPECT_EQ(ranges[1].word, "");
  EXPECT_EQ(ranges[1].wordIndex, -1);
  EXPECT_EQ(ranges[2].wordIndex, 4);
  EXPECT_DOUBLE_EQ(ranges[2].start, 2.5);
}

TEST(RepairPlan, RefusesPlansWithoutRanges) {
  std::vector<QuillomancerRepairRange> ranges(1);
  for (const char* text : {"", "{}", R"({"selections":[]})", "not json", "[1,2]",
                           R"({"selections":{"a":1}})",
                           R"({"selections":[{"start_seconds":1.0,"end_seconds":1.0}]})"}) {
    EXPECT_FALSE(QMParseRepairPlan(text, &ranges)) << text;
    EXPECT_TRUE(ranges.empty());
  }
  EXPECT_FALSE(QMParseRepairPlan("{}", nullptr));
}

std::vector<QuillomancerRepairRange> Ranges(std::initializer_list<std::pair<double, double>> spans) {
  std::vector<QuillomancerRepairRange> out;
  for (auto [s, e] : spans) {
    QuillomancerRepairRange r;
    r.start = s;
    r.end = e;
    out.push_back(r);
  }
  return out;
}

TEST(RepairSilence, FadesAndSilencesAt48k) {
  std::vector<float> audio(48000 * 3, 1.0f);
  QMApplyRepairSilence(audio, 48000, Ranges({{1.0, 1.5}}));
  // Fade of 960 samples before 48000 and after 72000.
  EXPECT_EQ(audio[48000 - 961], 1.0f);
  EXPECT_EQ(audio[48000 - 960], 1.0f);  // factor 960/960
  EXPECT_EQ(audio[48000 - 1], float(1.0 / 960.0));
  EXPECT_EQ(audio[48000], 0.0f);
  EXPECT_EQ(audio[71999], 0.0f);
  EXPECT_EQ(audio[72000], 0.0f);  // fade-in starts at 0
  EXPECT_EQ(audio[72000 + 959], float(959.0 / 960.0));
  EXPECT_EQ(audio[72000 + 960], 1.0f);
}

TEST(RepairSilence, EdgesMergesAndOddInput) {
  {  // starting at 0: no fade-out; ending at the last sample: no fade-in
    std::vector<float> audio(100, 1.0f);
    QMApplyRepairSilence(audio, 10, Ranges({{0.0, 10.0}}));
    for (float x : audio) EXPECT_EQ(x, 0.0f);
  }
  {  // 1 Hz: fade of 1 sample; range cut at n; one beyond the audio dropped
    std::vector<float> audio(10, 1.0f);
    QMApplyRepairSilence(audio, 1, Ranges({{5.0, 50.0}, {20.0, 30.0}}));
    EXPECT_EQ(audio[3], 1.0f);
    EXPECT_EQ(audio[4], 1.0f);  // factor (5-4)/1
    for (int i = 5; i < 10; ++i) EXPECT_EQ(audio[i], 0.0f);
  }
  {  // overlapping and touching ranges merge into one with one fade each side
    std::vector<float> audio(1000, 1.0f);
    QMApplyRepairSilence(audio, 100, Ranges({{2.0, 3.0}, {2.5, 4.0}, {4.0, 5.0}}));
    EXPECT_EQ(audio[199], 0.5f);   // fade 2 samples: (200-199)/2
    EXPECT_EQ(audio[198], 1.0f);
    for (int i = 200; i < 500; ++i) EXPECT_EQ(audio[i], 0.0f);
    EXPECT_EQ(audio[501], 0.5f);
    EXPECT_EQ(audio[502], 1.0f);
  }
  {  // unusable numbers never reach the conversion
    std::vector<float> audio(100, 1.0f);
    QMApplyRepairSilence(audio, 48000, Ranges({{-1e308, 1e308}}));
    for (float x : audio) EXPECT_EQ(x, 0.0f);
    std::vector<float> untouched(100, 1.0f);
    QMApplyRepairSilence(untouched, 0, Ranges({{0.0, 1.0}}));
    QMApplyRepairSilence(untouched, 48000, Ranges({{std::nan(""), std::nan("")}}));
    QMApplyRepairSilence({}, 48000, Ranges({{0.0, 1.0}}));
    EXPECT_EQ(untouched[0], 1.0f);
  }
}

}  // namespace
