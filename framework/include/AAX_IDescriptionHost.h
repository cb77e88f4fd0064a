// The host's answers to a description about its features (wrapper: AAX_VDescriptionHost).
#pragma once

#include "acfbasetypes.h"

class AAX_IFeatureInfo;

class AAX_IDescriptionHost {
public:
  virtual ~AAX_IDescriptionHost() = default;
  // A new feature information that the caller owns and deletes, or null.
  virtual AAX_IFeatureInfo* AcquireFeatureProperties(const _acfUID& feature) const = 0;
};
