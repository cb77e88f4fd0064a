// Service jobs: a block on the global queue calls the service, a block on the main queue applies
// the result, but only while the job is still the newest of the active processor. Also the
// Process path, which generates from the audio already captured.

#include <algorithm>
#include <atomic>
#include <cinttypes>

#include <nlohmann/json.hpp>

#include "AAX_Errors.h"
#include "AAX_IEffectParameters.h"
#include "CACFUnknown.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerCustomDataStore.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"
#include "QuillomancerQueues.h"
#include "QuillomancerSettings.h"

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
    QMDispatchGlobalAsync([call = std::move(call), apply = std::move(apply)]() {
      // [any-thread] (global queue)
      auto result = call();
      try {
        QMDispatchMainAsync([apply, result = std::move(result)]() {
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
  return text.substr(0, QMUTF8PrefixBytesForCodepointLimit(text.data(), std::min(text.size(), maxBytes),
                                                           maxBytes));
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

void Quillomancer_HostProcessor::ApplyRepairSilencePlan(std::vector<float>* audio, int32_t sampleRate,
                                                        const std::vector<QuillomancerRepairRange>& ranges) const {
  QMApplyRepairSilence(audio, sampleRate, ranges);
}

// ---- transcription ----------------------------------------------------------------------------

// [host-thread] (analysis pass)
void Quillomancer_HostProcessor::BeginAsyncTranscribe(std::vector<float> audio, int32_t sampleRate,
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
    WriteBlockString(kQMBlock_ErrorText, "Transcription failed");
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
    p->WriteBlockString(kQMBlock_TranscriptPayload, payload);
    p->ResetAsyncActivity();
    QMLogFormat("  Async transcribe: wrote %lu payload bytes back to GUI", static_cast<unsigned long>(payload.size()));
    p->SetPluginState(kQuillomancerState_Ready, 0);
  } else {
    p->WriteBlockString(kQMBlock_ErrorText,
                        result.errorMessage.empty() ? std::string("Transcription failed") : result.errorMessage);
    p->ResetAsyncActivity();
    QMLogFormat("  Async transcribe failed: code=%s msg=%s", result.errorCode.c_str(), result.errorMessage.c_str());
    p->SetPluginState(kQuillomancerState_Error, 0);
  }
}

// ---- generation -------------------------------------------------------------------------------

// [host-thread] (analysis pass) or [main-thread] (Process)
void Quillomancer_HostProcessor::BeginAsyncGenerate(std::vector<float> primary, std::vector<float> secondary,
                                                    int32_t sampleRate, std::string text, std::string referenceText,
                                                    std::string language, std::string accessToken, int32_t takes,
                                                    bool breath, bool voiceChange, bool lineChangeV2, bool variation) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  const uint64_t instanceId = mInstanceId;
  const uint64_t generation = BeginAsyncJob(kQuillomancerActivity_Generate);
  SetPluginState(kQuillomancerState_Processing, 0);
  const bool queued = RunServiceJob(
      [=, primary = std::move(primary), secondary = std::move(secondary), text = std::move(text),
       referenceText = std::move(referenceText), language = std::move(language),
       accessToken = std::move(accessToken)]() {
        QuillomancerServer::GenerateResult result;
        try {
          const double seconds = QMDurationSeconds(int64_t(primary.size()), sampleRate);
          QMLogFormat("=== Sending to Quillomancer server (async) ===");
          QMLogFormat("  Server URL: %s", QuillomancerServerBaseURL().c_str());
          QMLogFormat("  Reference audio: %zu samples at %dHz (%.2f seconds)", primary.size(), int(sampleRate),
                      seconds);
          if (voiceChange) {
            QMLogFormat("  Voice audio: %zu samples at %dHz (%.2f seconds)", primary.size(), int(sampleRate),
                        seconds);
          }
          const char* omitted = "(omitted for voice_change)";
          QMLogFormat("  Text: '%s'", voiceChange ? omitted : text.c_str());
          QMLogFormat("  Reference text: '%s'",
                      voiceChange ? omitted : (referenceText.empty() ? "(none)" : referenceText.c_str()));
          QMLogFormat("  Language: %s", OrAuto(language));
          QMLogFormat("  Takes requested: %d", int(takes));
          QMLogFormat("  Breath tail: %s", breath ? "ON" : "OFF");
          QMLogFormat("  Variation: %s", variation ? "ON" : "OFF");
          QMLogFormat("  Mode: %s", voiceChange ? "voice_change" : (lineChangeV2 ? "line_change_v2" : "default"));
          const std::string empty;
          result = QuillomancerServer::Generate(
              primary.data(), primary.size(), voiceChange ? secondary.data() : nullptr,
              voiceChange ? secondary.size() : 0, sampleRate, voiceChange ? empty : text,
              voiceChange ? empty : referenceText, language, accessToken, takes, breath, voiceChange, lineChangeV2,
              variation);
        } catch (...) {
          result = {};
          result.errorCode = "GENERATION_FAILED";
        }
        return result;
      },
      [instanceId, generation, voiceChange](const QuillomancerServer::GenerateResult& result) {
        ApplyGenerateResult(instanceId, generation, result, voiceChange);
      });
  if (!queued) {
    ResetAsyncActivity();
    WriteBlockString(kQMBlock_ErrorText, "Server error");
    SetPluginState(kQuillomancerState_Error, 0);
  }
}

// [main-thread]
void Quillomancer_HostProcessor::ApplyGenerateResult(uint64_t instanceId, uint64_t generation,
                                                     const QuillomancerServer::GenerateResult& result,
                                                     bool voiceChange) {
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
      p->mTakes[size_t(i)] = result.takes[size_t(i)];
      QMLogFormat("  Take[%d] raw=%zu", int(i), p->mTakes[size_t(i)].size());
    }
    p->mRenderSelectionLength = p->mCapturedLength;
    p->mRenderId = result.renderId;
    p->WriteBlockString(kQMBlock_RenderID, p->mRenderId);
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
  p->ClearBlock(kQMBlock_RenderID);
  p->ResetAsyncActivity();
  if (result.errorCode == "INSUFFICIENT_CREDITS") {
    p->SetPluginState(kQuillomancerState_NoCredits, 0);
  } else {
    p->WriteBlockString(kQMBlock_ErrorText,
                        result.errorMessage.empty() ? std::string("Server error") : result.errorMessage);
    p->SetPluginState(kQuillomancerState_Error, 0);
  }
}

// ---- Process ----------------------------------------------------------------------------------

// [main-thread]
AAX_Result Quillomancer_HostProcessor::RequestProcessLoadedAudio(const char* source) noexcept {
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
      WriteBlockString(kQMBlock_ErrorText, "Load audio first");
      SetPluginState(kQuillomancerState_Error, 0);
      return AAX_SUCCESS;
    }
    const int32_t sampleRate = SessionSampleRate(nullptr);
    const std::string text = ReadBlockString(kQMBlock_Text, 1023);
    const bool voiceChange = IsVoiceChangeMode();
    if (!voiceChange && text.empty()) {
      QMLogFormat("  Cached process blocked: no text entered");
      SetPluginState(kQuillomancerState_InputTextRequired, 0);
      return AAX_SUCCESS;
    }
    bool lineChange = !voiceChange && ReadBlockFlag(kQMBlock_LineChange);
    std::string referenceText = text;
    if (lineChange) {
      const std::string reference = ReadBlockString(kQMBlock_ReferenceText, 1023);
      if (!reference.empty()) referenceText = reference;
      if (referenceText.empty()) {
        QMLogFormat("  Cached process blocked: missing reference text");
        SetPluginState(kQuillomancerState_BeforeTextRequired, 0);
        return AAX_SUCCESS;
      }
    }
    std::vector<float> processed(mCapture.begin(), mCapture.end());
    const std::string plan = ReadBlockString(kQMBlock_RepairPlan, 16383);
    const bool preview = ReadBlockFlag(kQMBlock_RepairPreview);
    std::vector<QuillomancerRepairRange> ranges;
    const bool repairActive = !plan.empty() && ParseRepairPlanJSON(plan, &ranges);
    if (repairActive) {
      QMLogFormat("  Cached process: applying repair plan with %zu ranges", ranges.size());
      ApplyRepairSilencePlan(&processed, sampleRate, ranges);
      lineChange = true;
    }
    if (!voiceChange && preview) {
      ServeLocalPreview(std::move(processed));
      ClearBlock(kQMBlock_RepairPreview);
      QMLogFormat("  Cached process preview: returning locally processed audio (%zu samples, repairActive=%d, "
                  "lineChangeOn=%d)",
                  mTakes[0].size(), repairActive ? 1 : 0, lineChange ? 1 : 0);
      SetPluginState(kQuillomancerState_HasTakes, mTakeIndex);
      return AAX_SUCCESS;
    }
    const std::string token = ReadBlockString(kQMBlock_AccessToken, 255);
    const int32_t takes = ReadTakesRequested();
    const bool variation = ReadBlockFlag(kQMBlock_Variation);
    const std::string language = ReadBlockString(kQMBlock_GenerationLanguage, 31);
    QMLogFormat("  Cached process using %zu samples at %dHz (lineChangeOn=%d repairActive=%d preview=%d)",
                processed.size(), int(sampleRate), lineChange ? 1 : 0, repairActive ? 1 : 0, preview ? 1 : 0);
    const bool breath = QMShouldAddBreathAfterDialogue();
    BeginAsyncGenerate(std::move(processed), {}, sampleRate, text, referenceText, language, token, takes, breath,
                       false, lineChange, variation);
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_SUCCESS;
  }
}
