#include "qm/host/fake_runtime.h"

#include "AAX_UIDs.h"
#include "fake_entry.h"

#include <algorithm>
#include <cstring>

namespace qm::host {

namespace {
std::vector<uint8_t> Bytes(const void* data, uint32_t size) {
  if (!data || size == 0) return {};
  const auto* begin = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(begin, begin + size);
}

// Runs a test's hook, read under `lock` but called outside it so that it may call back in;
// no hook answers 0.
AAX_Result RunHook(std::mutex& lock, const std::function<AAX_Result()>& slot) {
  std::function<AAX_Result()> hook;
  {
    std::lock_guard<std::mutex> guard(lock);
    hook = slot;
  }
  return hook ? hook() : 0;
}
}  // namespace

// ---- controller ----

FakeController::FakeController() : FakeObject("controller") {
  auto* controller = static_cast<AAX_IACFController_V5*>(this);
  auto* pageTables = static_cast<AAX_IACFPageTableController_V2*>(this);
  OfferVersions(controller, {IID_IAAXControllerV1, IID_IAAXControllerV2, IID_IAAXControllerV3,
                             IID_IAAXControllerV4, IID_IAAXControllerV5});
  OfferVersions(pageTables, {IID_IAAXPageTableController, IID_IAAXPageTableControllerV2}, kPageTableControllerGroup);
}

void FakeController::SetSampleRate(float rate) {
  std::lock_guard<std::mutex> guard(mState);
  mSampleRate = rate;
}
void FakeController::SetHostName(std::string name) {
  std::lock_guard<std::mutex> guard(mState);
  mHostName = std::move(name);
}
void FakeController::SetEffectID(std::string id) {
  std::lock_guard<std::mutex> guard(mState);
  mEffectID = std::move(id);
}
void FakeController::SetIsAudioSuite(bool audioSuite) {
  std::lock_guard<std::mutex> guard(mState);
  mAudioSuite = audioSuite;
}
std::vector<FakeController::Notification> FakeController::Notifications() const {
  std::lock_guard<std::mutex> guard(mState);
  return mNotifications;
}
std::vector<FakeController::Packet> FakeController::Packets() const {
  std::lock_guard<std::mutex> guard(mState);
  return mPackets;
}

AAX_Result FakeController::GetEffectID(AAX_IString* effectID) noexcept {
  QM_FAKE_ENTER("GetEffectID");
  QM_FAKE_OUT(effectID);
  std::lock_guard<std::mutex> guard(mState);
  effectID->Set(mEffectID.c_str());
  return 0;
}
AAX_Result FakeController::GetSampleRate(float* sampleRate) noexcept {
  QM_FAKE_ENTER("GetSampleRate");
  QM_FAKE_OUT(sampleRate);
  std::lock_guard<std::mutex> guard(mState);
  *sampleRate = mSampleRate;
  return 0;
}
AAX_Result FakeController::GetInputStemFormat(AAX_EStemFormat* format) noexcept {
  QM_FAKE_ENTER("GetInputStemFormat");
  QM_FAKE_OUT(format);
  *format = static_cast<AAX_EStemFormat>(1);
  return 0;
}
AAX_Result FakeController::GetOutputStemFormat(AAX_EStemFormat* format) noexcept {
  QM_FAKE_ENTER("GetOutputStemFormat");
  QM_FAKE_OUT(format);
  *format = static_cast<AAX_EStemFormat>(1);
  return 0;
}
AAX_Result FakeController::GetSignalLatency(int32_t* samples) noexcept {
  QM_FAKE_ENTER("GetSignalLatency");
  QM_FAKE_OUT(samples);
  std::lock_guard<std::mutex> guard(mState);
  *samples = mLatency;
  return 0;
}
AAX_Result FakeController::GetCycleCount(AAX_EProperty, int32_t* cycles) noexcept {
  QM_FAKE_ENTER("GetCycleCount");
  QM_FAKE_OUT(cycles);
  *cycles = 0;
  return 0;
}
AAX_Result FakeController::GetTODLocation(int64_t* location) noexcept {
  QM_FAKE_ENTER("GetTODLocation");
  QM_FAKE_OUT(location);
  *location = 0;
  return 0;
}
AAX_Result FakeController::SetSignalLatency(int32_t samples) noexcept {
  QM_FAKE_ENTER("SetSignalLatency");
  std::lock_guard<std::mutex> guard(mState);
  mLatency = samples;
  return 0;
}
AAX_Result FakeController::SetCycleCount(AAX_EProperty*, int32_t*, int32_t) noexcept {
  QM_FAKE_ENTER("SetCycleCount");
  return 0;
}
AAX_Result FakeController::PostPacket(AAX_CFieldIndex field, const void* payload, uint32_t size) noexcept {
  QM_FAKE_ENTER("PostPacket");
  std::lock_guard<std::mutex> guard(mState);
  mPackets.push_back(Packet{field, Bytes(payload, size)});
  return 0;
}
AAX_Result FakeController::GetCurrentMeterValue(AAX_CTypeID, float* value) noexcept {
  QM_FAKE_ENTER("GetCurrentMeterValue");
  QM_FAKE_OUT(value);
  *value = 0.0f;
  return 0;
}
AAX_Result FakeController::GetMeterPeakValue(AAX_CTypeID, float* value) noexcept {
  QM_FAKE_ENTER("GetMeterPeakValue");
  QM_FAKE_OUT(value);
  *value = 0.0f;
  return 0;
}
AAX_Result FakeController::ClearMeterPeakValue(AAX_CTypeID) noexcept {
  QM_FAKE_ENTER("ClearMeterPeakValue");
  return 0;
}
AAX_Result FakeController::GetMeterClipped(AAX_CTypeID, uint8_t* clipped) noexcept {
  QM_FAKE_ENTER("GetMeterClipped");
  QM_FAKE_OUT(clipped);
  *clipped = 0;
  return 0;
}
AAX_Result FakeController::ClearMeterClipped(AAX_CTypeID) noexcept {
  QM_FAKE_ENTER("ClearMeterClipped");
  return 0;
}
AAX_Result FakeController::GetMeterCount(uint32_t* count) noexcept {
  QM_FAKE_ENTER("GetMeterCount");
  QM_FAKE_OUT(count);
  *count = 0;
  return 0;
}
AAX_Result FakeController::GetNextMIDIPacket(AAX_CFieldIndex*, AAX_CMidiPacket*) noexcept {
  QM_FAKE_ENTER("GetNextMIDIPacket");
  return AAX_ERROR_NULL_OBJECT;  // no MIDI in this host
}
AAX_Result FakeController::SendNotification(AAX_CTypeID type, const void* data, uint32_t size) noexcept {
  QM_FAKE_ENTER("SendNotification");
  std::lock_guard<std::mutex> guard(mState);
  mNotifications.push_back(Notification{type, Bytes(data, size)});
  return 0;
}
AAX_Result FakeController::GetHybridSignalLatency(int32_t* samples) noexcept {
  QM_FAKE_ENTER("GetHybridSignalLatency");
  QM_FAKE_OUT(samples);
  *samples = 0;
  return 0;
}
AAX_Result FakeController::GetCurrentAutomationTimestamp(int64_t* timestamp) noexcept {
  QM_FAKE_ENTER("GetCurrentAutomationTimestamp");
  QM_FAKE_OUT(timestamp);
  *timestamp = 0;
  return 0;
}
AAX_Result FakeController::GetHostName(AAX_IString* name) noexcept {
  QM_FAKE_ENTER("GetHostName");
  QM_FAKE_OUT(name);
  std::lock_guard<std::mutex> guard(mState);
  name->Set(mHostName.c_str());
  return 0;
}
AAX_Result FakeController::GetPlugInTargetPlatform(int32_t* platform) noexcept {
  QM_FAKE_ENTER("GetPlugInTargetPlatform");
  QM_FAKE_OUT(platform);
  *platform = 0;
  return 0;
}
AAX_Result FakeController::GetIsAudioSuite(uint8_t* isAudioSuite) noexcept {
  QM_FAKE_ENTER("GetIsAudioSuite");
  QM_FAKE_OUT(isAudioSuite);
  std::lock_guard<std::mutex> guard(mState);
  *isAudioSuite = mAudioSuite ? 1 : 0;
  return 0;
}
AAX_Result FakeController::GetInstanceGroupID(uint64_t* id) noexcept {
  QM_FAKE_ENTER("GetInstanceGroupID");
  QM_FAKE_OUT(id);
  *id = 1;
  return 0;
}
AAX_Result FakeController::RegisterForNotification(AAX_CTypeID, const IACFUnknown*) noexcept {
  QM_FAKE_ENTER("RegisterForNotification");
  return 0;
}
AAX_Result FakeController::GetInstanceID(uint32_t* id) noexcept {
  QM_FAKE_ENTER("GetInstanceID");
  QM_FAKE_OUT(id);
  *id = 1;
  return 0;
}

// Gives the caller's page table one page with nothing mapped.
AAX_Result FakeController::FillPageTable(IACFUnknown* pageTable) {
  if (!pageTable) return AAX_ERROR_NULL_ARGUMENT;
  AAX_IACFPageTable* table = nullptr;
  if (pageTable->QueryInterface(IID_IAAXPageTableV1, reinterpret_cast<void**>(&table)) != 0 || !table) {
    return AAX_ERROR_INVALID_ARGUMENT;
  }
  const AAX_Result result = table->InsertPage(0);
  table->Release();
  return result;
}
AAX_Result FakeController::CopyTableForEffect(AAX_CTypeID, AAX_CTypeID, AAX_CTypeID, uint32_t, int32_t,
                                              IACFUnknown* pageTable) noexcept {
  QM_FAKE_ENTER("CopyTableForEffect");
  return FillPageTable(pageTable);
}
AAX_Result FakeController::CopyTableForLayout(const char*, const char*, uint32_t, int32_t, IACFUnknown* pageTable) noexcept {
  QM_FAKE_ENTER("CopyTableForLayout");
  return FillPageTable(pageTable);
}
AAX_Result FakeController::CopyTableOfLayoutForEffectFromFile(const char*, AAX_ETextEncoding, AAX_CTypeID, AAX_CTypeID,
                                                              AAX_CTypeID, uint32_t, int32_t, IACFUnknown* pageTable) noexcept {
  QM_FAKE_ENTER("CopyTableOfLayoutForEffectFromFile");
  return FillPageTable(pageTable);
}
AAX_Result FakeController::CopyTableForLayoutFromFile(const char*, AAX_ETextEncoding, const char*, uint32_t, int32_t,
                                                      IACFUnknown* pageTable) noexcept {
  QM_FAKE_ENTER("CopyTableForLayoutFromFile");
  return FillPageTable(pageTable);
}

// ---- transport ----

FakeTransport::FakeTransport() : FakeObject("transport") {
  auto* transport = static_cast<AAX_IACFTransport_V5*>(this);
  OfferVersions(transport, {IID_IAAXTransportV1, IID_IAAXTransportV2, IID_IAAXTransportV3,
                            IID_IAAXTransportV4, IID_IAAXTransportV5});
  Offer(IID_IAAXTransportControlV1, static_cast<AAX_IACFTransportControl*>(this), 1, kTransportControlGroup);
}

void FakeTransport::SetTimelineSelection(int64_t start, int64_t end) {
  std::lock_guard<std::mutex> guard(mState);
  mSelectionStart = start;
  mSelectionEnd = end;
}
void FakeTransport::SetTempo(double bpm) {
  std::lock_guard<std::mutex> guard(mState);
  mTempo = bpm;
}
bool FakeTransport::Playing() const {
  std::lock_guard<std::mutex> guard(mState);
  return mPlaying;
}

AAX_Result FakeTransport::GetCurrentTempo(double* bpm) noexcept {
  QM_FAKE_ENTER("GetCurrentTempo");
  QM_FAKE_OUT(bpm);
  std::lock_guard<std::mutex> guard(mState);
  *bpm = mTempo;
  return 0;
}
AAX_Result FakeTransport::GetCurrentMeter(int32_t* numerator, int32_t* denominator) noexcept {
  QM_FAKE_ENTER("GetCurrentMeter");
  QM_FAKE_OUT(numerator && denominator);
  *numerator = 4;
  *denominator = 4;
  return 0;
}
AAX_Result FakeTransport::IsTransportPlaying(bool* playing) noexcept {
  QM_FAKE_ENTER("IsTransportPlaying");
  QM_FAKE_OUT(playing);
  std::lock_guard<std::mutex> guard(mState);
  *playing = mPlaying;
  return 0;
}
AAX_Result FakeTransport::GetCurrentTickPosition(int64_t* ticks) noexcept {
  QM_FAKE_ENTER("GetCurrentTickPosition");
  QM_FAKE_OUT(ticks);
  *ticks = 0;
  return 0;
}
AAX_Result FakeTransport::GetCurrentLoopPosition(bool* looping, int64_t* loopStart, int64_t* loopEnd) noexcept {
  QM_FAKE_ENTER("GetCurrentLoopPosition");
  QM_FAKE_OUT(looping && loopStart && loopEnd);
  *looping = false;
  *loopStart = 0;
  *loopEnd = 0;
  return 0;
}
AAX_Result FakeTransport::GetCurrentNativeSampleLocation(int64_t* location) noexcept {
  QM_FAKE_ENTER("GetCurrentNativeSampleLocation");
  QM_FAKE_OUT(location);
  *location = 0;
  return 0;
}
AAX_Result FakeTransport::GetCustomTickPosition(int64_t* ticks, int64_t) noexcept {
  QM_FAKE_ENTER("GetCustomTickPosition");
  QM_FAKE_OUT(ticks);
  *ticks = 0;
  return 0;
}
AAX_Result FakeTransport::GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t) noexcept {
  QM_FAKE_ENTER("GetBarBeatPosition");
  QM_FAKE_OUT(bars && beats && displayTicks);
  *bars = 1;
  *beats = 1;
  *displayTicks = 0;
  return 0;
}
AAX_Result FakeTransport::GetTicksPerQuarter(uint32_t* ticks) noexcept {
  QM_FAKE_ENTER("GetTicksPerQuarter");
  QM_FAKE_OUT(ticks);
  *ticks = 960000;
  return 0;
}
AAX_Result FakeTransport::GetCurrentTicksPerBeat(uint32_t* ticks) noexcept {
  QM_FAKE_ENTER("GetCurrentTicksPerBeat");
  QM_FAKE_OUT(ticks);
  *ticks = 960000;
  return 0;
}
AAX_Result FakeTransport::GetTimelineSelectionStartPosition(int64_t* location) noexcept {
  QM_FAKE_ENTER("GetTimelineSelectionStartPosition");
  QM_FAKE_OUT(location);
  std::lock_guard<std::mutex> guard(mState);
  *location = mSelectionStart;
  return 0;
}
AAX_Result FakeTransport::GetTimeCodeInfo(AAX_EFrameRate* rate, int32_t* offset) noexcept {
  QM_FAKE_ENTER("GetTimeCodeInfo");
  QM_FAKE_OUT(rate && offset);
  *rate = AAX_eFrameRate_Undeclared;
  *offset = 0;
  return 0;
}
AAX_Result FakeTransport::GetFeetFramesInfo(AAX_EFeetFramesRate* rate, int64_t* offset) noexcept {
  QM_FAKE_ENTER("GetFeetFramesInfo");
  QM_FAKE_OUT(rate && offset);
  *rate = AAX_eFeetFramesRate_23976;
  *offset = 0;
  return 0;
}
AAX_Result FakeTransport::IsMetronomeEnabled(int32_t* enabled) noexcept {
  QM_FAKE_ENTER("IsMetronomeEnabled");
  QM_FAKE_OUT(enabled);
  *enabled = 0;
  return 0;
}
AAX_Result FakeTransport::GetHDTimeCodeInfo(AAX_EFrameRate* rate, int64_t* offset) noexcept {
  QM_FAKE_ENTER("GetHDTimeCodeInfo");
  QM_FAKE_OUT(rate && offset);
  *rate = AAX_eFrameRate_Undeclared;
  *offset = 0;
  return 0;
}
AAX_Result FakeTransport::GetTimelineSelectionEndPosition(int64_t* location) noexcept {
  QM_FAKE_ENTER("GetTimelineSelectionEndPosition");
  QM_FAKE_OUT(location);
  std::lock_guard<std::mutex> guard(mState);
  *location = mSelectionEnd;
  return 0;
}
AAX_Result FakeTransport::GetKeySignature(int64_t, uint32_t* keySignature) noexcept {
  QM_FAKE_ENTER("GetKeySignature");
  QM_FAKE_OUT(keySignature);
  *keySignature = 0;
  return 0;
}
AAX_Result FakeTransport::RequestTransportStart() noexcept {
  QM_FAKE_ENTER("RequestTransportStart");
  std::lock_guard<std::mutex> guard(mState);
  mPlaying = true;
  return 0;
}
AAX_Result FakeTransport::RequestTransportStop() noexcept {
  QM_FAKE_ENTER("RequestTransportStop");
  std::lock_guard<std::mutex> guard(mState);
  mPlaying = false;
  return 0;
}

