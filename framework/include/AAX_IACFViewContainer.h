// Host interface of the place that holds the plug-in's view, versions 1 to 3.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFViewContainer : public IACFUnknown {
public:
  virtual int32_t GetType() noexcept = 0;                                                    // 3
  virtual void* GetPtr() noexcept = 0;                                                       // 4
  virtual AAX_Result GetModifiers(uint32_t* modifiers) noexcept = 0;                         // 5
  virtual AAX_Result SetViewSize(AAX_Point& size) noexcept = 0;                              // 6
  virtual AAX_Result HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) noexcept = 0;  // 7
  virtual AAX_Result HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) noexcept = 0;  // 8
  virtual AAX_Result HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) noexcept = 0;    // 9
};

class AAX_IACFViewContainer_V2 : public AAX_IACFViewContainer {
public:
  virtual AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) noexcept = 0;  // 10
  virtual AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) noexcept = 0;  // 11
  virtual AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) noexcept = 0;    // 12
};

class AAX_IACFViewContainer_V3 : public AAX_IACFViewContainer_V2 {
public:
  virtual AAX_Result HandleParameterMouseEnter(AAX_CParamID id, uint32_t modifiers) noexcept = 0;  // 13
  virtual AAX_Result HandleParameterMouseExit(AAX_CParamID id, uint32_t modifiers) noexcept = 0;   // 14
};
