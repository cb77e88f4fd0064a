#include "qm/updater/stop_signals.h"

#include <atomic>
#include <pthread.h>
#include <string>

namespace qm::updater {

namespace {

std::atomic<int> gStopSignal{0};
int gGuardDepth = 0;  // guards alive; they are made on the updater's one thread
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free atomics");

extern "C" void recordStopSignal(int signal) { gStopSignal.store(signal); }

std::string interruptedBy(int signal) {
  return std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM");
}

}  // namespace

StopSignalGuard::StopSignalGuard() {
  // Only the outermost guard acts: an inner one must not forget a stop that came meanwhile.
  if (gGuardDepth++ > 0) return;
  gStopSignal.store(0);
  struct sigaction action {};
  action.sa_handler = &recordStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, &previousTerm_);
  ::sigaction(SIGINT, &action, &previousInt_);
  // A stop that was sent while these signals were blocked (by whoever started us) is delivered,
  // and so recorded, as they are unblocked here.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  ::pthread_sigmask(SIG_UNBLOCK, &stops, &previousMask_);
  outermost_ = true;
}

StopSignalGuard::~StopSignalGuard() {
  --gGuardDepth;
  if (!outermost_) return;
  ::sigaction(SIGTERM, &previousTerm_, nullptr);
  ::sigaction(SIGINT, &previousInt_, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
  // The stop belonged to what the guard covered: nothing after it may still act on it.
  gStopSignal.store(0);
}

int requestedStopSignal() noexcept { return gStopSignal.load(); }

std::optional<UpdaterError> stopAfterPuttingBack() {
  const int signal = requestedStopSignal();
  if (signal == 0) return std::nullopt;
  return UpdaterError(UpdaterErrorCode::unexpectedException,
                      interruptedBy(signal) + "; the installed bundle was put back");
}

void throwIfStopRequestedBeforeChanges() {
  const int signal = requestedStopSignal();
  if (signal == 0) return;
  throw UpdaterError(UpdaterErrorCode::unexpectedException, interruptedBy(signal) + " before anything was changed");
}

}  // namespace qm::updater
