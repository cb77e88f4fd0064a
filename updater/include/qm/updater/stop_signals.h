#pragma once
// Polite requests to stop (SIGTERM, SIGINT, as a log-out or a shut-down sends them) while a swap
// runs. They are only recorded; the swap stops at its next safe point as any failure does (the
// installed bundle put back, the failure status written) instead of dying between two moves.

#include "qm/updater/errors.h"

#include <csignal>
#include <optional>

namespace qm::updater {

// While alive, SIGTERM and SIGINT are recorded instead of ending the process (system calls they
// interrupt are restarted); the previous handling comes back at destruction.
class StopSignalGuard {
 public:
  StopSignalGuard();
  ~StopSignalGuard();
  StopSignalGuard(const StopSignalGuard&) = delete;
  StopSignalGuard& operator=(const StopSignalGuard&) = delete;

 private:
  struct sigaction previousTerm_ {};
  struct sigaction previousInt_ {};
};

// The stop signal recorded since the guard was put up, or 0.
// [any-thread]
int requestedStopSignal() noexcept;

// The failure a requested stop ends the swap with: swap_apply_failed "interrupted by SIGTERM"
// (or SIGINT); nothing when no stop was requested.
std::optional<UpdaterError> stopRequest();

// Throws stopRequest(), when there is one.
void throwIfStopRequested();

}  // namespace qm::updater
