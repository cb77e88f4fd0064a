// Host-facing interface of the AudioSuite host processor, versions 1 and 2.
#pragma once

#include "AAX.h"
#include "AAX_IString.h"
#include "IACFUnknown.h"

class AAX_IACFHostProcessor : public IACFUnknown {
public:
  // [host-thread] Passes of one instance run in sequence on one host thread.
  virtual AAX_Result Initialize(IACFUnknown* host) noexcept = 0;                                   // 3
  virtual AAX_Result Uninitialize() noexcept = 0;                                                  // 4
  virtual AAX_Result InitOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t* dstStart, int64_t* dstEnd) noexcept = 0;
  virtual AAX_Result SetLocation(int64_t location) noexcept = 0;
  virtual AAX_Result RenderAudio(const float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount, int32_t* windowSize) noexcept = 0;
  virtual AAX_Result PreRender(int32_t inputCount, int32_t outputCount, int32_t windowSize) noexcept = 0;
  virtual AAX_Result PostRender() noexcept = 0;
  virtual AAX_Result AnalyzeAudio(const float* const* inputs, int32_t inputCount, int32_t* windowSize) noexcept = 0;
  virtual AAX_Result PreAnalyze(int32_t inputCount, int32_t windowSize) noexcept = 0;
  virtual AAX_Result PostAnalyze() noexcept = 0;
};

class AAX_IACFHostProcessor_V2 : public AAX_IACFHostProcessor {
public:
  virtual AAX_Result GetClipNameSuffix(int32_t maxLength, AAX_IString* suffix) noexcept = 0;  // 13
};
