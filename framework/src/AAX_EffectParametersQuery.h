// How the GUI and host-processor components reach the data-model component of their
// instance through the host.
#pragma once

#include "AAX_IEffectParameters.h"
#include "AAX_UIDs.h"

namespace qm::framework {

// The data-model component the host answers for this instance (a counted reference the
// caller releases), or null when it answers none.
inline AAX_IEffectParameters* QueryEffectParameters(IACFUnknown* host) noexcept {
  void* parameters = nullptr;
  if (!host || host->QueryInterface(IID_IAAXEffectParametersV1, &parameters) != 0 || !parameters) return nullptr;
  // The answer is the component seen as its first interface.
  return static_cast<AAX_IEffectParameters*>(static_cast<AAX_IACFEffectParameters*>(parameters));
}

}  // namespace qm::framework
