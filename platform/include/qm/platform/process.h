#pragma once
// Child processes without a shell (posix_spawn), for the updater, the swap helper's caller and the
// plug-in's hand-off to the updater.

#include <string>
#include <sys/types.h>
#include <vector>

namespace qm::platform {

struct ProcessOptions {
  double timeoutSeconds = 0;       // 0: wait without limit; else the child is killed (SIGKILL) at the limit
  bool captureOutput = true;       // collect stdout and stderr (each capped at maxOutputBytes)
  // With captureOutput false: still collect stderr (stdout stays the caller's). For tools whose
  // error text the caller reads while their normal output should reach the user.
  bool captureStandardErrorOnly = false;
  size_t maxOutputBytes = 1u << 20;
  std::string workingDirectory;    // empty: the caller's
};

struct ProcessResult {
  bool started = false;   // false: spawn failed, see spawnErrno
  int spawnErrno = 0;
  bool timedOut = false;
  int exitCode = -1;      // exit status when the child exited normally, else -1
  int termSignal = 0;     // signal that ended the child, else 0
  std::string standardOutput;
  std::string standardError;
};

// Runs `program` (an absolute path, or a bare name looked up on PATH) with `arguments`
// (not including the program name) and waits for it. Never throws.
// The child's standard input is /dev/null; output that is not captured goes where the caller's goes.
// A program that cannot be executed (missing, not executable) gives started == false and its errno.
// [any-thread]
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// Starts `program` in a session of its own and returns at once with its pid (or -1 with errno
// set); the child is not waited for here (ChildReaper can keep it). Never throws.
// With `discardOutput` its standard output and error go to /dev/null instead of the caller's, so
// a child that outlives the caller never writes into a pipe nobody reads any more.
// [any-thread]
pid_t spawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                    bool discardOutput = false);

}  // namespace qm::platform
