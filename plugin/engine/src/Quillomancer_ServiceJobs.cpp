// Service jobs: a block on the global queue calls the service, a block on the main queue applies
// the result, but only while the job is still the newest of the active processor. Also the
// Process path, which generates from the audio already captured.

#include <algorithm>
#include <atomic>
#include <cinttypes>

#include <nlohmann/json.hpp>

#include "AAX_Errors.h"
#include "CACFUnknown.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"
#include "QuillomancerQueues.h"
#include "QuillomancerSettings.h"
#include "qm/platform/text.h"
#include "qm/platform/thread_check.h"

namespace {

std::atomic<uint32_t> sRunningJobs{0};

// A running job counts as a live object, so the bundle is not unloaded under its blocks.
void JobStarted() {
  sRunningJobs.fetch_add(1);
  CACFUnknown::IncrementActiveObjects();
}

void JobFinished() {
  CACFUnknown::DecrementActiveObjects();
  sRunningJobs.fetch_sub(1);
}

// Runs `call` on the global queue and hands its result to `apply` on the main queue. The job counts
// as running until `apply` has run or could not be queued. False when the global queue would not
// take the job; nothing runs then.
template <typename Call, typename Apply>
bool RunServiceJob(Call call, Apply apply) {
  JobStarted();
  try {
    QMDispatchGlobalAsync([call = std::move(call), apply = std::move(apply)]() mutable {
      // [any-thread] (global queue)
      auto result = call();
      try {
        QMDispatchMainAsync([apply, result = std::move(result)]() mutable {
          // [main-thread]
          try {
            apply(result);
          } catch (...) {
          }
          JobFinished();
        });
      } catch (...) {
        JobFinished();
      }
    });
    return true;
  } catch (...) {
    JobFinished();
    return false;
  }
}

const char* OrAuto(const std::string& language) { return language.empty() ? "auto" : language.c_str(); }

}  // namespace

uint32_t Quillomancer_HostProcessor::RunningJobCount() { return sRunningJobs.load(); }

std::string QMBuildTranscriptPayload(const std::string& responseJson, const std::string& text,
                                     const std::vector<QuillomancerServer::TimedWord>& words,
                                     size_t maxBytes) {
  const std::string& original = responseJson.empty() ? text : responseJson;
  if (original.size() <= maxBytes) return original;
  const auto dump = [](const nlohmann::json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  nlohmann::json compact = nlohmann::json::object();
  compact["text"] = text;
  nlohmann::json list = nlohmann::json::array();
  for (const auto& w : words) {
    list.push_back({{"word", w.word}, {"index", w.index}, {"start", w.start}, {"end", w.end}});
  }
  compact["words"] = std::move(list);
  std::string payload = dump(compact);
  if (payload.size() <= maxBytes) return payload;
  compact.erase("words");
  payload = dump(compact);
  if (payload.size() <= maxBytes) return payload;
  // Not even the text fits as JSON: the plain text, cut on a code-point boundary.
  return text.substr(0, qm::platform::utf8PrefixLength(text, maxBytes));
}

uint64_t Quillomancer_HostProcessor::BeginAsyncJob(QuillomancerActivityKind kind) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  mAsyncActivity = kind;
  return mJobGeneration.fetch_add(1) + 1;
}

bool Quillomancer_HostProcessor::IsCurrentAsyncJob(uint64_t instanceId, uint64_t generation) const {
  return instanceId == mInstanceId && mJobGeneration.load() == generation;
}

void Quillomancer_HostProcessor::ResetAsyncActivity() {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  mAsyncActivity = kQuillomancerActivity_None;
}

bool Quillomancer_HostProcessor::QMShouldAddBreathAfterDialogue() {
  return QMReadBoolSetting(kQuillomancer_BreathDefaultsKey, true);
}

bool Quillomancer_HostProcessor::ParseRepairPlanJSON(const std::string& text,
                                                     std::vector<QuillomancerRepairRange>* out) const {
  return QMParseRepairPlan(text, out);
}

void Quillomancer_HostProcessor::ApplyRepairSilencePlan(std::span<float> audio, int32_t sampleRate,
                                                        const std::vector<QuillomancerRepairRange>& ranges) const {
  QMApplyRepairSilence(audio, sampleRate, ranges);
}

