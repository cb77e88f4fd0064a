#include "qm/platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qm::platform;

namespace {

ProcessResult sh(const std::string& script, const ProcessOptions& options = {}) {
  return runProcess("/bin/sh", {"-c", script}, options);
}

}  // namespace

TEST(RunProcess, ReportsExitCodesAndSeparatesStreams) {
  struct Case {
    const char* script;
    int exitCode;
    const char* out;
    const char* err;
  } cases[] = {
      {"exit 0", 0, "", ""},
      {"echo hello; exit 3", 3, "hello\n", ""},
      {"echo oops >&2; exit 255", 255, "", "oops\n"},
      {"printf a; printf b >&2; printf c", 0, "ac", "b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const auto r = sh(c.script);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.standardOutput, c.out);
    EXPECT_EQ(r.standardError, c.err);
  }
}

TEST(RunProcess, ArgumentsReachTheProgramLiterallyWithoutAShell) {
  // Quotes, semicolons and dollar signs must arrive as written: no shell sees them.
  const std::vector<std::string> args = {"a b", "$HOME;rm -rf /", "'\"", ""};
  const auto r = runProcess("printf", {"[%s]", args[0], args[1], args[2], args[3]});
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.standardOutput, "[a b][$HOME;rm -rf /]['\"][]");
}

TEST(RunProcess, MissingOrNonExecutableProgramIsNotStarted) {
  auto r = runProcess("/nonexistent/tool", {});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.spawnErrno, ENOENT);
  EXPECT_EQ(r.exitCode, -1);

  r = runProcess("qm-no-such-tool-on-path", {});
  EXPECT_FALSE(r.started);
  EXPECT_NE(r.spawnErrno, 0);

  char tmpl[] = "/tmp/qm-proc-XXXXXX";
  const int fd = ::mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  ::close(fd);  // mode 0600: not executable
  r = runProcess(tmpl, {});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.spawnErrno, EACCES);
  ::unlink(tmpl);
}

TEST(RunProcess, TimeoutKillsTheChild) {
  ProcessOptions o;
  o.timeoutSeconds = 0.3;
  const auto r = runProcess("sleep", {"30"}, o);
  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.timedOut);
  EXPECT_EQ(r.exitCode, -1);
  EXPECT_EQ(r.termSignal, SIGKILL);
}

TEST(RunProcess, ReturnsWhenChildExitsEvenIfAGrandchildKeepsThePipesOpen) {
  ProcessOptions o;
  o.timeoutSeconds = 20;  // only a safety net; the run must end long before
  const auto r = sh("sleep 5 & echo started", o);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.standardOutput, "started\n");
}

TEST(RunProcess, SignalEndingIsReported) {
  const auto r = sh("kill -TERM $$");
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, -1);
  EXPECT_EQ(r.termSignal, SIGTERM);
}

TEST(RunProcess, OutputIsCappedWithoutBlockingTheChild) {
  ProcessOptions o;
  o.maxOutputBytes = 1000;
  o.timeoutSeconds = 30;
  // 4 MiB is far more than a pipe buffer: the child only finishes if we keep reading.
  const auto r = sh("head -c 4194304 /dev/zero; echo done >&2", o);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.standardOutput.size(), 1000u);
  EXPECT_EQ(r.standardError, "done\n");
}

TEST(RunProcess, WorkingDirectoryStdinAndCaptureModes) {
  ProcessOptions o;
  o.workingDirectory = "/tmp";
  auto r = runProcess("pwd", {}, o);
  EXPECT_EQ(r.standardOutput, "/tmp\n");

  // Standard input is /dev/null: cat ends at once instead of waiting.
  r = runProcess("cat", {});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.standardOutput, "");

  ProcessOptions errOnly;
  errOnly.captureOutput = false;
  errOnly.captureStandardErrorOnly = true;
  r = sh("echo visible-in-test-log; echo captured >&2", errOnly);
  EXPECT_EQ(r.standardOutput, "");
  EXPECT_EQ(r.standardError, "captured\n");

  ProcessOptions none;
  none.captureOutput = false;
  r = sh("exit 7", none);
  EXPECT_EQ(r.exitCode, 7);
}

TEST(RunProcess, OurOpenDescriptorsDoNotLeakIntoTheChild) {
  const int fd = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(fd, 3);
  const auto r = sh("[ -e /proc/self/fd/" + std::to_string(fd) + " ] && echo leaked || echo closed");
  ::close(fd);
  EXPECT_EQ(r.standardOutput, "closed\n");
}

TEST(SpawnDetached, StartsAndReturnsAPid) {
  char tmpl[] = "/tmp/qm-proc-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const fs::path marker = fs::path(tmpl) / "ran";
  const pid_t pid = spawnDetached("/bin/sh", {"-c", "echo x > '" + marker.string() + "'"});
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_TRUE(fs::exists(marker));
  fs::remove_all(tmpl);

  errno = 0;
  EXPECT_EQ(spawnDetached("/nonexistent/tool", {}), -1);
  EXPECT_EQ(errno, ENOENT);
}
