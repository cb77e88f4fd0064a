// Engine hot paths, each reported as `ratio` to a memcpy of the same bytes (audio_bench.h):
//  - the analysis pass (mono mix of 30 s of 48 kHz stereo, in 1024-sample windows),
//  - the render pass (a 30 s take written to two outputs; the pass logs one line per window),
// and the time from dlopen of the bundle to a registered description.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <vector>

#include "AAX_UIDs.h"
#include "IACFUnknown.h"
#include "Quillomancer_HostProcessor.h"
#include "Quillomancer_Parameters.h"
#include "QuillomancerCustomDataStore.h"
#include "QuillomancerServer.h"
#include "IACFPluginDefinition.h"
#include "audio_bench.h"
#include "qm/host/fake_host.h"

namespace {

constexpr int kRate = 48000;
constexpr int64_t kFrames = int64_t(30) * kRate;
constexpr int32_t kWindow = 1024;

// The smallest host unknown a processor can live on: it hands out the parameters object.
class BenchHost : public IACFUnknown {
 public:
  explicit BenchHost(IACFUnknown* parameters) : mParameters(parameters) {}
  ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override {
    if (out == nullptr) return ACFRESULT(0x80004003);
    *out = nullptr;
    if (iid == IID_IAAXEffectParametersV1) return mParameters->QueryInterface(iid, out);
    return ACFRESULT(0x80004002);
  }
  acfUInt32 AddRef() noexcept override { return 1; }
  acfUInt32 Release() noexcept override { return 1; }

 private:
  IACFUnknown* mParameters;
};

struct Rig {
  Quillomancer_Parameters* parameters = new Quillomancer_Parameters();
  BenchHost host{parameters};
  Quillomancer_HostProcessor* processor = nullptr;

  Rig() {
    parameters->AddRef();
    parameters->Initialize(&host);
    processor = new Quillomancer_HostProcessor();
    processor->AddRef();
    processor->Initialize(&host);
    int64_t dstStart = 0, dstEnd = 0;
    processor->InitOutputBounds(0, kFrames, &dstStart, &dstEnd);
  }
  ~Rig() {
    processor->Uninitialize();
    processor->Release();
    parameters->Uninitialize();
    parameters->Release();
  }
  void Analyze(const std::vector<float>& left, const std::vector<float>& right) {
    processor->PreAnalyze(2, kWindow);
    for (int64_t at = 0; at < kFrames; at += kWindow) {
      int32_t n = int32_t(std::min<int64_t>(kWindow, kFrames - at));
      const float* inputs[2] = {left.data() + at, right.data() + at};
      processor->AnalyzeAudio(inputs, 2, &n);
    }
  }
};

void BM_AnalysisMonoMix(benchmark::State& state) {
  std::vector<float> left(kFrames), right(kFrames);
  for (int64_t i = 0; i < kFrames; ++i) {
    left[size_t(i)] = float((i % 200) - 100) / 100.0f;
    right[size_t(i)] = -left[size_t(i)];
  }
  Rig rig;
  qmbench::MeasureAgainstMemcpy(state, size_t(kFrames) * 2 * sizeof(float), [&] { rig.Analyze(left, right); });
}
BENCHMARK(BM_AnalysisMonoMix)->Unit(benchmark::kMillisecond);

void BM_RenderTake(benchmark::State& state) {
  // No service: the capture comes from an analysis pass whose health check fails at once, the
  // take from the local repair preview.
  QuillomancerServerSetBaseURLOverride(std::string("http://127.0.0.1:9"));
  std::vector<float> left(kFrames, 0.25f), right(kFrames, -0.25f);
  Rig rig;
  rig.Analyze(left, right);
  rig.processor->PostAnalyze();
  const uint8_t one = 1;
  rig.parameters->SetCustomData(kQMBlock_Text, 4, "line");

  std::vector<float> out0(kWindow), out1(kWindow);
  float* outputs[2] = {out0.data(), out1.data()};
  auto arm = [&] {
    rig.parameters->SetCustomData(kQMBlock_RepairPreview, 1, &one);
    Quillomancer_HostProcessor::RequestProcessLoadedAudio("bench");
  };
  qmbench::MeasureAgainstMemcpy(state, size_t(kFrames) * 2 * sizeof(float), arm, [&] {
    rig.processor->PreRender(2, 2, kWindow);
    for (int64_t at = 0; at < kFrames; at += kWindow) {
      rig.processor->SetLocation(at);
      int32_t n = int32_t(std::min<int64_t>(kWindow, kFrames - at));
      rig.processor->RenderAudio(nullptr, 0, outputs, 2, &n);
      benchmark::DoNotOptimize(out0.data());
    }
    rig.processor->PostRender();
  });
  QuillomancerServerSetBaseURLOverride(std::nullopt);
}
BENCHMARK(BM_RenderTake)->Unit(benchmark::kMillisecond);

#ifdef QM_BUNDLE_PATH
// From dlopen of the bundle's module to a registered description (start-up and registration
// included; the host's own set-up and the unload are not timed).
void BM_DlopenToRegisteredDescription(benchmark::State& state) {
  using Startup = AAX_Result (*)(IACFUnknown*);
  using Register = AAX_Result (*)(IACFUnknown*, IACFPluginDefinition**);
  using Shutdown = AAX_Result (*)(IACFUnknown*);
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<qm::host::FakeHost>();
    state.ResumeTiming();
    void* module = dlopen(QM_BUNDLE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      state.SkipWithError("cannot load the bundle");
      break;
    }
    auto startup = reinterpret_cast<Startup>(dlsym(module, "ACFStartup"));
    auto registerPlugin = reinterpret_cast<Register>(dlsym(module, "ACFRegisterPlugin"));
    auto shutdown = reinterpret_cast<Shutdown>(dlsym(module, "ACFShutdown"));
    IACFPluginDefinition* definition = nullptr;
    startup(host->Unknown());
    const AAX_Result result = registerPlugin(host->Unknown(), &definition);
    state.PauseTiming();
    if (result != 0 || host->Collections().empty() || host->Collections().back()->Effects().empty()) {
      state.SkipWithError("registration failed");
    }
    if (definition != nullptr) definition->Release();
    shutdown(host->Unknown());
    dlclose(module);
    host.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DlopenToRegisteredDescription)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

int main(int argc, char** argv) { return qmbench::RunInTemporaryHome(argc, argv, "engine"); }
