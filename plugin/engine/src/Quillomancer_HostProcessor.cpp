// The processor object, its published state, the store readers and the LOAD entry.

#include "Quillomancer_HostProcessor.h"

#include <cstring>
#include <exception>
#include <mutex>

#include "AAX_Errors.h"
#include "AAX_IEffectParameters.h"
#include "AAX_VController.h"
#include "AAX_VHostProcessorDelegate.h"
#include "QuillomancerCustomDataStore.h"
#include "QuillomancerLogger.h"
#include "QuillomancerProcessorRegistry.h"

namespace {
std::atomic<uint64_t> sQMHostProcessorInstanceCounter{1};
Quillomancer_HostProcessor* sQMActiveHostProcessor = nullptr;
}  // namespace

std::mutex& QMActiveProcessorLock() {
  static std::mutex lock;
  return lock;
}

Quillomancer_HostProcessor*& QMActiveProcessorSlot() { return sQMActiveHostProcessor; }

const char* QuillomancerStateName(int32_t state) {
  switch (state) {
    case kQuillomancerState_Ready: return "Ready";
    case kQuillomancerState_Analyzing: return "Analyzing";
    case kQuillomancerState_Processing: return "Processing";
    case kQuillomancerState_HasTakes: return "HasTakes";
    case kQuillomancerState_Error: return "Error";
    case kQuillomancerState_SelectionTooShort: return "SelectionTooShort";
    case kQuillomancerState_SelectionTooLong: return "SelectionTooLong";
    case kQuillomancerState_NoCredits: return "NoCredits";
    case kQuillomancerState_UpdateRequired: return "UpdateRequired";
    case kQuillomancerState_InputTextRequired: return "InputTextRequired";
    case kQuillomancerState_BeforeTextRequired: return "BeforeTextRequired";
    case kQuillomancerState_VoiceCaptured: return "VoiceCaptured";
    default: return "Unknown";
  }
}

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

std::string Quillomancer_HostProcessor::ReadBlockString(uint32_t blockId, size_t maxBytes) const {
  const AAX_IEffectParameters* parameters = GetEffectParameters();
  if (parameters == nullptr) return {};
  std::string buffer(maxBytes, '\0');
  uint32_t n = 0;
  const AAX_Result result = const_cast<AAX_IEffectParameters*>(parameters)
                                ->GetCustomData(blockId, uint32_t(maxBytes), buffer.data(), &n);
  if (result != AAX_SUCCESS) return {};
  buffer.resize(std::min<size_t>(n, maxBytes));
  return buffer;
}

bool Quillomancer_HostProcessor::ReadBlockByte(uint32_t blockId, uint8_t* value) const {
  *value = 0;
  const AAX_IEffectParameters* parameters = GetEffectParameters();
  if (parameters == nullptr) return false;
  uint32_t n = 0;
  const_cast<AAX_IEffectParameters*>(parameters)->GetCustomData(blockId, 1, value, &n);
  return n > 0;
}

bool Quillomancer_HostProcessor::ReadBlockFlag(uint32_t blockId) const {
  uint8_t b = 0;
  return ReadBlockByte(blockId, &b) && b != 0;
}

int32_t Quillomancer_HostProcessor::ReadTakesRequested() const {
  uint8_t b = 0;
  const bool read = ReadBlockByte(kQMBlock_Takes, &b);
  return QMTakesFromByte(read, b);
}

void Quillomancer_HostProcessor::WriteBlock(uint32_t blockId, const void* data, uint32_t size) const {
  const AAX_IEffectParameters* parameters = GetEffectParameters();
  if (parameters == nullptr) return;
  const_cast<AAX_IEffectParameters*>(parameters)->SetCustomData(blockId, size, data);
}

void Quillomancer_HostProcessor::WriteBlockString(uint32_t blockId, const std::string& value) const {
  WriteBlock(blockId, value.empty() ? nullptr : value.data(), uint32_t(value.size()));
}

void Quillomancer_HostProcessor::ClearBlock(uint32_t blockId) const { WriteBlock(blockId, nullptr, 0); }

int32_t Quillomancer_HostProcessor::SessionSampleRate(bool* queryOK) const {
  float rate = 48000.0f;
  bool ok = false;
  if (AAX_IController* controller = const_cast<Quillomancer_HostProcessor*>(this)->Controller()) {
    ok = controller->GetSampleRate(&rate) == AAX_SUCCESS;
  }
  if (queryOK) *queryOK = ok;
  return QMSanitizeSampleRate(double(rate));
}

bool Quillomancer_HostProcessor::IsCompatibilityLocked() const {
  return ReadBlockFlag(kQMBlock_CompatibilityLock);
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
  uint8_t b = 0;
  if (!ReadBlockByte(kQMBlock_Mode, &b) || b >= 3) return 0;
  return b;
}

bool Quillomancer_HostProcessor::IsVoiceChangeMode() const { return GetCurrentMode() == 2; }

bool Quillomancer_HostProcessor::ConsumePendingTranscribeRequest() {
  if (ReadBlockFlag(kQMBlock_TranscribeRequest)) {
    ClearBlock(kQMBlock_TranscribeRequest);
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
  mAnalysisWritePosition = mCapturedLength = mRawLength = 0;
  mSelectionLength = mHeadHandle = mTailHandle = 0;
  mRenderOutputLength = mRenderSelectionLength = mRenderHeadHandle = mRenderTailHandle = 0;
  mPlayableLength = mFirstLocation = 0;
  mAnchored = false;
  mOutputCount = 1;
  mTakesToConsume = 0;
  mLocalPreview = false;
  for (auto& take : mTakes) {
    take.clear();
    take.shrink_to_fit();
  }
}

void Quillomancer_HostProcessor::ServeLocalPreview(std::vector<float> audio) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  for (auto& take : mTakes) take.clear();
  mTakes[0] = std::move(audio);
  mTakesReady = 1;
  mTakeIndex = 0;
  mTakesToConsume = 0;
  mLocalPreview = true;
  mRenderArmed = true;
  mRenderId.clear();
  ClearBlock(kQMBlock_RenderID);
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
  ClearBlock(kQMBlock_RenderID);
}

void Quillomancer_HostProcessor::SetPluginState(QuillomancerState state, int32_t detail) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  SetPluginState(state, detail, state == kQuillomancerState_HasTakes ? mTakesReady : 0);
}

void Quillomancer_HostProcessor::SetPluginState(QuillomancerState state, int32_t detail, int32_t takesShown) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (GetEffectParameters() == nullptr) return;
  const int32_t record[7] = {int32_t(state), detail, mTakesReady >= 1 ? mTakesReady : 3, takesShown,
                             mCreditBalance, mAsyncActivity, mCountdownEstimate};
  WriteBlock(kQMBlock_Status, record, sizeof record);
}

Quillomancer_HostProcessor::Snapshot Quillomancer_HostProcessor::GetSnapshot() const {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  Snapshot s;
  s.capturedLength = mCapturedLength;
  s.capture = mCapture;
  s.takes = mTakes;
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
    const uint8_t pending = 1;
    processor->WriteBlock(kQMBlock_TranscribeRequest, &pending, 1);
    QMLogFormat("ForceAnalyze spike: requesting analysis from host (source=%s)", label);
    const AAX_Result result = processor->GetHostProcessorDelegate()->ForceAnalyze();
    QMLogFormat("ForceAnalyze spike: host returned %d", int(result));
    return result;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}
