// The GUI component as the host sees it. Answers versions 1 and 2.
#pragma once

#include "AAX_IACFEffectGUI.h"
#include "CACFUnknown.h"

class AAX_IEffectGUI : public AAX_IACFEffectGUI_V2, public CACFUnknown {
public:
  // [any-thread]
  ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override { return ExternalQueryInterface(iid, out); }
  acfUInt32 AddRef() noexcept override { return ExternalAddRef(); }
  acfUInt32 Release() noexcept override { return ExternalRelease(); }

  ACFRESULT InternalQueryInterface(const _acfUID& iid, void** out) noexcept override;
};
