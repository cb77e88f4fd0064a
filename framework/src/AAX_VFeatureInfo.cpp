#include "AAX_VFeatureInfo.h"

#include "AAX_VPropertyMap.h"
#include "AAX_VersionedCall.h"

AAX_VFeatureInfo::AAX_VFeatureInfo(IACFUnknown* info, const _acfUID& feature) : mFeature(feature) {
  qm::framework::QueryInto(info, IID_IAAXFeatureInfoV1, mIFeatureInfo);
}

AAX_VFeatureInfo::~AAX_VFeatureInfo() = default;

AAX_Result AAX_VFeatureInfo::SupportLevel(AAX_ESupportLevel& level) const {
  QM_CALL(mIFeatureInfo, AAX_ERROR_NULL_OBJECT, SupportLevel(&level));
}

// The returned unknown is wrapped by querying it; the host keeps its own pointer.
AAX_IPropertyMap* AAX_VFeatureInfo::AcquireProperties() const {
  if (!mIFeatureInfo) return nullptr;
  IACFUnknown* map = nullptr;
  if (mIFeatureInfo->AcquireProperties(&map) != 0 || !map) return nullptr;
  return AAX_VPropertyMap::Acquire(map);
}
