// Host interface the AudioSuite processor uses to read timeline audio and request passes,
// versions 1 to 3.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFHostProcessorDelegate : public IACFUnknown {
public:
  virtual AAX_Result GetAudio(const float* const* audioIns, int32_t audioInCount, int64_t location, int32_t* ioNumSamples) noexcept = 0;  // 3
  virtual int32_t GetSideChainInputNum() noexcept = 0;  // 4
};

class AAX_IACFHostProcessorDelegate_V2 : public AAX_IACFHostProcessorDelegate {
public:
  virtual AAX_Result ForceAnalyze() noexcept = 0;  // 5
};

class AAX_IACFHostProcessorDelegate_V3 : public AAX_IACFHostProcessorDelegate_V2 {
public:
  virtual AAX_Result ForceProcess() noexcept = 0;  // 6
};
