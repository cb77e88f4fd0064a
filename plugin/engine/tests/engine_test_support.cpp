#include "engine_test_support.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace qmtest {

void UseTemporaryHome() {
  static std::once_flag once;
  std::call_once(once, [] {
    static char pattern[] = "/tmp/qm-engine-tests-XXXXXX";
    if (const char* dir = mkdtemp(pattern)) {
      setenv("HOME", dir, 1);
      std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(pattern, ec);
      });
    }
  });
}

namespace {
// Before any test touches the log or the user defaults.
const bool kHomeReady = (UseTemporaryHome(), true);
}  // namespace

PluginInstance::PluginInstance(qm::host::FakeHost& h) : host(h) {
  (void)kHomeReady;
  qm::platform::setCurrentThreadAsMain();
  parameters = new Quillomancer_Parameters();
  parameters->AddRef();
  host.SetEffectParameters(static_cast<AAX_IEffectParameters*>(parameters));
  EXPECT_EQ(parameters->Initialize(host.Unknown()), 0);
  store = QuillomancerStoreClient(parameters);
  processor = new Quillomancer_HostProcessor();
  processor->AddRef();
  EXPECT_EQ(processor->Initialize(host.Unknown()), 0);
}

PluginInstance::~PluginInstance() {
  WaitForJobs();
  ReleaseProcessor();
  parameters->Uninitialize();
  parameters->Release();
  host.SetEffectParameters(nullptr);
}

void PluginInstance::ReleaseProcessor() {
  if (processor == nullptr) return;
  processor->Uninitialize();
  processor->Release();
  processor = nullptr;
}

void PluginInstance::ReplaceProcessor(bool releaseOld) {
  Quillomancer_HostProcessor* old = processor;
  if (releaseOld) ReleaseProcessor();
  processor = new Quillomancer_HostProcessor();
  processor->AddRef();
  EXPECT_EQ(processor->Initialize(host.Unknown()), 0);
  if (!releaseOld && old != nullptr) {
    old->Uninitialize();
    old->Release();
  }
}

void PluginInstance::SetBlock(uint32_t id, const std::string& value) { store.WriteString(id, value); }

void PluginInstance::SetByte(uint32_t id, uint8_t value) { store.WriteByte(id, value); }

std::string PluginInstance::Block(uint32_t id, uint32_t size) { return store.ReadString(id, size); }

int PluginInstance::Byte(uint32_t id) { return store.ReadByte(id).value_or(0); }

std::vector<int32_t> PluginInstance::Status() {
  const QuillomancerStatusRecord r = store.ReadStatus();
  return {r.state, r.takeIndex, r.takesRequested, r.takesReady, r.creditBalance, r.asyncActivity, r.countdown};
}

void OnHostThread(const std::function<void()>& pass) { std::thread(pass).join(); }

void RunAnalysis(PluginInstance& instance, const std::vector<std::vector<float>>& channels, int64_t selectionStart,
                 int64_t selectionEnd, int32_t window) {
  const int64_t length = channels.empty() ? 0 : int64_t(channels[0].size());
  instance.host.Transport().SetTimelineSelection(selectionStart, selectionEnd);
  OnHostThread([&] {
    int64_t dstStart = 0, dstEnd = 0;
    instance.processor->InitOutputBounds(0, length, &dstStart, &dstEnd);
    instance.processor->PreAnalyze(int32_t(channels.size()), window);
    for (int64_t at = 0; at < length; at += window) {
      int32_t n = int32_t(std::min<int64_t>(window, length - at));
      std::vector<const float*> inputs;
      for (const auto& channel : channels) inputs.push_back(channel.data() + at);
      instance.processor->SetLocation(at);
      EXPECT_EQ(instance.processor->AnalyzeAudio(inputs.data(), int32_t(inputs.size()), &n), 0);
    }
    instance.processor->PostAnalyze();
  });
}

std::vector<std::vector<float>> RunRender(PluginInstance& instance, int64_t length, int32_t outputs, int32_t window) {
  std::vector<std::vector<float>> written(size_t(outputs), std::vector<float>(size_t(length), -9.0f));
  int64_t dstStart = 0, dstEnd = 0;
  instance.processor->InitOutputBounds(0, length, &dstStart, &dstEnd);
  instance.processor->PreRender(1, outputs, window);
  for (int64_t at = 0; at < length; at += window) {
    int32_t n = int32_t(std::min<int64_t>(window, length - at));
    std::vector<float*> buffers;
    for (auto& channel : written) buffers.push_back(channel.data() + at);
    instance.processor->SetLocation(at);
    EXPECT_EQ(instance.processor->RenderAudio(nullptr, 0, buffers.data(), outputs, &n), 0);
  }
  instance.processor->PostRender();
  return written;
}

bool WaitForState(PluginInstance& instance, int32_t state, double seconds) {
  return qm::platform::runMainQueueUntil(
      [&] { return Quillomancer_HostProcessor::RunningJobCount() == 0 && instance.Status()[0] == state; }, seconds);
}

bool WaitForJobs(double seconds) {
  return qm::platform::runMainQueueUntil([] { return Quillomancer_HostProcessor::RunningJobCount() == 0; },
                                         seconds);
}

std::vector<float> Tone(int64_t samples, float level) {
  std::vector<float> out(static_cast<size_t>(samples));
  for (int64_t i = 0; i < samples; ++i) out[size_t(i)] = level * float(std::sin(double(i) * 0.05));
  return out;
}

LoopbackService::LoopbackService(qm::service::Options options) : service(options) {
  EXPECT_TRUE(service.start());
  QuillomancerServerSetBaseURLOverride(service.url());
}

LoopbackService::~LoopbackService() {
  QuillomancerServerSetBaseURLOverride(std::nullopt);
  service.stop();
}

}  // namespace qmtest
