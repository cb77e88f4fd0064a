// The analysis pass: capture the selection as mono, trim the handles, check the duration, then
// start a transcription, a generation, a local repair preview, or keep the Voice Change clip.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <exception>

#include "AAX_Errors.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"
#include "QuillomancerServerFormats.h"

// Length, start and end of the host's timeline selection from the QMts block.
bool QMReadTimelineSelectionSamples(const QuillomancerStoreClient& store, int64_t* length, int64_t* start,
                                    int64_t* end) {
  if (length) *length = 0;
  if (start) *start = 0;
  if (end) *end = 0;
  if (!store.IsBound()) return false;
  const QMTimelineSelection selection = store.ReadTimelineSelection();
  if (!selection.valid || !(selection.end > selection.start)) return false;
  // Computed in unsigned arithmetic: a difference beyond int64 is no usable selection.
  const uint64_t span = uint64_t(selection.end) - uint64_t(selection.start);
  if (span == 0 || span > uint64_t(INT64_MAX)) return false;
  if (length) *length = int64_t(span);
  if (start) *start = selection.start;
  if (end) *end = selection.end;
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
    if (mTranscribePass) mStore.WriteByte(kQMBlock_NewAudioLoaded, 1);
    mTakeIndex = 0;
    mTakesReady = 0;
    mRenderId.clear();
    if (!keepVoice) ClearVoiceChangeState();
    mStore.Clear(kQMBlock_RenderID);

    const int64_t input = GetInputRange();
    const int64_t output = GetOutputRange();
    int64_t tsLength = 0, tsStart = 0, tsEnd = 0;
    const bool tsValid = QMReadTimelineSelectionSamples(mStore, &tsLength, &tsStart, &tsEnd);
    QMComputeHandleLayoutFromSelection(input, tsLength, &mSelectionLength, &mHeadHandle, &mTailHandle);
    QMLogFormat("  Analyze range: input=%" PRId64 " output=%" PRId64 " timelineSelection=%" PRId64
                " (valid=%d start=%" PRId64 " end=%" PRId64 ") selection=%" PRId64 " headHandle=%" PRId64
                " tailHandle=%" PRId64,
                input, output, tsLength, tsValid ? 1 : 0, tsStart, tsEnd, mSelectionLength, mHeadHandle,
                mTailHandle);

    const int32_t sampleRate = SessionSampleRate(nullptr);
    if (input > 0 && QMDurationSeconds(mSelectionLength, sampleRate) > LongestAcceptedSelection(mTranscribePass) &&
        uint64_t(mSelectionLength) > kQMTKMaxDecodedSamples) {
      // PostAnalyze will refuse this selection as too long whatever the mode, and no generation
      // could give back a take of its length, so Process has no use for it either: it is counted,
      // not captured.
      mCaptureDeclined = true;
      mCaptureSize = input;
      mDeclinedRate = sampleRate;
      mOpeningStart = mHeadHandle;
      mOpeningLength = std::min<int64_t>(mSelectionLength, sampleRate);
      mOpeningPeak = 0.0f;
    } else if (input > 0) {
      try {
        mCapture.resize(size_t(input));  // written by AnalyzeAudio; what it leaves out is zeroed after
        mCaptureSize = input;
        mCaptureOpen = true;
      } catch (const std::exception&) {
        mCapture.clear();
        mCaptureFailed = true;
        QMLogFormat("  Analyze: could not allocate a capture of %" PRId64 " samples", input);
        mStore.WriteString(kQMBlock_ErrorText, "Selection too large to capture");
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
  const int64_t room = mCaptureSize - mAnalysisWritePosition;
  const int64_t n = std::min<int64_t>(*windowSize, room);
  if (n <= 0) return AAX_SUCCESS;
  if (!mCaptureDeclined) {
    QMMixWindowToMono(inputs, inputCount, mCapture.data() + mAnalysisWritePosition, n);
  } else {
    // Only the opening second's loudest sample is kept; it is mixed a piece at a time.
    const int64_t from = std::max(mAnalysisWritePosition, mOpeningStart);
    const int64_t to = std::min(mAnalysisWritePosition + n, mOpeningStart + mOpeningLength);
    constexpr int64_t kPiece = 256;
    constexpr int32_t kChannels = 64;
    float piece[kPiece];
    const float* shifted[kChannels];
    for (int64_t at = from; at < to; at += kPiece) {
      const int64_t count = std::min(kPiece, to - at);
      const int64_t offset = at - mAnalysisWritePosition;
      if (inputCount <= kChannels) {
        for (int32_t c = 0; c < inputCount; ++c) shifted[c] = inputs[c] ? inputs[c] + offset : nullptr;
        QMMixWindowToMono(shifted, inputCount, piece, count);
      } else {
        std::fill(piece, piece + count, 0.0f);  // beyond any host's channel count: counted silent
      }
      mOpeningPeak = std::max(mOpeningPeak, QMMaxAbsSample(std::span<const float>(piece, size_t(count)), count));
    }
  }
  mAnalysisWritePosition += n;
  return AAX_SUCCESS;
}

double Quillomancer_HostProcessor::LongestAcceptedSelection(bool transcribePass) {
  return transcribePass ? kQMTranscribeLimits.maximum
                        : std::max({kQMVoicePassLimits.maximum, kQMPerformancePassLimits.maximum,
                                    kQMGeneratePassLimits.maximum});
}

bool Quillomancer_HostProcessor::DeclinedCaptureStillRefused(int32_t sampleRate) const {
  // The same layout as PreAnalyze saw, every sample counted, at the same rate: the refusal comes.
  return mRawLength == mCaptureSize && mHeadHandle == mOpeningStart && sampleRate == mDeclinedRate &&
         QMDurationSeconds(mCapturedLength, sampleRate) > LongestAcceptedSelection(mTranscribePass);
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::PostAnalyze() noexcept {
  try {
    std::unique_lock<std::recursive_mutex> guard(mLock);
    if (StopForCompatibilityLock("  Compatibility lock active — blocking server generation")) return AAX_SUCCESS;
    if (mCaptureFailed) return AAX_SUCCESS;  // state 4 stays published
    mRawLength = mCapturedLength = mAnalysisWritePosition;
    mRenderArmed = true;
    // What the host did not hand over stays silent.
    if (!mCaptureDeclined) std::fill(mCapture.begin() + mAnalysisWritePosition, mCapture.end(), 0.0f);
    mCaptureOpen = false;

    bool rateOK = false;
    const int32_t sampleRate = SessionSampleRate(&rateOK);

    int64_t tsLength = 0, tsStart = 0, tsEnd = 0;
    const bool tsValid = QMReadTimelineSelectionSamples(mStore, &tsLength, &tsStart, &tsEnd);
    QMComputeHandleLayoutFromSelection(mRawLength, tsLength, &mSelectionLength, &mHeadHandle, &mTailHandle);
    if (!mCaptureDeclined) {
      mCapturedLength = QMTrimCapture(mCapture, mRawLength, mHeadHandle, mTailHandle);
      mCaptureSize = int64_t(mCapture.size());
    } else {
      mCapturedLength = QMTrimmedCaptureSize(mCaptureSize, mRawLength, mHeadHandle, mTailHandle, nullptr);
      if (!DeclinedCaptureStillRefused(sampleRate)) {
        // The host changed the selection or the rate between the passes: nothing was kept to go on with.
        QMLogFormat("  Analyze: selection of %" PRId64 " samples changed during the pass; nothing was captured",
                    mRawLength);
        mStore.WriteString(kQMBlock_ErrorText, "Selection too large to capture");
        SetPluginState(kQuillomancerState_Error, 0);
        return AAX_SUCCESS;
      }
      if (mHeadHandle > 0 || mTailHandle > 0) mCaptureSize = mCapturedLength;
    }

    QMLogFormat("=== PostAnalyze ===");
    QMLogFormat("  Session sample rate: %d Hz (%s)", int(sampleRate), rateOK ? "OK" : "query failed");
    QMLogFormat("  Analyze capture: raw=%" PRId64 " trimmed=%" PRId64 " selection=%" PRId64 " headHandle=%" PRId64
                " tailHandle=%" PRId64 " timelineSelection=%" PRId64 " (valid=%d start=%" PRId64 " end=%" PRId64 ")",
                mRawLength, mCapturedLength, mSelectionLength, mHeadHandle, mTailHandle, tsLength,
                tsValid ? 1 : 0, tsStart, tsEnd);
    const double duration = QMDurationSeconds(mCapturedLength, sampleRate);
    QMLogFormat("  Reference upload duration: %.2f seconds at %dHz", duration, int(sampleRate));
    QMLogFormat("  Max sample in first 1s: %f",
                double(mCaptureDeclined ? mOpeningPeak
                                        : QMMaxAbsSample(mCapture, std::min<int64_t>(mCapturedLength, sampleRate))));

    QuillomancerEdit edit = ReadEdit();
    const std::string& text = edit.request.text;
    QMLogFormat("  Corrected text (%u bytes): '%s'", unsigned(text.size()), text.c_str());
    if (mTranscribePass) {
      FinishTranscribePass(guard, duration, sampleRate, edit.request.accessToken);
    } else {
      FinishGeneratePass(std::move(edit), duration, sampleRate);
    }
    return AAX_SUCCESS;
  } catch (...) {
    // Nothing escapes to the host; an allocation failure here leaves the pass's state as it was.
    return AAX_SUCCESS;
  }
}

void Quillomancer_HostProcessor::FinishTranscribePass(std::unique_lock<std::recursive_mutex>& guard, double duration,
                                                      int32_t sampleRate, const std::string& token) {
  if (mCapturedLength == 0) {
    QMLogFormat("  Transcribe: no captured audio");
    SetPluginState(kQuillomancerState_Ready, 0);
    return;
  }
  const int check = QMCheckDuration(duration, kQMTranscribeLimits);
  if (check < 0) {
    QMLogFormat("  Transcribe: selection too short %.2fs", duration);
    SetPluginState(kQuillomancerState_SelectionTooShort, 0);
    return;
  }
  if (check > 0) {
    QMLogFormat("  Transcribe: selection too long %.2fs", duration);
    SetPluginState(kQuillomancerState_SelectionTooLong, 0);
    return;
  }
  if (RefuseUnsupportedSampleRate(sampleRate)) return;
  const std::string language = mStore.ReadString(kQMBlock_TranscriptionLanguage, kQMReadLimit_Language);
  QuillomancerSamples audio(mCapture);

  // The health check blocks this host thread for up to its time-out; no lock is held.
  guard.unlock();
  const QuillomancerServer::HealthResult health = QuillomancerServer::CheckHealth();
  guard.lock();

  if (!(health.reachable && health.healthy)) {
    QMLogFormat("  Transcribe: server unavailable (reachable=%d healthy=%d generationHealthy=%d present=%d)",
                health.reachable ? 1 : 0, health.healthy ? 1 : 0, health.generationAvailable ? 1 : 0,
                health.generationPresent ? 1 : 0);
    mStore.WriteString(kQMBlock_ErrorText, "Server offline");
    ResetAsyncActivity();
    SetPluginState(kQuillomancerState_Error, 0);
    return;
  }
  BeginAsyncTranscribe(std::move(audio), sampleRate, language, token);
}

void Quillomancer_HostProcessor::FinishGeneratePass(QuillomancerEdit edit, double duration, int32_t sampleRate) {
  QuillomancerServer::GenerateRequest& request = edit.request;
  const bool voiceChange = edit.voiceChange;
  if (!voiceChange && request.text.empty()) {
    QMLogFormat("  No text entered — skipping analysis, prompting for input text");
    SetPluginState(kQuillomancerState_InputTextRequired, 0);
    return;
  }
  bool lineChange = edit.lineChange;
  QMLogFormat("  Line Change: %s", lineChange ? "ON (reference + target fields)" : "OFF (single-field default)");
  request.referenceText = request.text;
  if (lineChange) {
    if (!edit.reference.empty()) request.referenceText = edit.reference;
    QMLogFormat("  Line Change v2 reference text (%u bytes): '%s'", unsigned(edit.reference.size()),
                request.referenceText.c_str());
  }
  if (mCapturedLength == 0) {
    QMLogFormat("  *** No captured audio — returning to Ready ***");
    SetPluginState(kQuillomancerState_Ready, 0);
    return;
  }
  // The plan is read and logged here; it silences the job's copy of the capture only once the
  // duration is accepted, so a refused selection costs no copy.
  QMRepairSilence silence;
  const bool repairActive = PlanEditRepair(edit, mCaptureSize, sampleRate, "  Repair mode: active with %zu ranges",
                                           &silence);
  if (repairActive) lineChange = true;

  const bool voicePass = voiceChange && !mVoiceCaptured;
  const bool performancePass = voiceChange && mVoiceCaptured;
  const QMDurationLimits limits =
      voicePass ? kQMVoicePassLimits : (performancePass ? kQMPerformancePassLimits : kQMGeneratePassLimits);
  const int check = QMCheckDuration(duration, limits);
  if (check < 0) {
    QMLogFormat("  *** Selection too short: %.2fs (min %.1fs) ***", duration, limits.minimum);
    SetPluginState(kQuillomancerState_SelectionTooShort, 0);
    return;
  }
  if (check > 0) {
    QMLogFormat("  *** Selection too long: %.2fs (max %.1fs) ***", duration, limits.maximum);
    SetPluginState(kQuillomancerState_SelectionTooLong, 0);
    return;
  }
  if (voicePass) {
    mVoiceCapture = mCapture;
    mVoiceCaptureLength = mCapturedLength;
    mVoiceCaptured = true;
    QMLogFormat("  Voice Change: stored voice capture (%" PRId64 " samples). Awaiting performance pass.",
                mVoiceCaptureLength);
    SetPluginState(kQuillomancerState_VoiceCaptured, 0);
    return;
  }
  if (performancePass) {
    mCountdownEstimate = QMCountdownEstimate(request.takes, duration);
    QMLogFormat("  Voice Change: performance %.2fs, %d take(s); countdown estimate %ds "
                "(3 + takes * max(5, duration * 1.20)).",
                duration, int(request.takes), int(mCountdownEstimate));
    // The job's copies: the voice clip, and the performance as captured (the plan is not applied
    // to either).
    request.primary = mVoiceCapture;
    request.secondary = mCapture;
  } else {
    // Outside Voice Change the job's one copy of the capture, silenced where the plan says.
    QuillomancerSamples working(mCapture);
    QMSilenceRegions(working, silence);
    if (edit.previewArmed) {
      ServeLocalPreview(std::move(working));
      QMLogFormat("  Repair preview: returning locally processed audio (%zu samples, repairActive=%d)",
                  mTakes[0].size(), repairActive ? 1 : 0);
      SetPluginState(kQuillomancerState_HasTakes, mTakeIndex);
      return;
    }
    request.primary = std::move(working);
  }
  if (RefuseUnsupportedSampleRate(sampleRate)) return;
  request.sampleRate = sampleRate;
  request.voiceChange = voiceChange;
  request.lineChangeV2 = lineChange;
  BeginAsyncGenerate(std::move(request));
}

bool Quillomancer_HostProcessor::RefuseUnsupportedSampleRate(int32_t sampleRate) {
  if (sampleRate >= int32_t(kQMTKMinSampleRate) && sampleRate <= int32_t(kQMTKMaxSampleRate)) return false;
  QMLogFormat("  Sample rate %d Hz is outside %u-%u Hz: no request is sent", int(sampleRate),
              unsigned(kQMTKMinSampleRate), unsigned(kQMTKMaxSampleRate));
  char text[96];
  std::snprintf(text, sizeof text, "Sample rate %d Hz not supported (%u to %u Hz)", int(sampleRate),
                unsigned(kQMTKMinSampleRate), unsigned(kQMTKMaxSampleRate));
  mStore.WriteString(kQMBlock_ErrorText, text);
  ResetAsyncActivity();
  SetPluginState(kQuillomancerState_Error, 0);
  return true;
}

bool Quillomancer_HostProcessor::PlanEditRepair(const QuillomancerEdit& edit, int64_t length, int32_t sampleRate,
                                                const char* logLine, QMRepairSilence* plan) const {
  std::vector<QuillomancerRepairRange> ranges;
  if (edit.repairPlan.empty() || !ParseRepairPlanJSON(edit.repairPlan, &ranges)) return false;
  QMLogFormat(logLine, ranges.size());
  *plan = QMPlanRepairSilence(length, sampleRate, ranges);
  return true;
}
