// The processor object, its published state, the store readers and the LOAD entry.

#include "Quillomancer_HostProcessor.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "AAX_Errors.h"
#include "AAX_VController.h"
#include "AAX_VHostProcessorDelegate.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"
#include "qm/platform/thread_check.h"

namespace {
std::atomic<uint64_t> sQMHostProcessorInstanceCounter{1};
Quillomancer_HostProcessor* sQMActiveHostProcessor = nullptr;
}  // namespace

std::mutex& QMActiveProcessorLock() {
  static std::mutex lock;
  return lock;
}

Quillomancer_HostProcessor*& QMActiveProcessorSlot() { return sQMActiveHostProcessor; }

AAX_IHostProcessor* Quillomancer_HostProcessor::Create() {
  return new Quillomancer_HostProcessor();
}

// [host-thread]
Quillomancer_HostProcessor::Quillomancer_HostProcessor()
    : mInstanceId(sQMHostProcessorInstanceCounter.fetch_add(1)) {
  std::lock_guard<std::mutex> guard(QMActiveProcessorLock());
  QMActiveProcessorSlot() = this;
}

// [host-thread]
Quillomancer_HostProcessor::~Quillomancer_HostProcessor() {
  mJobGeneration.fetch_add(1);
  std::unique_lock<std::mutex> guard(QMActiveProcessorLock());
  if (QMActiveProcessorSlot() == this) QMActiveProcessorSlot() = nullptr;
  // A LOAD entry still talking to the host through this object finishes first.
  mEntryUsersDone.wait(guard, [this] { return mEntryUsers == 0; });
}

// ---- store access ---------------------------------------------------------------------------

// [host-thread]
AAX_Result Quillomancer_HostProcessor::Initialize(IACFUnknown* host) noexcept {
  const AAX_Result result = AAX_CHostProcessor::Initialize(host);
  std::lock_guard<std::recursive_mutex> guard(mLock);
  mStore = QuillomancerStoreClient(GetEffectParameters());
  return result;
}

// [host-thread]
AAX_Result Quillomancer_HostProcessor::Uninitialize() noexcept {
  {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    mStore = QuillomancerStoreClient();
  }
  return AAX_CHostProcessor::Uninitialize();
}

int32_t Quillomancer_HostProcessor::ReadTakesRequested() const {
  const std::optional<uint8_t> takes = mStore.ReadByte(kQMBlock_Takes);
  return QMTakesFromByte(takes.has_value(), takes.value_or(0));
}

QuillomancerEdit Quillomancer_HostProcessor::ReadEdit() const {
  QuillomancerEdit edit;
  edit.voiceChange = IsVoiceChangeMode();
  edit.lineChange = !edit.voiceChange && mStore.ReadFlag(kQMBlock_LineChange);
  edit.reference = mStore.ReadString(kQMBlock_ReferenceText, kQMReadLimit_Text);
  edit.repairPlan = mStore.ReadString(kQMBlock_RepairPlan, kQMReadLimit_RepairPlan);
  edit.previewArmed = mStore.ReadFlag(kQMBlock_RepairPreview);
  QuillomancerServer::GenerateRequest& request = edit.request;
  request.text = mStore.ReadString(kQMBlock_Text, kQMReadLimit_Text);
  request.accessToken = mStore.ReadString(kQMBlock_AccessToken, kQMReadLimit_AccessToken);
  request.takes = ReadTakesRequested();
  request.variation = mStore.ReadFlag(kQMBlock_Variation);
  request.language = mStore.ReadString(kQMBlock_GenerationLanguage, kQMReadLimit_Language);
  request.addBreath = QMShouldAddBreathAfterDialogue();
  return edit;
}

int32_t Quillomancer_HostProcessor::SessionSampleRate(bool* queryOK) {
  float rate = 48000.0f;
  bool ok = false;
  if (AAX_IController* controller = Controller()) {
    ok = controller->GetSampleRate(&rate) == AAX_SUCCESS;
  }
  if (queryOK) *queryOK = ok;
  return QMSanitizeSampleRate(double(rate));
}

bool Quillomancer_HostProcessor::IsCompatibilityLocked() const {
  return mStore.ReadFlag(kQMBlock_CompatibilityLock);
}

bool Quillomancer_HostProcessor::StopForCompatibilityLock(const char* logLine) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (!IsCompatibilityLocked()) return false;
  if (logLine != nullptr) QMLogFormat("%s", logLine);
  ClearGeneratedState();
  SetPluginState(kQuillomancerState_UpdateRequired, 0);
  return true;
}

int32_t Quillomancer_HostProcessor::GetCurrentMode() const {
  const std::optional<uint8_t> mode = mStore.ReadByte(kQMBlock_Mode);
  if (!mode || *mode > kQuillomancerMode_VoiceChange) return kQuillomancerMode_Before;
  return *mode;
}

bool Quillomancer_HostProcessor::IsVoiceChangeMode() const {
  return GetCurrentMode() == kQuillomancerMode_VoiceChange;
}

bool Quillomancer_HostProcessor::ConsumePendingTranscribeRequest() {
  if (mStore.ReadFlag(kQMBlock_TranscribeRequest)) {
    mStore.Clear(kQMBlock_TranscribeRequest);
    return true;
  }
  return false;
}

// ---- state ------------------------------------------------------------------------------------

void Quillomancer_HostProcessor::ClearVoiceChangeState() {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  mVoiceCaptured = false;
  mVoiceCapture.clear();
  mVoiceCapture.shrink_to_fit();
  mVoiceCaptureLength = 0;
  mCountdownEstimate = 0;
}

