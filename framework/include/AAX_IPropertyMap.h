// A property map as the description sees it (wrapper: AAX_VPropertyMap).
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IPropertyMap {
public:
  virtual ~AAX_IPropertyMap() = default;
  virtual bool GetProperty(AAX_EProperty id, AAX_CPropertyValue* value) const = 0;
  virtual bool GetPointerProperty(AAX_EProperty id, const void** value) const = 0;
  virtual AAX_Result AddProperty(AAX_EProperty id, AAX_CPropertyValue value) = 0;
  virtual AAX_Result AddPointerProperty(AAX_EProperty id, const void* value) = 0;
  virtual AAX_Result AddPointerProperty(AAX_EProperty id, const char* value) = 0;
  virtual AAX_Result RemoveProperty(AAX_EProperty id) = 0;
  virtual AAX_Result AddPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad* ids, uint32_t count) = 0;
  virtual bool GetPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad** ids, uint32_t* count) const = 0;
  // The newest host map interface held, or null.
  virtual IACFUnknown* GetIUnknown() = 0;
};
