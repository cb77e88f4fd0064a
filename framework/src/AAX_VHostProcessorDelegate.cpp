#include "AAX_VHostProcessorDelegate.h"

#include "AAX_VersionedCall.h"

using qm::framework::QueryInto;

AAX_VHostProcessorDelegate::AAX_VHostProcessorDelegate(IACFUnknown* host) {
  if (!host) return;
  // Newest first; each assignment takes its own reference.
  QueryInto(host, IID_IAAXHostProcessorDelegateV3, mIHostProcessorDelegateV3);
  if (mIHostProcessorDelegateV3) {
    mIHostProcessorDelegateV2 = mIHostProcessorDelegateV3.inArg();
    mIHostProcessorDelegate = mIHostProcessorDelegateV3.inArg();
    return;
  }
  QueryInto(host, IID_IAAXHostProcessorDelegateV2, mIHostProcessorDelegateV2);
  if (mIHostProcessorDelegateV2) {
    mIHostProcessorDelegate = mIHostProcessorDelegateV2.inArg();
    return;
  }
  QueryInto(host, IID_IAAXHostProcessorDelegateV1, mIHostProcessorDelegate);
}

AAX_VHostProcessorDelegate::~AAX_VHostProcessorDelegate() = default;

AAX_Result AAX_VHostProcessorDelegate::GetAudio(const float* const* audioIns, int32_t audioInCount, int64_t location, int32_t* ioNumSamples) {
  QM_REQUIRE_OUT(mIHostProcessorDelegate, ioNumSamples);
  QM_CALL(mIHostProcessorDelegate, AAX_ERROR_NULL_OBJECT, GetAudio(audioIns, audioInCount, location, ioNumSamples));
}

AAX_Result AAX_VHostProcessorDelegate::ForceAnalyze() {
  QM_CALL(mIHostProcessorDelegateV2, AAX_ERROR_UNIMPLEMENTED, ForceAnalyze());
}

AAX_Result AAX_VHostProcessorDelegate::ForceProcess() {
  QM_CALL(mIHostProcessorDelegateV3, AAX_ERROR_UNIMPLEMENTED, ForceProcess());
}
int32_t AAX_VHostProcessorDelegate::GetSideChainInputNum() {
  if (!mIHostProcessorDelegate) return 0;
  return mIHostProcessorDelegate->GetSideChainInputNum();
}