// ---- transcription ----------------------------------------------------------------------------

// [host-thread] (analysis pass)
void Quillomancer_HostProcessor::BeginAsyncTranscribe(QuillomancerSamples audio, int32_t sampleRate,
                                                      std::string language, std::string accessToken) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  const uint64_t instanceId = mInstanceId;
  const uint64_t generation = BeginAsyncJob(kQuillomancerActivity_Transcribe);
  SetPluginState(kQuillomancerState_Processing, 0);
  const bool queued = RunServiceJob(
      [sampleRate, audio = std::move(audio), language = std::move(language), accessToken = std::move(accessToken)]() {
        QuillomancerServer::TranscribeResult result;
        try {
          QMLogFormat("  Async transcribe: sending %zu samples at %dHz (%.2fs), language=%s", audio.size(),
                      int(sampleRate), QMDurationSeconds(int64_t(audio.size()), sampleRate), OrAuto(language));
          result = QuillomancerServer::Transcribe(audio.data(), audio.size(), sampleRate, language, accessToken);
        } catch (...) {
          result = {};
          result.errorCode = "TRANSCRIPTION_FAILED";
        }
        return result;
      },
      [instanceId, generation](const QuillomancerServer::TranscribeResult& result) {
        ApplyTranscribeResult(instanceId, generation, result);
      });
  if (!queued) {
    ResetAsyncActivity();
    mStore.WriteString(kQMBlock_ErrorText, "Transcription failed");
    SetPluginState(kQuillomancerState_Error, 0);
  }
}

// [main-thread]
void Quillomancer_HostProcessor::ApplyTranscribeResult(uint64_t instanceId, uint64_t generation,
                                                       const QuillomancerServer::TranscribeResult& result) {
  std::lock_guard<std::mutex> active(QMActiveProcessorLock());
  Quillomancer_HostProcessor* p = QMActiveProcessorSlot();
  if (p == nullptr || !p->IsCurrentAsyncJob(instanceId, generation)) return;
  std::lock_guard<std::recursive_mutex> guard(p->mLock);
  if (result.success) {
    p->mTranscriptText = result.text;
    p->mTranscriptWords = result.words;
    const std::string payload = QMBuildTranscriptPayload(result.responseJson, result.text, result.words);
    p->mStore.WriteString(kQMBlock_TranscriptPayload, payload);
    p->ResetAsyncActivity();
    QMLogFormat("  Async transcribe: wrote %lu payload bytes back to GUI", static_cast<unsigned long>(payload.size()));
    p->SetPluginState(kQuillomancerState_Ready, 0);
  } else {
    p->mStore.WriteString(kQMBlock_ErrorText,
                          result.errorMessage.empty() ? std::string("Transcription failed") : result.errorMessage);
    p->ResetAsyncActivity();
    QMLogFormat("  Async transcribe failed: code=%s msg=%s", result.errorCode.c_str(), result.errorMessage.c_str());
    p->SetPluginState(kQuillomancerState_Error, 0);
  }
}

// ---- generation -------------------------------------------------------------------------------

