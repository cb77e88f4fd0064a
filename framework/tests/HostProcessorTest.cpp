#include "AAX_CEffectParameters.h"
#include "AAX_CHostProcessor.h"
#include "AAX_IController.h"
#include "AAX_IHostProcessorDelegate.h"
#include "HostCapture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct HostProcessorOnFakeHost : ::testing::Test {
  HostCapture capture;
  AAX_CEffectParameters parameters;  // the data-model component the host hands out
  AAX_CHostProcessor processor;

  void SetUp() override {
    parameters.AddRef();  // the host's own reference
    capture.Host().SetEffectParameters(parameters.GetPrivateUnknown());
  }
  void TearDown() override {
    processor.Uninitialize();
    EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
  }
  // References to the parameters object other than the host's own.
  uint32_t ExtraReferences() {
    const uint32_t count = parameters.AddRef();
    parameters.Release();
    return count - 2;
  }
};

}  // namespace

TEST_F(HostProcessorOnFakeHost, InitializeTakesTheWrappersAndOneParametersReference) {
  EXPECT_EQ(processor.Initialize(nullptr), AAX_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(processor.GetEffectParameters(), nullptr);
  ASSERT_EQ(processor.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(processor.GetEffectParameters(), static_cast<AAX_IEffectParameters*>(&parameters));
  EXPECT_EQ(ExtraReferences(), 1u);
  ASSERT_NE(processor.Controller(), nullptr);
  float rate = 0;
  EXPECT_EQ(processor.Controller()->GetSampleRate(&rate), 0);
  EXPECT_EQ(rate, 48000.0f);

  // Twice in a row: the reference is given back once.
  EXPECT_EQ(processor.Uninitialize(), 0);
  EXPECT_EQ(processor.Uninitialize(), 0);
  EXPECT_EQ(ExtraReferences(), 0u);
  EXPECT_EQ(processor.GetEffectParameters(), nullptr);
  EXPECT_EQ(processor.Controller(), nullptr);
  EXPECT_EQ(processor.GetHostProcessorDelegate(), nullptr);
}

TEST_F(HostProcessorOnFakeHost, HostWithoutParametersLeavesThePointerNull) {
  capture.Host().SetEffectParameters(nullptr);
  ASSERT_EQ(processor.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(processor.GetEffectParameters(), nullptr);
}

TEST_F(HostProcessorOnFakeHost, OutputBoundsFollowTheSourceRange) {
  EXPECT_EQ(processor.GetInputRange(), 0);
  EXPECT_EQ(processor.GetOutputRange(), 0);
  EXPECT_EQ(processor.GetLocation(), 0);
  int64_t start = -1, end = -1;
  ASSERT_EQ(processor.InitOutputBounds(100, 600, &start, &end), 0);
  EXPECT_EQ(start, 100);
  EXPECT_EQ(end, 600);
  EXPECT_EQ(processor.GetInputRange(), 500);
  EXPECT_EQ(processor.GetOutputRange(), 500);

  EXPECT_EQ(processor.InitOutputBounds(0, 10, &start, nullptr), AAX_ERROR_PLUGIN_NULL_PARAMETER);
  EXPECT_EQ(processor.InitOutputBounds(0, 10, nullptr, &end), AAX_ERROR_PLUGIN_NULL_PARAMETER);
  EXPECT_EQ(processor.GetInputRange(), 500);
  EXPECT_EQ(processor.GetOutputRange(), 500);

  EXPECT_EQ(processor.SetLocation(4800), 0);
  EXPECT_EQ(processor.GetLocation(), 4800);
}

TEST_F(HostProcessorOnFakeHost, DerivedTranslationDecidesTheDestination) {
  struct Shifting : AAX_CHostProcessor {
    AAX_Result TranslateOutputBounds(int64_t srcStart, int64_t srcEnd, int64_t& dstStart, int64_t& dstEnd) override {
      dstStart = srcStart + 10;
      dstEnd = srcEnd + 30;
      return AAX_ERROR_UNIMPLEMENTED;  // not looked at
    }
  } shifting;
  int64_t start = 0, end = 0;
  ASSERT_EQ(shifting.InitOutputBounds(100, 200, &start, &end), 0);
  EXPECT_EQ(start, 110);
  EXPECT_EQ(end, 230);
  EXPECT_EQ(shifting.GetInputRange(), 100);
  EXPECT_EQ(shifting.GetOutputRange(), 120);
}

TEST_F(HostProcessorOnFakeHost, NoClipNameSuffix) {
  AAX_CString suffix("untouched");
  EXPECT_EQ(processor.GetClipNameSuffix(10, &suffix), AAX_ERROR_UNIMPLEMENTED);
  EXPECT_EQ(suffix, "untouched");
}

TEST_F(HostProcessorOnFakeHost, AudioIsReadThroughTheHostsDelegate) {
  float sample = 1.0f;
  float* buffers[] = {&sample};
  int32_t count = 1;
  EXPECT_EQ(processor.GetAudio(buffers, 1, 0, &count), AAX_ERROR_NULL_OBJECT);  // before Initialize
  EXPECT_EQ(processor.GetSideChainInputNum(), 0);

  capture.Host().ProcessorDelegate().SetTimelineAudio({{0.25f, 0.5f, 0.75f}});
  capture.Host().ProcessorDelegate().SetSideChainInputNum(2);
  ASSERT_EQ(processor.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(processor.GetAudio(buffers, 1, 2, &count), 0);
  EXPECT_EQ(sample, 0.75f);
  EXPECT_EQ(processor.GetSideChainInputNum(), 2);
  ASSERT_NE(processor.GetHostProcessorDelegate(), nullptr);
  int analyses = 0;
  capture.Host().ProcessorDelegate().OnForceAnalyze([&] { return (++analyses, 0); });
  EXPECT_EQ(processor.GetHostProcessorDelegate()->ForceAnalyze(), 0);
  EXPECT_EQ(analyses, 1);
}

TEST(HostProcessor, DestructorGivesEverythingBack) {
  HostCapture capture;
  AAX_CEffectParameters parameters;
  parameters.AddRef();
  capture.Host().SetEffectParameters(parameters.GetPrivateUnknown());
  {
    AAX_CHostProcessor processor;
    ASSERT_EQ(processor.Initialize(capture.Unknown()), 0);
  }
  EXPECT_EQ(parameters.AddRef(), 2u);
  parameters.Release();
  EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
}
