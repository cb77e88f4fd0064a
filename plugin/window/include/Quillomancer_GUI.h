#pragma once
// The plug-in window. For now an empty 480 x 158 root view; the window's views, timer and
// controls are built on top of it.

#include "AAX_CEffectGUI_Cocoa.h"

class Quillomancer_GUI : public AAX_CEffectGUI_Cocoa {
 public:
  // Creation function registered under procedure id 1. [main-thread]
  static AAX_IEffectGUI* Create();

  static constexpr double kViewWidth = 480.0;
  static constexpr double kViewHeight = 158.0;

  Quillomancer_GUI();
  ~Quillomancer_GUI() override;

  // [main-thread]
  AAX_Result GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept override;

 protected:
  // [main-thread]
  void CreateViewContents() override;
  void CreateViewContainer() override;
  void DeleteViewContainer() override;
};
