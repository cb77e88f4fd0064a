#pragma once
// The AudioSuite host processor: captures the selection in the analysis pass, has it transcribed
// or turned into takes by the service in background jobs, and writes the takes back in the
// render pass. The window reaches it only through the custom-data store and the two static
// entries (LOAD and Process).

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "AAX_CHostProcessor.h"
#include "QuillomancerAudio.h"
#include "QuillomancerServer.h"

enum QuillomancerState : int32_t {
  kQuillomancerState_Ready = 0,
  kQuillomancerState_Analyzing = 1,
  kQuillomancerState_Processing = 2,
  kQuillomancerState_HasTakes = 3,
  kQuillomancerState_Error = 4,
  kQuillomancerState_SelectionTooShort = 6,
  kQuillomancerState_SelectionTooLong = 7,
  kQuillomancerState_NoCredits = 8,
  kQuillomancerState_UpdateRequired = 9,
  kQuillomancerState_InputTextRequired = 10,
  kQuillomancerState_BeforeTextRequired = 11,
  kQuillomancerState_VoiceCaptured = 12,
};

// The state's name as the window logs it ("Ready", "HasTakes", ...); "Unknown" otherwise.
const char* QuillomancerStateName(int32_t state);

enum QuillomancerActivityKind : int32_t {
  kQuillomancerActivity_None = 0,
  kQuillomancerActivity_Generate = 1,
  kQuillomancerActivity_Transcribe = 2,
};

// The window reads the transcript payload with this many bytes at most; longer answers are
// written in a compact form that fits (see the transcribe completion).
inline constexpr size_t kQMTranscriptPayloadMaxBytes = 16383;

// Builds the QMtr payload that fits the window's read: the answer as it came when it fits, else
// a compact {"text","words"} object, else {"text"} alone, else the text cut on a UTF-8 boundary.
std::string QMBuildTranscriptPayload(const std::string& responseJson, const std::string& text,
                                     const std::vector<QuillomancerServer::TimedWord>& words,
                                     size_t maxBytes = kQMTranscriptPayloadMaxBytes);

class Quillomancer_HostProcessor : public AAX_CHostProcessor {
 public:
  // Creation function registered under procedure id 3. [host-thread]
  static AAX_IHostProcessor* Create();

  Quillomancer_HostProcessor();
  ~Quillomancer_HostProcessor() override;

  // Render pass. [host-thread]
  AAX_Result RenderAudio(const float* const* inputs, int32_t inputCount, float* const* outputs,
                         int32_t outputCount, int32_t* windowSize) noexcept override;
  AAX_Result PreRender(int32_t inputCount, int32_t outputCount, int32_t windowSize) noexcept override;
  AAX_Result PostRender() noexcept override;
  // Analysis pass. [host-thread]
  AAX_Result AnalyzeAudio(const float* const* inputs, int32_t inputCount, int32_t* windowSize) noexcept override;
  AAX_Result PreAnalyze(int32_t inputCount, int32_t windowSize) noexcept override;
  AAX_Result PostAnalyze() noexcept override;

  // LOAD: marks a transcription as pending and asks the host for an analysis pass. [main-thread]
  static AAX_Result RequestForceAnalyzeForSpike(const char* source) noexcept;
  // Process: generates from the audio already captured. [main-thread]
  static AAX_Result RequestProcessLoadedAudio(const char* source) noexcept;
  AAX_Result ProcessLoadedAudio(const char* source) noexcept;

  bool IsCompatibilityLocked() const;
  int32_t GetCurrentMode() const;
  bool IsVoiceChangeMode() const;
  bool ConsumePendingTranscribeRequest();
  void ClearVoiceChangeState();
  void ClearGeneratedState();
  void SetPluginState(QuillomancerState state, int32_t detail);
  void SetPluginState(QuillomancerState state, int32_t detail, int32_t takesShown);

  uint64_t BeginAsyncJob(QuillomancerActivityKind kind);
  bool IsCurrentAsyncJob(uint64_t instanceId, uint64_t generation) const;
  void ResetAsyncActivity();
  void BeginAsyncTranscribe(std::vector<float> audio, int32_t sampleRate, std::string language,
                            std::string accessToken);
  void BeginAsyncGenerate(std::vector<float> primary, std::vector<float> secondary, int32_t sampleRate,
                          std::string text, std::string referenceText, std::string language,
                          std::string accessToken, int32_t takes, bool breath, bool voiceChange,
                          bool lineChangeV2, bool variation);

