// Versioned wrapper of a host effect descriptor. Owns the component descriptors and
// property maps it makes, and deletes them with itself.
#pragma once

#include "AAX_IACFEffectDescriptor.h"
#include "AAX_IEffectDescriptor.h"
#include "ACFPtr.h"

#include <set>

class AAX_VEffectDescriptor : public AAX_IEffectDescriptor {
public:
  explicit AAX_VEffectDescriptor(IACFUnknown* host);
  ~AAX_VEffectDescriptor() override;
  AAX_VEffectDescriptor(const AAX_VEffectDescriptor&) = delete;
  AAX_VEffectDescriptor& operator=(const AAX_VEffectDescriptor&) = delete;

  // [host-thread] during registration.
  AAX_IComponentDescriptor* NewComponentDescriptor() override;
  AAX_Result AddComponent(AAX_IComponentDescriptor* component) override;
  AAX_Result AddName(const char* name) override;
  AAX_Result AddCategory(uint32_t category) override;
  AAX_Result SetRole(uint32_t role) override;
  AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID id) override;
  AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) override;
  AAX_IPropertyMap* NewPropertyMap() override;
  AAX_Result SetProperties(AAX_IPropertyMap* properties) override;
  AAX_Result AddResourceInfo(AAX_EResourceType type, const char* info) override;
  AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* name, AAX_IPropertyMap* properties) override;
  AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, AAX_EMIDINodeType type, const char* name, uint32_t channelMask) override;

  AAX_IACFEffectDescriptor* GetIUnknown() const { return mIEffectDescriptor.inArg(); }

private:
  ACFPtr<IACFUnknown> mHostUnknown;
  ACFPtr<AAX_IACFEffectDescriptor> mIEffectDescriptor;
  ACFPtr<AAX_IACFEffectDescriptor_V2> mIEffectDescriptorV2;
  std::set<AAX_IComponentDescriptor*> mComponentDescriptors;
  std::set<AAX_IPropertyMap*> mPropertyMaps;
};
