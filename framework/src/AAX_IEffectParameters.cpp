#include "AAX_IEffectParameters.h"

#include "AAX_UIDs.h"

// [any-thread] The accepted identifiers all answer the object seen as its first base.
ACFRESULT AAX_IEffectParameters::InternalQueryInterface(const _acfUID& iid, void** out) noexcept {
  if (out &&
      (iid == IID_IAAXEffectParametersV1 ||
      iid == IID_IAAXEffectParametersV2 ||
      iid == IID_IAAXEffectParametersV3 ||
      iid == IID_IAAXEffectParametersV4)) {
    *out = static_cast<AAX_IACFEffectParameters_V4*>(this);
    AddRef();
    return 0;
  }
  return CACFUnknown::InternalQueryInterface(iid, out);
}
