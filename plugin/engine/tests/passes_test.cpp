// The analysis and render passes on the fake host, without a reachable service: the health
// check fails at once, so passes that would transcribe stop at "Server offline".

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "engine_test_support.h"
#include "QuillomancerLogger.h"

namespace {

using qmtest::PluginInstance;

class Passes : public ::testing::Test {
 protected:
  void SetUp() override { QuillomancerServerSetBaseURLOverride(std::string("http://127.0.0.1:9")); }
  void TearDown() override { QuillomancerServerSetBaseURLOverride(std::nullopt); }

  qm::host::FakeHost host;
};

TEST_F(Passes, AnalysisTrimsTheHandlesAndMixesToMono) {
  PluginInstance instance(host);
  std::vector<float> ramp(48000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 48000.0f;
  qmtest::RunAnalysis(instance, {ramp}, 1000, 1000 + 24001);
  const auto snapshot = instance.processor->GetSnapshot();
  ASSERT_EQ(snapshot.capturedLength, 24001);
  ASSERT_EQ(snapshot.capture.size(), 24001u);
  EXPECT_EQ(snapshot.capture.front(), ramp[11999] * 0.7943282f);
  EXPECT_EQ(snapshot.capture.back(), ramp[35999] * 0.7943282f);
  // Outside Voice Change every pass transcribes: the new-audio flag is set, the health check
  // fails and nothing is started.
  EXPECT_EQ(instance.Byte(kQMBlock_NewAudioLoaded), 1);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Error);
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Server offline");
  EXPECT_EQ(Quillomancer_HostProcessor::RunningJobCount(), 0u);
}

TEST_F(Passes, StereoMixIsClampedAndWindowsBeyondTheRangeAreDropped) {
  PluginInstance instance(host);
  std::vector<float> ones(24000, 1.0f);
  int64_t dstStart = 0, dstEnd = 0;
  instance.processor->InitOutputBounds(0, 24000, &dstStart, &dstEnd);
  instance.processor->PreAnalyze(2, 1000);
  const float* inputs[2] = {ones.data(), ones.data()};
  for (int i = 0; i < 30; ++i) {  // 30000 samples offered for a range of 24000
    int32_t n = 1000;
    ASSERT_EQ(instance.processor->AnalyzeAudio(inputs, 2, &n), 0);
  }
  int32_t n = 1000;
  EXPECT_EQ(instance.processor->AnalyzeAudio(nullptr, 2, &n), -20004);
  EXPECT_EQ(instance.processor->AnalyzeAudio(inputs, 0, &n), -20004);
  EXPECT_EQ(instance.processor->AnalyzeAudio(inputs, 2, nullptr), -20004);
  qmtest::OnHostThread([&] { instance.processor->PostAnalyze(); });  // its health check blocks a host thread
  const auto snapshot = instance.processor->GetSnapshot();
  EXPECT_EQ(snapshot.capturedLength, 24000);
  EXPECT_EQ(snapshot.capture[23999], 0.8912509f);
}

struct DurationCase {
  double seconds;
  int32_t state;
};

TEST_F(Passes, TranscribePassDurationLimits) {
  host.Controller().SetSampleRate(8000.0f);
  const DurationCase cases[] = {{0.49, 6}, {0.5, 4}, {15.0, 4}, {15.01, 7}};
  for (const auto& c : cases) {
    PluginInstance instance(host);
    qmtest::RunAnalysis(instance, {qmtest::Tone(int64_t(std::llround(c.seconds * 8000)))});
    EXPECT_EQ(instance.Status()[0], c.state) << c.seconds;
  }
}

TEST_F(Passes, VoiceChangePassLimitsAndCountdown) {
  host.Controller().SetSampleRate(8000.0f);
  {
    PluginInstance instance(host);
    instance.SetByte(kQMBlock_Mode, 2);
    const DurationCase voice[] = {{0.9, 6}, {25.5, 7}, {1.0, 12}};
    for (const auto& c : voice) {
      qmtest::RunAnalysis(instance, {qmtest::Tone(int64_t(std::llround(c.seconds * 8000)))});
      EXPECT_EQ(instance.Status()[0], c.state) << "voice " << c.seconds;
      EXPECT_EQ(instance.Byte(kQMBlock_NewAudioLoaded), 0);  // no transcription in a generate pass
    }
    EXPECT_TRUE(instance.processor->GetSnapshot().voiceCaptured);
    const DurationCase performance[] = {{0.2, 6}, {31.0, 7}};
    for (const auto& c : performance) {
      qmtest::RunAnalysis(instance, {qmtest::Tone(int64_t(std::llround(c.seconds * 8000)))});
      EXPECT_EQ(instance.Status()[0], c.state) << "performance " << c.seconds;
      EXPECT_TRUE(instance.processor->GetSnapshot().voiceCaptured);  // the clip survives
    }
    // 30.0 s is accepted: a generation starts, published with its countdown.
    instance.SetByte(kQMBlock_Takes, 5);
    qmtest::RunAnalysis(instance, {qmtest::Tone(240000)});
    EXPECT_EQ(instance.Status()[0], kQuillomancerState_Processing);
    EXPECT_EQ(instance.Status()[5], kQuillomancerActivity_Generate);
    EXPECT_EQ(instance.Status()[6], 183);  // 3 + 5 x 36
    ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Error));  // no service here
  }
  {
    // A LOAD in Voice Change with a clip stored transcribes and keeps the clip.
    PluginInstance instance(host);
    instance.SetByte(kQMBlock_Mode, 2);
    qmtest::RunAnalysis(instance, {qmtest::Tone(16000)});
    ASSERT_EQ(instance.Status()[0], kQuillomancerState_VoiceCaptured);
    instance.SetByte(kQMBlock_TranscribeRequest, 1);
    qmtest::RunAnalysis(instance, {qmtest::Tone(16000)});
    EXPECT_EQ(instance.Byte(kQMBlock_NewAudioLoaded), 1);
    EXPECT_EQ(instance.Byte(kQMBlock_TranscribeRequest), 0);
    EXPECT_TRUE(instance.processor->GetSnapshot().voiceCaptured);
  }
}