// [host-thread] (analysis pass) or [main-thread] (Process)
void Quillomancer_HostProcessor::BeginAsyncGenerate(QuillomancerServer::GenerateRequest request) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  const uint64_t instanceId = mInstanceId;
  const uint64_t generation = BeginAsyncJob(kQuillomancerActivity_Generate);
  const bool voiceChange = request.voiceChange;
  SetPluginState(kQuillomancerState_Processing, 0);
  const bool queued = RunServiceJob(
      [request = std::move(request)]() mutable {
        QuillomancerServer::GenerateResult result;
        try {
          const double seconds = QMDurationSeconds(int64_t(request.primary.size()), request.sampleRate);
          const int rate = int(request.sampleRate);
          QMLogFormat("=== Sending to Quillomancer server (async) ===");
          QMLogFormat("  Server URL: %s", QuillomancerServerBaseURL().c_str());
          QMLogFormat("  Reference audio: %zu samples at %dHz (%.2f seconds)", request.primary.size(), rate, seconds);
          if (request.voiceChange) {
            QMLogFormat("  Voice audio: %zu samples at %dHz (%.2f seconds)", request.primary.size(), rate, seconds);
          }
          const char* omitted = "(omitted for voice_change)";
          const std::string& reference = request.referenceText;
          QMLogFormat("  Text: '%s'", request.voiceChange ? omitted : request.text.c_str());
          QMLogFormat("  Reference text: '%s'",
                      request.voiceChange ? omitted : (reference.empty() ? "(none)" : reference.c_str()));
          QMLogFormat("  Language: %s", OrAuto(request.language));
          QMLogFormat("  Takes requested: %d", int(request.takes));
          QMLogFormat("  Breath tail: %s", request.addBreath ? "ON" : "OFF");
          QMLogFormat("  Variation: %s", request.variation ? "ON" : "OFF");
          QMLogFormat("  Mode: %s", request.voiceChange ? "voice_change"
                                                        : (request.lineChangeV2 ? "line_change_v2" : "default"));
          result = QuillomancerServer::Generate(std::move(request));
        } catch (...) {
          result = {};
          result.errorCode = "GENERATION_FAILED";
        }
        return result;
      },
      [instanceId, generation, voiceChange](QuillomancerServer::GenerateResult& result) {
        ApplyGenerateResult(instanceId, generation, result, voiceChange);
      });
  if (!queued) {
    ResetAsyncActivity();
    mStore.WriteString(kQMBlock_ErrorText, "Server error");
    SetPluginState(kQuillomancerState_Error, 0);
  }
}

// [main-thread]
void Quillomancer_HostProcessor::ApplyGenerateResult(uint64_t instanceId, uint64_t generation,
                                                     QuillomancerServer::GenerateResult& result, bool voiceChange) {
  std::lock_guard<std::mutex> active(QMActiveProcessorLock());
  Quillomancer_HostProcessor* p = QMActiveProcessorSlot();
  if (p == nullptr || !p->IsCurrentAsyncJob(instanceId, generation)) return;
  std::lock_guard<std::recursive_mutex> guard(p->mLock);
  // Takes ready never names more buffers than the answer filled.
  const int32_t usable = std::min<int32_t>({result.takeCount, int32_t(std::min<size_t>(result.takes.size(), 64)),
                                            int32_t(kQMMaxTakes)});
  if (result.success && result.takeCount >= 1 && usable >= 1) {
    for (auto& take : p->mTakes) take.clear();
    p->mTakesReady = usable;
    for (int32_t i = 0; i < usable; ++i) {
      const size_t t = size_t(i);
      const bool kept16Bit = t < result.pcmTakes.size() && !result.pcmTakes[t].empty();
      p->mTakes[t] =
          kept16Bit ? QuillomancerTake(std::move(result.pcmTakes[t])) : QuillomancerTake(std::move(result.takes[t]));
      QMLogFormat("  Take[%d] raw=%zu", int(i), p->mTakes[t].size());
    }
    p->mRenderSelectionLength = p->mCapturedLength;
    p->mRenderId = result.renderId;
    p->mStore.WriteString(kQMBlock_RenderID, p->mRenderId);
    p->mTakeIndex = p->mTakesReady - 1;
    p->mCreditBalance = result.creditBalance;
    p->mRenderArmed = true;
    p->mVoiceCaptured = false;
    // Service takes render at their own gain, even when a local preview was never rendered.
    p->mLocalPreview = false;
    p->ResetAsyncActivity();
    QMLogFormat("=== Server SUCCESS — %d takes ready, credits=%d render_id=%s ===", int(p->mTakesReady),
                int(p->mCreditBalance), p->mRenderId.empty() ? "(missing)" : p->mRenderId.c_str());
    p->SetPluginState(kQuillomancerState_HasTakes, p->mTakeIndex);
    return;
  }
  QMLogFormat("=== Server FAILED — code=%s msg=%s ===", result.errorCode.c_str(), result.errorMessage.c_str());
  if (result.timeoutRefundAttempted) {
    QMLogFormat("  Timeout refund: success=%d refunded_count=%d refunded_credits=%d",
                result.timeoutRefundSucceeded ? 1 : 0, int(result.refundedCount), int(result.refundedCredits));
  }
  if (result.hasCreditBalance) p->mCreditBalance = result.creditBalance;
  p->mRenderId.clear();
  if (voiceChange) p->mVoiceCaptured = false;
  p->mStore.Clear(kQMBlock_RenderID);
  p->ResetAsyncActivity();
  if (result.errorCode == "INSUFFICIENT_CREDITS") {
    p->SetPluginState(kQuillomancerState_NoCredits, 0);
  } else {
    p->mStore.WriteString(kQMBlock_ErrorText,
                          result.errorMessage.empty() ? std::string("Server error") : result.errorMessage);
    p->SetPluginState(kQuillomancerState_Error, 0);
  }
}

