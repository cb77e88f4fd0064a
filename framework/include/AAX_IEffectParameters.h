// The data-model component as the host and the other components see it: the newest
// effect-parameters interface on a counted object. Answers versions 1 to 4.
#pragma once

#include "AAX_IACFEffectParameters.h"
#include "CACFUnknown.h"

class AAX_IEffectParameters : public AAX_IACFEffectParameters_V4, public CACFUnknown {
public:
  // [any-thread]
  ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override { return ExternalQueryInterface(iid, out); }
  acfUInt32 AddRef() noexcept override { return ExternalAddRef(); }
  acfUInt32 Release() noexcept override { return ExternalRelease(); }

  ACFRESULT InternalQueryInterface(const _acfUID& iid, void** out) noexcept override;
};
