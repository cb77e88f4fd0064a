// The host's help for the AudioSuite processor (wrapper: AAX_VHostProcessorDelegate).
#pragma once

#include "AAX.h"

class AAX_IHostProcessorDelegate {
public:
  virtual ~AAX_IHostProcessorDelegate() = default;
  virtual AAX_Result GetAudio(const float* const* audioIns, int32_t audioInCount, int64_t location, int32_t* ioNumSamples) = 0;
  virtual int32_t GetSideChainInputNum() = 0;
  virtual AAX_Result ForceAnalyze() = 0;
  virtual AAX_Result ForceProcess() = 0;
};
