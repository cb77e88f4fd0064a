#include "AAX_CHostServices.h"

#include "AAX_Errors.h"
#include "AAX_VHostServices.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

namespace {

// Traces read the wrapper from any thread while shut-down may replace it: readers hold the
// shared lock for the whole call, so the wrapper is never deleted under them.
std::shared_mutex& ServicesLock() {
  static std::shared_mutex lock;
  return lock;
}
std::atomic<AAX_VHostServices*> sHostServices{nullptr};

constexpr size_t kTraceBufferSize = 512;

// Formats into `buffer`; false when formatting fails.
bool Format(char (&buffer)[kTraceBufferSize], const char* format, va_list args) {
  if (!format) return false;
  return std::vsnprintf(buffer, sizeof buffer, format, args) >= 0;
}

}  // namespace

void AAX_CHostServices::Set(IACFUnknown* host) {
  if (host) {
    if (sHostServices.load()) return;  // a second start-up keeps the first wrapper
    auto* created = new AAX_VHostServices(host);
    std::unique_lock<std::shared_mutex> guard(ServicesLock());
    AAX_VHostServices* expected = nullptr;
    if (!sHostServices.compare_exchange_strong(expected, created)) {
      guard.unlock();
      delete created;
    }
    return;
  }
  AAX_VHostServices* old = nullptr;
  {
    std::unique_lock<std::shared_mutex> guard(ServicesLock());
    old = sHostServices.exchange(nullptr);
  }
  delete old;
}

AAX_Result AAX_CHostServices::Trace(int32_t priority, const char* format, ...) {
  std::shared_lock<std::shared_mutex> guard(ServicesLock());
  const AAX_VHostServices* services = sHostServices.load();
  if (!services) return 0;
  char buffer[kTraceBufferSize];
  va_list args;
  va_start(args, format);
  const bool formatted = Format(buffer, format, args);
  va_end(args);
  if (!formatted) return AAX_RESULT_TRACE_FORMAT_FAILED;
  return services->Trace(priority, buffer);
}

AAX_Result AAX_CHostServices::StackTrace(int32_t tracePriority, int32_t stackTracePriority, const char* format, ...) {
  std::shared_lock<std::shared_mutex> guard(ServicesLock());
  const AAX_VHostServices* services = sHostServices.load();
  if (!services) return 0;
  char buffer[kTraceBufferSize];
  va_list args;
  va_start(args, format);
  const bool formatted = Format(buffer, format, args);
  va_end(args);
  if (!formatted) return AAX_RESULT_TRACE_FORMAT_FAILED;
  return services->StackTrace(tracePriority, stackTracePriority, buffer);
}

AAX_Result AAX_CHostServices::HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t flags) {
  std::shared_lock<std::shared_mutex> guard(ServicesLock());
  const AAX_VHostServices* services = sHostServices.load();
  if (!services) return 0;
  return services->HandleAssertFailure(file, line, note, flags);
}
