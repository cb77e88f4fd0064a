#include "AAX_CHostProcessor.h"

#include "AAX_EffectParametersQuery.h"
#include "AAX_IEffectParameters.h"
#include "AAX_VController.h"
#include "AAX_VHostProcessorDelegate.h"

AAX_CHostProcessor::AAX_CHostProcessor() = default;

AAX_CHostProcessor::~AAX_CHostProcessor() { ReleaseHostObjects(); }

void AAX_CHostProcessor::ReleaseHostObjects() noexcept {
  if (mEffectParameters) {
    mEffectParameters->Release();
    mEffectParameters = nullptr;
  }
  delete mHostProcessorDelegate;
  mHostProcessorDelegate = nullptr;
  delete mController;
  mController = nullptr;
}

AAX_Result AAX_CHostProcessor::Initialize(IACFUnknown* host) noexcept {
  if (!host) return AAX_ERROR_NOT_INITIALIZED;
  ReleaseHostObjects();  // a repeated Initialize gives back what the first one took
  try {
    mController = new AAX_VController(host);
    mHostProcessorDelegate = new AAX_VHostProcessorDelegate(host);
  } catch (...) {
    return AAX_ERROR_NOT_INITIALIZED;
  }
  mEffectParameters = qm::framework::QueryEffectParameters(host);
  return AAX_SUCCESS;
}

AAX_Result AAX_CHostProcessor::Uninitialize() noexcept {
  ReleaseHostObjects();
  return AAX_SUCCESS;
}

AAX_Result AAX_CHostProcessor::InitOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t* dstStart,
                                                int64_t* dstEnd) noexcept {
  if (!dstStart || !dstEnd) return AAX_ERROR_PLUGIN_NULL_PARAMETER;
  mSrcStart = srcStart;
  mSrcEnd = srcEnd;
  try {
    TranslateOutputBounds(srcStart, srcEnd, *dstStart, *dstEnd);
  } catch (...) {
    // A failing translation leaves the outputs as they are; they are stored below as given.
  }
  mDstStart = *dstStart;
  mDstEnd = *dstEnd;
  return AAX_SUCCESS;
}

AAX_Result AAX_CHostProcessor::SetLocation(int64_t location) noexcept {
  mLocation = location;
  return AAX_SUCCESS;
}

AAX_Result AAX_CHostProcessor::RenderAudio(const float* const*, int32_t, float* const*, int32_t, int32_t*) noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CHostProcessor::PreRender(int32_t, int32_t, int32_t) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CHostProcessor::PostRender() noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CHostProcessor::AnalyzeAudio(const float* const*, int32_t, int32_t*) noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CHostProcessor::PreAnalyze(int32_t, int32_t) noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CHostProcessor::PostAnalyze() noexcept { return AAX_SUCCESS; }

AAX_Result AAX_CHostProcessor::GetClipNameSuffix(int32_t, AAX_IString*) noexcept { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result AAX_CHostProcessor::TranslateOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t& dstStart,
                                                     int64_t& dstEnd) {
  dstStart = srcStart;
  dstEnd = srcEnd;
  return AAX_SUCCESS;
}

AAX_Result AAX_CHostProcessor::GetAudio(const float* const* buffers, int32_t channelCount, int64_t location,
                                        int32_t* sampleCount) {
  if (!mHostProcessorDelegate) return AAX_ERROR_NULL_OBJECT;
  return mHostProcessorDelegate->GetAudio(buffers, channelCount, location, sampleCount);
}

int32_t AAX_CHostProcessor::GetSideChainInputNum() {
  return mHostProcessorDelegate ? mHostProcessorDelegate->GetSideChainInputNum() : 0;
}

AAX_IController* AAX_CHostProcessor::Controller() { return mController; }
AAX_IHostProcessorDelegate* AAX_CHostProcessor::GetHostProcessorDelegate() { return mHostProcessorDelegate; }
AAX_IEffectParameters* AAX_CHostProcessor::GetEffectParameters() { return mEffectParameters; }
const AAX_IEffectParameters* AAX_CHostProcessor::GetEffectParameters() const { return mEffectParameters; }
