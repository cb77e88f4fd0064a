// The render pass: writes the takes back to the timeline, one take per output channel, the
// newest on channel 0, lined up with the dialogue inside the host's handles.

#include <algorithm>
#include <cinttypes>

#include "AAX_Errors.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"

// The take's source index is the window's offset from the first window minus the head handle.
static bool QMUseLegacyHandleOffsetDuringRender() { return true; }

// [host-thread]
AAX_Result Quillomancer_HostProcessor::PreRender(int32_t, int32_t outputCount, int32_t) noexcept {
  try {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    mRenderOutputLength = std::max<int64_t>(0, GetOutputRange());
    int64_t tsLength = 0, tsStart = 0, tsEnd = 0;
    const bool tsValid = QMReadTimelineSelectionSamples(mStore, &tsLength, &tsStart, &tsEnd);
    mRenderSelectionLength = std::max<int64_t>(0, tsValid ? tsLength : mCapturedLength);
    QMComputeRenderHandleLayout(mRenderOutputLength, mRenderSelectionLength, &mRenderHeadHandle, &mRenderTailHandle);
    mPlayableLength = std::max<int64_t>(0, mRenderSelectionLength + mRenderTailHandle);
    mFirstLocation = 0;
    mAnchored = false;
    mOutputCount = std::max<int32_t>(1, outputCount);
    mTakesToConsume = (mRenderArmed && mTakesReady >= 1) ? std::min(mTakesReady, mOutputCount) : 0;
    QMLogFormat("=== PreRender ===");
    QMLogFormat("  Render range: output=%" PRId64 " selection=%" PRId64 " timelineSelection=%" PRId64
                " (valid=%d start=%" PRId64 " end=%" PRId64 ") headHandle=%" PRId64 " tailHandle=%" PRId64
                " playable=%" PRId64,
                mRenderOutputLength, mRenderSelectionLength, tsLength, tsValid ? 1 : 0, tsStart, tsEnd,
                mRenderHeadHandle, mRenderTailHandle, mPlayableLength);
    QMLogFormat("  Render alignment mode: %s",
                QMUseLegacyHandleOffsetDuringRender() ? "legacy-handle-offset" : "timeline");
    QMLogFormat("  Render outputs=%d takes_available=%d takes_to_consume=%d", int(mOutputCount), int(mTakesReady),
                int(mTakesToConsume));
  } catch (...) {
  }
  return AAX_SUCCESS;
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::RenderAudio(const float* const*, int32_t, float* const* outputs,
                                                   int32_t outputCount, int32_t* windowSize) noexcept {
  if (windowSize == nullptr || outputs == nullptr || outputCount < 1) return AAX_ERROR_NULL_OBJECT;
  try {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    const int64_t n = std::max<int32_t>(0, *windowSize);
    auto silence = [](float* out, int64_t from, int64_t to) {
      if (out != nullptr && to > from) std::fill(out + from, out + to, 0.0f);
    };
    if (StopForCompatibilityLock()) {
      for (int32_t c = 0; c < outputCount; ++c) silence(outputs[c], 0, n);
      return AAX_SUCCESS;
    }
    const bool playing = mRenderArmed && mTakesReady >= 1 && mTakeIndex >= 0 && mTakeIndex < kQMMaxTakes;
    const int32_t channels = playing ? std::min(std::max(0, std::min(mTakesToConsume, mTakesReady)), outputCount) : 0;
    for (int32_t c = channels; c < outputCount; ++c) silence(outputs[c], 0, n);
    if (!playing) return AAX_SUCCESS;
    const int64_t location = GetLocation();
    if (!mAnchored) {
      mFirstLocation = location;
      mAnchored = true;
      QMLogFormat("  Render anchor: firstLocation=%" PRId64, mFirstLocation);
    }
    const int64_t localStart = std::max<int64_t>(0, location - mFirstLocation);
    QMLogRenderWindow(location, localStart, *windowSize);

    // Window sample i plays take sample localStart + i - head when that lies inside the output
    // range, the take and the playable length: one stretch [from, to) per channel, silent around
    // it. The silences come first, so that outputs sharing a buffer end as if each were zeroed
    // whole and then written in channel order.
    int64_t from[kQMMaxTakes] = {}, to[kQMMaxTakes] = {};
    for (int32_t c = 0; c < channels; ++c) {
      const int32_t takeNumber = mTakeIndex - c;
      if (takeNumber >= 0 && takeNumber < kQMMaxTakes) {
        const int64_t sourceEnd = std::min<int64_t>(int64_t(mTakes[size_t(takeNumber)].size()), mPlayableLength);
        from[c] = std::clamp<int64_t>(mRenderHeadHandle - localStart, 0, n);
        to[c] = std::clamp<int64_t>(
            std::min(mRenderOutputLength - localStart, mRenderHeadHandle + sourceEnd - localStart), from[c], n);
      }
      silence(outputs[c], 0, from[c]);
      silence(outputs[c], to[c], n);
    }
    const float gain = mLocalPreview ? 1.0f : kQMServiceTakeGain;
    for (int32_t c = 0; c < channels; ++c) {
      if (outputs[c] == nullptr || to[c] <= from[c]) continue;
      mTakes[size_t(mTakeIndex - c)].Scale(size_t(localStart + from[c] - mRenderHeadHandle), gain, outputs[c] + from[c],
                                           to[c] - from[c]);
    }
  } catch (...) {
  }
  return AAX_SUCCESS;
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::PostRender() noexcept {
  try {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    if (StopForCompatibilityLock()) return AAX_SUCCESS;
    if (mTakesReady > 0) {
      const int32_t consumed = std::max(1, mTakesToConsume);
      mTakeIndex -= consumed;
      mTakesReady = std::max(0, mTakesReady - consumed);
      mTakesToConsume = 0;
      if (mTakeIndex < 0 || mTakesReady < 1) {
        mTakeIndex = 0;
        mTakesReady = 0;
        mRenderArmed = false;
        mLocalPreview = false;
        for (auto& take : mTakes) take.clear();
        SetPluginState(kQuillomancerState_Ready, 0);
      } else {
        SetPluginState(kQuillomancerState_HasTakes, mTakeIndex);
      }
    }
    mStore.Clear(kQMBlock_RepairPreview);
  } catch (...) {
  }
  return AAX_SUCCESS;
}
