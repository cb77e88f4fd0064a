// The host's own passes over a clip on the timeline: LOAD (an analysis pass) and RENDER (a render
// pass), each on a host thread of its own while the main thread keeps turning the host's loop.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "AAX_IHostProcessor.h"
#include "qm/host/wav_file.h"

namespace qm::host::cli {

// The host's own passes over the timeline selection [from, to) of a clip, one at a time.
class HostPasses {
 public:
  explicit HostPasses(AAX_IHostProcessor* processor) : processor_(processor) {}
  // Waits for a pass still running (one that never ends keeps waiting: see Finish).
  ~HostPasses() { Join(); }
  HostPasses(const HostPasses&) = delete;
  HostPasses& operator=(const HostPasses&) = delete;

  // LOAD: an analysis pass. False while another pass runs.
  // The clip's frames are read from its file for each window the pass hands over, so a pass holds
  // no more of the clip than one window. A window that cannot be read abandons the pass before
  // its end is announced: the plug-in never goes on with part of the selection (Join says why).
  bool StartAnalysis(std::shared_ptr<const qm::host::WavClip> clip, int64_t from, int64_t to);
  // RENDER: a render pass into one output channel, each window written to `file` as it comes.
  bool StartRender(std::shared_ptr<const qm::host::WavClip> clip, int64_t from, int64_t to, std::string file);
  bool Running() const { return worker_.joinable() && !finished_.load(); }
  // Waits for the pass; answers what went wrong reading the clip or writing a render (empty
  // otherwise).
  std::string Join();
  // Calls `turn` (a turn of the host's loop) until the pass has ended, then answers as Join does.
  // A pass still running after `seconds` is left to run and answered "LOAD did not end within
  // N s" (or RENDER): it is then Stuck.
  std::string Finish(const std::function<void()>& turn, double seconds);
  // A pass did not end within its time (and has not been joined since). It may still be inside
  // the plug-in, which must then not be torn down under it.
  bool Stuck() const { return stuck_; }

 private:
  // Runs `pass` on the host thread; false while another pass runs.
  bool Start(const char* name, std::function<void()> pass);

  AAX_IHostProcessor* processor_;
  std::thread worker_;
  std::atomic<bool> finished_{false};
  std::string name_;  // of the pass started last: LOAD or RENDER
  std::string error_;
  bool stuck_ = false;
};

}  // namespace qm::host::cli