// ---- host-processor delegate ----

FakeHostProcessorDelegate::FakeHostProcessorDelegate() : FakeObject("host-processor delegate") {
  auto* delegate = static_cast<AAX_IACFHostProcessorDelegate_V3*>(this);
  OfferVersions(delegate, {IID_IAAXHostProcessorDelegateV1, IID_IAAXHostProcessorDelegateV2, IID_IAAXHostProcessorDelegateV3});
}

void FakeHostProcessorDelegate::SetTimelineAudio(std::vector<std::vector<float>> channels) {
  SetTimelineAudio(std::make_shared<const std::vector<std::vector<float>>>(std::move(channels)));
}
void FakeHostProcessorDelegate::SetTimelineAudio(std::shared_ptr<const std::vector<std::vector<float>>> channels) {
  std::lock_guard<std::mutex> guard(mState);
  mChannels = std::move(channels);
  mReader = nullptr;
}
void FakeHostProcessorDelegate::SetTimelineAudioReader(TimelineReader read) {
  std::lock_guard<std::mutex> guard(mState);
  mReader = std::move(read);
  mChannels.reset();
}
void FakeHostProcessorDelegate::SetSideChainInputNum(int32_t count) {
  std::lock_guard<std::mutex> guard(mState);
  mSideChains = count;
}
void FakeHostProcessorDelegate::OnForceAnalyze(std::function<AAX_Result()> hook) {
  std::lock_guard<std::mutex> guard(mState);
  mOnAnalyze = std::move(hook);
}
void FakeHostProcessorDelegate::OnForceProcess(std::function<AAX_Result()> hook) {
  std::lock_guard<std::mutex> guard(mState);
  mOnProcess = std::move(hook);
}

