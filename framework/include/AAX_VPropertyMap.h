// Versioned wrapper of a host property map. Without the host's third version, pointer
// properties 36 to 42 (the ones the process-procedure registration reads) are kept here.
#pragma once

#include "AAX_IACFDescriptionHost.h"
#include "AAX_IACFPropertyMap.h"
#include "AAX_IPropertyMap.h"
#include "ACFPtr.h"

#include <map>

class AAX_VPropertyMap : public AAX_IPropertyMap {
public:
  // A new map made by the host's factory; null without a host or a factory.
  static AAX_VPropertyMap* Create(IACFUnknown* host);
  // A wrapper over a map the host already made (members null for a null unknown).
  static AAX_VPropertyMap* Acquire(IACFUnknown* map);

  ~AAX_VPropertyMap() override;
  AAX_VPropertyMap(const AAX_VPropertyMap&) = delete;
  AAX_VPropertyMap& operator=(const AAX_VPropertyMap&) = delete;

  // [host-thread] during registration.
  bool GetProperty(AAX_EProperty id, AAX_CPropertyValue* value) const override;
  bool GetPointerProperty(AAX_EProperty id, const void** value) const override;
  AAX_Result AddProperty(AAX_EProperty id, AAX_CPropertyValue value) override;
  AAX_Result AddPointerProperty(AAX_EProperty id, const void* value) override;
  AAX_Result AddPointerProperty(AAX_EProperty id, const char* value) override;
  AAX_Result RemoveProperty(AAX_EProperty id) override;
  AAX_Result AddPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad* ids, uint32_t count) override;
  bool GetPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad** ids, uint32_t* count) const override;
  IACFUnknown* GetIUnknown() override;

private:
  AAX_VPropertyMap() = default;

  ACFPtr<AAX_IACFPropertyMap> mIPropertyMap;
  ACFPtr<AAX_IACFPropertyMap_V2> mIPropertyMapV2;
  ACFPtr<AAX_IACFPropertyMap_V3> mIPropertyMapV3;
  ACFPtr<AAX_IACFDescriptionHost> mIDescriptionHost;
  std::map<AAX_EProperty, const void*> mLocalPointerProperties;
};
