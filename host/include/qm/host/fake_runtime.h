// Fake run-time host objects: controller, transport, host-processor delegate, automation
// delegate, view container, page table and host services. Each answers its newest
// version by default; SetVersion makes it an older host. Calls are logged by name.
#pragma once

#include "AAX_Errors.h"
#include "AAX_IACFAutomationDelegate.h"
#include "AAX_IACFController.h"
#include "AAX_IACFHostProcessorDelegate.h"
#include "AAX_IACFHostServices.h"
#include "AAX_IACFPageTable.h"
#include "AAX_IACFPageTableController.h"
#include "AAX_IACFTransport.h"
#include "AAX_IACFTransportControl.h"
#include "AAX_IACFViewContainer.h"
#include "qm/host/fake_object.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm::host {


// Controller, versions 1-5 (group 0), and page-table controller, versions 1-2 (group 1).
class FakeController final : public AAX_IACFController_V5, public AAX_IACFPageTableController_V2, public FakeObject {
public:
  static constexpr int kPageTableControllerGroup = 1;

  FakeController();
  QM_FAKE_UNKNOWN

  struct Notification {
    AAX_CTypeID type;
    std::vector<uint8_t> data;
  };
  struct Packet {
    AAX_CFieldIndex field;
    std::vector<uint8_t> data;
  };

  void SetSampleRate(float rate);
  void SetHostName(std::string name);
  void SetEffectID(std::string id);
  void SetIsAudioSuite(bool audioSuite);
  std::vector<Notification> Notifications() const;
  std::vector<Packet> Packets() const;

  AAX_Result GetEffectID(AAX_IString* effectID) noexcept override;
  AAX_Result GetSampleRate(float* sampleRate) noexcept override;
  AAX_Result GetInputStemFormat(AAX_EStemFormat* format) noexcept override;
  AAX_Result GetOutputStemFormat(AAX_EStemFormat* format) noexcept override;
  AAX_Result GetSignalLatency(int32_t* samples) noexcept override;
  AAX_Result GetCycleCount(AAX_EProperty which, int32_t* cycles) noexcept override;
  AAX_Result GetTODLocation(int64_t* location) noexcept override;
  AAX_Result SetSignalLatency(int32_t samples) noexcept override;
  AAX_Result SetCycleCount(AAX_EProperty* which, int32_t* values, int32_t count) noexcept override;
  AAX_Result PostPacket(AAX_CFieldIndex field, const void* payload, uint32_t size) noexcept override;
  AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* value) noexcept override;
  AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* value) noexcept override;
  AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) noexcept override;
  AAX_Result GetMeterClipped(AAX_CTypeID meterID, uint8_t* clipped) noexcept override;
  AAX_Result ClearMeterClipped(AAX_CTypeID meterID) noexcept override;
  AAX_Result GetMeterCount(uint32_t* count) noexcept override;
  AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* port, AAX_CMidiPacket* packet) noexcept override;
  AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) noexcept override;
  AAX_Result GetHybridSignalLatency(int32_t* samples) noexcept override;
  AAX_Result GetCurrentAutomationTimestamp(int64_t* timestamp) noexcept override;
  AAX_Result GetHostName(AAX_IString* name) noexcept override;
  AAX_Result GetPlugInTargetPlatform(int32_t* platform) noexcept override;
  AAX_Result GetIsAudioSuite(uint8_t* isAudioSuite) noexcept override;
  AAX_Result GetInstanceGroupID(uint64_t* id) noexcept override;
  AAX_Result RegisterForNotification(AAX_CTypeID type, const IACFUnknown* receiver) noexcept override;
  AAX_Result GetInstanceID(uint32_t* id) noexcept override;

  AAX_Result CopyTableForEffect(AAX_CTypeID manufacturerID, AAX_CTypeID productID, AAX_CTypeID plugInID,
                                uint32_t tableType, int32_t tablePageSize, IACFUnknown* pageTable) noexcept override;
  AAX_Result CopyTableForLayout(const char* effectID, const char* layoutName, uint32_t tableType, int32_t tablePageSize,
                                IACFUnknown* pageTable) noexcept override;
  AAX_Result CopyTableOfLayoutForEffectFromFile(const char* path, AAX_ETextEncoding encoding, AAX_CTypeID manufacturerID,
                                                AAX_CTypeID productID, AAX_CTypeID plugInID, uint32_t tableType,
                                                int32_t tablePageSize, IACFUnknown* pageTable) noexcept override;
  AAX_Result CopyTableForLayoutFromFile(const char* path, AAX_ETextEncoding encoding, const char* layoutName,
                                        uint32_t tableType, int32_t tablePageSize, IACFUnknown* pageTable) noexcept override;

private:
  AAX_Result FillPageTable(IACFUnknown* pageTable);

  mutable std::mutex mState;
  float mSampleRate = 48000.0f;
  std::string mHostName = "Pro Tools";
  std::string mEffectID = "com.quillomancer.aax.quillomancer";
  int32_t mLatency = 0;
  bool mAudioSuite = true;
  std::vector<Notification> mNotifications;
  std::vector<Packet> mPackets;
};

