#include "ACFInterlocked.h"

#include <atomic>

extern "C" {

// [any-thread]
acfUInt32 ACFInterlockedIncrement(acfUInt32* value) noexcept {
  return std::atomic_ref<acfUInt32>(*value).fetch_add(1, std::memory_order_seq_cst) + 1;
}

// [any-thread]
acfUInt32 ACFInterlockedDecrement(acfUInt32* value) noexcept {
  return std::atomic_ref<acfUInt32>(*value).fetch_sub(1, std::memory_order_seq_cst) - 1;
}

}