TEST_F(Passes, UnusableHostSampleRatesCountAs48000) {
  for (float rate : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    host.Controller().SetSampleRate(rate);
    PluginInstance instance(host);
    qmtest::RunAnalysis(instance, {qmtest::Tone(24000)});  // 0.5 s at 48 kHz: accepted
    EXPECT_EQ(instance.Status()[0], kQuillomancerState_Error) << rate;
    qmtest::RunAnalysis(instance, {qmtest::Tone(23000)});  // below 0.5 s
    EXPECT_EQ(instance.Status()[0], kQuillomancerState_SelectionTooShort) << rate;
  }
}

// Every window of a `seconds` long selection at 48 kHz, stereo, each window the same ramp.
void AnalyzeLongSelection(PluginInstance& instance, int64_t frames, const std::function<void()>& between) {
  std::vector<float> ramp(4096);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 4096.0f - 0.25f;
  int64_t start = 0, end = 0;
  instance.processor->InitOutputBounds(0, frames, &start, &end);
  instance.processor->PreAnalyze(2, 4096);
  between();
  const float* inputs[2] = {ramp.data(), nullptr};
  for (int64_t at = 0; at < frames; at += 4096) {
    int32_t n = int32_t(std::min<int64_t>(4096, frames - at));
    ASSERT_EQ(instance.processor->AnalyzeAudio(inputs, 2, &n), 0);
  }
  qmtest::OnHostThread([&] { instance.processor->PostAnalyze(); });
}

TEST_F(Passes, ThreeHourSelectionIsRefusedWithoutBeingCaptured) {
  const int64_t frames = int64_t(3 * 3600) * 48000;
  std::vector<std::string> lines;
  QuillomancerLogger::shared().setMessageObserver([&](const std::string& line) { lines.push_back(line); });
  {
    PluginInstance instance(host);
    AnalyzeLongSelection(instance, frames, [&] { EXPECT_FALSE(instance.processor->GetSnapshot().captureKept); });
    EXPECT_EQ(instance.Status()[0], kQuillomancerState_SelectionTooLong);
    EXPECT_EQ(instance.processor->GetSnapshot().capturedLength, frames);
    EXPECT_TRUE(instance.processor->GetSnapshot().capture.empty());
    // Nothing to send for Process either.
    ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
    EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Load audio first");
  }
  {
    // A voice pass with a repair plan logs its plan over the whole length before the refusal.
    PluginInstance instance(host);
    instance.SetByte(kQMBlock_Mode, kQuillomancerMode_VoiceChange);
    instance.SetBlock(kQMBlock_RepairPlan,
                      R"({"selections":[{"word_index":1,"word":"w","start_seconds":1.0,"end_seconds":2.0}]})");
    AnalyzeLongSelection(instance, frames, [] {});
    EXPECT_EQ(instance.Status()[0], kQuillomancerState_SelectionTooLong);
  }
  QuillomancerLogger::shared().setMessageObserver({});
  auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  EXPECT_TRUE(has("  Analyze capture: raw=518400000 trimmed=518400000 selection=518400000 headHandle=0 tailHandle=0 "
                  "timelineSelection=0 (valid=0 start=0 end=0)"));
  // The loudest of the first second: the ramp's last sample, the one channel there at -3 dB.
  char peak[64];
  std::snprintf(peak, sizeof peak, "  Max sample in first 1s: %f", double((4095.0f / 4096.0f - 0.25f) * 0.70794576f));
  EXPECT_TRUE(has(peak)) << peak;
  EXPECT_TRUE(has("  Transcribe: selection too long 10800.00s"));
  EXPECT_TRUE(has("    merged[0] start=48000 end=96000 duration=48000"));
  EXPECT_TRUE(has("  *** Selection too long: 10800.00s (max 25.0s) ***"));
}

