// Host interface that creates host objects by component identifier.
#pragma once

#include "IACFUnknown.h"

class IACFComponentFactory : public IACFUnknown {
public:
  // 3 [any-thread] Creates the component and queries `iid` on it into `out`.
  virtual ACFRESULT CreateComponent(const _acfUID& compID, IACFUnknown* outer, const _acfUID& iid, void** out) noexcept = 0;
};
