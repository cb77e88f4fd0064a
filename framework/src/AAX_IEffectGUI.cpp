#include "AAX_IEffectGUI.h"

#include "AAX_UIDs.h"

// [any-thread] The accepted identifiers all answer the object seen as its first base.
ACFRESULT AAX_IEffectGUI::InternalQueryInterface(const _acfUID& iid, void** out) noexcept {
  if (out &&
      (iid == IID_IAAXEffectGUIV1 ||
      iid == IID_IAAXEffectGUIV2)) {
    *out = static_cast<AAX_IACFEffectGUI_V2*>(this);
    AddRef();
    return 0;
  }
  return CACFUnknown::InternalQueryInterface(iid, out);
}
