// Versioned wrapper of the host's plug-in collection, alive for one registration. Owns
// every effect descriptor and property map it hands out and deletes them with itself.
#pragma once

#include "AAX_IACFCollection.h"
#include "AAX_ICollection.h"
#include "AAX_VDescriptionHost.h"
#include "ACFPtr.h"

#include <set>

class AAX_VCollection : public AAX_ICollection {
public:
  explicit AAX_VCollection(IACFUnknown* host);
  ~AAX_VCollection() override;
  AAX_VCollection(const AAX_VCollection&) = delete;
  AAX_VCollection& operator=(const AAX_VCollection&) = delete;

  // [host-thread] during registration.
  AAX_IEffectDescriptor* NewDescriptor() override;
  AAX_Result AddEffect(const char* effectID, AAX_IEffectDescriptor* descriptor) override;
  AAX_Result SetManufacturerName(const char* name) override;
  AAX_Result AddPackageName(const char* name) override;
  AAX_Result SetPackageVersion(uint32_t version) override;
  AAX_IPropertyMap* NewPropertyMap() override;
  AAX_Result SetProperties(AAX_IPropertyMap* properties) override;
  AAX_Result GetHostVersion(uint32_t* version) const override;
  AAX_IDescriptionHost* DescriptionHost() override;
  const AAX_IDescriptionHost* DescriptionHost() const override;
  IACFDefinition* HostDefinition() const override;

  // The host's collection (registration asks it for the plug-in definition), or null.
  AAX_IACFCollection* GetIUnknown() const { return mICollection.inArg(); }

private:
  ACFPtr<IACFUnknown> mHostUnknown;
  ACFPtr<AAX_IACFCollection> mICollection;
  AAX_VDescriptionHost mDescriptionHost;
  std::set<AAX_IEffectDescriptor*> mEffectDescriptors;
  std::set<AAX_IPropertyMap*> mPropertyMaps;
};
