#pragma once
// The plug-in's effect-parameters component: one host parameter (Bypass) and the custom-data
// store through which the window and the processor exchange every value.

#include <string>

#include "AAX_CEffectParameters.h"
#include "QuillomancerCustomDataStore.h"

class Quillomancer_Parameters : public AAX_CEffectParameters {
 public:
  // Creation function registered under procedure id 0. [host-thread]
  static AAX_IEffectParameters* Create();

  Quillomancer_Parameters();
  ~Quillomancer_Parameters() override;

  // [any-thread]
  AAX_Result GetCustomData(AAX_CTypeID blockId, uint32_t size, void* data, uint32_t* written) noexcept override;
  // [any-thread]
  AAX_Result SetCustomData(AAX_CTypeID blockId, uint32_t size, const void* data) noexcept override;
  // [host-thread]
  AAX_Result EffectInit() override;

  // The text to generate, assigned as given (no caller in the plug-in uses these).
  std::string GetQuillomanceText() const;
  void SetQuillomanceText(const std::string& text);

 private:
  QuillomancerCustomDataStore mStore;
};
