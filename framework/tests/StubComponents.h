// Components that answer 0 to every host call: enough to exercise counting and queries.
#pragma once

#include "AAX_IEffectGUI.h"
#include "AAX_IEffectParameters.h"
#include "AAX_IHostProcessor.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

class StubEffectParameters : public AAX_IEffectParameters {
public:
  AAX_Result Initialize(IACFUnknown* controller) noexcept override { return 0; }
  AAX_Result Uninitialize() noexcept override { return 0; }
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept override { return 0; }
  AAX_Result GetNumberOfParameters(int32_t* count) noexcept override { return 0; }
  AAX_Result GetMasterBypassParameter(AAX_IString* id) noexcept override { return 0; }
  AAX_Result GetParameterIsAutomatable(AAX_CParamID id, uint8_t* automatable) noexcept override { return 0; }
  AAX_Result GetParameterNumberOfSteps(AAX_CParamID id, int32_t* steps) noexcept override { return 0; }
  AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* name) noexcept override { return 0; }
  AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t length) noexcept override { return 0; }
  AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) noexcept override { return 0; }
  AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept override { return 0; }
  AAX_Result GetParameterType(AAX_CParamID id, AAX_EParameterType* type) noexcept override { return 0; }
  AAX_Result GetParameterOrientation(AAX_CParamID id, int32_t* orientation) noexcept override { return 0; }
  AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** parameter) noexcept override { return 0; }
  AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* index) noexcept override { return 0; }
  AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) noexcept override { return 0; }
  AAX_Result GetParameterValueInfo(AAX_CParamID id, int32_t selector, int32_t* value) noexcept override { return 0; }
  AAX_Result GetParameterValueFromString(AAX_CParamID id, double* value, const AAX_IString& text) noexcept override { return 0; }
  AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* text, int32_t maxLength) noexcept override { return 0; }
  AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* text, int32_t maxLength) noexcept override { return 0; }
  AAX_Result GetParameterNormalizedValue(AAX_CParamID id, double* value) noexcept override { return 0; }
  AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept override { return 0; }
  AAX_Result SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override { return 0; }
  AAX_Result TouchParameter(AAX_CParamID id) noexcept override { return 0; }
  AAX_Result ReleaseParameter(AAX_CParamID id) noexcept override { return 0; }
  AAX_Result UpdateParameterTouch(AAX_CParamID id, uint8_t touched) noexcept override { return 0; }
  AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource source) noexcept override { return 0; }
  AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override { return 0; }
  AAX_Result GenerateCoefficients() noexcept override { return 0; }
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) noexcept override { return 0; }
  AAX_Result GetNumberOfChunks(int32_t* count) noexcept override { return 0; }
  AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) noexcept override { return 0; }
  AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) noexcept override { return 0; }
  AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) noexcept override { return 0; }
  AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override { return 0; }
  AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, uint8_t* isEqual) noexcept override { return 0; }
  AAX_Result GetNumberOfChanges(int32_t* changes) noexcept override { return 0; }
  AAX_Result TimerWakeup() noexcept override { return 0; }
  AAX_Result GetCurveData(AAX_CTypeID curveType, const float* values, uint32_t count, float* outValues) noexcept override { return 0; }
  AAX_Result GetCustomData(AAX_CTypeID block, uint32_t size, void* data, uint32_t* written) noexcept override { return 0; }
  AAX_Result SetCustomData(AAX_CTypeID block, uint32_t size, const void* data) noexcept override { return 0; }
  AAX_Result DoMIDITransfers() noexcept override { return 0; }
  AAX_Result RenderAudio_Hybrid(AAX_SHybridRenderInfo* info) noexcept override { return 0; }
  AAX_Result UpdateMIDINodes(AAX_CFieldIndex field, AAX_CMidiPacket& packet) noexcept override { return 0; }
  AAX_Result UpdateControlMIDINodes(AAX_CTypeID nodeID, AAX_CMidiPacket& packet) noexcept override { return 0; }
  AAX_Result GetCurveDataMeterIds(AAX_CTypeID curveType, uint32_t* xMeterID, uint32_t* yMeterID) noexcept override { return 0; }
  AAX_Result GetCurveDataDisplayRange(AAX_CTypeID curveType, float* xMin, float* xMax, float* yMin, float* yMax) noexcept override { return 0; }
  AAX_Result UpdatePageTable(uint32_t tableType, int32_t tablePageSize, IACFUnknown* host, IACFUnknown* pageTable) noexcept override { return 0; }
};

class StubHostProcessor : public AAX_IHostProcessor {
public:
  AAX_Result Initialize(IACFUnknown* host) noexcept override { return 0; }
  AAX_Result Uninitialize() noexcept override { return 0; }
  AAX_Result InitOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t* dstStart, int64_t* dstEnd) noexcept override { return 0; }
  AAX_Result SetLocation(int64_t location) noexcept override { return 0; }
  AAX_Result RenderAudio(const float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount, int32_t* windowSize) noexcept override { return 0; }
  AAX_Result PreRender(int32_t inputCount, int32_t outputCount, int32_t windowSize) noexcept override { return 0; }
  AAX_Result PostRender() noexcept override { return 0; }
  AAX_Result AnalyzeAudio(const float* const* inputs, int32_t inputCount, int32_t* windowSize) noexcept override { return 0; }
  AAX_Result PreAnalyze(int32_t inputCount, int32_t windowSize) noexcept override { return 0; }
  AAX_Result PostAnalyze() noexcept override { return 0; }
  AAX_Result GetClipNameSuffix(int32_t maxLength, AAX_IString* suffix) noexcept override { return 0; }
};

class StubEffectGUI : public AAX_IEffectGUI {
public:
  AAX_Result Initialize(IACFUnknown* host) noexcept override { return 0; }
  AAX_Result Uninitialize() noexcept override { return 0; }
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept override { return 0; }
  AAX_Result SetViewContainer(IACFUnknown* container) noexcept override { return 0; }
  AAX_Result GetViewSize(AAX_Point* size) noexcept override { return 0; }
  AAX_Result Draw(AAX_Rect* area) noexcept override { return 0; }
  AAX_Result TimerWakeup() noexcept override { return 0; }
  AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override { return 0; }
  AAX_Result GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept override { return 0; }
  AAX_Result SetControlHighlightInfo(AAX_CParamID id, uint8_t highlighted, AAX_EHighlightColor color) noexcept override { return 0; }
  AAX_Result GetMinimumViewSize(AAX_Point* size) noexcept override { return 0; }
};

#pragma GCC diagnostic pop