// ---- Process ----------------------------------------------------------------------------------

// [main-thread]
AAX_Result Quillomancer_HostProcessor::RequestProcessLoadedAudio(const char* source) noexcept {
  QM_ASSERT_THREAD(main);
  const char* label = (source != nullptr && source[0] != '\0') ? source : "unspecified";
  try {
    std::lock_guard<std::mutex> active(QMActiveProcessorLock());
    Quillomancer_HostProcessor* p = QMActiveProcessorSlot();
    if (p == nullptr) {
      QMLogFormat("ProcessLoadedAudio: no active host processor instance (source=%s)", label);
      return AAX_ERROR_NOT_INITIALIZED;
    }
    return p->ProcessLoadedAudio(label);
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

// [main-thread]
AAX_Result Quillomancer_HostProcessor::ProcessLoadedAudio(const char* source) noexcept {
  try {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    QMLogFormat("=== ProcessLoadedAudio (%s) ===", source != nullptr ? source : "unspecified");
    if (StopForCompatibilityLock("  Compatibility lock active — blocking cached process")) return AAX_SUCCESS;
    if (mCapture.empty() || mCapturedLength < 1) {
      QMLogFormat("  No cached audio available — load is required first");
      mStore.WriteString(kQMBlock_ErrorText, "Load audio first");
      SetPluginState(kQuillomancerState_Error, 0);
      return AAX_SUCCESS;
    }
    const int32_t sampleRate = SessionSampleRate(nullptr);
    QuillomancerEdit edit = ReadEdit();
    QuillomancerServer::GenerateRequest& request = edit.request;
    const bool voiceChange = edit.voiceChange;
    if (!voiceChange && request.text.empty()) {
      QMLogFormat("  Cached process blocked: no text entered");
      SetPluginState(kQuillomancerState_InputTextRequired, 0);
      return AAX_SUCCESS;
    }
    bool lineChange = edit.lineChange;
    request.referenceText = request.text;
    if (lineChange) {
      if (!edit.reference.empty()) request.referenceText = edit.reference;
      if (request.referenceText.empty()) {
        QMLogFormat("  Cached process blocked: missing reference text");
        SetPluginState(kQuillomancerState_BeforeTextRequired, 0);
        return AAX_SUCCESS;
      }
    }
    QMRepairSilence silence;
    const bool repairActive = PlanEditRepair(edit, int64_t(mCapture.size()), sampleRate,
                                             "  Cached process: applying repair plan with %zu ranges", &silence);
    if (repairActive) lineChange = true;
    QuillomancerSamples processed(mCapture);
    QMSilenceRegions(processed, silence);
    if (!voiceChange && edit.previewArmed) {
      ServeLocalPreview(std::move(processed));
      mStore.Clear(kQMBlock_RepairPreview);
      QMLogFormat("  Cached process preview: returning locally processed audio (%zu samples, repairActive=%d, "
                  "lineChangeOn=%d)",
                  mTakes[0].size(), repairActive ? 1 : 0, lineChange ? 1 : 0);
      SetPluginState(kQuillomancerState_HasTakes, mTakeIndex);
      return AAX_SUCCESS;
    }
    if (RefuseUnsupportedSampleRate(sampleRate)) return AAX_SUCCESS;
    QMLogFormat("  Cached process using %zu samples at %dHz (lineChangeOn=%d repairActive=%d preview=%d)",
                processed.size(), int(sampleRate), lineChange ? 1 : 0, repairActive ? 1 : 0,
                edit.previewArmed ? 1 : 0);
    // Process sends an ordinary request of the capture (not a Voice Change one), in Voice Change too.
    request.primary = std::move(processed);
    request.sampleRate = sampleRate;
    request.lineChangeV2 = lineChange;
    BeginAsyncGenerate(std::move(request));
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_SUCCESS;
  }
}
