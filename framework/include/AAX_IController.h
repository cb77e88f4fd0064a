// The host's controller as the framework and the plug-in see it (wrapper: AAX_VController).
#pragma once

#include "AAX.h"
#include "AAX_IString.h"
#include "IACFUnknown.h"

class AAX_IPageTable;

class AAX_IController {
public:
  virtual ~AAX_IController() = default;
  virtual AAX_Result GetEffectID(AAX_IString* effectID) const = 0;
  virtual AAX_Result GetSampleRate(float* sampleRate) const = 0;
  virtual AAX_Result GetInputStemFormat(AAX_EStemFormat* format) const = 0;
  virtual AAX_Result GetOutputStemFormat(AAX_EStemFormat* format) const = 0;
  virtual AAX_Result GetSignalLatency(int32_t* samples) const = 0;
  virtual AAX_Result GetCycleCount(AAX_EProperty which, int32_t* cycles) const = 0;
  virtual AAX_Result GetTODLocation(int64_t* location) const = 0;
  virtual AAX_Result SetSignalLatency(int32_t samples) = 0;
  virtual AAX_Result SetCycleCount(AAX_EProperty* which, int32_t* values, int32_t count) = 0;
  virtual AAX_Result PostPacket(AAX_CFieldIndex field, const void* payload, uint32_t size) = 0;
  virtual AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) = 0;
  virtual AAX_Result SendNotification(AAX_CTypeID type) = 0;
  virtual AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* value) const = 0;
  virtual AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* value) const = 0;
  virtual AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const = 0;
  virtual AAX_Result GetMeterCount(uint32_t* count) const = 0;
  virtual AAX_Result GetMeterClipped(AAX_CTypeID meterID, uint8_t* clipped) const = 0;
  virtual AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const = 0;
  virtual AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* port, AAX_CMidiPacket* packet) = 0;
  virtual AAX_Result GetHybridSignalLatency(int32_t* samples) const = 0;
  // Without the host's second version this stores 0 before answering -20009.
  virtual AAX_Result GetCurrentAutomationTimestamp(int64_t* timestamp) const = 0;
  virtual AAX_Result GetHostName(AAX_IString* name) const = 0;
  virtual AAX_Result GetPlugInTargetPlatform(int32_t* platform) const = 0;
  virtual AAX_Result GetIsAudioSuite(uint8_t* isAudioSuite) const = 0;
  virtual AAX_Result GetInstanceGroupID(uint64_t* id) const = 0;
  virtual AAX_Result GetInstanceID(uint32_t* id) const = 0;
  virtual AAX_Result RegisterForNotification(AAX_CTypeID type, const IACFUnknown* receiver) = 0;
  // Each answers a new page table that the caller owns, or null.
  virtual AAX_IPageTable* CreateTableCopyForEffect(AAX_CTypeID manufacturerID, AAX_CTypeID productID, AAX_CTypeID plugInID,
                                                   uint32_t tableType, int32_t tablePageSize) const = 0;
  virtual AAX_IPageTable* CreateTableCopyForLayout(const char* effectID, const char* layoutName, uint32_t tableType,
                                                   int32_t tablePageSize) const = 0;
  virtual AAX_IPageTable* CreateTableCopyForEffectFromFile(const char* path, AAX_ETextEncoding encoding, AAX_CTypeID manufacturerID,
                                                           AAX_CTypeID productID, AAX_CTypeID plugInID, uint32_t tableType,
                                                           int32_t tablePageSize) const = 0;
  virtual AAX_IPageTable* CreateTableCopyForLayoutFromFile(const char* path, AAX_ETextEncoding encoding, const char* layoutName,
                                                           uint32_t tableType, int32_t tablePageSize) const = 0;
};
