// Host interface for parameter automation.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFAutomationDelegate : public IACFUnknown {
public:
  virtual AAX_Result RegisterParameter(AAX_CParamID id) noexcept = 0;                        // 3
  virtual AAX_Result UnregisterParameter(AAX_CParamID id) noexcept = 0;                      // 4
  virtual AAX_Result PostSetValueRequest(AAX_CParamID id, double normalizedValue) noexcept = 0;  // 5
  virtual AAX_Result PostCurrentValue(AAX_CParamID id, double normalizedValue) noexcept = 0;     // 6
  virtual AAX_Result PostTouchRequest(AAX_CParamID id) noexcept = 0;                         // 7
  virtual AAX_Result PostReleaseRequest(AAX_CParamID id) noexcept = 0;                       // 8
  virtual AAX_Result GetTouchState(AAX_CParamID id, uint8_t* touched) noexcept = 0;          // 9
};
