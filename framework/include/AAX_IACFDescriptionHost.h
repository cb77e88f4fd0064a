// Host interface through which a description asks what the host supports.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFDescriptionHost : public IACFUnknown {
public:
  // 3: the feature's information object (an AAX_IACFFeatureInfo unknown) or an error.
  virtual AAX_Result AcquireFeatureProperties(const _acfUID& feature, IACFUnknown** out) noexcept = 0;
};
