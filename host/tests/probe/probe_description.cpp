// A small plug-in used to exercise bundle loading and `qmhost validate`: one effect with
// a parameters object, a host processor that renders its input at half level and whose analysis
// pass leaves a short job running on the global queue, and a window with one view. Built seven
// ways: sound, with a description that fails (QM_PROBE_FAILING_DESCRIPTION), with a processor
// that keeps a host reference (QM_PROBE_LEAKING_COMPONENT), with a render pass that writes a NaN
// (QM_PROBE_NAN_RENDER), an infinity (QM_PROBE_INFINITY_RENDER) or a denormal
// (QM_PROBE_DENORMAL_RENDER), and with a window that leaves its view in the host's view when it is
// closed (QM_PROBE_LEAKING_VIEW).
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

#include "AAX_CEffectGUI_Cocoa.h"
#include "AAX_CEffectParameters.h"
#include "AAX_CHostProcessor.h"
#include "AAX_CheckedResult.h"
#include "AAX_Errors.h"
#include "AAX_Exports.h"
#include "AAX_ICollection.h"
#include "AAX_IEffectDescriptor.h"
#include "AAX_IPropertyMap.h"
#include "AAX_UIDs.h"
#include "qm/platform/dispatch.h"

namespace {

class ProbeParameters : public AAX_CEffectParameters {
public:
  static AAX_CEffectParameters* Create() { return new ProbeParameters; }
};

class ProbeProcessor : public AAX_CHostProcessor {
public:
  static AAX_CHostProcessor* Create() { return new ProbeProcessor; }

#ifdef QM_PROBE_LEAKING_COMPONENT
  AAX_Result Initialize(IACFUnknown* host) noexcept override {
    const AAX_Result result = AAX_CHostProcessor::Initialize(host);
    void* kept = nullptr;
    if (host) host->QueryInterface(IID_IAAXTransportV1, &kept);  // never released
    return result;
  }
#endif

  AAX_Result RenderAudio(const float* const* inputs, int32_t inputCount, float* const* outputs, int32_t outputCount,
                         int32_t* windowSize) noexcept override {
    if (!windowSize || !outputs) return AAX_ERROR_NULL_OBJECT;
    for (int32_t c = 0; c < outputCount; ++c) {
      if (!outputs[c]) continue;
      const float* in = (inputs && c < inputCount) ? inputs[c] : nullptr;
      for (int32_t i = 0; i < *windowSize; ++i) outputs[c][i] = in ? 0.5f * in[i] : 0.0f;
    }
#if defined(QM_PROBE_NAN_RENDER)
    if (outputCount > 0 && outputs[0] && *windowSize > 0) outputs[0][0] = std::numeric_limits<float>::quiet_NaN();
#elif defined(QM_PROBE_INFINITY_RENDER)
    if (outputCount > 0 && outputs[0] && *windowSize > 0) outputs[0][0] = -std::numeric_limits<float>::infinity();
#elif defined(QM_PROBE_DENORMAL_RENDER)
    if (outputCount > 0 && outputs[0] && *windowSize > 0) outputs[0][0] = std::numeric_limits<float>::denorm_min();
#endif
    return AAX_SUCCESS;
  }

  AAX_Result AnalyzeAudio(const float* const*, int32_t, int32_t* windowSize) noexcept override {
    return windowSize ? AAX_SUCCESS : AAX_ERROR_NULL_OBJECT;
  }
  // The analysis leaves work behind, as a plug-in that sends what it heard to a service does.
  AAX_Result PostAnalyze() noexcept override {
    qm::platform::dispatchGlobal([] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); });
    return AAX_SUCCESS;
  }
};

class ProbeGUI : public AAX_CEffectGUI_Cocoa {
public:
  static AAX_CEffectGUI* Create() { return new ProbeGUI; }

protected:
  void CreateViewContents() override {
    SetViewController(std::make_shared<qm::ui::ViewController>(std::make_shared<qm::ui::View>(qm::ui::Rect(0, 0, 240, 80))));
  }
#ifdef QM_PROBE_LEAKING_VIEW
  void DeleteViewContainer() override {}  // the view stays where it was put
#endif
};

constexpr int32_t FourChars(const char (&code)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(code[0]) << 24) | (static_cast<uint32_t>(code[1]) << 16) |
                              (static_cast<uint32_t>(code[2]) << 8) | static_cast<uint32_t>(code[3]));
}

[[maybe_unused]] AAX_Result Describe(AAX_IEffectDescriptor& descriptor) {
  AAX_CheckedResult result;
  AAX_IPropertyMap* properties = descriptor.NewPropertyMap();
  if (!properties) return AAX_ERROR_NULL_OBJECT;
  result = properties->AddProperty(static_cast<AAX_EProperty>(11), FourChars("QMpr"));
  result = properties->AddProperty(static_cast<AAX_EProperty>(12), FourChars("Prob"));
  result = properties->AddProperty(static_cast<AAX_EProperty>(14), FourChars("PRb1"));
  result = descriptor.AddName("Quillomancer Probe");
  result = descriptor.AddName("Probe");
  result = descriptor.AddCategory(0);
  result = descriptor.AddProcPtr(reinterpret_cast<void*>(&ProbeParameters::Create), 0);
  result = descriptor.AddProcPtr(reinterpret_cast<void*>(&ProbeProcessor::Create), 3);
  result = descriptor.AddProcPtr(reinterpret_cast<void*>(&ProbeGUI::Create), 1);
  result = descriptor.SetProperties(properties);
  return result;
}

}  // namespace

AAX_Result GetEffectDescriptions(AAX_ICollection* collection) {
#ifdef QM_PROBE_FAILING_DESCRIPTION
  (void)collection;
  return AAX_ERROR_NULL_OBJECT;
#else
  AAX_CheckedResult result;
  AAX_IEffectDescriptor* descriptor = collection->NewDescriptor();
  if (!descriptor) return AAX_ERROR_NULL_OBJECT;
  result = Describe(*descriptor);
  result = collection->AddEffect("com.quillomancer.aax.probe", descriptor);
  result = collection->SetManufacturerName("Quillomancer");
  result = collection->AddPackageName("Quillomancer Probe");
  result = collection->SetPackageVersion(1);
  return result;
#endif
}