  bool ParseRepairPlanJSON(const std::string& text, std::vector<QuillomancerRepairRange>* out) const;
  void ApplyRepairSilencePlan(std::vector<float>* audio, int32_t sampleRate,
                              const std::vector<QuillomancerRepairRange>& ranges) const;
  static bool QMShouldAddBreathAfterDialogue();

  uint64_t InstanceID() const { return mInstanceId; }

  // What tests and the session look at besides the published status record.
  struct Snapshot {
    int64_t capturedLength = 0;
    std::vector<float> capture;
    std::array<std::vector<float>, kQMMaxTakes> takes;
    int32_t takeIndex = 0;
    int32_t takesReady = 0;
    int32_t creditBalance = 0;
    int32_t asyncActivity = 0;
    bool localPreview = false;
    bool renderArmed = false;
    bool voiceCaptured = false;
    int32_t countdown = 0;
    std::string transcriptText;
    std::vector<QuillomancerServer::TimedWord> transcriptWords;
    int64_t renderHeadHandle = 0;
    int64_t renderTailHandle = 0;
  };
  Snapshot GetSnapshot() const;

  // Service jobs not yet completed on the main queue, process-wide. [any-thread]
  static uint32_t RunningJobCount();

 private:
  std::string ReadBlockString(uint32_t blockId, size_t maxBytes) const;
  bool ReadBlockByte(uint32_t blockId, uint8_t* value) const;
  // A one-byte switch: on when the block is there and its byte is not zero.
  bool ReadBlockFlag(uint32_t blockId) const;
  // The number of takes asked for in the takes block (QMTakesFromByte).
  int32_t ReadTakesRequested() const;
  void WriteBlock(uint32_t blockId, const void* data, uint32_t size) const;
  void WriteBlockString(uint32_t blockId, const std::string& value) const;
  void ClearBlock(uint32_t blockId) const;
  int32_t SessionSampleRate(bool* queryOK) const;
  void ResetCaptureAndTakes();
  // With the compatibility lock on nothing is generated or rendered: logs `logLine` (when given),
  // clears what was generated and publishes UpdateRequired. True when the lock is on.
  bool StopForCompatibilityLock(const char* logLine = nullptr);
  // Makes locally processed audio the one take, rendered without a service render id.
  void ServeLocalPreview(std::vector<float> audio);

  static void ApplyTranscribeResult(uint64_t instanceId, uint64_t generation,
                                    const QuillomancerServer::TranscribeResult& result);
  static void ApplyGenerateResult(uint64_t instanceId, uint64_t generation,
                                  const QuillomancerServer::GenerateResult& result, bool voiceChange);

  // Guards every member below; taken by the passes, the static entries and the completions.
  // Order: the active-instance lock, then this one, then the store's.
  mutable std::recursive_mutex mLock;

  std::vector<float> mCapture;
  int64_t mAnalysisWritePosition = 0;
  int64_t mCapturedLength = 0;
  int64_t mRawLength = 0;
  int64_t mSelectionLength = 0, mHeadHandle = 0, mTailHandle = 0;
  int64_t mRenderOutputLength = 0, mRenderSelectionLength = 0, mRenderHeadHandle = 0,
          mRenderTailHandle = 0, mPlayableLength = 0, mFirstLocation = 0;
  bool mAnchored = false;
  int32_t mOutputCount = 1;
  int32_t mTakesToConsume = 0;
  bool mLocalPreview = false;
  bool mRenderArmed = false;
  bool mTranscribePass = false;
  bool mCaptureFailed = false;
  bool mVoiceCaptured = false;
  std::vector<float> mVoiceCapture;
  int64_t mVoiceCaptureLength = 0;
  int32_t mCountdownEstimate = 0;
  std::string mTranscriptText;
  std::vector<QuillomancerServer::TimedWord> mTranscriptWords;
  std::array<std::vector<float>, kQMMaxTakes> mTakes;
  int32_t mTakeIndex = 0;
  int32_t mTakesReady = 0;
  int32_t mCreditBalance = 0;
  int32_t mAsyncActivity = kQuillomancerActivity_None;
  std::string mRenderId;
  const uint64_t mInstanceId;
  std::atomic<uint64_t> mJobGeneration{0};

  // Static entries that are using this object outside the active-instance lock; the destructor
  // waits for them (guarded by the active-instance lock).
  int mEntryUsers = 0;
  std::condition_variable_any mEntryUsersDone;
};
