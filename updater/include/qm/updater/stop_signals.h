#pragma once
// Polite requests to stop (SIGTERM, SIGINT, as a log-out or a shut-down sends them) while a swap
// runs. They are only recorded; the swap stops at its next safe point as any failure does (the
// installed bundle put back, the failure status written) instead of dying between two moves.
// Either way the installed bundle stands whole at the target afterwards, so a stop ends with a
// code the swap may be run again for: the request is not spent on it.

#include "qm/updater/errors.h"

#include <csignal>
#include <optional>

namespace qm::updater {

// While alive, SIGTERM and SIGINT are recorded instead of ending the process (system calls they
// interrupt are restarted), and they are not blocked; the previous handling and signal mask come
// back at destruction. The updater puts one up first thing. Guards nest: only the outermost one
// acts, and the stop it recorded is forgotten as it ends.
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

// The stop signal recorded while the outermost guard is up, or 0.
// [any-thread]
int requestedStopSignal() noexcept;

// The failure a requested stop ends the swap with when it came after the installed bundle was
// moved, once that bundle is back at the target: unexpected_exception (retryable, as after a kill
// at the same point) "interrupted by SIGTERM; the installed bundle was put back" (or SIGINT);
// nothing when no stop was requested.
std::optional<UpdaterError> stopAfterPuttingBack();

// For the checks before the installed bundle is first moved (download, host wait, staging,
// backup): throws unexpected_exception, one of the retryable codes, "interrupted by SIGTERM
// before anything was changed" (or SIGINT), when a stop was requested.
void throwIfStopRequestedBeforeChanges();

}  // namespace qm::updater
