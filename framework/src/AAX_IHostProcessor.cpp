#include "AAX_IHostProcessor.h"

#include "AAX_UIDs.h"

// [any-thread] The accepted identifiers all answer the object seen as its first base.
ACFRESULT AAX_IHostProcessor::InternalQueryInterface(const _acfUID& iid, void** out) noexcept {
  if (out &&
      (iid == IID_IAAXHostProcessorV2 ||
      iid == IID_IAAXHostProcessorV1)) {
    *out = static_cast<AAX_IACFHostProcessor_V2*>(this);
    AddRef();
    return 0;
  }
  return CACFUnknown::InternalQueryInterface(iid, out);
}
