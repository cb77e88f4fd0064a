// Host interface describing how far the host supports one feature.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFFeatureInfo : public IACFUnknown {
public:
  virtual AAX_Result SupportLevel(AAX_ESupportLevel* level) noexcept = 0;   // 3
  virtual AAX_Result AcquireProperties(IACFUnknown** out) noexcept = 0;    // 4: a property-map unknown
};
