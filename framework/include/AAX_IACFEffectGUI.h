// Host-facing interface of the GUI component, versions 1 and 2.
#pragma once

#include "AAX.h"
#include "AAX_IString.h"
#include "IACFUnknown.h"

class AAX_IACFEffectGUI : public IACFUnknown {
public:
  // [main-thread] The host makes every GUI call on the main thread.
  virtual AAX_Result Initialize(IACFUnknown* host) noexcept = 0;                                     // 3
  virtual AAX_Result Uninitialize() noexcept = 0;                                                    // 4
  virtual AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept = 0;
  virtual AAX_Result SetViewContainer(IACFUnknown* container) noexcept = 0;
  virtual AAX_Result GetViewSize(AAX_Point* size) noexcept = 0;
  virtual AAX_Result Draw(AAX_Rect* area) noexcept = 0;
  virtual AAX_Result TimerWakeup() noexcept = 0;
  virtual AAX_Result ParameterUpdated(AAX_CParamID id) noexcept = 0;
  virtual AAX_Result GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept = 0;
  virtual AAX_Result SetControlHighlightInfo(AAX_CParamID id, uint8_t highlighted, AAX_EHighlightColor color) noexcept = 0;
};

class AAX_IACFEffectGUI_V2 : public AAX_IACFEffectGUI {
public:
  virtual AAX_Result GetMinimumViewSize(AAX_Point* size) noexcept = 0;                         // 13
};
