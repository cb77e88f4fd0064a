#pragma once
// A process-wide keeper of child processes that nobody waits for (programs started to outlive
// their parent's interest, such as the updater). Each adopted child is reaped as soon as it has
// exited: when anyone asks after it, and by a check on the global queue every
// kChildReaperIntervalSeconds while adopted children are still running. No thread ever blocks
// waiting for a child, and no exited child stays a zombie for longer than one interval.
// Exit records are kept until taken with forget(), at most kChildReaperMaxRecords of them
// (the oldest exited one goes first).

#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace qm::platform {

inline constexpr double kChildReaperIntervalSeconds = 1.0;
inline constexpr size_t kChildReaperMaxRecords = 64;

struct ChildExit {
  int exitCode = -1;  // the exit status when the child exited normally, else -1
  int signal = 0;     // the signal that ended it, else 0
};

class ChildReaper {
 public:
  // The one keeper of this process (never destroyed, so a check still queued at exit finds it).
  // [any-thread]
  static ChildReaper& shared();

  // Takes `pid` (a child of this process that nobody else waits for) into keeping. [any-thread]
  void adopt(pid_t pid);

  enum class State { unknown, running, exited };
  // Reaps what has exited, then tells what became of `pid`: unknown when it was never adopted
  // (or has been forgotten), running, or exited (with how, in *exit). [any-thread]
  State state(pid_t pid, ChildExit* exit = nullptr);

  // Drops the record of `pid` (a running child stays reaped in the background all the same).
  // [any-thread]
  void forget(pid_t pid);

  // Reaps every adopted child that has exited. Returns how many are still running. [any-thread]
  size_t reap();

  ChildReaper(const ChildReaper&) = delete;
  ChildReaper& operator=(const ChildReaper&) = delete;

 private:
  ChildReaper();
  struct Impl;
  Impl* impl_;
};

}  // namespace qm::platform
