// Host interface that starts and stops the host's transport.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFTransportControl : public IACFUnknown {
public:
  virtual AAX_Result RequestTransportStart() noexcept = 0;  // 3
  virtual AAX_Result RequestTransportStop() noexcept = 0;   // 4
};
