#pragma once
// QM_ASSERT_THREAD(main), QM_ASSERT_THREAD(worker), QM_ASSERT_THREAD(any): the thread a function
// must be called on, checked where the call enters. Built with QM_THREAD_CHECKS (the sanitizer
// presets) a call on the wrong thread prints the function, file and line and aborts; otherwise the
// macro compiles to nothing (its argument is still checked to be one of the three names).
//
//  - main: the thread that drains the main queue; before any thread does, the process's first
//    thread. A host calls every window entry and the button entries there.
//  - worker: any thread but the one that drains the main queue (blocking service calls).
//  - any: no restriction; written where a reader might otherwise wonder.

namespace qm::platform {

enum class ThreadRole { kMain, kWorker, kAny };

// True when the calling thread may run code of that role. [any-thread]
bool threadHasRole(ThreadRole role) noexcept;

// Reports the call on stderr and aborts. [any-thread]
[[noreturn]] void threadRoleViolated(const char* role, const char* function, const char* file, int line) noexcept;

}  // namespace qm::platform

#define QM_THREAD_ROLE_main ::qm::platform::ThreadRole::kMain
#define QM_THREAD_ROLE_worker ::qm::platform::ThreadRole::kWorker
#define QM_THREAD_ROLE_any ::qm::platform::ThreadRole::kAny

#if defined(QM_THREAD_CHECKS)
#define QM_ASSERT_THREAD(role)                                      \
  (::qm::platform::threadHasRole(QM_THREAD_ROLE_##role)             \
       ? static_cast<void>(0)                                       \
       : ::qm::platform::threadRoleViolated(#role, __func__, __FILE__, __LINE__))
#else
#define QM_ASSERT_THREAD(role) static_cast<void>(sizeof(QM_THREAD_ROLE_##role))
#endif
