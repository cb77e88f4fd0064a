#pragma once
// The stand-in's plain-HTTP server: cpp-httplib with a deadline on each request as a whole, and
// a pool of connection threads that grows with the connections.
//
// cpp-httplib's read time-out holds for one read, so a client that sends a byte every second
// keeps a worker for ever. Here every request must bring its headers within a few seconds of its
// first byte and its body at no less than a floor rate; a request that falls behind is answered
// 408 and its connection closed. Connections waiting for their bytes each hold a thread of their
// own, so slow clients never leave /health waiting for a free one.

#include <httplib.h>

#include "qm/service/service.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qm::service {

class DeadlineServer : public httplib::Server {
 public:
  explicit DeadlineServer(RequestDeadlines deadlines = {}) : deadlines_(deadlines) {}
  // After binding: lets `connections` wait to be accepted (cpp-httplib listens with a backlog of a
  // few, so a burst of clients would wait for their connection to be retried).
  void widenBacklog(int connections);

 private:
  // Overrides cpp-httplib's connection loop: the same keep-alive requests, read through a stream
  // that keeps the request's deadline.
  bool process_and_close_socket(socket_t sock) override;

  RequestDeadlines deadlines_;
};

// Runs each connection on a thread of its own, up to `most` at once (the rest wait in turn);
// threads are made as connections come and kept until shutdown.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(size_t most) : most_(most) {}
  ~ConnectionThreads() override { shutdown(); }
  void enqueue(std::function<void()> fn) override;
  void shutdown() override;

 private:
  void Work();

  const size_t most_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace qm::service
