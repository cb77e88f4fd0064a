#pragma once
// A plug-in instance (parameters object and processor) on the fake host, the web-service
// stand-in on loopback, and helpers that run the host's passes and drain the main queue.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AAX_IEffectParameters.h"
#include "Quillomancer_HostProcessor.h"
#include "Quillomancer_Parameters.h"
#include "QuillomancerServer.h"
#include "QuillomancerStoreClient.h"
#include "QuillomancerStoreVocabulary.h"
#include "qm/host/fake_host.h"
#include "qm/platform/dispatch.h"
#include "qm/service/service.h"

namespace qmtest {

// Points HOME at a fresh folder so the plug-in log and user defaults stay out of the real one.
void UseTemporaryHome();

struct PluginInstance {
  explicit PluginInstance(qm::host::FakeHost& host);
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  // A new processor on the same parameters object (the old one is released first when asked).
  void ReplaceProcessor(bool releaseOld);
  void ReleaseProcessor();

  void SetBlock(uint32_t id, const std::string& value);
  void SetByte(uint32_t id, uint8_t value);
  std::string Block(uint32_t id, uint32_t size = 65536);
  int Byte(uint32_t id);
  std::vector<int32_t> Status();

  qm::host::FakeHost& host;
  Quillomancer_Parameters* parameters = nullptr;
  Quillomancer_HostProcessor* processor = nullptr;
  QuillomancerStoreClient store;
};

// Runs `pass` on a host thread of its own, as a host runs its passes, and waits for it.
void OnHostThread(const std::function<void()>& pass);

// Runs a whole analysis pass over `channels` (every channel the same length) in windows of
// `window` samples, on a host thread; the timeline selection is set first when `selection` has
// end > start.
void RunAnalysis(PluginInstance& instance, const std::vector<std::vector<float>>& channels,
                 int64_t selectionStart = 0, int64_t selectionEnd = 0, int32_t window = 1000);
// Runs a render pass of `length` samples into `outputs` channels; returns what was written.
std::vector<std::vector<float>> RunRender(PluginInstance& instance, int64_t length, int32_t outputs,
                                          int32_t window = 1000);

// Drains the main queue until the published state is `state` and no job runs, or times out.
bool WaitForState(PluginInstance& instance, int32_t state, double seconds = 20.0);
// Drains the main queue until every job has completed.
bool WaitForJobs(double seconds = 20.0);

std::vector<float> Tone(int64_t samples, float level = 0.5f);

// The stand-in service on loopback, used as the client's base URL while it lives.
struct LoopbackService {
  explicit LoopbackService(qm::service::Options options = {});
  ~LoopbackService();
  qm::service::Service service;
};

}  // namespace qmtest
