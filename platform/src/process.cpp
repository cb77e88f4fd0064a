#include "qm/platform/process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qm::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Owns the spawn attribute and file-action objects so every exit path releases them.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attr{};
  bool haveActions = false;
  bool haveAttr = false;

  ~SpawnSetup() {
    if (haveActions) posix_spawn_file_actions_destroy(&actions);
    if (haveAttr) posix_spawnattr_destroy(&attr);
  }

  // Default signal dispositions and an empty mask in the child, whatever the caller ignores or
  // blocks (an ignored SIGPIPE must not leak into tools we run).
  int init(bool newSession) {
    if (int e = posix_spawn_file_actions_init(&actions)) return e;
    haveActions = true;
    if (int e = posix_spawnattr_init(&attr)) return e;
    haveAttr = true;
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (newSession) flags |= POSIX_SPAWN_SETSID;
    if (int e = posix_spawnattr_setsigdefault(&attr, &all)) return e;
    if (int e = posix_spawnattr_setsigmask(&attr, &none)) return e;
    return posix_spawnattr_setflags(&attr, flags);
  }
};

std::vector<char*> makeArgv(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

int spawn(pid_t* pid, const std::string& program, SpawnSetup& setup, char* const* argv) {
  // A bare name is looked up on PATH; anything with a slash is taken as a path.
  if (program.find('/') == std::string::npos)
    return posix_spawnp(pid, program.c_str(), &setup.actions, &setup.attr, argv, environ);
  return posix_spawn(pid, program.c_str(), &setup.actions, &setup.attr, argv, environ);
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads what is available on `fd` into `out` (bytes past `cap` are read and dropped so the child
// never blocks on a full pipe). Returns false at end of file or on a hard error.
bool drain(int fd, std::string& out, size_t cap) {
  char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      if (out.size() < cap) out.append(buf, std::min(static_cast<size_t>(n), cap - out.size()));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

void recordStatus(int status, ProcessResult& result) {
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.termSignal = WTERMSIG(status);
  }
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
  ProcessResult result;
  try {
    const bool captureOut = options.captureOutput;
    const bool captureErr = options.captureOutput || options.captureStandardErrorOnly;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    auto closeAll = [&] {
      closeFd(outPipe[0]);
      closeFd(outPipe[1]);
      closeFd(errPipe[0]);
      closeFd(errPipe[1]);
    };
    if ((captureOut && ::pipe2(outPipe, O_CLOEXEC) != 0) ||
        (captureErr && ::pipe2(errPipe, O_CLOEXEC) != 0)) {
      result.spawnErrno = errno;
      closeAll();
      return result;
    }

    SpawnSetup setup;
    int err = setup.init(false);
    if (!err) err = posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    if (!err && captureOut) err = posix_spawn_file_actions_adddup2(&setup.actions, outPipe[1], 1);
    if (!err && captureErr) err = posix_spawn_file_actions_adddup2(&setup.actions, errPipe[1], 2);
    // Nothing else of ours reaches the child, even descriptors opened without O_CLOEXEC.
    if (!err) err = posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    if (!err && !options.workingDirectory.empty())
      err = posix_spawn_file_actions_addchdir_np(&setup.actions, options.workingDirectory.c_str());
    pid_t pid = -1;
    if (!err) {
      auto argv = makeArgv(program, arguments);
      err = spawn(&pid, program, setup, argv.data());
    }
    closeFd(outPipe[1]);
    closeFd(errPipe[1]);
    if (err) {
      result.spawnErrno = err;
      closeAll();
      return result;
    }
    result.started = true;
    if (outPipe[0] >= 0) ::fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
    if (errPipe[0] >= 0) ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK);

    const bool limited = options.timeoutSeconds > 0;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(limited ? options.timeoutSeconds : 0));
    int status = 0;
    bool exited = false;
    for (;;) {
      const pid_t w = ::waitpid(pid, &status, WNOHANG);
      if (w == pid) {
        exited = true;
        break;
      }
      if (w < 0 && errno != EINTR) break;  // not our child any more (should not happen)
      if (limited && Clock::now() >= deadline) {
        ::kill(pid, SIGKILL);
        result.timedOut = true;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        exited = true;
        break;
      }
      // Wait for output or a short tick; the tick notices an exited child even when a grandchild
      // still holds the pipes open.
      pollfd fds[2];
      nfds_t n = 0;
      if (outPipe[0] >= 0) fds[n++] = {outPipe[0], POLLIN, 0};
      if (errPipe[0] >= 0) fds[n++] = {errPipe[0], POLLIN, 0};
      ::poll(fds, n, 20);
      if (outPipe[0] >= 0 && !drain(outPipe[0], result.standardOutput, options.maxOutputBytes))
        closeFd(outPipe[0]);
      if (errPipe[0] >= 0 && !drain(errPipe[0], result.standardError, options.maxOutputBytes))
        closeFd(errPipe[0]);
    }
    if (outPipe[0] >= 0) drain(outPipe[0], result.standardOutput, options.maxOutputBytes);
    if (errPipe[0] >= 0) drain(errPipe[0], result.standardError, options.maxOutputBytes);
    closeAll();
    if (exited) recordStatus(status, result);
  } catch (...) {
    // Only allocation can throw above; report it as a failed start rather than escaping.
    if (!result.started) result.spawnErrno = ENOMEM;
  }
  return result;
}

pid_t spawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                    bool discardOutput) {
  try {
    SpawnSetup setup;
    int err = setup.init(true);
    if (!err) err = posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    if (!err && discardOutput) err = posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    if (!err && discardOutput) err = posix_spawn_file_actions_adddup2(&setup.actions, 1, 2);
    if (!err) err = posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    pid_t pid = -1;
    if (!err) {
      auto argv = makeArgv(program, arguments);
      err = spawn(&pid, program, setup, argv.data());
    }
    if (err) {
      errno = err;
      return -1;
    }
    return pid;
  } catch (...) {
    errno = ENOMEM;
    return -1;
  }
}

}  // namespace qm::platform
