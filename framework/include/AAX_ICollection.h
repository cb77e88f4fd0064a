// The plug-in collection that the description fills (wrapper: AAX_VCollection).
#pragma once

#include "AAX.h"

class AAX_IDescriptionHost;
class AAX_IEffectDescriptor;
class AAX_IPropertyMap;
class IACFDefinition;

class AAX_ICollection {
public:
  virtual ~AAX_ICollection() = default;
  // Owned by the collection.
  virtual AAX_IEffectDescriptor* NewDescriptor() = 0;
  virtual AAX_Result AddEffect(const char* effectID, AAX_IEffectDescriptor* descriptor) = 0;
  virtual AAX_Result SetManufacturerName(const char* name) = 0;
  virtual AAX_Result AddPackageName(const char* name) = 0;
  virtual AAX_Result SetPackageVersion(uint32_t version) = 0;
  // Owned by the collection; may be null.
  virtual AAX_IPropertyMap* NewPropertyMap() = 0;
  virtual AAX_Result SetProperties(AAX_IPropertyMap* properties) = 0;
  virtual AAX_Result GetHostVersion(uint32_t* version) const = 0;
  // Null when the host has no description host.
  virtual AAX_IDescriptionHost* DescriptionHost() = 0;
  virtual const AAX_IDescriptionHost* DescriptionHost() const = 0;
  // The host's attribute access, or null (not counted).
  virtual IACFDefinition* HostDefinition() const = 0;
};
