// Host interface of a property map, versions 1 to 3. The getters answer a 32-bit value
// whose low byte is the boolean result.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFPropertyMap : public IACFUnknown {
public:
  virtual int32_t GetProperty(AAX_EProperty id, AAX_CPropertyValue* value) noexcept = 0;                   // 3
  virtual AAX_Result AddProperty(AAX_EProperty id, AAX_CPropertyValue value) noexcept = 0;                 // 4
  virtual AAX_Result RemoveProperty(AAX_EProperty id) noexcept = 0;                                        // 5
};

class AAX_IACFPropertyMap_V2 : public AAX_IACFPropertyMap {
public:
  virtual AAX_Result AddPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad* ids, uint32_t count) noexcept = 0;  // 6
  virtual int32_t GetPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad** ids, uint32_t* count) noexcept = 0;   // 7
};

class AAX_IACFPropertyMap_V3 : public AAX_IACFPropertyMap_V2 {
public:
  virtual int32_t GetPointerProperty(AAX_EProperty id, const void** value) noexcept = 0;                   // 8
  virtual AAX_Result AddPointerProperty(AAX_EProperty id, const void* value) noexcept = 0;                 // 9
};