TEST_F(Passes, LongSelectionThatChangesDuringThePassIsAnError) {
  PluginInstance instance(host);
  // Counted against a selection of 3 hours, then the host hands over a shorter one.
  AnalyzeLongSelection(instance, int64_t(3 * 3600) * 48000,
                       [&] { instance.host.Transport().SetTimelineSelection(0, 48000); });
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Error);
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Selection too large to capture");
}

TEST_F(Passes, CompatibilityLockBlocksThePassAndStillConsumesLoad) {
  PluginInstance instance(host);
  instance.SetByte(kQMBlock_CompatibilityLock, 1);
  instance.SetByte(kQMBlock_TranscribeRequest, 1);
  qmtest::RunAnalysis(instance, {qmtest::Tone(48000)});
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_UpdateRequired);
  EXPECT_EQ(instance.Byte(kQMBlock_TranscribeRequest), 0);
  EXPECT_EQ(instance.Byte(kQMBlock_NewAudioLoaded), 0);
}

// A capture, then the local repair preview through Process.
void LoadPreview(PluginInstance& instance, int64_t samples, int64_t selectionStart = 0, int64_t selectionEnd = 0) {
  std::vector<float> ramp(static_cast<size_t>(samples));
  for (int64_t i = 0; i < samples; ++i) ramp[size_t(i)] = 0.001f * float(i % 500);
  qmtest::RunAnalysis(instance, {ramp}, selectionStart, selectionEnd);
  instance.SetBlock(kQMBlock_Text, "fix this");
  instance.SetByte(kQMBlock_RepairPreview, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_EQ(instance.Status()[0], kQuillomancerState_HasTakes);
  ASSERT_EQ(instance.Byte(kQMBlock_RepairPreview), 0);
}

TEST_F(Passes, LocalPreviewRendersAtUnityGainOnce) {
  PluginInstance instance(host);
  LoadPreview(instance, 30000);
  const auto take = instance.processor->GetSnapshot().takes[0];
  ASSERT_EQ(take.size(), 30000u);
  const auto out = qmtest::RunRender(instance, 30000, 1);
  EXPECT_EQ(out[0], take);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Ready);
  const auto silent = qmtest::RunRender(instance, 30000, 1);  // consumed
  EXPECT_EQ(silent[0], std::vector<float>(30000, 0.0f));
}

TEST_F(Passes, RenderPlacesTheTakeBetweenTheHandles) {
  struct Case {
    int64_t extra;
    int64_t head;
  };
  for (const Case c : {Case{10, 5}, Case{11, 5}, Case{0, 0}}) {
    PluginInstance instance(host);
    LoadPreview(instance, 24000, 100, 100 + 24000);  // selection as long as the capture
    const auto take = instance.processor->GetSnapshot().takes[0];
    const int64_t length = 24000 + c.extra;
    const auto out = qmtest::RunRender(instance, length, 1, 1000);
    for (int64_t i = 0; i < c.head; ++i) EXPECT_EQ(out[0][size_t(i)], 0.0f);
    for (int64_t i = 0; i < 24000; i += 997) EXPECT_EQ(out[0][size_t(i + c.head)], take[size_t(i)]) << c.extra;
    for (int64_t i = c.head + 24000; i < length; ++i) EXPECT_EQ(out[0][size_t(i)], 0.0f);
  }
}

