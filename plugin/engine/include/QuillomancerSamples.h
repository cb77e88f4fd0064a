#pragma once
// The sample buffer of the captures and takes: a std::vector of floats whose new elements are
// left unset, because each of these buffers is written in full right after it is sized (zeroing
// megabytes first would only double the memory traffic). Copies and moves work as for any vector.

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
