#include "AAX_VCollection.h"

#include "AAX_VEffectDescriptor.h"
#include "AAX_VPropertyMap.h"
#include "AAX_VersionedCall.h"
#include "IACFComponentFactory.h"

AAX_VCollection::AAX_VCollection(IACFUnknown* host) : mHostUnknown(host), mDescriptionHost(host) {
  if (!host) return;
  ACFPtr<IACFComponentFactory> factory;
  if (host->QueryInterface(IID_IACFComponentFactory, reinterpret_cast<void**>(&factory)) != 0 || !factory) return;
  factory->CreateComponent(AAXCompID_AAXCollection, nullptr, IID_IAAXCollectionV1, reinterpret_cast<void**>(&mICollection));
}

// Effect descriptors first (each deletes its own), then property maps, in ascending
// address order; the host pointers are released afterwards.
AAX_VCollection::~AAX_VCollection() {
  for (AAX_IEffectDescriptor* descriptor : mEffectDescriptors) delete descriptor;
  mEffectDescriptors.clear();
  for (AAX_IPropertyMap* map : mPropertyMaps) delete map;
  mPropertyMaps.clear();
}

AAX_IEffectDescriptor* AAX_VCollection::NewDescriptor() {
  auto* descriptor = new AAX_VEffectDescriptor(mHostUnknown);
  mEffectDescriptors.insert(descriptor);
  return descriptor;
}

AAX_Result AAX_VCollection::AddEffect(const char* effectID, AAX_IEffectDescriptor* descriptor) {
  auto* ours = dynamic_cast<AAX_VEffectDescriptor*>(descriptor);
  if (!ours) return AAX_ERROR_NULL_OBJECT;
  QM_CALL(mICollection, AAX_ERROR_NULL_OBJECT, AddEffect(effectID, ours->GetIUnknown()));
}

AAX_Result AAX_VCollection::SetManufacturerName(const char* name) {
  QM_CALL(mICollection, AAX_ERROR_NULL_OBJECT, SetManufacturerName(name));
}

AAX_Result AAX_VCollection::AddPackageName(const char* name) {
  QM_CALL(mICollection, AAX_ERROR_NULL_OBJECT, AddPackageName(name));
}

AAX_Result AAX_VCollection::SetPackageVersion(uint32_t version) {
  QM_CALL(mICollection, AAX_ERROR_NULL_OBJECT, SetPackageVersion(version));
}

AAX_IPropertyMap* AAX_VCollection::NewPropertyMap() {
  AAX_IPropertyMap* map = AAX_VPropertyMap::Create(mHostUnknown);
  mPropertyMaps.insert(map);
  return map;
}

AAX_Result AAX_VCollection::SetProperties(AAX_IPropertyMap* properties) {
  QM_CALL(mICollection, AAX_ERROR_NULL_OBJECT, SetProperties(properties ? properties->GetIUnknown() : nullptr));
}

AAX_Result AAX_VCollection::GetHostVersion(uint32_t* version) const {
  if (!version) return AAX_ERROR_NULL_ARGUMENT;
  IACFDefinition* definition = mDescriptionHost.HostDefinition();
  if (!definition) return AAX_ERROR_NULL_OBJECT;
  _acfUID type = acfUID_NULL;
  acfUInt32 size = 0;
  const ACFRESULT info = definition->GetAttributeInfo(AAXATTR_Client_Version, &type, &size);
  if (info != 0) return info;
  if (size != sizeof(uint32_t)) return AAX_ERROR_INVALID_ARGUMENT;
  uint32_t value = 0;
  const ACFRESULT copied = definition->CopyAttribute(AAXATTR_Client_Version, type, &value, sizeof value);
  if (copied != 0) return copied;
  *version = value;
  return 0;
}

AAX_IDescriptionHost* AAX_VCollection::DescriptionHost() {
  return mDescriptionHost.Supported() ? &mDescriptionHost : nullptr;
}

const AAX_IDescriptionHost* AAX_VCollection::DescriptionHost() const {
  return mDescriptionHost.Supported() ? &mDescriptionHost : nullptr;
}

IACFDefinition* AAX_VCollection::HostDefinition() const { return mDescriptionHost.HostDefinition(); }