TEST_F(Passes, RenderWithNothingArmedWritesSilenceAndClearsPreviewFlag) {
  PluginInstance instance(host);
  instance.SetByte(kQMBlock_RepairPreview, 1);
  const auto before = instance.Status();
  const auto out = qmtest::RunRender(instance, 5000, 2);
  EXPECT_EQ(out[0], std::vector<float>(5000, 0.0f));
  EXPECT_EQ(out[1], std::vector<float>(5000, 0.0f));
  EXPECT_EQ(instance.Status(), before);
  EXPECT_EQ(instance.Byte(kQMBlock_RepairPreview), 0);

  float buffer[4];
  float* outputs[1] = {buffer};
  int32_t n = 4;
  EXPECT_EQ(instance.processor->RenderAudio(nullptr, 0, nullptr, 1, &n), -20004);
  EXPECT_EQ(instance.processor->RenderAudio(nullptr, 0, outputs, 0, &n), -20004);
  EXPECT_EQ(instance.processor->RenderAudio(nullptr, 0, outputs, 1, nullptr), -20004);
}

TEST_F(Passes, MoreOutputsThanTakesLeavesTheRestSilent) {
  PluginInstance instance(host);
  LoadPreview(instance, 20000);
  const auto out = qmtest::RunRender(instance, 20000, 3);
  EXPECT_NE(out[0], std::vector<float>(20000, 0.0f));
  EXPECT_EQ(out[1], std::vector<float>(20000, 0.0f));
  EXPECT_EQ(out[2], std::vector<float>(20000, 0.0f));
}

TEST_F(Passes, CompatibilityLockDuringRenderSilencesAndClears) {
  PluginInstance instance(host);
  LoadPreview(instance, 20000);
  instance.SetByte(kQMBlock_CompatibilityLock, 1);
  const auto out = qmtest::RunRender(instance, 20000, 1);
  EXPECT_EQ(out[0], std::vector<float>(20000, 0.0f));
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_UpdateRequired);
  EXPECT_EQ(instance.processor->GetSnapshot().takesReady, 0);
}

TEST_F(Passes, ProcessRefusals) {
  PluginInstance instance(host);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio(nullptr), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Error);
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Load audio first");

  qmtest::RunAnalysis(instance, {qmtest::Tone(48000)});
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_InputTextRequired);

  // Line Change on with an empty reference: the text itself is the reference, no state 11.
  instance.SetBlock(kQMBlock_Text, "new words");
  instance.SetByte(kQMBlock_LineChange, 1);
  instance.SetByte(kQMBlock_RepairPreview, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_HasTakes);

  instance.SetByte(kQMBlock_CompatibilityLock, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_UpdateRequired);
}

