#pragma once
// Polite requests to stop (SIGTERM, SIGINT, as a log-out or a shut-down sends them) while a swap
// runs. They are only recorded; the swap stops at its next safe point as any failure does (the
// installed bundle put back, the failure status written) instead of dying between two moves.
// A stop that comes before the installed bundle was first moved ends with a code the swap may
// be run again for, so that the request is not spent on it; after that it is swap_apply_failed.

#include "qm/updater/errors.h"

#include <csignal>
#include <optional>

namespace qm::updater {

// While alive, SIGTERM and SIGINT are recorded instead of ending the process (system calls they
// interrupt are restarted), and they are not blocked; the previous handling and signal mask come
// back at destruction. The updater puts one up first thing. Guards nest: only the outermost one
// acts (and forgets an earlier stop as it is made).
class StopSignalGuard {
 public:
  StopSignalGuard();
  ~StopSignalGuard();
  StopSignalGuard(const StopSignalGuard&) = delete;
  StopSignalGuard& operator=(const StopSignalGuard&) = delete;

 private:
  struct sigaction previousTerm_ {};
  struct sigaction previousInt_ {};
  sigset_t previousMask_ {};
  bool outermost_ = false;
};

// The stop signal recorded since the guard was put up, or 0.
// [any-thread]
int requestedStopSignal() noexcept;

// The failure a requested stop ends the swap with once the installed bundle has been moved:
// swap_apply_failed "interrupted by SIGTERM" (or SIGINT); nothing when no stop was requested.
std::optional<UpdaterError> stopRequest();

// Throws stopRequest(), when there is one.
void throwIfStopRequested();

// For the checks before the installed bundle is first moved (download, host wait, staging,
// backup): throws unexpected_exception, one of the retryable codes, "interrupted by SIGTERM
// before anything was changed" (or SIGINT), when a stop was requested.
void throwIfStopRequestedBeforeChanges();

}  // namespace qm::updater
