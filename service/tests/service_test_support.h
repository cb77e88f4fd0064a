#pragma once
// Helpers shared by the service tests.

#include "qm/service/service.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace qmservicetest {

// Deadlines far beyond the tests' own waits, so that slow clients keep their connections.
inline constexpr qm::service::RequestDeadlines kPatient = {600, 600, 1, 600};

inline qm::service::Options optionsWith(qm::service::RequestDeadlines deadlines, qm::service::ConnectionLimits connections = {}) {
  qm::service::Options options;
  options.deadlines = deadlines;
  options.connections = connections;
  return options;
}

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

// Everything the server sends until it ends its side, or a minute passes in silence.
inline std::string readToEnd(int fd) {
  std::string read;
  char buffer[16384];
  pollfd p{fd, POLLIN, 0};
  for (ssize_t n; poll(&p, 1, 60000) > 0 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) read.append(buffer, size_t(n));
  return read;
}

}  // namespace qmservicetest
