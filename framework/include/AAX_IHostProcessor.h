// The host-processor component as the host sees it. Answers versions 2 and 1.
#pragma once

#include "AAX_IACFHostProcessor.h"
#include "CACFUnknown.h"

class AAX_IHostProcessor : public AAX_IACFHostProcessor_V2, public CACFUnknown {
public:
  // [any-thread]
  ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override { return ExternalQueryInterface(iid, out); }
  acfUInt32 AddRef() noexcept override { return ExternalAddRef(); }
  acfUInt32 Release() noexcept override { return ExternalRelease(); }

  ACFRESULT InternalQueryInterface(const _acfUID& iid, void** out) noexcept override;
};
