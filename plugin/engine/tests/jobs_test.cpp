// Service jobs and the whole road (LOAD, transcription, Process, takes, render) against the
// web-service stand-in on loopback, with its faults.

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "CACFUnknown.h"
#include "QuillomancerSettings.h"
#include "engine_test_support.h"
#include "qm/platform/defaults.h"

namespace {

using qmtest::PluginInstance;

class Jobs : public ::testing::Test {
 protected:
  Jobs() { host.Controller().SetSampleRate(16000.0f); }

  // LOAD as the window presses it; the host runs the analysis pass it was asked for.
  void PressLoad(PluginInstance& instance, const std::vector<float>& clip) {
    host.ProcessorDelegate().OnForceAnalyze([&instance, clip] {
      qmtest::RunAnalysis(instance, {clip});
      return AAX_Result(0);
    });
    ASSERT_EQ(Quillomancer_HostProcessor::RequestForceAnalyzeForSpike("load_button"), 0);
  }

  void LoadAndTranscribe(PluginInstance& instance) {
    PressLoad(instance, qmtest::Tone(16000 * 2));
    ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Ready));
  }

  qm::host::FakeHost host;
  qmtest::LoopbackService loopback;
};

// The takes can only come back at 8 to 384 kHz: at any other rate nothing is sent, not even the
// health check, and the error says which rates work. At the edges the request goes out.
TEST_F(Jobs, ARateTheTakesCannotComeBackAtIsRefusedBeforeAnyRequest) {
  for (const float rate : {7999.0f, 8000.0f, 384000.0f, 384001.0f}) {
    SCOPED_TRACE(rate);
    const bool sent = rate >= 8000 && rate <= 384000;
    loopback.service.clearRequests();
    host.Controller().SetSampleRate(rate);
    PluginInstance instance(host);
    qmtest::RunAnalysis(instance, {qmtest::Tone(int64_t(rate))});  // one second
    ASSERT_TRUE(qmtest::WaitForState(instance, sent ? kQuillomancerState_Ready : kQuillomancerState_Error));
    EXPECT_EQ(loopback.service.requests().empty(), !sent);
  }
  // Process of a capture made at a usable rate, after the session's rate changed: nothing is charged.
  host.Controller().SetSampleRate(16000.0f);
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetBlock(kQMBlock_Text, "new words");
  host.Controller().SetSampleRate(768000.0f);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Error);
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Sample rate 768000 Hz not supported (8000 to 384000 Hz)");
  EXPECT_EQ(loopback.service.requestCount(qm::service::kGenerate), 0u);
  EXPECT_EQ(loopback.service.credits(), 100);
}