AAX_Result FakeHostProcessorDelegate::GetAudio(const float* const* audioIns, int32_t audioInCount, int64_t location,
                                               int32_t* ioNumSamples) noexcept {
  QM_FAKE_ENTER("GetAudio");
  QM_FAKE_OUT(ioNumSamples);
  if (*ioNumSamples < 0 || audioInCount < 0) return AAX_ERROR_INVALID_ARGUMENT;
  if (audioInCount > 0 && !audioIns) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  for (int32_t channel = 0; channel < audioInCount; ++channel)
    if (!audioIns[channel]) return AAX_ERROR_NULL_ARGUMENT;
  if (mReader) {
    // The host fills the buffers it is handed.
    return mReader(location, *ioNumSamples, const_cast<float* const*>(audioIns), audioInCount) ? 0 : AAX_ERROR_UNIMPLEMENTED;
  }
  for (int32_t channel = 0; channel < audioInCount; ++channel) {
    // The host fills the buffers it is handed.
    float* out = const_cast<float*>(audioIns[channel]);
    const std::vector<float>* source = mChannels && static_cast<size_t>(channel) < mChannels->size()
                                           ? &(*mChannels)[static_cast<size_t>(channel)]
                                           : nullptr;
    for (int32_t i = 0; i < *ioNumSamples; ++i) {
      const int64_t at = location + i;
      out[i] = (source && at >= 0 && at < static_cast<int64_t>(source->size())) ? (*source)[static_cast<size_t>(at)] : 0.0f;
    }
  }
  return 0;
}
int32_t FakeHostProcessorDelegate::GetSideChainInputNum() noexcept {
  Record("GetSideChainInputNum");
  std::lock_guard<std::mutex> guard(mState);
  return mSideChains;
}
AAX_Result FakeHostProcessorDelegate::ForceAnalyze() noexcept {
  QM_FAKE_ENTER("ForceAnalyze");
  return RunHook(mState, mOnAnalyze);
}
AAX_Result FakeHostProcessorDelegate::ForceProcess() noexcept {
  QM_FAKE_ENTER("ForceProcess");
  return RunHook(mState, mOnProcess);
}