TEST_F(Passes, PreviewSilencesTheRepairRanges) {
  host.Controller().SetSampleRate(1000.0f);
  PluginInstance instance(host);
  qmtest::RunAnalysis(instance, {std::vector<float>(3000, 0.5f)});
  instance.SetBlock(kQMBlock_Text, "line");
  instance.SetBlock(kQMBlock_RepairPlan,
                    R"({"selections":[{"word":"a","word_index":1,"start_seconds":1.0,"end_seconds":1.5},)"
                    R"({"word":"b","word_index":2,"start_seconds":2.0,"end_seconds":2.2}]})");
  instance.SetByte(kQMBlock_RepairPreview, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_EQ(instance.Status()[0], kQuillomancerState_HasTakes);
  EXPECT_EQ(Quillomancer_HostProcessor::RunningJobCount(), 0u);  // no request
  const auto take = instance.processor->GetSnapshot().takes[0];
  const float level = 0.5f * 0.7943282f;
  EXPECT_EQ(take[500], level);
  EXPECT_EQ(take[1200], 0.0f);
  EXPECT_EQ(take[2100], 0.0f);
  EXPECT_EQ(take[2900], level);
}

// A generate pass whose mode leaves Voice Change before it ends takes the other branches: its
// repair plan is logged before the duration check, and it silences the local preview's copy of
// the capture, never the capture itself.
TEST_F(Passes, GeneratePassLogsItsPlanFirstAndSilencesOnlyItsCopy) {
  host.Controller().SetSampleRate(1000.0f);
  std::vector<std::string> lines;
  QuillomancerLogger::shared().setMessageObserver([&](const std::string& line) { lines.push_back(line); });
  struct Case {
    int64_t samples;
    int32_t state;
    const char* last;  // the pass's last line
  };
  const Case cases[] = {
      {400, kQuillomancerState_SelectionTooShort, "  *** Selection too short: 0.40s (min 0.5s) ***"},
      {3000, kQuillomancerState_HasTakes,
       "  Repair preview: returning locally processed audio (3000 samples, repairActive=1)"},
      {15001, kQuillomancerState_SelectionTooLong, "  *** Selection too long: 15.00s (max 15.0s) ***"}};
  for (const Case& c : cases) {
    PluginInstance instance(host);
    instance.SetByte(kQMBlock_Mode, kQuillomancerMode_VoiceChange);
    instance.SetBlock(kQMBlock_Text, "line");
    instance.SetBlock(kQMBlock_RepairPlan,
                      R"({"selections":[{"word":"a","word_index":1,"start_seconds":1.0,"end_seconds":1.5}]})");
    instance.SetByte(kQMBlock_RepairPreview, 1);
    const std::vector<float> audio = qmtest::Tone(c.samples);
    int64_t start = 0, end = 0;
    instance.processor->InitOutputBounds(0, c.samples, &start, &end);
    instance.processor->PreAnalyze(1, 1000);
    for (int64_t at = 0; at < c.samples; at += 1000) {
      int32_t n = int32_t(std::min<int64_t>(1000, c.samples - at));
      const float* inputs[1] = {audio.data() + at};
      ASSERT_EQ(instance.processor->AnalyzeAudio(inputs, 1, &n), 0);
    }
    instance.SetByte(kQMBlock_Mode, kQuillomancerMode_After);
    lines.clear();
    qmtest::OnHostThread([&] { instance.processor->PostAnalyze(); });
    EXPECT_EQ(instance.Status()[0], c.state) << c.samples;
    const auto plan = std::find(lines.begin(), lines.end(), "  Repair mode: active with 1 ranges");
    ASSERT_NE(plan, lines.end()) << c.samples;
    EXPECT_EQ(lines.back(), c.last);

    const auto snapshot = instance.processor->GetSnapshot();
    const size_t inside = std::min<size_t>(1200, size_t(c.samples) - 1);
    EXPECT_EQ(snapshot.capture[inside], audio[inside] * kQMSingleChannelGain) << c.samples;
    if (c.state == kQuillomancerState_HasTakes) {
      EXPECT_EQ(snapshot.takes[0][1200], 0.0f);
      EXPECT_EQ(snapshot.takes[0][500], snapshot.capture[500]);
    }
  }
  QuillomancerLogger::shared().setMessageObserver({});
}

TEST(StaticEntries, WithoutAnActiveProcessorAnswerNotInitialized) {
  qm::host::FakeHost host;
  PluginInstance instance(host);
  std::vector<std::string> lines;
  QuillomancerLogger::shared().setMessageObserver([&](const std::string& line) { lines.push_back(line); });
  instance.ReleaseProcessor();
  EXPECT_EQ(Quillomancer_HostProcessor::RequestForceAnalyzeForSpike(""), -20011);
  EXPECT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), -20011);
  QuillomancerLogger::shared().setMessageObserver({});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ForceAnalyze spike: no active host processor instance (source=unspecified)");
  EXPECT_EQ(lines[1], "ProcessLoadedAudio: no active host processor instance (source=process_button)");
}

TEST(StaticEntries, LoadMarksTheTranscriptionAndAsksTheHost) {
  qm::host::FakeHost host;
  PluginInstance instance(host);
  int asked = 0;
  host.ProcessorDelegate().OnForceAnalyze([&] {
    ++asked;
    return AAX_Result(0);
  });
  EXPECT_EQ(Quillomancer_HostProcessor::RequestForceAnalyzeForSpike("load_button"), 0);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(instance.processor->ConsumePendingTranscribeRequest());
  EXPECT_FALSE(instance.processor->ConsumePendingTranscribeRequest());
}

TEST(StateRecord, TakesShownOnlyWhileTakesAreReady) {
  qm::host::FakeHost host;
  PluginInstance instance(host);
  instance.SetByte(kQMBlock_Takes, 5);
  instance.processor->SetPluginState(kQuillomancerState_HasTakes, 2, 4);
  EXPECT_EQ(instance.Status(), (std::vector<int32_t>{3, 2, 5, 4, 0, 0, 0}));
  instance.processor->SetPluginState(kQuillomancerState_Ready, 0);
  EXPECT_EQ(instance.Status(), (std::vector<int32_t>{0, 0, 5, 0, 0, 0, 0}));
  instance.SetByte(kQMBlock_Mode, 2);
  EXPECT_EQ(instance.processor->GetCurrentMode(), 2);
}

TEST(Processors, InstanceIdsCountUp) {
  qm::host::FakeHost host;
  PluginInstance instance(host);
  const uint64_t first = instance.processor->InstanceID();
  instance.ReplaceProcessor(true);
  EXPECT_EQ(instance.processor->InstanceID(), first + 1);
}

}  // namespace
