#pragma once
// The host's analysis and render passes over a mono clip, each on a host thread of its own, in
// blocks of 1000 frames, as the window tests that run a real processor need them.

#include "Quillomancer_HostProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace qmwindowtest {

// Two seconds at 16 kHz of a plain tone: something for LOAD to capture.
inline std::vector<float> ToneClip() {
  std::vector<float> clip(32000);
  for (std::size_t i = 0; i < clip.size(); ++i) clip[i] = 0.5f * float(std::sin(double(i) * 0.05));
  return clip;
}

inline void RunAnalysis(Quillomancer_HostProcessor& processor, const std::vector<float>& clip) {
  std::thread([&] {
    int64_t start = 0, end = 0;
    processor.InitOutputBounds(0, int64_t(clip.size()), &start, &end);
    processor.PreAnalyze(1, 1000);
    for (std::size_t at = 0; at < clip.size(); at += 1000) {
      int32_t n = int32_t(std::min<std::size_t>(1000, clip.size() - at));
      const float* input = clip.data() + at;
      processor.SetLocation(int64_t(at));
      processor.AnalyzeAudio(&input, 1, &n);
    }
    processor.PostAnalyze();
  }).join();
}

inline void RunRender(Quillomancer_HostProcessor& processor, int64_t length) {
  std::thread([&] {
    std::vector<float> out(std::size_t(length), 0.0f);
    int64_t start = 0, end = 0;
    processor.InitOutputBounds(0, length, &start, &end);
    processor.PreRender(1, 1, 1000);
    for (int64_t at = 0; at < length; at += 1000) {
      int32_t n = int32_t(std::min<int64_t>(1000, length - at));
      float* buffer = out.data() + at;
      processor.SetLocation(at);
      processor.RenderAudio(nullptr, 0, &buffer, 1, &n);
    }
    processor.PostRender();
  }).join();
}

}  // namespace qmwindowtest
