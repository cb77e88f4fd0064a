// Versioned wrapper of the host's view container. Every result-code operation answers
// -20009 when its version is missing. The wrapper never releases the host's container:
// its destructor detaches the three pointers.
#pragma once

#include "AAX_IViewContainer.h"
#include "AAX_IACFViewContainer.h"
#include "ACFPtr.h"

class AAX_VViewContainer : public AAX_IViewContainer {
public:
  explicit AAX_VViewContainer(IACFUnknown* host);
  ~AAX_VViewContainer() override;
  AAX_VViewContainer(const AAX_VViewContainer&) = delete;
  AAX_VViewContainer& operator=(const AAX_VViewContainer&) = delete;

  // [any-thread] as far as the host allows; none of these throws.
  int32_t GetType() override;
  void* GetPtr() override;
  AAX_Result GetModifiers(uint32_t* modifiers) override;
  AAX_Result SetViewSize(AAX_Point& size) override;
  AAX_Result HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) override;
  AAX_Result HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) override;
  AAX_Result HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) override;
  AAX_Result HandleParameterMouseEnter(AAX_CParamID id, uint32_t modifiers) override;
  AAX_Result HandleParameterMouseExit(AAX_CParamID id, uint32_t modifiers) override;
  AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) override;
  AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) override;
  AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) override;

private:
  ACFPtr<AAX_IACFViewContainer> mIViewContainer;
  ACFPtr<AAX_IACFViewContainer_V2> mIViewContainerV2;
  ACFPtr<AAX_IACFViewContainer_V3> mIViewContainerV3;
};
