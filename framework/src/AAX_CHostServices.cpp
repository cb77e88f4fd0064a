#include "AAX_CHostServices.h"

#include "AAX_Errors.h"
#include "AAX_VHostServices.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// Traces read the wrapper from any thread while shut-down may replace it. A reader
// announces itself before it loads the pointer; shut-down swaps the pointer out first and
// then waits until no reader is left before it deletes the wrapper. Readers never wait.
std::atomic<AAX_VHostServices*> sHostServices{nullptr};
std::atomic<int> sReaders{0};
std::mutex sWriterLock;  // start-up and shut-down against each other

class ReaderScope {
public:
  ReaderScope() { sReaders.fetch_add(1); }
  ~ReaderScope() { sReaders.fetch_sub(1); }
  ReaderScope(const ReaderScope&) = delete;
  ReaderScope& operator=(const ReaderScope&) = delete;
  const AAX_VHostServices* Services() const { return sHostServices.load(); }
};

constexpr size_t kTraceBufferSize = 512;

// Formats the message and hands it to `send` with the current host services. Without a
// host there is no one to tell (success); a format that fails is reported.
template <typename Send>
AAX_Result SendFormatted(const char* format, va_list args, Send&& send) {
  const ReaderScope reader;
  const AAX_VHostServices* services = reader.Services();
  if (!services) return 0;
  char buffer[kTraceBufferSize];
  if (!format || std::vsnprintf(buffer, sizeof buffer, format, args) < 0) return AAX_RESULT_TRACE_FORMAT_FAILED;
  return send(*services, buffer);
}

}  // namespace

void AAX_CHostServices::Set(IACFUnknown* host) {
  std::lock_guard<std::mutex> guard(sWriterLock);
  if (host) {
    if (sHostServices.load()) return;  // a second start-up keeps the first wrapper
    sHostServices.store(new AAX_VHostServices(host));
    return;
  }
  AAX_VHostServices* old = sHostServices.exchange(nullptr);
  if (!old) return;
  while (sReaders.load() != 0) std::this_thread::yield();
  delete old;
}

AAX_Result AAX_CHostServices::Trace(int32_t priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const AAX_Result result = SendFormatted(format, args, [&](const AAX_VHostServices& services, const char* text) {
    return services.Trace(priority, text);
  });
  va_end(args);
  return result;
}

AAX_Result AAX_CHostServices::StackTrace(int32_t tracePriority, int32_t stackTracePriority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const AAX_Result result = SendFormatted(format, args, [&](const AAX_VHostServices& services, const char* text) {
    return services.StackTrace(tracePriority, stackTracePriority, text);
  });
  va_end(args);
  return result;
}

AAX_Result AAX_CHostServices::HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t flags) {
  const ReaderScope reader;
  const AAX_VHostServices* services = reader.Services();
  if (!services) return 0;
  return services->HandleAssertFailure(file, line, note, flags);
}
