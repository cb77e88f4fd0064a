// Wrapper of the host's information about one feature.
#pragma once

#include "AAX_IACFFeatureInfo.h"
#include "AAX_IFeatureInfo.h"
#include "ACFPtr.h"

class AAX_VFeatureInfo : public AAX_IFeatureInfo {
public:
  AAX_VFeatureInfo(IACFUnknown* info, const _acfUID& feature);
  ~AAX_VFeatureInfo() override;
  AAX_VFeatureInfo(const AAX_VFeatureInfo&) = delete;
  AAX_VFeatureInfo& operator=(const AAX_VFeatureInfo&) = delete;

  AAX_Result SupportLevel(AAX_ESupportLevel& level) const override;
  AAX_IPropertyMap* AcquireProperties() const override;
  const _acfUID& ID() const override { return mFeature; }

private:
  _acfUID mFeature;
  ACFPtr<AAX_IACFFeatureInfo> mIFeatureInfo;
};
