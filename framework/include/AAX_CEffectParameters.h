// Base of the data-model component: owns the parameters (through the parameter manager),
// answers the host's parameter queries, saves and restores the parameters as one chunk
// ('elck', "Complete Controls State"), carries the custom-data channel and holds the
// controller, automation and transport wrappers from Initialize to Uninitialize.
// Derived classes override EffectInit (to add parameters) and the custom-data operations.
#pragma once

#include "AAX_CChunkDataParser.h"
#include "AAX_CPacketDispatcher.h"
#include "AAX_CParameterManager.h"
#include "AAX_IEffectParameters.h"

#include <set>
#include <string>

class AAX_IAutomationDelegate;
class AAX_IController;
class AAX_IPageTable;
class AAX_ITransport;
class AAX_ITaperDelegateBase;
class AAX_IDisplayDelegateBase;
class AAX_VAutomationDelegate;
class AAX_VController;
class AAX_VTransport;

// Identifier of the master bypass parameter; never saved, restored or compared.
constexpr const char* cDefaultMasterBypassID = "MasterBypassID";
// The one chunk the framework saves.
constexpr AAX_CTypeID cControlsChunkID = 0x656C636B;  // 'elck'
constexpr const char* cControlsChunkName = "Complete Controls State";
// Host notification that turns the "PreviewID" parameter on or off.
constexpr AAX_CTypeID cPreviewNotificationType = 0x41535076;  // 'ASPv'
constexpr const char* cPreviewParameterID = "PreviewID";

class AAX_CEffectParameters : public AAX_IEffectParameters {
public:
  AAX_CEffectParameters();
  ~AAX_CEffectParameters() override;
  AAX_CEffectParameters(const AAX_CEffectParameters&) = delete;
  AAX_CEffectParameters& operator=(const AAX_CEffectParameters&) = delete;