TEST_F(Jobs, WholeRoadFromLoadToRenderedTakes) {
  loopback.service.setTranscriptText("I never said she took the money");
  PluginInstance instance(host);
  PressLoad(instance, qmtest::Tone(16000 * 2));
  EXPECT_EQ(instance.Byte(kQMBlock_TranscribeRequest), 0);
  EXPECT_EQ(instance.Byte(kQMBlock_NewAudioLoaded), 1);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Processing);
  EXPECT_EQ(instance.Status()[5], kQuillomancerActivity_Transcribe);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Ready));
  EXPECT_EQ(instance.Status()[5], kQuillomancerActivity_None);

  const auto payload = nlohmann::json::parse(instance.Block(kQMBlock_TranscriptPayload), nullptr, false);
  ASSERT_TRUE(payload.is_object());
  EXPECT_EQ(payload["text"], "I never said she took the money");
  EXPECT_EQ(payload["words"].size(), 7u);
  EXPECT_EQ(instance.processor->GetSnapshot().transcriptWords.size(), 7u);

  // The window's blocks for a Change of the last word, then Process.
  instance.SetBlock(kQMBlock_Text, "I never said she took the car");
  instance.SetBlock(kQMBlock_ReferenceText, "I never said she took the money");
  instance.SetByte(kQMBlock_LineChange, 1);
  instance.SetByte(kQMBlock_Mode, 1);
  instance.SetByte(kQMBlock_Takes, 3);
  instance.SetBlock(kQMBlock_AccessToken, "token-1");
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Processing);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_HasTakes));
  auto status = instance.Status();
  EXPECT_EQ(status[1], 2);  // take index: the newest
  EXPECT_EQ(status[3], 3);
  EXPECT_EQ(status[4], 97);  // 100 credits less 3 takes
  EXPECT_EQ(instance.Block(kQMBlock_RenderID), "rnd-000001");

  const auto request = loopback.service.lastRequest(qm::service::kGenerate);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->header("Authorization"), "Bearer token-1");
  ASSERT_NE(request->part("mode"), nullptr);
  EXPECT_EQ(request->part("mode")->content, "line_change_v2");
  EXPECT_EQ(request->part("takes")->content, "3");

  // Three renders into a mono output: takes 2, 1, 0 at -1 dB, then ready again.
  // The output range is the captured selection, so no handles: take sample i lands at i.
  const auto snapshot = instance.processor->GetSnapshot();
  for (int expectedTake = 2; expectedTake >= 0; --expectedTake) {
    const auto& take = snapshot.takes[size_t(expectedTake)];
    const auto out = qmtest::RunRender(instance, snapshot.capturedLength, 1);
    for (int64_t i = 0; i < snapshot.capturedLength; i += 211) {
      ASSERT_EQ(out[0][size_t(i)], take[size_t(i)] * 0.8912509f) << expectedTake;
    }
  }
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Ready);
}

TEST_F(Jobs, TwoProcessPressesPublishOnlyTheSecond) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetBlock(kQMBlock_Text, "first words");
  qm::service::Fault slow;
  slow.delaySeconds = 1.0;
  slow.count = 1;
  loopback.service.setFault(qm::service::kGenerate, slow);
  const int creditsBefore = loopback.service.credits();
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(loopback.service.waitForRequests(qm::service::kGenerate, 1, std::chrono::seconds(10)));
  // The stand-in names and charges the first render before its delay; wait for that, so the
  // second press gets the next render id however the threads are scheduled.
  for (int i = 0; i < 6000 && loopback.service.credits() == creditsBefore; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  instance.SetByte(kQMBlock_Takes, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(qmtest::WaitForJobs());
  EXPECT_EQ(loopback.service.requestCount(qm::service::kGenerate), 2u);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_HasTakes);
  EXPECT_EQ(instance.Status()[3], 1);                          // the second asked for one take
  EXPECT_EQ(instance.Block(kQMBlock_RenderID), "rnd-000002");  // the first, slower one is dropped
}

TEST_F(Jobs, CompletionAfterTheProcessorIsGoneChangesNothing) {
  for (bool replace : {false, true}) {
    PluginInstance instance(host);
    LoadAndTranscribe(instance);
    instance.SetBlock(kQMBlock_Text, "words");
    qm::service::Fault slow;
    slow.delaySeconds = 0.5;
    slow.count = 1;
    loopback.service.setFault(qm::service::kGenerate, slow);
    ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
    ASSERT_EQ(instance.Status()[0], kQuillomancerState_Processing);
    if (replace) {
      instance.ReplaceProcessor(false);
    } else {
      instance.ReleaseProcessor();
    }
    const auto before = instance.Status();
    ASSERT_TRUE(qmtest::WaitForJobs());
    EXPECT_EQ(instance.Status(), before) << replace;
    EXPECT_EQ(instance.Block(kQMBlock_RenderID), "") << replace;
    if (replace) {
      EXPECT_EQ(instance.processor->GetSnapshot().takesReady, 0);
    }
  }
}

TEST_F(Jobs, CompletionsRunOnTheMainQueueAndHoldTheBundle) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetBlock(kQMBlock_Text, "words");
  const uint32_t liveObjects = CACFUnknown::GetActiveObjectCount();
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(CACFUnknown::GetActiveObjectCount(), liveObjects + 1);  // no unloading under the job
  // The service answers and the worker finishes, but nothing is applied until the main queue runs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (qm::platform::dispatchMainPending() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Processing);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_HasTakes));
  EXPECT_EQ(CACFUnknown::GetActiveObjectCount(), liveObjects);
}

