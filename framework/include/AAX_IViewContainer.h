// The host's place for the plug-in view (wrapper: AAX_VViewContainer). Type 1 holds a view.
#pragma once

#include "AAX.h"

class AAX_IViewContainer {
public:
  virtual ~AAX_IViewContainer() = default;
  virtual int32_t GetType() = 0;
  virtual void* GetPtr() = 0;
  virtual AAX_Result GetModifiers(uint32_t* modifiers) = 0;
  virtual AAX_Result SetViewSize(AAX_Point& size) = 0;
  virtual AAX_Result HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) = 0;
  virtual AAX_Result HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) = 0;
  virtual AAX_Result HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) = 0;
  virtual AAX_Result HandleParameterMouseEnter(AAX_CParamID id, uint32_t modifiers) = 0;
  virtual AAX_Result HandleParameterMouseExit(AAX_CParamID id, uint32_t modifiers) = 0;
  virtual AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) = 0;
  virtual AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) = 0;
  virtual AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) = 0;
};