// Transport, versions 1-5 (group 0), and transport control (group 1).
class FakeTransport final : public AAX_IACFTransport_V5, public AAX_IACFTransportControl, public FakeObject {
public:
  static constexpr int kTransportControlGroup = 1;

  FakeTransport();
  QM_FAKE_UNKNOWN

  void SetTimelineSelection(int64_t start, int64_t end);
  void SetTempo(double bpm);
  bool Playing() const;

  AAX_Result GetCurrentTempo(double* bpm) noexcept override;
  AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) noexcept override;
  AAX_Result IsTransportPlaying(bool* playing) noexcept override;
  AAX_Result GetCurrentTickPosition(int64_t* ticks) noexcept override;
  AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* loopStart, int64_t* loopEnd) noexcept override;
  AAX_Result GetCurrentNativeSampleLocation(int64_t* location) noexcept override;
  AAX_Result GetCustomTickPosition(int64_t* ticks, int64_t sampleLocation) noexcept override;
  AAX_Result GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t sampleLocation) noexcept override;
  AAX_Result GetTicksPerQuarter(uint32_t* ticks) noexcept override;
  AAX_Result GetCurrentTicksPerBeat(uint32_t* ticks) noexcept override;
  AAX_Result GetTimelineSelectionStartPosition(int64_t* location) noexcept override;
  AAX_Result GetTimeCodeInfo(AAX_EFrameRate* rate, int32_t* offset) noexcept override;
  AAX_Result GetFeetFramesInfo(AAX_EFeetFramesRate* rate, int64_t* offset) noexcept override;
  AAX_Result IsMetronomeEnabled(int32_t* enabled) noexcept override;
  AAX_Result GetHDTimeCodeInfo(AAX_EFrameRate* rate, int64_t* offset) noexcept override;
  AAX_Result GetTimelineSelectionEndPosition(int64_t* location) noexcept override;
  AAX_Result GetKeySignature(int64_t sampleLocation, uint32_t* keySignature) noexcept override;
  AAX_Result RequestTransportStart() noexcept override;
  AAX_Result RequestTransportStop() noexcept override;

private:
  mutable std::mutex mState;
  int64_t mSelectionStart = 0;
  int64_t mSelectionEnd = 0;
  double mTempo = 120.0;
  bool mPlaying = false;
};

// Host-processor delegate, versions 1-3: reads the timeline audio a test sets, and runs a
// test's hook when the plug-in asks for an analysis or render pass.
class FakeHostProcessorDelegate final : public AAX_IACFHostProcessorDelegate_V3, public FakeObject {
public:
  FakeHostProcessorDelegate();
  QM_FAKE_UNKNOWN

  // Channels of timeline audio, all starting at sample 0; the shared form keeps the caller's audio
  // instead of a copy.
  void SetTimelineAudio(std::vector<std::vector<float>> channels);
  void SetTimelineAudio(std::shared_ptr<const std::vector<std::vector<float>>> channels);
  // Timeline audio read as it is asked for: `read(location, count, buffers, channels)` fills each
  // buffer with `count` samples from `location` (silence where the timeline has none). Takes the
  // place of channels set before. Called on the thread that asks for audio.
  using TimelineReader = std::function<bool(int64_t location, int32_t count, float* const* buffers, int32_t channels)>;
  void SetTimelineAudioReader(TimelineReader read);
  void SetSideChainInputNum(int32_t count);
  void OnForceAnalyze(std::function<AAX_Result()> hook);
  void OnForceProcess(std::function<AAX_Result()> hook);

  // Copies *ioNumSamples samples from `location` into each buffer (zeros outside the audio).
  AAX_Result GetAudio(const float* const* audioIns, int32_t audioInCount, int64_t location, int32_t* ioNumSamples) noexcept override;
  int32_t GetSideChainInputNum() noexcept override;
  AAX_Result ForceAnalyze() noexcept override;
  AAX_Result ForceProcess() noexcept override;

private:
  mutable std::mutex mState;
  std::shared_ptr<const std::vector<std::vector<float>>> mChannels;
  TimelineReader mReader;
  int32_t mSideChains = 0;
  std::function<AAX_Result()> mOnAnalyze;
  std::function<AAX_Result()> mOnProcess;
};

class FakeAutomationDelegate final : public AAX_IACFAutomationDelegate, public FakeObject {
public:
  FakeAutomationDelegate();
  QM_FAKE_UNKNOWN

  struct Post {
    std::string id;
    double value;
  };
  std::vector<std::string> Registered() const;
  std::vector<Post> SetValueRequests() const;
  std::vector<Post> CurrentValues() const;
  void SetTouched(const std::string& id, bool touched);

