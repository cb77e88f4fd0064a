// Versioned wrapper of the host's controller: routes each operation to the newest host
// version that has it and answers a fixed code when the host lacks that version.
#pragma once

#include "AAX_IACFController.h"
#include "AAX_IACFPageTableController.h"
#include "AAX_IController.h"
#include "ACFPtr.h"
#include "IACFComponentFactory.h"

class AAX_VController : public AAX_IController {
public:
  explicit AAX_VController(IACFUnknown* host);
  ~AAX_VController() override;
  AAX_VController(const AAX_VController&) = delete;
  AAX_VController& operator=(const AAX_VController&) = delete;

  // [any-thread] as far as the host allows; none of these throws.
  AAX_Result GetEffectID(AAX_IString* effectID) const override;
  AAX_Result GetSampleRate(float* sampleRate) const override;
  AAX_Result GetInputStemFormat(AAX_EStemFormat* format) const override;
  AAX_Result GetOutputStemFormat(AAX_EStemFormat* format) const override;
  AAX_Result GetSignalLatency(int32_t* samples) const override;
  AAX_Result GetCycleCount(AAX_EProperty which, int32_t* cycles) const override;
  AAX_Result GetTODLocation(int64_t* location) const override;
  AAX_Result SetSignalLatency(int32_t samples) override;
  AAX_Result SetCycleCount(AAX_EProperty* which, int32_t* values, int32_t count) override;
  AAX_Result PostPacket(AAX_CFieldIndex field, const void* payload, uint32_t size) override;
  AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) override;
  AAX_Result SendNotification(AAX_CTypeID type) override;
  AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* value) const override;
  AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* value) const override;
  AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const override;
  AAX_Result GetMeterCount(uint32_t* count) const override;
  AAX_Result GetMeterClipped(AAX_CTypeID meterID, uint8_t* clipped) const override;
  AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const override;
  AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* port, AAX_CMidiPacket* packet) override;
  AAX_Result GetHybridSignalLatency(int32_t* samples) const override;
  AAX_Result GetCurrentAutomationTimestamp(int64_t* timestamp) const override;
  AAX_Result GetHostName(AAX_IString* name) const override;
  AAX_Result GetPlugInTargetPlatform(int32_t* platform) const override;
  AAX_Result GetIsAudioSuite(uint8_t* isAudioSuite) const override;
  AAX_Result GetInstanceGroupID(uint64_t* id) const override;
  AAX_Result GetInstanceID(uint32_t* id) const override;
  AAX_Result RegisterForNotification(AAX_CTypeID type, const IACFUnknown* receiver) override;
  AAX_IPageTable* CreateTableCopyForEffect(AAX_CTypeID manufacturerID, AAX_CTypeID productID, AAX_CTypeID plugInID,
                                           uint32_t tableType, int32_t tablePageSize) const override;
  AAX_IPageTable* CreateTableCopyForLayout(const char* effectID, const char* layoutName, uint32_t tableType,
                                           int32_t tablePageSize) const override;
  AAX_IPageTable* CreateTableCopyForEffectFromFile(const char* path, AAX_ETextEncoding encoding, AAX_CTypeID manufacturerID,
                                                   AAX_CTypeID productID, AAX_CTypeID plugInID, uint32_t tableType,
                                                   int32_t tablePageSize) const override;
  AAX_IPageTable* CreateTableCopyForLayoutFromFile(const char* path, AAX_ETextEncoding encoding, const char* layoutName,
                                                   uint32_t tableType, int32_t tablePageSize) const override;

private:
  ACFPtr<IACFUnknown> NewHostPageTable() const;

  ACFPtr<AAX_IACFController> mIController;
  ACFPtr<AAX_IACFController_V2> mIControllerV2;
  ACFPtr<AAX_IACFController_V3> mIControllerV3;
  ACFPtr<AAX_IACFController_V4> mIControllerV4;
  ACFPtr<AAX_IACFController_V5> mIControllerV5;
  ACFPtr<AAX_IACFPageTableController> mIPageTableController;
  ACFPtr<AAX_IACFPageTableController_V2> mIPageTableControllerV2;
  ACFPtr<IACFComponentFactory> mComponentFactory;
};
