#include "AAX_VPropertyMap.h"

#include "AAX_VComponentDescriptor.h"
#include "AAX_VersionedCall.h"
#include "IACFComponentFactory.h"

using qm::framework::QueryInto;

AAX_VPropertyMap* AAX_VPropertyMap::Create(IACFUnknown* host) {
  if (!host) return nullptr;
  ACFPtr<IACFComponentFactory> factory;
  if (host->QueryInterface(IID_IACFComponentFactory, reinterpret_cast<void**>(&factory)) != 0 || !factory) return nullptr;
  auto* map = new AAX_VPropertyMap;
  factory->CreateComponent(AAXCompID_AAXPropertyMap, nullptr, IID_IAAXPropertyMapV1,
                           reinterpret_cast<void**>(&map->mIPropertyMap));
  if (map->mIPropertyMap) {
    QueryInto(map->mIPropertyMap, IID_IAAXPropertyMapV2, map->mIPropertyMapV2);
    QueryInto(map->mIPropertyMap, IID_IAAXPropertyMapV3, map->mIPropertyMapV3);
  }
  // The first that answers: host, factory, then the map's own versions, newest first.
  IACFUnknown* const candidates[] = {host, factory.inArg(), map->mIPropertyMapV2.inArg(), map->mIPropertyMapV3.inArg(),
                                     map->mIPropertyMap.inArg()};
  for (IACFUnknown* candidate : candidates) {
    if (!candidate) continue;
    QueryInto(candidate, IID_IAAXDescriptionHostV1, map->mIDescriptionHost);
    if (map->mIDescriptionHost) break;
  }
  return map;
}

AAX_VPropertyMap* AAX_VPropertyMap::Acquire(IACFUnknown* unknown) {
  auto* map = new AAX_VPropertyMap;
  QueryInto(unknown, IID_IAAXPropertyMapV1, map->mIPropertyMap);
  QueryInto(unknown, IID_IAAXPropertyMapV2, map->mIPropertyMapV2);
  QueryInto(unknown, IID_IAAXPropertyMapV3, map->mIPropertyMapV3);
  QueryInto(unknown, IID_IAAXDescriptionHostV1, map->mIDescriptionHost);
  return map;
}

AAX_VPropertyMap::~AAX_VPropertyMap() = default;

bool AAX_VPropertyMap::GetProperty(AAX_EProperty id, AAX_CPropertyValue* value) const {
  if (!mIPropertyMap) return false;
  return (mIPropertyMap->GetProperty(id, value) & 0xFF) != 0;
}

bool AAX_VPropertyMap::GetPointerProperty(AAX_EProperty id, const void** value) const {
  if (mIPropertyMapV3) return (mIPropertyMapV3->GetPointerProperty(id, value) & 0xFF) != 0;
  const auto found = mLocalPointerProperties.find(id);
  if (!value || found == mLocalPointerProperties.end()) return false;
  *value = found->second;
  return true;
}

AAX_Result AAX_VPropertyMap::AddProperty(AAX_EProperty id, AAX_CPropertyValue value) {
  constexpr int32_t kBothSampleRates = 10001;
  constexpr int32_t kFirstRate = 51;
  constexpr int32_t kSecondRate = 52;
  if (id == kBothSampleRates) {
    const AAX_Result first = AddProperty(static_cast<AAX_EProperty>(kFirstRate), value);
    const AAX_Result second = AddProperty(static_cast<AAX_EProperty>(kSecondRate), value);
    return first != 0 ? first : second;
  }
  if ((id == kFirstRate || id == kSecondRate) && !mIDescriptionHost) {
    // An older host knows only these values for the two properties.
    const int32_t high = value >> 16;
    const bool known = (high >= 0 && high <= 12) || value == static_cast<int32_t>(0xFFFF0000u) ||
                       value == static_cast<int32_t>(0xFF9C0000u);
    if (!known) return AAX_ERROR_PROPERTY_UNDEFINED;
  }
  QM_CALL(mIPropertyMap, AAX_ERROR_NULL_OBJECT, AddProperty(id, value));
}

AAX_Result AAX_VPropertyMap::AddPointerProperty(AAX_EProperty id, const void* value) {
  if (mIPropertyMapV3) return mIPropertyMapV3->AddPointerProperty(id, value);
  if (AAX_VComponentDescriptor::PointerPropertiesUsedByAddProcessProc().count(id) == 0) return AAX_ERROR_UNIMPLEMENTED;
  mLocalPointerProperties[id] = value;
  return 0;
}

AAX_Result AAX_VPropertyMap::AddPointerProperty(AAX_EProperty id, const char* value) {
  return AddPointerProperty(id, static_cast<const void*>(value));
}

AAX_Result AAX_VPropertyMap::RemoveProperty(AAX_EProperty id) {
  QM_CALL(mIPropertyMap, AAX_ERROR_NULL_OBJECT, RemoveProperty(id));
}

AAX_Result AAX_VPropertyMap::AddPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad* ids,
                                                    uint32_t count) {
  QM_CALL(mIPropertyMapV2, AAX_ERROR_UNIMPLEMENTED, AddPropertyWithIDArray(id, ids, count));
}

bool AAX_VPropertyMap::GetPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad** ids,
                                              uint32_t* count) const {
  if (!mIPropertyMapV2) return false;
  return (mIPropertyMapV2->GetPropertyWithIDArray(id, ids, count) & 0xFF) != 0;
}

IACFUnknown* AAX_VPropertyMap::GetIUnknown() {
  if (mIPropertyMapV3) return mIPropertyMapV3.inArg();
  if (mIPropertyMapV2) return mIPropertyMapV2.inArg();
  if (mIPropertyMap) return mIPropertyMap.inArg();
  return nullptr;
}