  AAX_Result RegisterParameter(AAX_CParamID id) noexcept override;
  AAX_Result UnregisterParameter(AAX_CParamID id) noexcept override;
  AAX_Result PostSetValueRequest(AAX_CParamID id, double normalizedValue) noexcept override;
  AAX_Result PostCurrentValue(AAX_CParamID id, double normalizedValue) noexcept override;
  AAX_Result PostTouchRequest(AAX_CParamID id) noexcept override;
  AAX_Result PostReleaseRequest(AAX_CParamID id) noexcept override;
  AAX_Result GetTouchState(AAX_CParamID id, uint8_t* touched) noexcept override;

private:
  mutable std::mutex mState;
  std::vector<std::string> mRegistered;
  std::vector<Post> mSetRequests;
  std::vector<Post> mCurrentValues;
  std::map<std::string, bool> mTouched;
};

// View container, versions 1-3. The framework's wrapper keeps its references by design,
// so its balance is not checked.
class FakeViewContainer final : public AAX_IACFViewContainer_V3, public FakeObject {
public:
  FakeViewContainer(int32_t type = 1, void* view = nullptr);
  QM_FAKE_UNKNOWN

  AAX_Point LastViewSize() const;

  int32_t GetType() noexcept override;
  void* GetPtr() noexcept override;
  AAX_Result GetModifiers(uint32_t* modifiers) noexcept override;
  AAX_Result SetViewSize(AAX_Point& size) noexcept override;
  AAX_Result HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) noexcept override;
  AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) noexcept override;
  AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) noexcept override;
  AAX_Result HandleParameterMouseEnter(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleParameterMouseExit(AAX_CParamID id, uint32_t modifiers) noexcept override;

private:
  mutable std::mutex mState;
  int32_t mType;
  void* mView;
  AAX_Point mSize;
};

// Page table, versions 1-2: pages of parameter slots and name variations.
class FakePageTable final : public AAX_IACFPageTable_V2, public FakeObject {
public:
  FakePageTable();
  QM_FAKE_UNKNOWN

  AAX_Result Clear() noexcept override;
  AAX_Result Empty(uint8_t& empty) noexcept override;
  AAX_Result GetNumPages(int32_t& pages) noexcept override;
  AAX_Result InsertPage(int32_t page) noexcept override;
  AAX_Result RemovePage(int32_t page) noexcept override;
  AAX_Result GetNumMappedParameterIDs(int32_t page, int32_t& count) noexcept override;
  AAX_Result ClearMappedParameter(int32_t page, int32_t slot) noexcept override;
  AAX_Result GetMappedParameterID(int32_t page, int32_t slot, AAX_IString& id) noexcept override;
  AAX_Result MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) noexcept override;
  AAX_Result GetNumParametersWithNameVariations(int32_t& count) noexcept override;
  AAX_Result GetNameVariationParameterIDAtIndex(int32_t index, AAX_IString& id) noexcept override;
  AAX_Result GetNumNameVariationsForParameter(AAX_CParamID id, int32_t& count) noexcept override;
  AAX_Result GetParameterNameVariationAtIndex(AAX_CParamID id, int32_t index, AAX_IString& name, int32_t& length) noexcept override;
  AAX_Result GetParameterNameVariationOfLength(AAX_CParamID id, int32_t length, AAX_IString& name) noexcept override;
  AAX_Result ClearParameterNameVariations() noexcept override;
  AAX_Result ClearNameVariationsForParameter(AAX_CParamID id) noexcept override;
  AAX_Result SetParameterNameVariation(AAX_CParamID id, const AAX_IString& name, int32_t length) noexcept override;

private:
  mutable std::mutex mState;
  std::vector<std::map<int32_t, std::string>> mPages;
  std::map<std::string, std::map<int32_t, std::string>> mVariations;  // id -> length -> name
};

// Host services, versions 1-3: captures trace lines, stack traces and assertion reports.
class FakeHostServices final : public AAX_IACFHostServices_V3, public FakeObject {
public:
  FakeHostServices();
  QM_FAKE_UNKNOWN

  struct TraceLine {
    int32_t priority;
    std::string text;
  };
  struct AssertReport {
    std::string file;
    int32_t line;
    std::string note;
    int32_t options;
  };
  std::vector<TraceLine> Traces() const;
  std::vector<TraceLine> StackTraces() const;
  std::vector<AssertReport> Asserts() const;
  // True when a trace line contains `text`.
  bool Traced(const std::string& text) const;
  void ClearRecords();

  AAX_Result ReservedSlot3() noexcept override { return AAX_ERROR_UNIMPLEMENTED; }
  AAX_Result Trace(int32_t priority, const char* message) noexcept override;
  AAX_Result StackTrace(int32_t traceLevel, int32_t stackTraceLevel, const char* message) noexcept override;
  AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t options) noexcept override;

private:
  mutable std::mutex mState;
  std::vector<TraceLine> mTraces;
  std::vector<TraceLine> mStackTraces;
  std::vector<AssertReport> mAsserts;
};

}  // namespace qm::host