// ---- automation delegate ----

FakeAutomationDelegate::FakeAutomationDelegate() : FakeObject("automation delegate") {
  Offer(IID_IAAXAutomationDelegateV1, static_cast<AAX_IACFAutomationDelegate*>(this), 1);
}

std::vector<std::string> FakeAutomationDelegate::Registered() const {
  std::lock_guard<std::mutex> guard(mState);
  return mRegistered;
}
std::vector<FakeAutomationDelegate::Post> FakeAutomationDelegate::SetValueRequests() const {
  std::lock_guard<std::mutex> guard(mState);
  return mSetRequests;
}
std::vector<FakeAutomationDelegate::Post> FakeAutomationDelegate::CurrentValues() const {
  std::lock_guard<std::mutex> guard(mState);
  return mCurrentValues;
}
void FakeAutomationDelegate::SetTouched(const std::string& id, bool touched) {
  std::lock_guard<std::mutex> guard(mState);
  mTouched[id] = touched;
}

AAX_Result FakeAutomationDelegate::RegisterParameter(AAX_CParamID id) noexcept {
  QM_FAKE_ENTER("RegisterParameter");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mRegistered.emplace_back(id);
  return 0;
}
AAX_Result FakeAutomationDelegate::UnregisterParameter(AAX_CParamID id) noexcept {
  QM_FAKE_ENTER("UnregisterParameter");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  const auto found = std::find(mRegistered.begin(), mRegistered.end(), std::string(id));
  if (found == mRegistered.end()) return AAX_ERROR_INVALID_PARAMETER_ID;
  mRegistered.erase(found);
  return 0;
}
AAX_Result FakeAutomationDelegate::PostSetValueRequest(AAX_CParamID id, double normalizedValue) noexcept {
  QM_FAKE_ENTER("PostSetValueRequest");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mSetRequests.push_back(Post{id, normalizedValue});
  return 0;
}
AAX_Result FakeAutomationDelegate::PostCurrentValue(AAX_CParamID id, double normalizedValue) noexcept {
  QM_FAKE_ENTER("PostCurrentValue");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mCurrentValues.push_back(Post{id, normalizedValue});
  return 0;
}
AAX_Result FakeAutomationDelegate::PostTouchRequest(AAX_CParamID id) noexcept {
  QM_FAKE_ENTER("PostTouchRequest");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mTouched[id] = true;
  return 0;
}
AAX_Result FakeAutomationDelegate::PostReleaseRequest(AAX_CParamID id) noexcept {
  QM_FAKE_ENTER("PostReleaseRequest");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mTouched[id] = false;
  return 0;
}
AAX_Result FakeAutomationDelegate::GetTouchState(AAX_CParamID id, uint8_t* touched) noexcept {
  QM_FAKE_ENTER("GetTouchState");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  QM_FAKE_OUT(touched);
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mTouched.find(id);
  *touched = (found != mTouched.end() && found->second) ? 1 : 0;
  return 0;
}