  // Host interface, in slot order. [host-thread] unless tagged otherwise.
  AAX_Result Initialize(IACFUnknown* host) noexcept override;  // [main-thread]
  AAX_Result Uninitialize() noexcept override;                 // [main-thread]
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept override;
  AAX_Result GetNumberOfParameters(int32_t* count) noexcept override;                  // [any-thread]
  AAX_Result GetMasterBypassParameter(AAX_IString* id) noexcept override;              // [any-thread]
  AAX_Result GetParameterIsAutomatable(AAX_CParamID id, uint8_t* automatable) noexcept override;
  AAX_Result GetParameterNumberOfSteps(AAX_CParamID id, int32_t* steps) noexcept override;
  AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* name) noexcept override;
  AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t length) noexcept override;
  AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) noexcept override;
  AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept override;
  AAX_Result GetParameterType(AAX_CParamID id, AAX_EParameterType* type) noexcept override;
  AAX_Result GetParameterOrientation(AAX_CParamID id, int32_t* orientation) noexcept override;
  AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** parameter) noexcept override;  // [any-thread]
  AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* index) noexcept override;
  AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) noexcept override;  // [any-thread]
  AAX_Result GetParameterValueInfo(AAX_CParamID id, int32_t selector, int32_t* value) noexcept override;
  AAX_Result GetParameterValueFromString(AAX_CParamID id, double* value, const AAX_IString& text) noexcept override;
  AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* text,
                                         int32_t maxLength) noexcept override;
  AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* text, int32_t maxLength) noexcept override;
  AAX_Result GetParameterNormalizedValue(AAX_CParamID id, double* value) noexcept override;
  AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept override;
  AAX_Result SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override;
  AAX_Result TouchParameter(AAX_CParamID id) noexcept override;
  AAX_Result ReleaseParameter(AAX_CParamID id) noexcept override;
  AAX_Result UpdateParameterTouch(AAX_CParamID id, uint8_t touched) noexcept override;
  AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource source) noexcept override;
  AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override;
  AAX_Result GenerateCoefficients() noexcept override;
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) noexcept override;
  AAX_Result GetNumberOfChunks(int32_t* count) noexcept override;
  AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) noexcept override;
  AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) noexcept override;
  AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) noexcept override;
  AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override;
  AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, uint8_t* isEqual) noexcept override;
  AAX_Result GetNumberOfChanges(int32_t* changes) noexcept override;
  AAX_Result TimerWakeup() noexcept override;  // [main-thread]
  AAX_Result GetCurveData(AAX_CTypeID curveType, const float* values, uint32_t count, float* outValues) noexcept override;
  AAX_Result GetCustomData(AAX_CTypeID block, uint32_t size, void* data, uint32_t* written) noexcept override;  // [any-thread]
  AAX_Result SetCustomData(AAX_CTypeID block, uint32_t size, const void* data) noexcept override;  // [any-thread]
  AAX_Result DoMIDITransfers() noexcept override;
  AAX_Result RenderAudio_Hybrid(AAX_SHybridRenderInfo* info) noexcept override;
  AAX_Result UpdateMIDINodes(AAX_CFieldIndex field, AAX_CMidiPacket& packet) noexcept override;
  AAX_Result UpdateControlMIDINodes(AAX_CTypeID nodeID, AAX_CMidiPacket& packet) noexcept override;
  AAX_Result GetCurveDataMeterIds(AAX_CTypeID curveType, uint32_t* xMeterID, uint32_t* yMeterID) noexcept override;
  AAX_Result GetCurveDataDisplayRange(AAX_CTypeID curveType, float* xMin, float* xMax, float* yMin,
                                      float* yMax) noexcept override;
  AAX_Result UpdatePageTable(uint32_t tableType, int32_t tablePageSize, IACFUnknown* host,
                             IACFUnknown* pageTable) noexcept override;

  // Hooks for the derived class.
  // [main-thread] Called by Initialize: add the parameters here. Non-zero fails Initialize.
  virtual AAX_Result EffectInit();
  // [main-thread] Called by the host-facing UpdatePageTable when the host gave a page table.
  virtual AAX_Result UpdatePageTable(uint32_t tableType, int32_t tablePageSize, AAX_IPageTable& pageTable);

  // Wrappers of the host's services, null outside Initialize..Uninitialize.
  AAX_IController* Controller();
  const AAX_IController* Controller() const;
  AAX_IAutomationDelegate* AutomationDelegate();
  const AAX_IAutomationDelegate* AutomationDelegate() const;
  AAX_ITransport* Transport();
  const AAX_ITransport* Transport() const;

  // Keeps a parameter out of the saved state (and out of restoring and comparing).
  void FilterParameterIDOnSave(AAX_CParamID id);
  bool IsParameterTouched(AAX_CParamID id) const;
  bool IsParameterLinkReady(AAX_CParamID id, AAX_EUpdateSource source) const;
  AAX_Result SetTaperDelegate(AAX_CParamID id, AAX_ITaperDelegateBase& taper, bool preserveValue);
  AAX_Result SetDisplayDelegate(AAX_CParamID id, AAX_IDisplayDelegateBase& display);

protected:
  // Fills the chunk parser with the saved parameters' values.
  void BuildChunkData();
  int32_t NumChunkedParameters() const { return mNumChunkedParameters; }

  int32_t mNumPlugInChanges = 0;
  int32_t mChunkSize = 0;
  AAX_CChunkDataParser mChunkParser;
  int32_t mNumChunkedParameters = 0;
  AAX_CPacketDispatcher mPacketDispatcher;
  AAX_CParameterManager mParameterManager;
  std::set<std::string> mFilteredParameters;

private:
  // Removes the parameters and gives back the wrappers; safe to repeat.
  void ReleaseHostWrappers() noexcept;

  AAX_VController* mController = nullptr;
  AAX_VTransport* mTransport = nullptr;
  AAX_VAutomationDelegate* mAutomationDelegate = nullptr;
};

// Normalised value (clamped to 0..1; NaN counts as 0) to the full signed 32-bit range and back.
int32_t NormalizedToInt32(double normalizedValue);
double Int32ToNormalized(int32_t value);
double BoolToNormalized(bool value);
