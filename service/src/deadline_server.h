#pragma once
// The stand-in's plain-HTTP server: cpp-httplib with a deadline on each request as a whole,
// bounds on what a request may hold, and a bounded pool of connection threads.
//
// cpp-httplib's read time-out holds for one read, so a client that sends a byte every second
// keeps a worker for ever. Here every request must bring its headers within a few seconds of its
// first byte and its body at no less than a floor rate; a request that falls behind is answered
// 408 and its connection closed. Connections waiting for their bytes each hold a thread of their
// own, so slow clients never leave /health waiting for a free one.
//
// Memory is bounded too: a request's headers (line count and bytes, else 431), its body (else
// 413) and the bodies of all requests being read at once (else 503, answered before the body is
// read; a body let in is read into room reserved for its whole length, never grown by copying). Bodies larger than kSmallBodyBytes may not take the last kKeptForSmallBodies of that
// bound, so that large uploads trickling in at the floor rate never leave small requests refused.
//
// A connection is kept for another request only when the library has read the last one's body
// whole: a body cut for time (408), refused, not read (a GET that carries one) or chunked ends the
// connection, so that none of its bytes is ever read as a request of its own.

#include <httplib.h>

#include "header_counter.h"
#include "qm/service/service.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace qm::service {

inline constexpr size_t kMostBodyBytes = size_t(48) << 20;       // one request's body
inline constexpr size_t kMostBytesInFlight = size_t(64) << 20;   // the bodies being read at once
inline constexpr size_t kSmallBodyBytes = size_t(1) << 20;       // a body this large or smaller is small
inline constexpr size_t kKeptForSmallBodies = size_t(8) << 20;   // of kMostBytesInFlight
// A body refused before it is read (503, 413) is read away after the answer, so that the client
// can send it and read that answer, for at most this long; then its connection closes.
inline constexpr double kMostDrainSeconds = 10;

class DeadlineServer : public httplib::Server {
 public:
  explicit DeadlineServer(RequestDeadlines deadlines = {}) : deadlines_(deadlines) {}
  // After binding: lets `connections` wait to be accepted (cpp-httplib listens with a backlog of a
  // few, so a burst of clients would wait for their connection to be retried).
  void widenBacklog(int connections);

  // [connection thread] Called with a request's headers, before its body is read: takes its
  // share of the bytes in flight. False when it may not be read (`res` then holds the answer,
  // 413 or 503, and the connection closes after it).
  bool admit(const httplib::Request& req, httplib::Response& res);

  class Stream;

 private:

  // Overrides cpp-httplib's connection loop: the same keep-alive requests, read through a stream
  // that keeps the request's deadline and bounds.
  bool process_and_close_socket(socket_t sock) override;
  // Takes `bytes` more of the bytes in flight for a body that then holds `holding`; false when
  // that would pass the bound (for a body that is not small, the bound less the small bodies' share).
  bool reserve(size_t bytes, size_t holding);
  void release(size_t bytes);

  RequestDeadlines deadlines_;
  std::atomic<size_t> inFlight_{0};
};

// Runs each connection on a thread of its own, up to `most` at once; at most `waiting` more wait
// for a thread, and any beyond that are refused (the job runs at once with refusing() true, which
// answers and closes without reading). A thread idle for `idleSeconds` ends.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  ConnectionThreads(size_t most, size_t waiting, double idleSeconds)
      : most_(most), waiting_(waiting), idleSeconds_(idleSeconds) {}
  ~ConnectionThreads() override { shutdown(); }
  // [accept thread] Never throws: a job that cannot be run is refused.
  void enqueue(std::function<void()> fn) noexcept override;
  void shutdown() override;

  // True on the thread that runs a refused job.
  static bool refusing();

 private:
  void Work(uint64_t key);
  static void Refuse(std::function<void()>& fn) noexcept;

  const size_t most_;
  const size_t waiting_;
  const double idleSeconds_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable allEnded_;
  std::deque<std::function<void()>> jobs_;
  std::map<uint64_t, std::thread> threads_;  // by a key of their own, so that none is lost
  std::map<uint64_t, std::thread> ended_;    // threads that have left Work(), to be joined
  uint64_t lastKey_ = 0;
  size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace qm::service
