// Runs a shell command line of a test's own making and collects what it prints.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace qmhosttest {

struct CommandRun {
  int status = -1;  // the exit status, -1 when the command did not exit normally
  std::string output;
};

// The command with its standard error joined to its standard output.
inline CommandRun Capture(const std::string& command) {
  CommandRun run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer{};
  for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.output.append(buffer.data(), got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace qmhosttest
