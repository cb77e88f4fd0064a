// Wrapper of the host's description host and its attribute definition.
#pragma once

#include "AAX_IACFDescriptionHost.h"
#include "AAX_IDescriptionHost.h"
#include "ACFPtr.h"
#include "IACFDefinition.h"

class AAX_VDescriptionHost : public AAX_IDescriptionHost {
public:
  explicit AAX_VDescriptionHost(IACFUnknown* host);
  ~AAX_VDescriptionHost() override;
  AAX_VDescriptionHost(const AAX_VDescriptionHost&) = delete;
  AAX_VDescriptionHost& operator=(const AAX_VDescriptionHost&) = delete;

  AAX_IFeatureInfo* AcquireFeatureProperties(const _acfUID& feature) const override;

  bool Supported() const { return !mIDescriptionHost.isNull(); }
  IACFDefinition* HostDefinition() const { return mIDefinition.inArg(); }

private:
  ACFPtr<AAX_IACFDescriptionHost> mIDescriptionHost;
  ACFPtr<IACFDefinition> mIDefinition;
};
