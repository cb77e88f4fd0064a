#include "QuillomancerEngineLog.h"

#include "QuillomancerLogger.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
std::mutex& ObserverLock() {
  static std::mutex lock;
  return lock;
}
std::function<void(const std::string&)>& Observer() {
  static std::function<void(const std::string&)> observer;
  return observer;
}
}  // namespace

void QMEngineLogLine(const std::string& line) {
  QuillomancerLogger::shared().logMessage(std::string_view(line));
  {
    std::lock_guard<std::mutex> guard(ObserverLock());
    if (Observer()) Observer()(line);
  }
}

void QMEngineLog(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(copy);
    return;
  }
  if (size_t(needed) < sizeof small) {
    va_end(copy);
    QMEngineLogLine(std::string(small, size_t(needed)));
    return;
  }
  std::vector<char> big(size_t(needed) + 1);
  std::vsnprintf(big.data(), big.size(), format, copy);
  va_end(copy);
  QMEngineLogLine(std::string(big.data(), size_t(needed)));
}

void QMEngineLogSetObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard<std::mutex> guard(ObserverLock());
  Observer() = std::move(observer);
}
