#pragma once
// The custom-data store: the keyed blocks through which the plug-in window and the host processor
// exchange every value. Held by Quillomancer_Parameters; reached through GetCustomData and
// SetCustomData from host threads and the main thread at once, so every access takes the lock.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "AAX_Errors.h"
#include "QuillomancerStoreVocabulary.h"

// Byte length of the longest well-formed UTF-8 prefix holding at most maxCodePoints code points.
size_t QMUTF8PrefixBytesForCodepointLimit(const char* bytes, size_t length, size_t maxCodePoints);

class QuillomancerCustomDataStore {
 public:
  static constexpr int32_t kResultOK = AAX_SUCCESS;
  static constexpr int32_t kResultInvalidArgument = AAX_ERROR_INVALID_ARGUMENT;

  using TimelineSelection = QMTimelineSelection;
  // Reads the host's timeline selection for QMts; called without the store's lock held.
  using TimelineReader = std::function<TimelineSelection()>;

  QuillomancerCustomDataStore() = default;
  QuillomancerCustomDataStore(const QuillomancerCustomDataStore&) = delete;
  QuillomancerCustomDataStore& operator=(const QuillomancerCustomDataStore&) = delete;

  // [any-thread]
  int32_t Get(uint32_t blockId, uint32_t size, void* out, uint32_t* outSize,
              const TimelineReader& timeline = {}) const;
  // [any-thread]
  int32_t Set(uint32_t blockId, uint32_t size, const void* data);

  // Takes requested as stored (3 unless set; 1 on Media Composer after EffectInit).
  // [any-thread]
  void SetTakesRequestedDefault(uint8_t takes);

  // The text to generate, without the 200-code-point rule (no caller in the plug-in).
  // [any-thread]
  std::string GetText() const;
  void SetTextUnchecked(const std::string& text);

 private:
  mutable std::mutex mLock;
  std::string mText;
  std::string mReferenceText;
  std::string mAccessToken;
  int32_t mState = 0, mTakeIndex = 0, mTakesReady = 0, mCreditBalance = 0, mAsyncActivity = 0,
          mCountdown = 0;
  uint8_t mLineChange = 0;
  uint8_t mVariation = 0;
  uint8_t mMode = 0;
  uint8_t mTakesRequested = 3;
  uint8_t mCompatibilityLock = 0;
  uint8_t mTranscribeRequest = 0;
  std::string mErrorText;
  std::string mRenderID;
  std::string mTranscriptPayload;
  std::string mTranscriptionLanguage;
  std::string mGenerationLanguage;
  std::string mRepairPlan;
  uint8_t mRepairPreview = 0;
  uint8_t mNewAudioLoaded = 0;
};
