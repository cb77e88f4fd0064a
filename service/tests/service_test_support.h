#pragma once
// Helpers shared by the service tests.

#include "qm/service/service.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace qmservicetest {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

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

// A client that waits for answers as long as the tests do.
inline httplib::Client clientOf(int port) {
  httplib::Client c("127.0.0.1", port);
  c.set_read_timeout(120, 0);
  c.set_write_timeout(120, 0);
  return c;
}

// The peak resident size of this process (the service's included) since resetPeak().
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
inline void expectPeakUnder150Mb() {
  if (kSanitized) return;  // shadow memory is no measure of ours
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) {
      EXPECT_LT(std::stoul(line.substr(6)), 150u * 1024) << "peak RSS";
    }
}

}  // namespace qmservicetest
