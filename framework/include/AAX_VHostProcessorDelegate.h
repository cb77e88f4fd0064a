// Versioned wrapper of the host-processor delegate. Binds newest first: the newest
// version the host answers also fills the older members.
#pragma once

#include "AAX_IHostProcessorDelegate.h"
#include "AAX_IACFHostProcessorDelegate.h"
#include "ACFPtr.h"

class AAX_VHostProcessorDelegate : public AAX_IHostProcessorDelegate {
public:
  explicit AAX_VHostProcessorDelegate(IACFUnknown* host);
  ~AAX_VHostProcessorDelegate() override;
  AAX_VHostProcessorDelegate(const AAX_VHostProcessorDelegate&) = delete;
  AAX_VHostProcessorDelegate& operator=(const AAX_VHostProcessorDelegate&) = delete;

  // [any-thread] as far as the host allows; none of these throws.
  AAX_Result GetAudio(const float* const* audioIns, int32_t audioInCount, int64_t location, int32_t* ioNumSamples) override;
  int32_t GetSideChainInputNum() override;
  AAX_Result ForceAnalyze() override;
  AAX_Result ForceProcess() override;

private:
  ACFPtr<AAX_IACFHostProcessorDelegate> mIHostProcessorDelegate;
  ACFPtr<AAX_IACFHostProcessorDelegate_V2> mIHostProcessorDelegateV2;
  ACFPtr<AAX_IACFHostProcessorDelegate_V3> mIHostProcessorDelegateV3;
};
