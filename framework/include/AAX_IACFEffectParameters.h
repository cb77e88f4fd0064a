// Host-facing interface of the data-model component, versions 1 to 4. Each version appends
// its operations to the previous table; QueryInterface, AddRef and Release are slots 0 to 2.
#pragma once

#include "AAX.h"
#include "AAX_IString.h"
#include "IACFUnknown.h"

class AAX_IParameter;

class AAX_IACFEffectParameters : public IACFUnknown {
public:
  // [host-thread] unless noted; every operation answers an AAX result code.
  virtual AAX_Result Initialize(IACFUnknown* controller) noexcept = 0;                       // 3
  virtual AAX_Result Uninitialize() noexcept = 0;                                            // 4
  virtual AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept = 0;
  virtual AAX_Result GetNumberOfParameters(int32_t* count) noexcept = 0;
  virtual AAX_Result GetMasterBypassParameter(AAX_IString* id) noexcept = 0;
  virtual AAX_Result GetParameterIsAutomatable(AAX_CParamID id, uint8_t* automatable) noexcept = 0;
  virtual AAX_Result GetParameterNumberOfSteps(AAX_CParamID id, int32_t* steps) noexcept = 0;
  virtual AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* name) noexcept = 0;
  virtual AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t length) noexcept = 0;
  virtual AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) noexcept = 0;
  virtual AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept = 0;
  virtual AAX_Result GetParameterType(AAX_CParamID id, AAX_EParameterType* type) noexcept = 0;
  virtual AAX_Result GetParameterOrientation(AAX_CParamID id, int32_t* orientation) noexcept = 0;
  virtual AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** parameter) noexcept = 0;
  virtual AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* index) noexcept = 0;
  virtual AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) noexcept = 0;
  virtual AAX_Result GetParameterValueInfo(AAX_CParamID id, int32_t selector, int32_t* value) noexcept = 0;
  virtual AAX_Result GetParameterValueFromString(AAX_CParamID id, double* value, const AAX_IString& text) noexcept = 0;
  virtual AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* text, int32_t maxLength) noexcept = 0;
  virtual AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* text, int32_t maxLength) noexcept = 0;
  virtual AAX_Result GetParameterNormalizedValue(AAX_CParamID id, double* value) noexcept = 0;
  virtual AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept = 0;
  virtual AAX_Result SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept = 0;
  virtual AAX_Result TouchParameter(AAX_CParamID id) noexcept = 0;
  virtual AAX_Result ReleaseParameter(AAX_CParamID id) noexcept = 0;
  virtual AAX_Result UpdateParameterTouch(AAX_CParamID id, uint8_t touched) noexcept = 0;
  virtual AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource source) noexcept = 0;
  virtual AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept = 0;
  virtual AAX_Result GenerateCoefficients() noexcept = 0;
  virtual AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) noexcept = 0;
  virtual AAX_Result GetNumberOfChunks(int32_t* count) noexcept = 0;
  virtual AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) noexcept = 0;
  virtual AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) noexcept = 0;
  virtual AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) noexcept = 0;
  virtual AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept = 0;
  virtual AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, uint8_t* isEqual) noexcept = 0;
  virtual AAX_Result GetNumberOfChanges(int32_t* changes) noexcept = 0;
  virtual AAX_Result TimerWakeup() noexcept = 0;  // [main-thread]
  virtual AAX_Result GetCurveData(AAX_CTypeID curveType, const float* values, uint32_t count, float* outValues) noexcept = 0;
  virtual AAX_Result GetCustomData(AAX_CTypeID block, uint32_t size, void* data, uint32_t* written) noexcept = 0;
  virtual AAX_Result SetCustomData(AAX_CTypeID block, uint32_t size, const void* data) noexcept = 0;
  virtual AAX_Result DoMIDITransfers() noexcept = 0;
};

class AAX_IACFEffectParameters_V2 : public AAX_IACFEffectParameters {
public:
  virtual AAX_Result RenderAudio_Hybrid(AAX_SHybridRenderInfo* info) noexcept = 0;
  virtual AAX_Result UpdateMIDINodes(AAX_CFieldIndex field, AAX_CMidiPacket& packet) noexcept = 0;
  virtual AAX_Result UpdateControlMIDINodes(AAX_CTypeID nodeID, AAX_CMidiPacket& packet) noexcept = 0;
};

class AAX_IACFEffectParameters_V3 : public AAX_IACFEffectParameters_V2 {
public:
  virtual AAX_Result GetCurveDataMeterIds(AAX_CTypeID curveType, uint32_t* xMeterID, uint32_t* yMeterID) noexcept = 0;
  virtual AAX_Result GetCurveDataDisplayRange(AAX_CTypeID curveType, float* xMin, float* xMax, float* yMin, float* yMax) noexcept = 0;
};

class AAX_IACFEffectParameters_V4 : public AAX_IACFEffectParameters_V3 {
public:
  virtual AAX_Result UpdatePageTable(uint32_t tableType, int32_t tablePageSize, IACFUnknown* host, IACFUnknown* pageTable) noexcept = 0;
};
