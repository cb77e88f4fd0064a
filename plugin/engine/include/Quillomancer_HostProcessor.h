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
#include "QuillomancerSamples.h"
#include "QuillomancerServer.h"
#include "QuillomancerStoreClient.h"
#include "QuillomancerStoreVocabulary.h"

// Builds the QMtr payload that fits the window's read (kQMTranscriptPayloadMaxBytes): the answer as
// it came when it fits, else a compact {"text","words"} object, else {"text"} alone, else the text
// cut on a UTF-8 boundary.
std::string QMBuildTranscriptPayload(const std::string& responseJson, const std::string& text,
                                     const std::vector<QuillomancerServer::TimedWord>& words,
                                     size_t maxBytes = kQMTranscriptPayloadMaxBytes);

// The edit as the window left it in the store, read once by a generate pass and by Process.
// `request` holds what the generation will send (text, language, token, takes, breath, variation);
// the pass fills in the audio, the reference text it settles on and the kind of request.
struct QuillomancerEdit {
  QuillomancerServer::GenerateRequest request;
  bool voiceChange = false;     // QMmd is Voice Change
  bool lineChange = false;      // QMlc set, outside Voice Change
  std::string reference;        // QMrf as stored
  std::string repairPlan;       // QMrp
  bool previewArmed = false;    // QMrv
};

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
  // Binds the store client to the parameters object the host hands over, and lets it go.
  // [host-thread]
  AAX_Result Initialize(IACFUnknown* host) noexcept override;
  AAX_Result Uninitialize() noexcept override;

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
  void BeginAsyncTranscribe(QuillomancerSamples audio, int32_t sampleRate, std::string language,
                            std::string accessToken);
  void BeginAsyncGenerate(QuillomancerServer::GenerateRequest request);

  bool ParseRepairPlanJSON(const std::string& text, std::vector<QuillomancerRepairRange>* out) const;
  void ApplyRepairSilencePlan(std::span<float> audio, int32_t sampleRate,
                              const std::vector<QuillomancerRepairRange>& ranges) const;
  static bool QMShouldAddBreathAfterDialogue();

  uint64_t InstanceID() const { return mInstanceId; }

  // What tests and the session look at besides the published status record.
  struct Snapshot {
    int64_t capturedLength = 0;
    std::vector<float> capture;
    bool captureKept = true;  // false while a selection too long for any pass is being counted
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
  // The number of takes asked for in the takes block (QMTakesFromByte).
  int32_t ReadTakesRequested() const;
  // Every block a generation reads, in one value.
  QuillomancerEdit ReadEdit() const;
  int32_t SessionSampleRate(bool* queryOK);
  // The transcribe half of PostAnalyze: duration checks, the health check, the job.
  void FinishTranscribePass(std::unique_lock<std::recursive_mutex>& guard, double duration, int32_t sampleRate,
                            const std::string& token);
  // The generate half of PostAnalyze, from the line change on.
  void FinishGeneratePass(QuillomancerEdit edit, double duration, int32_t sampleRate);
  // Reads the edit's repair plan and plans its silence over `length` samples: logs `logLine` with
  // the range count, then the plan's own lines. True when the plan held a range.
  bool PlanEditRepair(const QuillomancerEdit& edit, int64_t length, int32_t sampleRate, const char* logLine,
                      QMRepairSilence* plan) const;
  // The longest selection (seconds) that the pass being started could accept.
  static double LongestAcceptedSelection(bool transcribePass);
  // PostAnalyze of a selection whose capture was not kept: true when it is still refused as too
  // long at the same place, so that the pass can go on to that refusal without the audio.
  bool DeclinedCaptureStillRefused(int32_t sampleRate) const;
  void ResetCaptureAndTakes();
  // With the compatibility lock on nothing is generated or rendered: logs `logLine` (when given),
  // clears what was generated and publishes UpdateRequired. True when the lock is on.
  bool StopForCompatibilityLock(const char* logLine = nullptr);
  // A session rate that the takes cannot come back at makes every request fail after it was
  // charged: logs it, publishes an error naming the rates that work, and answers true.
  bool RefuseUnsupportedSampleRate(int32_t sampleRate);
  // Makes locally processed audio the one take, rendered without a service render id.
  void ServeLocalPreview(QuillomancerSamples audio);

  static void ApplyTranscribeResult(uint64_t instanceId, uint64_t generation,
                                    const QuillomancerServer::TranscribeResult& result);
  // Takes the result's takes over (they are not copied).
  static void ApplyGenerateResult(uint64_t instanceId, uint64_t generation, QuillomancerServer::GenerateResult& result,
                                  bool voiceChange);

  // Guards every member below; taken by the passes, the static entries and the completions.
  // Order: the active-instance lock, then this one, then the store's.
  mutable std::recursive_mutex mLock;

  // The custom-data store of this instance's parameters object, bound in Initialize.
  QuillomancerStoreClient mStore;

  QuillomancerSamples mCapture;
  // The size the capture has (or, declined, would have). A selection longer than any pass accepts
  // and than any take the service can send back is not captured: the analysis pass counts its
  // samples and keeps only the loudest sample of the opening second that PostAnalyze logs, before
  // it refuses the selection.
  int64_t mCaptureSize = 0;
  bool mCaptureOpen = false;  // the analysis pass is writing it: set up to mAnalysisWritePosition only
  bool mCaptureDeclined = false;
  int64_t mOpeningStart = 0, mOpeningLength = 0;
  float mOpeningPeak = 0.0f;
  int32_t mDeclinedRate = 0;
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
  QuillomancerSamples mVoiceCapture;
  int64_t mVoiceCaptureLength = 0;
  int32_t mCountdownEstimate = 0;
  std::string mTranscriptText;
  std::vector<QuillomancerServer::TimedWord> mTranscriptWords;
  std::array<QuillomancerTake, kQMMaxTakes> mTakes;
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
