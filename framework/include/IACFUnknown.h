// The counted root interface. Interfaces carry no data and no virtual destructor, so the
// host finds QueryInterface, AddRef and Release at slots 0, 1 and 2.
#pragma once

#include "acfbasetypes.h"

class IACFUnknown {
public:
  // [any-thread]
  virtual ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept = 0;
  // [any-thread] Both answer the new count.
  virtual acfUInt32 AddRef() noexcept = 0;
  virtual acfUInt32 Release() noexcept = 0;
};