void Quillomancer_HostProcessor::ResetCaptureAndTakes() {
  mCapture.clear();
  mCapture.shrink_to_fit();
  mCaptureSize = 0;
  mCaptureOpen = false;
  mCaptureDeclined = false;
  mOpeningStart = mOpeningLength = 0;
  mOpeningPeak = 0.0f;
  mDeclinedRate = 0;
  mAnalysisWritePosition = mCapturedLength = mRawLength = 0;
  mSelectionLength = mHeadHandle = mTailHandle = 0;
  mRenderOutputLength = mRenderSelectionLength = mRenderHeadHandle = mRenderTailHandle = 0;
  mPlayableLength = mFirstLocation = 0;
  mAnchored = false;
  mOutputCount = 1;
  mTakesToConsume = 0;
  mLocalPreview = false;
  for (auto& take : mTakes) take.clear();
}

void Quillomancer_HostProcessor::ServeLocalPreview(QuillomancerSamples audio) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  for (auto& take : mTakes) take.clear();
  mTakes[0] = QuillomancerTake(std::move(audio));
  mTakesReady = 1;
  mTakeIndex = 0;
  mTakesToConsume = 0;
  mLocalPreview = true;
  mRenderArmed = true;
  mRenderId.clear();
  mStore.Clear(kQMBlock_RenderID);
  ResetAsyncActivity();
}

void Quillomancer_HostProcessor::ClearGeneratedState() {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  ResetCaptureAndTakes();
  mTakeIndex = 0;
  mTakesReady = 0;
  mRenderArmed = false;
  mAsyncActivity = kQuillomancerActivity_None;
  mRenderId.clear();
  ClearVoiceChangeState();
  mStore.Clear(kQMBlock_RenderID);
}

void Quillomancer_HostProcessor::SetPluginState(QuillomancerState state, int32_t detail) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  SetPluginState(state, detail, state == kQuillomancerState_HasTakes ? mTakesReady : 0);
}

void Quillomancer_HostProcessor::SetPluginState(QuillomancerState state, int32_t detail, int32_t takesShown) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  // The store answers the QMtk byte in place of takesRequested; what is written there is ignored.
  const QuillomancerStatusRecord record{int32_t(state), detail, mTakesReady >= 1 ? mTakesReady : 3, takesShown,
                                        mCreditBalance, mAsyncActivity, mCountdownEstimate};
  mStore.WriteStatus(record);
}

Quillomancer_HostProcessor::Snapshot Quillomancer_HostProcessor::GetSnapshot() const {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  Snapshot s;
  s.capturedLength = mCapturedLength;
  const size_t set = mCaptureOpen ? std::min(mCapture.size(), size_t(mAnalysisWritePosition)) : mCapture.size();
  s.capture.assign(mCapture.begin(), mCapture.begin() + ptrdiff_t(set));
  s.capture.resize(mCapture.size(), 0.0f);
  s.captureKept = !mCaptureDeclined;
  for (size_t i = 0; i < mTakes.size(); ++i) {
    const QuillomancerSamples samples = mTakes[i].Samples();
    s.takes[i].assign(samples.begin(), samples.end());
  }
  s.takeIndex = mTakeIndex;
  s.takesReady = mTakesReady;
  s.creditBalance = mCreditBalance;
  s.asyncActivity = mAsyncActivity;
  s.localPreview = mLocalPreview;
  s.renderArmed = mRenderArmed;
  s.voiceCaptured = mVoiceCaptured;
  s.countdown = mCountdownEstimate;
  s.transcriptText = mTranscriptText;
  s.transcriptWords = mTranscriptWords;
  s.renderHeadHandle = mRenderHeadHandle;
  s.renderTailHandle = mRenderTailHandle;
  return s;
}

// ---- LOAD entry -------------------------------------------------------------------------------

// [main-thread]
AAX_Result Quillomancer_HostProcessor::RequestForceAnalyzeForSpike(const char* source) noexcept {
  QM_ASSERT_THREAD(main);
  const char* label = (source != nullptr && source[0] != '\0') ? source : "unspecified";
  try {
    Quillomancer_HostProcessor* processor = nullptr;
    {
      std::lock_guard<std::mutex> guard(QMActiveProcessorLock());
      processor = QMActiveProcessorSlot();
      if (processor == nullptr) {
        QMLogFormat("ForceAnalyze spike: no active host processor instance (source=%s)", label);
        return AAX_ERROR_NOT_INITIALIZED;
      }
      if (processor->GetHostProcessorDelegate() == nullptr) {
        QMLogFormat("ForceAnalyze spike: host processor delegate unavailable (source=%s)", label);
        return AAX_ERROR_NOT_INITIALIZED;
      }
      if (processor->GetEffectParameters() == nullptr) {
        QMLogFormat("ForceAnalyze spike: effect parameters unavailable (source=%s)", label);
        return AAX_ERROR_NOT_INITIALIZED;
      }
      ++processor->mEntryUsers;
    }
    // The host may run the requested pass before it returns, so no lock is held here; the
    // destructor waits for mEntryUsers instead.
    struct EntryRelease {
      Quillomancer_HostProcessor* p;
      ~EntryRelease() {
        // Notified under the lock: once it is released the destructor may free the object.
        std::lock_guard<std::mutex> guard(QMActiveProcessorLock());
        --p->mEntryUsers;
        p->mEntryUsersDone.notify_all();
      }
    } release{processor};
    processor->mStore.WriteByte(kQMBlock_TranscribeRequest, 1);
    QMLogFormat("ForceAnalyze spike: requesting analysis from host (source=%s)", label);
    const AAX_Result result = processor->GetHostProcessorDelegate()->ForceAnalyze();
    QMLogFormat("ForceAnalyze spike: host returned %d", int(result));
    return result;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}
