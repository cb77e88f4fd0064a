#pragma once
// The custom-data store: the keyed blocks through which the plug-in window and the host processor
// exchange every value. Held by Quillomancer_Parameters; reached through GetCustomData and
// SetCustomData from host threads and the main thread at once, so every access takes the lock.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Four-character block identifier, most significant byte first.
constexpr uint32_t QMBlockID(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

inline constexpr uint32_t kQMBlock_Text = QMBlockID("QMtx");
inline constexpr uint32_t kQMBlock_ReferenceText = QMBlockID("QMrf");
inline constexpr uint32_t kQMBlock_AccessToken = QMBlockID("QMli");
inline constexpr uint32_t kQMBlock_Status = QMBlockID("QMst");
inline constexpr uint32_t kQMBlock_LineChange = QMBlockID("QMlc");
inline constexpr uint32_t kQMBlock_Variation = QMBlockID("QMat");
inline constexpr uint32_t kQMBlock_Mode = QMBlockID("QMmd");
inline constexpr uint32_t kQMBlock_Takes = QMBlockID("QMtk");
inline constexpr uint32_t kQMBlock_ErrorText = QMBlockID("QMer");
inline constexpr uint32_t kQMBlock_CompatibilityLock = QMBlockID("QMul");
inline constexpr uint32_t kQMBlock_RenderID = QMBlockID("QMrd");
inline constexpr uint32_t kQMBlock_TimelineSelection = QMBlockID("QMts");
inline constexpr uint32_t kQMBlock_TranscribeRequest = QMBlockID("QMtq");
inline constexpr uint32_t kQMBlock_TranscriptPayload = QMBlockID("QMtr");
inline constexpr uint32_t kQMBlock_TranscriptionLanguage = QMBlockID("QMtl");
inline constexpr uint32_t kQMBlock_GenerationLanguage = QMBlockID("QMgl");
inline constexpr uint32_t kQMBlock_RepairPlan = QMBlockID("QMrp");
inline constexpr uint32_t kQMBlock_RepairPreview = QMBlockID("QMrv");
inline constexpr uint32_t kQMBlock_NewAudioLoaded = QMBlockID("QMlr");

inline constexpr size_t kQuillomancer_MaxTextLength = 200;  // code points kept of QMtx and QMrf
inline constexpr uint32_t kQMStatusRecordSize = 28;         // seven int32
inline constexpr uint32_t kQMTimelineSelectionSize = 24;    // int64 start, int64 end, valid, 7 zero bytes

// The status record's seven fields, in order.
enum QMStatusField : int { kQMStatus_State = 0, kQMStatus_TakeIndex, kQMStatus_TakesRequested,
  kQMStatus_TakesReady, kQMStatus_CreditBalance, kQMStatus_AsyncActivity, kQMStatus_Countdown };

// Byte length of the longest well-formed UTF-8 prefix holding at most maxCodePoints code points.
size_t QMUTF8PrefixBytesForCodepointLimit(const char* bytes, size_t length, size_t maxCodePoints);

class QuillomancerCustomDataStore {
 public:
  static constexpr int32_t kResultOK = 0;
  static constexpr int32_t kResultInvalidArgument = -20043;

  struct TimelineSelection {
    int64_t start = 0;
    int64_t end = 0;
    bool valid = false;
  };
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

  // Builds the 24-byte QMts block.
  static void EncodeTimelineSelection(const TimelineSelection& selection, uint8_t out[24]);

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
