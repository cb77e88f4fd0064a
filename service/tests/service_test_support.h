#pragma once
// Helpers shared by the service tests: raw loopback connections and the qmservice program.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace qmservicetest {

// A connection to the port on 127.0.0.1, or -1.
inline int connectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

// The qmservice program started with `args` (its path is added): its process id and the URL it
// prints first ("" when it did not start). The caller ends it.
struct Program {
  pid_t pid = 0;
  std::string url;
};

inline std::string programPath() { return std::string(QM_BINARY_DIR) + "/bin/qmservice"; }

inline Program startProgram(std::vector<std::string> args) {
  Program started;
  const std::string program = programPath();
  int out[2];
  if (pipe(out) != 0) return started;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const bool spawned = posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char c = 0;
  while (spawned && read(out[0], &c, 1) == 1 && c != '\n') started.url.push_back(c);
  close(out[0]);
  if (!spawned) started.pid = 0;
  return started;
}

}  // namespace qmservicetest
