#include "deadline_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace qm::service {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char kRequestTimeout[] =
    "HTTP/1.1 408 Request Timeout\r\n"
    "Content-Type: application/json\r\n"
    "Content-Length: 75\r\n"
    "Connection: close\r\n"
    "\r\n"
    "{\"error\":\"REQUEST_TIMEOUT\",\"message\":\"The request did not arrive in time.\"}";
static_assert(sizeof("{\"error\":\"REQUEST_TIMEOUT\",\"message\":\"The request did not arrive in time.\"}") - 1 == 75);

// Waits for `events` on the socket for up to `milliseconds`: above 0 when they came.
int Wait(socket_t sock, short events, int milliseconds) {
  pollfd p{sock, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, milliseconds);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

void Address(socket_t sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int got = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&address), &length)
                       : ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
  if (got != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
  }
  ip = text;
}

// A connection's bytes, buffered, with the deadline of the request being read. Once a request
// has fallen behind it is answered 408, and the stream reads and writes nothing more.
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(socket_t sock, const RequestDeadlines& deadlines, int idleMilliseconds)
      : sock_(sock), deadlines_(deadlines), idleMilliseconds_(idleMilliseconds) {}

  // The next request starts with the bytes that come now.
  void BeginRequest() {
    start_ = Clock::now();
    headersDone_ = false;
    lineEnds_ = 0;
    bodyBytes_ = 0;
  }
  bool TimedOut() const { return timedOut_; }
  bool Buffered() const { return at_ < size_; }

  bool is_readable() const override { return Buffered() || Wait(sock_, POLLIN, 0) > 0; }
  bool is_writable() const override { return !timedOut_ && Wait(sock_, POLLOUT, kWriteMilliseconds) > 0; }

  ssize_t read(char* ptr, size_t size) override {
    if (timedOut_) return -1;
    if (!Buffered()) {
      const ssize_t got = Fill();
      if (got <= 0) return got;
    }
    const size_t n = std::min(size, size_ - at_);
    std::memcpy(ptr, buffer_ + at_, n);
    Count(buffer_ + at_, n);
    at_ += n;
    return ssize_t(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (timedOut_ || Wait(sock_, POLLOUT, kWriteMilliseconds) <= 0) return -1;
    for (;;) {
      const ssize_t n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(sock_, true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { Address(sock_, false, ip, port); }
  socket_t socket() const override { return sock_; }

 private:
  static constexpr int kWriteMilliseconds = 5000;

  // When the bytes read so far must have been followed by the next one.
  Clock::time_point Deadline() const {
    using Seconds = std::chrono::duration<double>;
    if (!headersDone_) return start_ + std::chrono::duration_cast<Clock::duration>(Seconds(deadlines_.headerSeconds));
    const double allowed = deadlines_.bodyGraceSeconds + double(bodyBytes_ + 1) / deadlines_.bodyBytesPerSecond;
    return bodyStart_ + std::chrono::duration_cast<Clock::duration>(Seconds(allowed));
  }

  // Reads what has come into the buffer: the count, 0 at the end, -1 on an error, an idle read
  // time-out or the deadline (answered 408).
  ssize_t Fill() {
    const Clock::time_point idleUntil = Clock::now() + std::chrono::milliseconds(idleMilliseconds_);
    for (;;) {
      const Clock::time_point now = Clock::now();
      const Clock::time_point deadline = Deadline();
      if (now >= deadline) return TimeOut();
      if (now >= idleUntil) return -1;  // nothing at all for the idle time-out: the connection has gone quiet
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::min(deadline, idleUntil) - now);
      const int ready = Wait(sock_, POLLIN, int(std::min<long long>(wait.count(), 60000)));
      if (ready < 0) return -1;
      if (ready == 0) continue;
      const ssize_t n = ::recv(sock_, buffer_, sizeof buffer_, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n;
      at_ = 0;
      size_ = size_t(n);
      return n;
    }
  }

  // Notes the bytes handed to the request: where its headers end, then how much body came.
  void Count(const char* bytes, size_t n) {
    size_t i = 0;
    for (; i < n && !headersDone_; ++i) {
      const char c = bytes[i];
      // "\r\n\r\n" ends the headers; a bare "\n\n" is taken as well, as cpp-httplib takes it.
      if (c == '\n') {
        if (++lineEnds_ == 2) {
          headersDone_ = true;
          bodyStart_ = Clock::now();
        }
      } else if (c != '\r') {
        lineEnds_ = 0;
      }
    }
    bodyBytes_ += n - i;
  }

  ssize_t TimeOut() {
    timedOut_ = true;
    ::send(sock_, kRequestTimeout, sizeof kRequestTimeout - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    return -1;
  }

  socket_t sock_;
  RequestDeadlines deadlines_;
  int idleMilliseconds_;
  char buffer_[16384];
  size_t at_ = 0, size_ = 0;
  Clock::time_point start_ = Clock::now(), bodyStart_ = Clock::now();
  bool headersDone_ = false;
  int lineEnds_ = 0;
  size_t bodyBytes_ = 0;
  bool timedOut_ = false;
};

}  // namespace

bool DeadlineServer::process_and_close_socket(socket_t sock) {
  const int idle = int(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000);
  DeadlineStream stream(sock, deadlines_, std::max(idle, 1));
  const auto keepAlive = std::chrono::seconds(std::max<time_t>(keep_alive_timeout_sec_, 0));
  bool served = true;
  for (size_t left = keep_alive_max_count_; left > 0; --left) {
    // The next request's first byte, waited for in slices so that stop() is seen.
    const auto until = Clock::now() + keepAlive;
    bool arrived = stream.Buffered();
    while (!arrived && svr_sock_ != INVALID_SOCKET && Clock::now() < until) arrived = Wait(sock, POLLIN, 100) > 0;
    if (!arrived || svr_sock_ == INVALID_SOCKET) break;
    stream.BeginRequest();
    bool closed = false;
    served = process_request(stream, left == 1, closed, nullptr);
    if (!served || closed || stream.TimedOut()) break;
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return served;
}

void DeadlineServer::widenBacklog(int connections) {
  const socket_t sock = svr_sock_;
  if (sock != INVALID_SOCKET) ::listen(sock, connections);
}

void ConnectionThreads::enqueue(std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  jobs_.push_back(std::move(fn));
  if (jobs_.size() > idle_ && threads_.size() < most_) threads_.emplace_back([this] { Work(); });
  ready_.notify_one();
}

void ConnectionThreads::shutdown() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  ready_.notify_all();
  for (auto& t : threads) t.join();
}

void ConnectionThreads::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    ready_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
    --idle_;
    if (jobs_.empty()) return;  // stopping, nothing left to run
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
  }
}

}  // namespace qm::service
