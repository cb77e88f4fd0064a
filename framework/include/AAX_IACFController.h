// Host interface of the controller (sample rate, host name, latency, meters, notifications),
// versions 1 to 5.
#pragma once

#include "AAX.h"
#include "AAX_IString.h"
#include "IACFUnknown.h"

class AAX_IACFController : public IACFUnknown {
public:
  virtual AAX_Result GetEffectID(AAX_IString* effectID) noexcept = 0;                                  // 3
  virtual AAX_Result GetSampleRate(float* sampleRate) noexcept = 0;                                   // 4
  virtual AAX_Result GetInputStemFormat(AAX_EStemFormat* format) noexcept = 0;                         // 5
  virtual AAX_Result GetOutputStemFormat(AAX_EStemFormat* format) noexcept = 0;                        // 6
  virtual AAX_Result GetSignalLatency(int32_t* samples) noexcept = 0;                                 // 7
  virtual AAX_Result GetCycleCount(AAX_EProperty which, int32_t* cycles) noexcept = 0;                // 8
  virtual AAX_Result GetTODLocation(int64_t* location) noexcept = 0;                                  // 9
  virtual AAX_Result SetSignalLatency(int32_t samples) noexcept = 0;                                  // 10
  virtual AAX_Result SetCycleCount(AAX_EProperty* which, int32_t* values, int32_t count) noexcept = 0;  // 11
  virtual AAX_Result PostPacket(AAX_CFieldIndex field, const void* payload, uint32_t size) noexcept = 0;  // 12
  virtual AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* value) noexcept = 0;            // 13
  virtual AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* value) noexcept = 0;               // 14
  virtual AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) noexcept = 0;                           // 15
  virtual AAX_Result GetMeterClipped(AAX_CTypeID meterID, uint8_t* clipped) noexcept = 0;             // 16
  virtual AAX_Result ClearMeterClipped(AAX_CTypeID meterID) noexcept = 0;                             // 17
  virtual AAX_Result GetMeterCount(uint32_t* count) noexcept = 0;                                     // 18
  virtual AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* port, AAX_CMidiPacket* packet) noexcept = 0;  // 19
};

class AAX_IACFController_V2 : public AAX_IACFController {
public:
  virtual AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) noexcept = 0;  // 20
  virtual AAX_Result GetHybridSignalLatency(int32_t* samples) noexcept = 0;                            // 21
  virtual AAX_Result GetCurrentAutomationTimestamp(int64_t* timestamp) noexcept = 0;            // 22
  virtual AAX_Result GetHostName(AAX_IString* name) noexcept = 0;                                      // 23
};

class AAX_IACFController_V3 : public AAX_IACFController_V2 {
public:
  virtual AAX_Result GetPlugInTargetPlatform(int32_t* platform) noexcept = 0;                         // 24
  virtual AAX_Result GetIsAudioSuite(uint8_t* isAudioSuite) noexcept = 0;                             // 25
};

class AAX_IACFController_V4 : public AAX_IACFController_V3 {
public:
  virtual AAX_Result GetInstanceGroupID(uint64_t* id) noexcept = 0;                                   // 26
};

class AAX_IACFController_V5 : public AAX_IACFController_V4 {
public:
  virtual AAX_Result RegisterForNotification(AAX_CTypeID type, const IACFUnknown* receiver) noexcept = 0;  // 27
  virtual AAX_Result GetInstanceID(uint32_t* id) noexcept = 0;                                          // 28
};
