#pragma once
// The updater processes this host process has started, by request id. The hand-off notes each
// start here; the window's status poll asks whether the pending request's updater has exited and
// with what code (an updater that refuses a request writes no status, and its exit is the only
// sign). The reaping itself is done by qm::platform::ChildReaper, which also reaps after the
// window is gone, so no updater stays a zombie in the host.

#include <cstddef>
#include <string>
#include <sys/types.h>

inline constexpr size_t kQMUpdaterProcessRegistryMaxRequests = 32;

class QMUpdaterProcessRegistry {
 public:
  enum class State { unknown, running, exited };

  struct Status {
    State state = State::unknown;  // unknown: no updater of this process ran for the request
    pid_t pid = -1;
    int exitCode = -1;  // exited normally: its exit status; else -1
    int signal = 0;     // ended by a signal: its number; else 0
  };

  // The one registry of the host process. [any-thread]
  static QMUpdaterProcessRegistry& shared();

  // The updater started for `requestId` runs as `pid`; it is handed to the child reaper at once.
  // Only the newest kQMUpdaterProcessRegistryMaxRequests requests are remembered. [any-thread]
  void noteStarted(const std::string& requestId, pid_t pid);

  // [any-thread]
  Status status(const std::string& requestId);

  // Drops the request (its updater, should it still run, is reaped all the same). [any-thread]
  void forget(const std::string& requestId);

  QMUpdaterProcessRegistry(const QMUpdaterProcessRegistry&) = delete;
  QMUpdaterProcessRegistry& operator=(const QMUpdaterProcessRegistry&) = delete;

 private:
  QMUpdaterProcessRegistry() = default;
};