TEST_F(Jobs, NewCaptureSupersedesARunningTranscription) {
  PluginInstance instance(host);
  qm::service::Fault slow;
  slow.delaySeconds = 0.8;
  slow.count = 1;
  loopback.service.setFault(qm::service::kTranscribe, slow);
  loopback.service.setTranscriptText("old line");
  PressLoad(instance, qmtest::Tone(16000 * 2));
  ASSERT_TRUE(loopback.service.waitForRequests(qm::service::kTranscribe, 1, std::chrono::seconds(10)));
  loopback.service.setTranscriptText("new line");
  PressLoad(instance, qmtest::Tone(16000 * 3));
  ASSERT_TRUE(qmtest::WaitForJobs());
  const auto payload = nlohmann::json::parse(instance.Block(kQMBlock_TranscriptPayload), nullptr, false);
  ASSERT_TRUE(payload.is_object());
  EXPECT_EQ(payload["text"], "new line");
}

TEST_F(Jobs, TimeOutWithRefund) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  auto timeouts = QuillomancerServerGetTimeouts();
  const auto saved = timeouts;
  timeouts.generate = 1.0;
  QuillomancerServerSetTimeouts(timeouts);
  qm::service::Fault slow;
  slow.delaySeconds = 15.0;
  slow.count = 1;
  loopback.service.setFault(qm::service::kGenerate, slow);
  instance.SetBlock(kQMBlock_Text, "words");
  instance.SetBlock(kQMBlock_AccessToken, "token-2");
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Error));
  QuillomancerServerSetTimeouts(saved);
  EXPECT_EQ(loopback.service.requestCount(qm::service::kRefund), 1u);
  const std::string message = instance.Block(kQMBlock_ErrorText);
  EXPECT_EQ(message.rfind("Generation timed out.", 0), 0u) << message;
  EXPECT_EQ(instance.Block(kQMBlock_RenderID), "");
  EXPECT_EQ(instance.Status()[5], kQuillomancerActivity_None);
}

TEST_F(Jobs, CreditsExhaustedHasItsOwnState) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetBlock(kQMBlock_ErrorText, "earlier text");
  loopback.service.setCredits(1);
  instance.SetBlock(kQMBlock_Text, "words");
  instance.SetByte(kQMBlock_Takes, 3);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_NoCredits));
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "earlier text");
}

TEST_F(Jobs, ServerErrorsArePublishedWithTheirMessage) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  qm::service::Fault broken;
  broken.status = 503;
  broken.body = R"({"error":"BACKEND","message":"Inference backend down"})";
  loopback.service.setFault(qm::service::kGenerate, broken);
  instance.SetBlock(kQMBlock_Text, "words");
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Error));
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Generation failed. Please try again in a moment.");

  broken.status = 500;
  broken.body = "oops";
  broken.contentType = "text/plain";
  loopback.service.setFault(qm::service::kTranscribe, broken);
  PressLoad(instance, qmtest::Tone(16000));
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Error));
  EXPECT_EQ(instance.Block(kQMBlock_ErrorText), "Transcription failed (HTTP 500)");
}

TEST_F(Jobs, ServiceTakesAfterAnUnrenderedPreviewRenderAtTheirOwnGain) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetBlock(kQMBlock_Text, "words");
  instance.SetByte(kQMBlock_RepairPreview, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(instance.processor->GetSnapshot().localPreview);
  instance.SetByte(kQMBlock_Takes, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_HasTakes));
  const auto snapshot = instance.processor->GetSnapshot();
  EXPECT_FALSE(snapshot.localPreview);
  const auto& take = snapshot.takes[0];
  const auto out = qmtest::RunRender(instance, snapshot.capturedLength, 1);
  EXPECT_EQ(out[0][1000], take[1000] * 0.8912509f);
}

