// Host interface for attribute access (host version, client level, features).
#pragma once

#include "IACFUnknown.h"

class IACFDefinition : public IACFUnknown {
public:
  virtual ACFRESULT ReservedSlot3() noexcept = 0;  // 3: not called by this framework
  // 4: the attribute's type identifier and size in bytes.
  virtual ACFRESULT GetAttributeInfo(const _acfUID& attributeID, _acfUID* typeID, acfUInt32* size) noexcept = 0;
  // 5: copies `size` bytes of the attribute's value to `data`.
  virtual ACFRESULT CopyAttribute(const _acfUID& attributeID, const _acfUID& typeID, void* data, acfUInt32 size) noexcept = 0;
};