// ---- view container ----

FakeViewContainer::FakeViewContainer(int32_t type, void* view) : FakeObject("view container"), mType(type), mView(view) {
  auto* container = static_cast<AAX_IACFViewContainer_V3*>(this);
  OfferVersions(container, {IID_IAAXViewContainerV1, IID_IAAXViewContainerV2, IID_IAAXViewContainerV3});
  SetBalanceChecked(false);
}

AAX_Point FakeViewContainer::LastViewSize() const {
  std::lock_guard<std::mutex> guard(mState);
  return mSize;
}

int32_t FakeViewContainer::GetType() noexcept {
  Record("GetType");
  std::lock_guard<std::mutex> guard(mState);
  return mType;
}
void* FakeViewContainer::GetPtr() noexcept {
  Record("GetPtr");
  std::lock_guard<std::mutex> guard(mState);
  return mView;
}
AAX_Result FakeViewContainer::GetModifiers(uint32_t* modifiers) noexcept {
  QM_FAKE_ENTER("GetModifiers");
  QM_FAKE_OUT(modifiers);
  *modifiers = 0;
  return 0;
}
AAX_Result FakeViewContainer::SetViewSize(AAX_Point& size) noexcept {
  QM_FAKE_ENTER("SetViewSize");
  std::lock_guard<std::mutex> guard(mState);
  mSize = size;
  return 0;
}
#define QM_FAKE_MOUSE(name)                                                            \
  AAX_Result FakeViewContainer::name(AAX_CParamID id, uint32_t) noexcept {             \
    QM_FAKE_ENTER(#name);                                                              \
    return id ? 0 : AAX_ERROR_INVALID_PARAMETER_ID;                                    \
  }
#define QM_FAKE_MOUSE_MANY(name)                                                        \
  AAX_Result FakeViewContainer::name(const AAX_CParamID* ids, uint32_t count, uint32_t) noexcept { \
    QM_FAKE_ENTER(#name);                                                               \
    return (count == 0 || ids) ? 0 : AAX_ERROR_INVALID_PARAMETER_ID;                    \
  }
QM_FAKE_MOUSE(HandleParameterMouseDown)
QM_FAKE_MOUSE(HandleParameterMouseDrag)
QM_FAKE_MOUSE(HandleParameterMouseUp)
QM_FAKE_MOUSE(HandleParameterMouseEnter)
QM_FAKE_MOUSE(HandleParameterMouseExit)
QM_FAKE_MOUSE_MANY(HandleMultipleParametersMouseDown)
QM_FAKE_MOUSE_MANY(HandleMultipleParametersMouseDrag)
QM_FAKE_MOUSE_MANY(HandleMultipleParametersMouseUp)

// ---- page table ----

FakePageTable::FakePageTable() : FakeObject("page table") {
  auto* table = static_cast<AAX_IACFPageTable_V2*>(this);
  OfferVersions(table, {IID_IAAXPageTableV1, IID_IAAXPageTableV2});
}

AAX_Result FakePageTable::Clear() noexcept {
  QM_FAKE_ENTER("Clear");
  std::lock_guard<std::mutex> guard(mState);
  mPages.clear();
  return 0;
}
AAX_Result FakePageTable::Empty(uint8_t& empty) noexcept {
  QM_FAKE_ENTER("Empty");
  std::lock_guard<std::mutex> guard(mState);
  empty = mPages.empty() ? 1 : 0;
  return 0;
}
AAX_Result FakePageTable::GetNumPages(int32_t& pages) noexcept {
  QM_FAKE_ENTER("GetNumPages");
  std::lock_guard<std::mutex> guard(mState);
  pages = static_cast<int32_t>(mPages.size());
  return 0;
}
AAX_Result FakePageTable::InsertPage(int32_t page) noexcept {
  QM_FAKE_ENTER("InsertPage");
  std::lock_guard<std::mutex> guard(mState);
  if (page < 0 || static_cast<size_t>(page) > mPages.size()) return AAX_ERROR_INVALID_ARGUMENT;
  mPages.insert(mPages.begin() + page, std::map<int32_t, std::string>());
  return 0;
}
AAX_Result FakePageTable::RemovePage(int32_t page) noexcept {
  QM_FAKE_ENTER("RemovePage");
  std::lock_guard<std::mutex> guard(mState);
  if (page < 0 || static_cast<size_t>(page) >= mPages.size()) return AAX_ERROR_INVALID_ARGUMENT;
  mPages.erase(mPages.begin() + page);
  return 0;
}
AAX_Result FakePageTable::GetNumMappedParameterIDs(int32_t page, int32_t& count) noexcept {
  QM_FAKE_ENTER("GetNumMappedParameterIDs");
  std::lock_guard<std::mutex> guard(mState);
  if (page < 0 || static_cast<size_t>(page) >= mPages.size()) return AAX_ERROR_INVALID_ARGUMENT;
  count = static_cast<int32_t>(mPages[static_cast<size_t>(page)].size());
  return 0;
}
AAX_Result FakePageTable::ClearMappedParameter(int32_t page, int32_t slot) noexcept {
  QM_FAKE_ENTER("ClearMappedParameter");
  std::lock_guard<std::mutex> guard(mState);
  if (page < 0 || static_cast<size_t>(page) >= mPages.size()) return AAX_ERROR_INVALID_ARGUMENT;
  mPages[static_cast<size_t>(page)].erase(slot);
  return 0;
}
AAX_Result FakePageTable::GetMappedParameterID(int32_t page, int32_t slot, AAX_IString& id) noexcept {
  QM_FAKE_ENTER("GetMappedParameterID");
  std::lock_guard<std::mutex> guard(mState);
  if (page < 0 || static_cast<size_t>(page) >= mPages.size()) return AAX_ERROR_INVALID_ARGUMENT;
  const auto found = mPages[static_cast<size_t>(page)].find(slot);
  id.Set(found == mPages[static_cast<size_t>(page)].end() ? "" : found->second.c_str());
  return 0;
}
AAX_Result FakePageTable::MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) noexcept {
  QM_FAKE_ENTER("MapParameterID");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  if (page < 0 || static_cast<size_t>(page) >= mPages.size()) return AAX_ERROR_INVALID_ARGUMENT;
  mPages[static_cast<size_t>(page)][slot] = id;
  return 0;
}
AAX_Result FakePageTable::GetNumParametersWithNameVariations(int32_t& count) noexcept {
  QM_FAKE_ENTER("GetNumParametersWithNameVariations");
  std::lock_guard<std::mutex> guard(mState);
  count = static_cast<int32_t>(mVariations.size());
  return 0;
}
AAX_Result FakePageTable::GetNameVariationParameterIDAtIndex(int32_t index, AAX_IString& id) noexcept {
  QM_FAKE_ENTER("GetNameVariationParameterIDAtIndex");
  std::lock_guard<std::mutex> guard(mState);
  if (index < 0 || static_cast<size_t>(index) >= mVariations.size()) return AAX_ERROR_INVALID_ARGUMENT;
  id.Set(std::next(mVariations.begin(), index)->first.c_str());
  return 0;
}
AAX_Result FakePageTable::GetNumNameVariationsForParameter(AAX_CParamID id, int32_t& count) noexcept {
  QM_FAKE_ENTER("GetNumNameVariationsForParameter");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mVariations.find(id);
  count = found == mVariations.end() ? 0 : static_cast<int32_t>(found->second.size());
  return 0;
}
AAX_Result FakePageTable::GetParameterNameVariationAtIndex(AAX_CParamID id, int32_t index, AAX_IString& name,
                                                           int32_t& length) noexcept {
  QM_FAKE_ENTER("GetParameterNameVariationAtIndex");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mVariations.find(id);
  if (found == mVariations.end() || index < 0 || static_cast<size_t>(index) >= found->second.size()) {
    return AAX_ERROR_INVALID_ARGUMENT;
  }
  const auto entry = std::next(found->second.begin(), index);
  name.Set(entry->second.c_str());
  length = entry->first;
  return 0;
}
AAX_Result FakePageTable::GetParameterNameVariationOfLength(AAX_CParamID id, int32_t length, AAX_IString& name) noexcept {
  QM_FAKE_ENTER("GetParameterNameVariationOfLength");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mVariations.find(id);
  if (found == mVariations.end()) return AAX_ERROR_INVALID_ARGUMENT;
  const auto entry = found->second.find(length);
  if (entry == found->second.end()) return AAX_ERROR_INVALID_ARGUMENT;
  name.Set(entry->second.c_str());
  return 0;
}
AAX_Result FakePageTable::ClearParameterNameVariations() noexcept {
  QM_FAKE_ENTER("ClearParameterNameVariations");
  std::lock_guard<std::mutex> guard(mState);
  mVariations.clear();
  return 0;
}
AAX_Result FakePageTable::ClearNameVariationsForParameter(AAX_CParamID id) noexcept {
  QM_FAKE_ENTER("ClearNameVariationsForParameter");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mVariations.erase(id);
  return 0;
}
AAX_Result FakePageTable::SetParameterNameVariation(AAX_CParamID id, const AAX_IString& name, int32_t length) noexcept {
  QM_FAKE_ENTER("SetParameterNameVariation");
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  std::lock_guard<std::mutex> guard(mState);
  mVariations[id][length] = name.Get() ? name.Get() : "";
  return 0;
}

// ---- host services ----

FakeHostServices::FakeHostServices() : FakeObject("host services") {
  auto* services = static_cast<AAX_IACFHostServices_V3*>(this);
  OfferVersions(services, {IID_IAAXHostServicesV1, IID_IAAXHostServicesV2, IID_IAAXHostServicesV3});
}

std::vector<FakeHostServices::TraceLine> FakeHostServices::Traces() const {
  std::lock_guard<std::mutex> guard(mState);
  return mTraces;
}
std::vector<FakeHostServices::TraceLine> FakeHostServices::StackTraces() const {
  std::lock_guard<std::mutex> guard(mState);
  return mStackTraces;
}
std::vector<FakeHostServices::AssertReport> FakeHostServices::Asserts() const {
  std::lock_guard<std::mutex> guard(mState);
  return mAsserts;
}
bool FakeHostServices::Traced(const std::string& text) const {
  std::lock_guard<std::mutex> guard(mState);
  for (const TraceLine& line : mTraces) {
    if (line.text.find(text) != std::string::npos) return true;
  }
  return false;
}
void FakeHostServices::ClearRecords() {
  std::lock_guard<std::mutex> guard(mState);
  mTraces.clear();
  mStackTraces.clear();
  mAsserts.clear();
}

AAX_Result FakeHostServices::Trace(int32_t priority, const char* message) noexcept {
  QM_FAKE_ENTER("Trace");
  std::lock_guard<std::mutex> guard(mState);
  mTraces.push_back(TraceLine{priority, message ? message : ""});
  return 0;
}
AAX_Result FakeHostServices::StackTrace(int32_t traceLevel, int32_t, const char* message) noexcept {
  QM_FAKE_ENTER("StackTrace");
  std::lock_guard<std::mutex> guard(mState);
  mStackTraces.push_back(TraceLine{traceLevel, message ? message : ""});
  return 0;
}
AAX_Result FakeHostServices::HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t options) noexcept {
  QM_FAKE_ENTER("HandleAssertFailure");
  std::lock_guard<std::mutex> guard(mState);
  mAsserts.push_back(AssertReport{file ? file : "", line, note ? note : "", options});
  return 0;
}

}  // namespace qm::host