TEST_F(Jobs, ProcessInVoiceChangeSendsAnOrdinaryRequest) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetByte(kQMBlock_Mode, 2);
  instance.SetByte(kQMBlock_RepairPreview, 1);  // never a local preview in Voice Change
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  EXPECT_EQ(instance.Status()[0], kQuillomancerState_Processing);  // no text check either
  ASSERT_TRUE(qmtest::WaitForJobs());
  const auto request = loopback.service.lastRequest(qm::service::kGenerate);
  ASSERT_TRUE(request.has_value());
  EXPECT_NE(request->part("audio"), nullptr);
  EXPECT_EQ(request->part("voice_audio"), nullptr);
  EXPECT_EQ(request->part("mode"), nullptr);
}

TEST_F(Jobs, BreathFollowsTheUserDefaultsAndIsOnWhenUnset) {
  PluginInstance instance(host);
  LoadAndTranscribe(instance);
  instance.SetBlock(kQMBlock_Text, "words");
  auto& defaults = qm::platform::UserDefaults::standard();
  for (const auto& [stored, sent] : std::vector<std::pair<nlohmann::json, std::string>>{
           {false, "false"}, {nullptr, "true"}, {true, "true"}}) {
    defaults.set(kQuillomancer_BreathDefaultsKey, stored);
    ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
    ASSERT_TRUE(qmtest::WaitForJobs());
    const auto request = loopback.service.lastRequest(qm::service::kGenerate);
    ASSERT_TRUE(request.has_value());
    ASSERT_NE(request->part("breath"), nullptr);
    EXPECT_EQ(request->part("breath")->content, sent) << stored;
  }
  defaults.remove(kQuillomancer_BreathDefaultsKey);
}

TEST(TranscriptPayload, LongAnswersAreWrittenSoTheWindowCanReadThem) {
  std::vector<QuillomancerServer::TimedWord> words;
  std::string text;
  for (int i = 0; i < 150; ++i) {
    words.push_back({i, "word", i * 0.1, i * 0.1 + 0.05});
    text += "word ";
  }
  nlohmann::json answer = {{"text", text}, {"extra", std::string(20000, 'x')}, {"words", nlohmann::json::array()}};
  for (const auto& w : words) {
    answer["words"].push_back({{"word", w.word}, {"index", w.index}, {"start", w.start}, {"end", w.end},
                               {"confidence", 0.99}});
  }
  const std::string body = answer.dump();
  ASSERT_GT(body.size(), kQMTranscriptPayloadMaxBytes);

  const std::string compact = QMBuildTranscriptPayload(body, text, words);
  ASSERT_LE(compact.size(), kQMTranscriptPayloadMaxBytes);
  const auto parsed = nlohmann::json::parse(compact, nullptr, false);
  ASSERT_TRUE(parsed.is_object());
  EXPECT_EQ(parsed["text"], text);
  EXPECT_EQ(parsed["words"].size(), 150u);

  // Too many words even compactly: the words are dropped, the text stays whole JSON.
  std::vector<QuillomancerServer::TimedWord> many(2000, {1, "wordy", 1.0, 2.0});
  const auto textOnly = nlohmann::json::parse(QMBuildTranscriptPayload(body, text, many), nullptr, false);
  ASSERT_TRUE(textOnly.is_object());
  EXPECT_FALSE(textOnly.contains("words"));

  // A short answer goes through byte for byte; no JSON: the plain text.
  EXPECT_EQ(QMBuildTranscriptPayload(R"({"text":"hi","k":1})", "hi", {}), R"({"text":"hi","k":1})");
  EXPECT_EQ(QMBuildTranscriptPayload("", "plain", {}), "plain");
  const std::string huge(20000, 'a');
  EXPECT_EQ(QMBuildTranscriptPayload("", huge, {}).size(), kQMTranscriptPayloadMaxBytes);
}

}  // namespace
