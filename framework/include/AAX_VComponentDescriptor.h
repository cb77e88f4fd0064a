// Versioned wrapper of a host component descriptor. Owns the property maps it makes.
#pragma once

#include "AAX_IACFComponentDescriptor.h"
#include "AAX_IComponentDescriptor.h"
#include "ACFPtr.h"

#include <set>

class AAX_VComponentDescriptor : public AAX_IComponentDescriptor {
public:
  explicit AAX_VComponentDescriptor(IACFUnknown* host);
  ~AAX_VComponentDescriptor() override;
  AAX_VComponentDescriptor(const AAX_VComponentDescriptor&) = delete;
  AAX_VComponentDescriptor& operator=(const AAX_VComponentDescriptor&) = delete;

  AAX_Result Clear() override;
  AAX_Result AddAudioIn(AAX_CFieldIndex field) override;
  AAX_Result AddAudioOut(AAX_CFieldIndex field) override;
  AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) override;
  AAX_Result AddSampleRate(AAX_CFieldIndex field) override;
  AAX_Result AddClock(AAX_CFieldIndex field) override;
  AAX_Result AddSideChainIn(AAX_CFieldIndex field) override;
  AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, AAX_EDataInPortType type) override;
  AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) override;
  AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) override;
  AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) override;
  AAX_Result AddDmaInstance(AAX_CFieldIndex field, AAX_IDma::EMode mode) override;
  AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) override;
  AAX_Result AddMIDINode(AAX_CFieldIndex field, AAX_EMIDINodeType type, const char* name, uint32_t channelMask) override;
  AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) override;
  AAX_IPropertyMap* NewPropertyMap() const override;
  AAX_IPropertyMap* DuplicatePropertyMap(AAX_IPropertyMap* source) const override;
  AAX_Result AddProcessProc_Native(void* processProc, AAX_IPropertyMap* properties, void* instanceInitProc,
                                   void* backgroundProc, AAX_CTypeID* outProcID) override;
  AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcName, AAX_IPropertyMap* properties,
                               const char* instanceInitProcName, const char* backgroundProcName,
                               AAX_CTypeID* outProcID) override;
  // With the host's third version the host registers the procedures; otherwise they are
  // registered one by one from the map's properties and listed, ending in 0, in outProcIDs.
  AAX_Result AddProcessProc(AAX_IPropertyMap* properties, AAX_CTypeID* outProcIDs, int32_t outProcIDsSize) override;

  AAX_IACFComponentDescriptor* GetIUnknown() const { return mIComponentDescriptor.inArg(); }

  // Pointer properties that registration of process procedures reads: 36 to 42.
  // Built once, safely from any thread.
  static const std::set<AAX_EProperty>& PointerPropertiesUsedByAddProcessProc();

private:
  AAX_Result AddProcessProcsOneByOne(AAX_IPropertyMap* properties, AAX_CTypeID* outProcIDs, int32_t outProcIDsSize);

  ACFPtr<IACFUnknown> mHostUnknown;
  ACFPtr<AAX_IACFComponentDescriptor> mIComponentDescriptor;
  ACFPtr<AAX_IACFComponentDescriptor_V2> mIComponentDescriptorV2;
  ACFPtr<AAX_IACFComponentDescriptor_V3> mIComponentDescriptorV3;
  mutable std::set<AAX_IPropertyMap*> mPropertyMaps;
};
