// What the host says about one feature (wrapper: AAX_VFeatureInfo).
#pragma once

#include "AAX.h"
#include "acfbasetypes.h"

class AAX_IPropertyMap;

class AAX_IFeatureInfo {
public:
  virtual ~AAX_IFeatureInfo() = default;
  virtual AAX_Result SupportLevel(AAX_ESupportLevel& level) const = 0;
  // A new map that the caller owns, or null.
  virtual AAX_IPropertyMap* AcquireProperties() const = 0;
  virtual const _acfUID& ID() const = 0;
};
