#include "AAX_VEffectDescriptor.h"

#include "AAX_VComponentDescriptor.h"
#include "AAX_VPropertyMap.h"
#include "AAX_VersionedCall.h"
#include "IACFComponentFactory.h"

namespace {
IACFUnknown* HostMap(AAX_IPropertyMap* map) { return map ? map->GetIUnknown() : nullptr; }
}  // namespace

AAX_VEffectDescriptor::AAX_VEffectDescriptor(IACFUnknown* host) : mHostUnknown(host) {
  if (!host) return;
  ACFPtr<IACFComponentFactory> factory;
  if (host->QueryInterface(IID_IACFComponentFactory, reinterpret_cast<void**>(&factory)) != 0 || !factory) return;
  factory->CreateComponent(AAXCompID_AAXEffectDescriptor, nullptr, IID_IAAXEffectDescriptorV1,
                           reinterpret_cast<void**>(&mIEffectDescriptor));
  if (mIEffectDescriptor) qm::framework::QueryInto(mIEffectDescriptor, IID_IAAXEffectDescriptorV2, mIEffectDescriptorV2);
}

// Component descriptors first, then property maps, each in ascending address order.
AAX_VEffectDescriptor::~AAX_VEffectDescriptor() {
  for (AAX_IComponentDescriptor* component : mComponentDescriptors) delete component;
  mComponentDescriptors.clear();
  for (AAX_IPropertyMap* map : mPropertyMaps) delete map;
  mPropertyMaps.clear();
}

AAX_IComponentDescriptor* AAX_VEffectDescriptor::NewComponentDescriptor() {
  auto* component = new AAX_VComponentDescriptor(mHostUnknown);
  mComponentDescriptors.insert(component);
  return component;
}

AAX_Result AAX_VEffectDescriptor::AddComponent(AAX_IComponentDescriptor* component) {
  auto* ours = dynamic_cast<AAX_VComponentDescriptor*>(component);
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddComponent(ours ? ours->GetIUnknown() : nullptr));
}
AAX_Result AAX_VEffectDescriptor::AddName(const char* name) {
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddName(name));
}
AAX_Result AAX_VEffectDescriptor::AddCategory(uint32_t category) {
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddCategory(category));
}
AAX_Result AAX_VEffectDescriptor::SetRole(uint32_t role) { return AddCategory(role); }
AAX_Result AAX_VEffectDescriptor::AddCategoryBypassParameter(uint32_t category, AAX_CParamID id) {
  QM_REQUIRE_ID(mIEffectDescriptor, id);
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddCategoryBypassParameter(category, id));
}
AAX_Result AAX_VEffectDescriptor::AddProcPtr(void* procPtr, AAX_CProcPtrID procID) {
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddProcPtr(procPtr, procID));
}
AAX_IPropertyMap* AAX_VEffectDescriptor::NewPropertyMap() {
  AAX_IPropertyMap* map = AAX_VPropertyMap::Create(mHostUnknown);
  mPropertyMaps.insert(map);
  return map;
}
AAX_Result AAX_VEffectDescriptor::SetProperties(AAX_IPropertyMap* properties) {
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, SetProperties(HostMap(properties)));
}
AAX_Result AAX_VEffectDescriptor::AddResourceInfo(AAX_EResourceType type, const char* info) {
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddResourceInfo(type, info));
}
AAX_Result AAX_VEffectDescriptor::AddMeterDescription(AAX_CTypeID meterID, const char* name, AAX_IPropertyMap* properties) {
  QM_CALL(mIEffectDescriptor, AAX_ERROR_NULL_OBJECT, AddMeterDescription(meterID, name, HostMap(properties)));
}
AAX_Result AAX_VEffectDescriptor::AddControlMIDINode(AAX_CTypeID nodeID, AAX_EMIDINodeType type, const char* name,
                                                     uint32_t channelMask) {
  QM_CALL(mIEffectDescriptorV2, AAX_ERROR_UNIMPLEMENTED, AddControlMIDINode(nodeID, type, name, channelMask));
}
