// Base of the AudioSuite host-processor component: keeps the ranges and location of the
// host's offline passes, the controller and host-processor-delegate wrappers, and a counted
// pointer to the data-model component of the same instance. Derived classes override the
// six pass operations.
#pragma once

#include "AAX_Errors.h"
#include "AAX_IHostProcessor.h"

class AAX_IController;
class AAX_IEffectParameters;
class AAX_IHostProcessorDelegate;
class AAX_VController;
class AAX_VHostProcessorDelegate;

class AAX_CHostProcessor : public AAX_IHostProcessor {
public:
  AAX_CHostProcessor();
  ~AAX_CHostProcessor() override;
  AAX_CHostProcessor(const AAX_CHostProcessor&) = delete;
  AAX_CHostProcessor& operator=(const AAX_CHostProcessor&) = delete;

  // Host interface, in slot order. [host-thread]: the passes of one instance run in
  // sequence on one host thread.
  AAX_Result Initialize(IACFUnknown* host) noexcept override;
  AAX_Result Uninitialize() noexcept override;
  AAX_Result InitOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t* dstStart, int64_t* dstEnd) noexcept override;
  AAX_Result SetLocation(int64_t location) noexcept override;
  AAX_Result RenderAudio(const float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
                         int32_t* windowSize) noexcept override;
  AAX_Result PreRender(int32_t inputCount, int32_t outputCount, int32_t windowSize) noexcept override;
  AAX_Result PostRender() noexcept override;
  AAX_Result AnalyzeAudio(const float* const* inputs, int32_t inputCount, int32_t* windowSize) noexcept override;
  AAX_Result PreAnalyze(int32_t inputCount, int32_t windowSize) noexcept override;
  AAX_Result PostAnalyze() noexcept override;
  AAX_Result GetClipNameSuffix(int32_t maxLength, AAX_IString* suffix) noexcept override;

  // [host-thread] Destination range of a pass for a source range; the base keeps it equal.
  virtual AAX_Result TranslateOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t& dstStart, int64_t& dstEnd);
  // [host-thread] Reads timeline audio through the host (needs a successful Initialize).
  virtual AAX_Result GetAudio(const float* const* buffers, int32_t channelCount, int64_t location, int32_t* sampleCount);
  virtual int32_t GetSideChainInputNum();

  AAX_IController* Controller();
  AAX_IHostProcessorDelegate* GetHostProcessorDelegate();
  // The data-model component, null before Initialize or when the host gave none.
  AAX_IEffectParameters* GetEffectParameters();
  const AAX_IEffectParameters* GetEffectParameters() const;
  int64_t GetInputRange() const { return mSrcEnd - mSrcStart; }
  int64_t GetOutputRange() const { return mDstEnd - mDstStart; }
  int64_t GetLocation() const { return mLocation; }

private:
  void ReleaseHostObjects() noexcept;

  AAX_VController* mController = nullptr;
  AAX_VHostProcessorDelegate* mHostProcessorDelegate = nullptr;
  AAX_IEffectParameters* mEffectParameters = nullptr;
  int64_t mSrcStart = 0;
  int64_t mSrcEnd = 0;
  int64_t mDstStart = 0;
  int64_t mDstEnd = 0;
  int64_t mLocation = 0;
};
