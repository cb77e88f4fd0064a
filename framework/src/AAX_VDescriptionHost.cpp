#include "AAX_VDescriptionHost.h"

#include "AAX_VFeatureInfo.h"
#include "AAX_VersionedCall.h"

AAX_VDescriptionHost::AAX_VDescriptionHost(IACFUnknown* host) {
  qm::framework::QueryInto(host, IID_IAAXDescriptionHostV1, mIDescriptionHost);
  qm::framework::QueryInto(host, IID_IACFDefinition, mIDefinition);
}

AAX_VDescriptionHost::~AAX_VDescriptionHost() = default;

// The returned unknown is wrapped by querying it; the host keeps its own pointer.
AAX_IFeatureInfo* AAX_VDescriptionHost::AcquireFeatureProperties(const _acfUID& feature) const {
  if (!mIDescriptionHost) return nullptr;
  IACFUnknown* info = nullptr;
  if (mIDescriptionHost->AcquireFeatureProperties(feature, &info) != 0 || !info) return nullptr;
  return new AAX_VFeatureInfo(info, feature);
}
