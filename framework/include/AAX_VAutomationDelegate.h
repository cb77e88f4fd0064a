// Versioned wrapper of the host's automation delegate. A null parameter identifier
// answers -20001 instead of reaching the host.
#pragma once

#include "AAX_IAutomationDelegate.h"
#include "AAX_IACFAutomationDelegate.h"
#include "AAX_IACFController.h"
#include "ACFPtr.h"

class AAX_VAutomationDelegate : public AAX_IAutomationDelegate {
public:
  explicit AAX_VAutomationDelegate(IACFUnknown* host);
  ~AAX_VAutomationDelegate() override;
  AAX_VAutomationDelegate(const AAX_VAutomationDelegate&) = delete;
  AAX_VAutomationDelegate& operator=(const AAX_VAutomationDelegate&) = delete;

  // [any-thread] as far as the host allows; none of these throws.
  AAX_Result RegisterParameter(AAX_CParamID id) override;
  AAX_Result UnregisterParameter(AAX_CParamID id) override;
  AAX_Result PostSetValueRequest(AAX_CParamID id, double normalizedValue) const override;
  AAX_Result PostCurrentValue(AAX_CParamID id, double normalizedValue) const override;
  AAX_Result PostTouchRequest(AAX_CParamID id) override;
  AAX_Result PostReleaseRequest(AAX_CParamID id) override;
  AAX_Result GetTouchState(AAX_CParamID id, uint8_t* touched) override;
  AAX_Result ParameterNameChanged(AAX_CParamID id) override;

private:
  ACFPtr<AAX_IACFAutomationDelegate> mIAutomationDelegate;
  ACFPtr<AAX_IACFController_V2> mIControllerV2;
};
