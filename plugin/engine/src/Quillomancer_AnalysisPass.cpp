// The analysis pass: capture the selection as mono, trim the handles, check the duration, then
// start a transcription, a generation, a local repair preview, or keep the Voice Change clip.

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <cmath>
#include <exception>

#include "AAX_Errors.h"
#include "AAX_IEffectParameters.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerCustomDataStore.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"

// Length, start and end of the host's timeline selection from the QMts block.
bool QMReadTimelineSelectionSamples(const AAX_IEffectParameters* parameters, int64_t* length,
                                    int64_t* start, int64_t* end) {
  if (length) *length = 0;
  if (start) *start = 0;
  if (end) *end = 0;
  if (parameters == nullptr) return false;
  uint8_t block[kQMTimelineSelectionSize] = {};
  uint32_t n = 0;
  const AAX_Result result = const_cast<AAX_IEffectParameters*>(parameters)
                                ->GetCustomData(kQMBlock_TimelineSelection, sizeof block, block, &n);
  if (result != AAX_SUCCESS || n < kQMTimelineSelectionSize || block[16] == 0) return false;
  int64_t s = 0, e = 0;
  std::memcpy(&s, block, 8);
  std::memcpy(&e, block + 8, 8);
  if (!(e > s)) return false;
  // Computed in unsigned arithmetic: a difference beyond int64 is no usable selection.
  const uint64_t span = uint64_t(e) - uint64_t(s);
  if (span == 0 || span > uint64_t(INT64_MAX)) return false;
  if (length) *length = int64_t(span);
  if (start) *start = s;
  if (end) *end = e;
  return true;
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::PreAnalyze(int32_t inputCount, int32_t) noexcept {
  try {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    QMLogFormat("=== PreAnalyze ===");
    QMLogFormat("  Analyze input channels: %d", int(inputCount));
    const bool voiceChange = IsVoiceChangeMode();
    const bool keepVoice = voiceChange && mVoiceCaptured;

    if (IsCompatibilityLocked()) {
      QMLogFormat("  Compatibility lock active — blocking Analyze");
      // A pending LOAD is consumed here too, so it cannot surface in a later pass.
      ConsumePendingTranscribeRequest();
      ClearGeneratedState();
      SetPluginState(kQuillomancerState_UpdateRequired, 0);
      return AAX_SUCCESS;
    }

    ResetCaptureAndTakes();
    mRenderArmed = false;
    mCaptureFailed = false;
    // A new capture supersedes every job started on the previous one.
    mJobGeneration.fetch_add(1);
    mAsyncActivity = kQuillomancerActivity_None;

    const bool pending = ConsumePendingTranscribeRequest();
    mTranscribePass = pending || !voiceChange;
    if (mTranscribePass) {
      const uint8_t one = 1;
      WriteBlock(kQMBlock_NewAudioLoaded, &one, 1);
    }
    mTakeIndex = 0;
    mTakesReady = 0;
    mRenderId.clear();
    if (!keepVoice) ClearVoiceChangeState();
    ClearBlock(kQMBlock_RenderID);

    const int64_t input = GetInputRange();
    const int64_t output = GetOutputRange();
    int64_t tsLength = 0, tsStart = 0, tsEnd = 0;
    const bool tsValid = QMReadTimelineSelectionSamples(GetEffectParameters(), &tsLength, &tsStart, &tsEnd);
    QMComputeHandleLayoutFromSelection(input, tsLength, &mSelectionLength, &mHeadHandle, &mTailHandle);
    QMLogFormat("  Analyze range: input=%" PRId64 " output=%" PRId64 " timelineSelection=%" PRId64
                " (valid=%d start=%" PRId64 " end=%" PRId64 ") selection=%" PRId64 " headHandle=%" PRId64
                " tailHandle=%" PRId64,
                input, output, tsLength, tsValid ? 1 : 0, tsStart, tsEnd, mSelectionLength, mHeadHandle,
                mTailHandle);

    if (input > 0) {
      try {
        mCapture.assign(size_t(input), 0.0f);
      } catch (const std::exception&) {
        mCapture.clear();
        mCaptureFailed = true;
        QMLogFormat("  Analyze: could not allocate a capture of %" PRId64 " samples", input);
        WriteBlockString(kQMBlock_ErrorText, "Selection too large to capture");
        SetPluginState(kQuillomancerState_Error, 0);
        return AAX_SUCCESS;
      }
    }
    SetPluginState(kQuillomancerState_Analyzing, 0);
    if (mTranscribePass) QMLogFormat("  Analyze pass mode: TRANSCRIBE placeholder");
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_SUCCESS;
  }
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::AnalyzeAudio(const float* const* inputs, int32_t inputCount,
                                                    int32_t* windowSize) noexcept {
  if (windowSize == nullptr || inputCount < 1 || inputs == nullptr) return AAX_ERROR_NULL_OBJECT;
  std::lock_guard<std::recursive_mutex> guard(mLock);
  const int64_t room = int64_t(mCapture.size()) - mAnalysisWritePosition;
  const int64_t n = std::min<int64_t>(*windowSize, room);
  if (n > 0) {
    QMMixWindowToMono(inputs, inputCount, mCapture.data() + mAnalysisWritePosition, n);
    mAnalysisWritePosition += n;
  }
  return AAX_SUCCESS;
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::PostAnalyze() noexcept {
  try {
    std::unique_lock<std::recursive_mutex> guard(mLock);
    if (StopForCompatibilityLock("  Compatibility lock active — blocking server generation")) return AAX_SUCCESS;
    if (mCaptureFailed) return AAX_SUCCESS;  // state 4 stays published
    mRawLength = mCapturedLength = mAnalysisWritePosition;
    mRenderArmed = true;

    bool rateOK = false;
    const int32_t sampleRate = SessionSampleRate(&rateOK);

    int64_t tsLength = 0, tsStart = 0, tsEnd = 0;
    const bool tsValid = QMReadTimelineSelectionSamples(GetEffectParameters(), &tsLength, &tsStart, &tsEnd);
    QMComputeHandleLayoutFromSelection(mRawLength, tsLength, &mSelectionLength, &mHeadHandle, &mTailHandle);
    mCapturedLength = QMTrimCapture(mCapture, mRawLength, mHeadHandle, mTailHandle);

    QMLogFormat("=== PostAnalyze ===");
    QMLogFormat("  Session sample rate: %d Hz (%s)", int(sampleRate), rateOK ? "OK" : "query failed");
    QMLogFormat("  Analyze capture: raw=%" PRId64 " trimmed=%" PRId64 " selection=%" PRId64 " headHandle=%" PRId64
                " tailHandle=%" PRId64 " timelineSelection=%" PRId64 " (valid=%d start=%" PRId64 " end=%" PRId64 ")",
                mRawLength, mCapturedLength, mSelectionLength, mHeadHandle, mTailHandle, tsLength,
                tsValid ? 1 : 0, tsStart, tsEnd);
    const double duration = QMDurationSeconds(mCapturedLength, sampleRate);
    QMLogFormat("  Reference upload duration: %.2f seconds at %dHz", duration, int(sampleRate));
    QMLogFormat("  Max sample in first 1s: %f",
                double(QMMaxAbsSample(mCapture, std::min<int64_t>(mCapturedLength, sampleRate))));

    const std::string text = ReadBlockString(kQMBlock_Text, 1023);
    QMLogFormat("  Corrected text (%u bytes): '%s'", unsigned(text.size()), text.c_str());
    const bool voiceChange = IsVoiceChangeMode();

    if (mTranscribePass) {
      if (mCapturedLength == 0) {
        QMLogFormat("  Transcribe: no captured audio");
        SetPluginState(kQuillomancerState_Ready, 0);
        return AAX_SUCCESS;
      }
      const int check = QMCheckDuration(duration, kQMTranscribeLimits);
      if (check < 0) {
        QMLogFormat("  Transcribe: selection too short %.2fs", duration);
        SetPluginState(kQuillomancerState_SelectionTooShort, 0);
        return AAX_SUCCESS;
      }
      if (check > 0) {
        QMLogFormat("  Transcribe: selection too long %.2fs", duration);
        SetPluginState(kQuillomancerState_SelectionTooLong, 0);
        return AAX_SUCCESS;
      }
      const std::string token = ReadBlockString(kQMBlock_AccessToken, 255);
      const std::string language = ReadBlockString(kQMBlock_TranscriptionLanguage, 31);
      std::vector<float> audio(mCapture.begin(), mCapture.end());

      // The health check blocks this host thread for up to its time-out; no lock is held.
      guard.unlock();
      const QuillomancerServer::HealthResult health = QuillomancerServer::CheckHealth();
      guard.lock();

      if (!(health.reachable && health.healthy)) {
        QMLogFormat("  Transcribe: server unavailable (reachable=%d healthy=%d generationHealthy=%d present=%d)",
                    health.reachable ? 1 : 0, health.healthy ? 1 : 0, health.generationAvailable ? 1 : 0,
                    health.generationPresent ? 1 : 0);
        WriteBlockString(kQMBlock_ErrorText, "Server offline");
        ResetAsyncActivity();
        SetPluginState(kQuillomancerState_Error, 0);
        return AAX_SUCCESS;
      }
      BeginAsyncTranscribe(std::move(audio), sampleRate, language, token);
      return AAX_SUCCESS;
    }

    // Generate pass.
    if (!voiceChange && text.empty()) {
      QMLogFormat("  No text entered — skipping analysis, prompting for input text");
      SetPluginState(kQuillomancerState_InputTextRequired, 0);
      return AAX_SUCCESS;
    }
    bool lineChange = !voiceChange && ReadBlockFlag(kQMBlock_LineChange);
    QMLogFormat("  Line Change: %s", lineChange ? "ON (reference + target fields)" : "OFF (single-field default)");
    std::string referenceText = text;
    if (lineChange) {
      const std::string reference = ReadBlockString(kQMBlock_ReferenceText, 1023);
      if (!reference.empty()) referenceText = reference;
      QMLogFormat("  Line Change v2 reference text (%u bytes): '%s'", unsigned(reference.size()),
                  referenceText.c_str());
    }
    if (mCapturedLength == 0) {
      QMLogFormat("  *** No captured audio — returning to Ready ***");
      SetPluginState(kQuillomancerState_Ready, 0);
      return AAX_SUCCESS;
    }
    std::vector<float> working(mCapture.begin(), mCapture.end());
    const std::string plan = ReadBlockString(kQMBlock_RepairPlan, 16383);
    const bool preview = ReadBlockFlag(kQMBlock_RepairPreview);
    bool repairActive = false;
    std::vector<QuillomancerRepairRange> ranges;
    if (!plan.empty() && ParseRepairPlanJSON(plan, &ranges)) {
      QMLogFormat("  Repair mode: active with %zu ranges", ranges.size());
      ApplyRepairSilencePlan(&working, sampleRate, ranges);
      lineChange = true;
      repairActive = true;
    }

    const bool voicePass = voiceChange && !mVoiceCaptured;
    const bool performancePass = voiceChange && mVoiceCaptured;
    const QMDurationLimits limits =
        voicePass ? kQMVoicePassLimits : (performancePass ? kQMPerformancePassLimits : kQMGeneratePassLimits);
    const int check = QMCheckDuration(duration, limits);
    if (check < 0) {
      QMLogFormat("  *** Selection too short: %.2fs (min %.1fs) ***", duration, limits.minimum);
      SetPluginState(kQuillomancerState_SelectionTooShort, 0);
      return AAX_SUCCESS;
    }
    if (check > 0) {
      QMLogFormat("  *** Selection too long: %.2fs (max %.1fs) ***", duration, limits.maximum);
      SetPluginState(kQuillomancerState_SelectionTooLong, 0);
      return AAX_SUCCESS;
    }
    if (voicePass) {
      mVoiceCapture = mCapture;
      mVoiceCaptureLength = mCapturedLength;
      mVoiceCaptured = true;
      QMLogFormat("  Voice Change: stored voice capture (%" PRId64 " samples). Awaiting performance pass.",
                  mVoiceCaptureLength);
      SetPluginState(kQuillomancerState_VoiceCaptured, 0);
      return AAX_SUCCESS;
    }
    const int32_t takes = ReadTakesRequested();
    if (performancePass) {
      mCountdownEstimate = QMCountdownEstimate(takes, duration);
      QMLogFormat("  Voice Change: performance %.2fs, %d take(s); countdown estimate %ds "
                  "(3 + takes * max(5, duration * 1.20)).",
                  duration, int(takes), int(mCountdownEstimate));
    } else if (preview) {
      ServeLocalPreview(std::move(working));
      QMLogFormat("  Repair preview: returning locally processed audio (%zu samples, repairActive=%d)",
                  mTakes[0].size(), repairActive ? 1 : 0);
      SetPluginState(kQuillomancerState_HasTakes, mTakeIndex);
      return AAX_SUCCESS;
    }

    const std::string token = ReadBlockString(kQMBlock_AccessToken, 255);
    const bool variation = ReadBlockFlag(kQMBlock_Variation);
    const std::string language = ReadBlockString(kQMBlock_GenerationLanguage, 31);
    const bool breath = QMShouldAddBreathAfterDialogue();
    std::vector<float> primary = voiceChange ? mVoiceCapture : std::move(working);
    std::vector<float> secondary;
    if (voiceChange) secondary.assign(mCapture.begin(), mCapture.end());
    BeginAsyncGenerate(std::move(primary), std::move(secondary), sampleRate, text, referenceText, language,
                       token, takes, breath, voiceChange, lineChange, variation);
    return AAX_SUCCESS;
  } catch (...) {
    // Nothing escapes to the host; an allocation failure here leaves the pass's state as it was.
    return AAX_SUCCESS;
  }
}
