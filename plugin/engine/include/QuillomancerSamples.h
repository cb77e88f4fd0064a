#pragma once
// The sample buffers of the captures and takes: std::vectors whose new elements are
// left unset, because each of these buffers is written in full right after it is sized (zeroing
// megabytes first would only double the memory traffic). Copies and moves work as for any vector.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

template <typename T>
struct QMUninitialisedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = QMUninitialisedAllocator<U>;
  };
  QMUninitialisedAllocator() noexcept = default;
  template <typename U>
  QMUninitialisedAllocator(const QMUninitialisedAllocator<U>&) noexcept {}

  // resize() and the sized constructor construct with no arguments: nothing is written.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using QuillomancerSamples = std::vector<float, QMUninitialisedAllocator<float>>;
// 16-bit samples as the service sends them; each stands for its value / 32768.
using QMPcm16Samples = std::vector<int16_t, QMUninitialisedAllocator<int16_t>>;

// A take as the processor keeps it until it is rendered: a service take that needed no resampling
// stays in the 16-bit form it came in (half the memory; the samples it stands for are exactly the
// decoded ones), every other take is floats.
class QuillomancerTake {
 public:
  QuillomancerTake() = default;
  explicit QuillomancerTake(QuillomancerSamples samples) : samples_(std::move(samples)) {}
  explicit QuillomancerTake(QMPcm16Samples pcm) : pcm_(std::move(pcm)) {}

  size_t size() const { return samples_.size() + pcm_.size(); }
  bool empty() const { return size() == 0; }
  // Lets go of the samples and their memory.
  void clear() {
    QuillomancerSamples().swap(samples_);
    QMPcm16Samples().swap(pcm_);
  }
  // out[k] = sample(from + k) x gain for k < count; [from, from + count) lies within the take.
  void Scale(size_t from, float gain, float* out, int64_t count) const;
  // The samples as floats.
  QuillomancerSamples Samples() const;

 private:
  QuillomancerSamples samples_;  // at most one of the two holds samples
  QMPcm16Samples pcm_;
};
