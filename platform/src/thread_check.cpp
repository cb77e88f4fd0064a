#include "qm/platform/thread_check.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qm/platform/dispatch.h"

namespace qm::platform {

namespace {
bool isFirstThread() { return ::syscall(SYS_gettid) == ::getpid(); }
}  // namespace

bool threadHasRole(ThreadRole role) noexcept {
  switch (role) {
    case ThreadRole::kMain: return isMainThread() || isFirstThread();
    case ThreadRole::kWorker: return !isMainThread();
    case ThreadRole::kAny: return true;
  }
  return true;
}

void threadRoleViolated(const char* role, const char* function, const char* file, int line) noexcept {
  const bool worker = std::strcmp(role, "worker") == 0;
  std::fprintf(stderr, "%s:%d: %s %s\n", file, line, function,
               worker ? "must not be called on the main thread" : "must be called on the main thread");
  std::fflush(stderr);
  std::abort();
}

}  // namespace qm::platform
