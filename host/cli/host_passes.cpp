#include "host_passes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace qm::host::cli {

namespace {

// Frames a pass hands over at a time.
constexpr int32_t kPassWindow = 1024;

// The channels' samples [at, at + n) for a pass, read from the clip's file for each window: its
// own samples where it has them, silence beyond its end (as on a timeline).
class PassWindow {
 public:
  explicit PassWindow(const qm::host::WavClip& clip)
      : clip_(clip), buffers_(size_t(clip.channels()), std::vector<float>(size_t(kPassWindow))) {
    for (auto& buffer : buffers_) pointers_.push_back(buffer.data());
  }
  // Null when the file could not be read.
  const float* const* At(int64_t at, int64_t n) {
    // Past the clip's end every window is silence: the buffers are cleared once.
    const bool silent = at >= clip_.frames() || at + n <= 0;
    if (silent && !silent_) {
      for (auto& buffer : buffers_) std::fill(buffer.begin(), buffer.end(), 0.0f);
    } else if (!silent && !clip_.read(at, n, pointers_.data())) {
      return nullptr;
    }
    silent_ = silent;
    return pointers_.data();
  }
  int32_t Count() const { return int32_t(pointers_.size()); }

 private:
  const qm::host::WavClip& clip_;
  std::vector<std::vector<float>> buffers_;
  std::vector<float*> pointers_;
  bool silent_ = false;
};

}  // namespace

bool HostPasses::Start(const char* name, std::function<void()> pass) {
  if (Running() || processor_ == nullptr) return false;
  Join();
  finished_ = false;
  name_ = name;
  worker_ = std::thread([this, pass = std::move(pass)] {
    pass();
    finished_ = true;
  });
  return true;
}

bool HostPasses::StartAnalysis(std::shared_ptr<const qm::host::WavClip> clip, int64_t from, int64_t to) {
  if (!clip) return false;
  return Start("LOAD", [this, clip, from, to] {
    int64_t dstStart = 0, dstEnd = 0;
    processor_->InitOutputBounds(from, to, &dstStart, &dstEnd);
    processor_->PreAnalyze(int32_t(clip->channels()), kPassWindow);
    PassWindow inputs(*clip);
    for (int64_t at = from; at < to; at += kPassWindow) {
      int32_t n = int32_t(std::min<int64_t>(kPassWindow, to - at));
      const float* const* window = inputs.At(at, n);
      if (window == nullptr) {
        // The pass is abandoned: what was handed over is not the selection, and the plug-in is
        // never told that it was.
        error_ = "cannot read " + clip->path();
        return;
      }
      processor_->SetLocation(at);
      processor_->AnalyzeAudio(window, inputs.Count(), &n);
    }
    processor_->PostAnalyze();
  });
}

bool HostPasses::StartRender(std::shared_ptr<const qm::host::WavClip> clip, int64_t from, int64_t to,
                             std::string file) {
  if (!clip) return false;
  return Start("RENDER", [this, clip, from, to, file] {
    qm::host::Wav16Writer writer(file, 1, to - from, clip->sampleRate());
    int64_t dstStart = 0, dstEnd = 0;
    processor_->InitOutputBounds(from, to, &dstStart, &dstEnd);
    processor_->PreRender(int32_t(clip->channels()), 1, kPassWindow);
    PassWindow inputs(*clip);
    std::vector<float> window(kPassWindow);
    for (int64_t at = from; at < to; at += kPassWindow) {
      const int64_t length = std::min<int64_t>(kPassWindow, to - at);
      int32_t n = int32_t(length);
      const float* const* in = inputs.At(at, length);
      if (in == nullptr) {
        error_ = "cannot read " + clip->path();
        break;
      }
      std::fill(window.begin(), window.end(), 0.0f);
      float* outputs[1] = {window.data()};
      processor_->SetLocation(at);
      processor_->RenderAudio(in, inputs.Count(), outputs, 1, &n);
      const float* written[1] = {window.data()};
      writer.append(written, length);
    }
    processor_->PostRender();
    if (!error_.empty()) return;  // the take stays unwritten
    std::string error;
    if (!writer.finish(&error)) error_ = error.empty() ? "cannot write " + file : error;
  });
}

std::string HostPasses::Join() {
  if (worker_.joinable()) worker_.join();
  stuck_ = false;
  std::string error;
  error.swap(error_);
  return error;
}

std::string HostPasses::Finish(const std::function<void()>& turn, double seconds) {
  const auto start = std::chrono::steady_clock::now();
  while (Running()) {
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds) {
      stuck_ = true;
      char limit[32];
      std::snprintf(limit, sizeof limit, "%g", seconds);
      return name_ + " did not end within " + limit + " s";
    }
    turn();
  }
  return Join();
}

}  // namespace qm::host::cli
