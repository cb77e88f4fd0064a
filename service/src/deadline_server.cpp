#include "deadline_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string>

namespace qm::service {

namespace {

using Clock = std::chrono::steady_clock;

// An answer the server gives on its own, ahead of or instead of cpp-httplib's: the connection
// closes after it.
struct EarlyAnswer {
  EarlyAnswer(int status_, const char* reason, const char* code, const char* message)
      : status(status_),
        body(std::string("{\"error\":\"") + code + "\",\"message\":\"" + message + "\"}"),
        bytes("HTTP/1.1 " + std::to_string(status) + " " + reason +
              "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n\r\n" + body) {}
  int status;
  std::string body;
  std::string bytes;  // the whole answer
};

const EarlyAnswer kRequestTimeout(408, "Request Timeout", "REQUEST_TIMEOUT", "The request did not arrive in time.");
const EarlyAnswer kHeadersTooLarge(431, "Request Header Fields Too Large", "HEADERS_TOO_LARGE",
                                   "The request headers are too many or too long.");
const EarlyAnswer kBusy(503, "Service Unavailable", "BUSY", "The service is busy; try again shortly.");
const EarlyAnswer kTooLarge(413, "Payload Too Large", "PAYLOAD_TOO_LARGE", "The request body is too large.");

// Waits for `events` on the socket for up to `milliseconds`: above 0 when they came.
int Wait(socket_t sock, short events, int milliseconds) {
  pollfd p{sock, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, milliseconds);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

void SendAtOnce(socket_t sock, const EarlyAnswer& answer) {
  (void)::send(sock, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Closes the connection. What the client has sent and no one read is dropped first (up to a
// bound, without waiting), so that the close does not reset the connection before the client
// has read its answer.
void Close(socket_t sock) {
  ::shutdown(sock, SHUT_WR);
  char dropped[16384];
  for (int i = 0; i < 64 && ::recv(sock, dropped, sizeof dropped, MSG_DONTWAIT) > 0; ++i) {
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
}

// Ends a connection whose client may still be sending (its request was answered early or not read
// whole): the answer goes out with the end of what the server sends, and what the client sends is
// read and dropped until it closes its side, for at most `milliseconds` and as many bytes as a
// request may hold, so that a close with unread bytes does not reset the connection before the
// client has read the answer. `stopping` ends it early.
template <typename Stopping>
void Linger(socket_t sock, int milliseconds, const Stopping& stopping) {
  ::shutdown(sock, SHUT_WR);
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(milliseconds);
  size_t left = kMostHeaderBytes + kMostBodyBytes;
  char dropped[16384];
  while (left > 0 && !stopping()) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (wait <= 0) break;
    const int ready = Wait(sock, POLLIN, int(std::min<long long>(wait, 100)));
    if (ready < 0) break;
    if (ready == 0) continue;
    const ssize_t n = ::recv(sock, dropped, sizeof dropped, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the client has closed its side, or the connection has gone
    left -= std::min(left, size_t(n));
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

thread_local bool tRefusing = false;

}  // namespace

// A connection's bytes, buffered, with the deadline and bounds of the request being read. Once
// the stream has answered on its own (408, 431, 413, 503) it reads and writes nothing more.
class DeadlineServer::Stream final : public httplib::Stream {
 public:
  Stream(DeadlineServer& server, socket_t sock, int idleMilliseconds, int writeMilliseconds)
      : server_(server), sock_(sock), idleMilliseconds_(idleMilliseconds), writeMilliseconds_(writeMilliseconds) {}
  ~Stream() override { EndRequest(); }

  // The next request starts with the bytes that come now.
  void BeginRequest() {
    start_ = Clock::now();
    head_ = HeaderCounter();
    bodyBytes_ = 0;
    declared_ = 0;
    admitted_ = false;
    noBody_ = false;
    chunked_ = false;
    bodyUnread_ = false;
    refused_ = false;
    drain_ = 0;
    draining_ = false;
  }
  // The request has been answered: its share of the bytes in flight goes back.
  void EndRequest() {
    server_.release(reserved_);
    reserved_ = 0;
  }
  bool Cut() const { return cut_; }
  bool Refused() const { return refused_; }
  bool Buffered() const { return at_ < size_; }
  // The request was read whole, its body included, so that the next bytes are the next request's.
  bool ReadWhole() const {
    return admitted_ && head_.Ended() && !cut_ && !refused_ && !chunked_ && !bodyUnread_ &&
           (noBody_ || bodyBytes_ == declared_);
  }
  // Known before the answer: the connection ends after it.
  bool EndsAfterAnswer() const { return chunked_ || bodyUnread_; }

  // The request's body is about to be read: it may hold `bytes` (its Content-Length; 0 for
  // chunks, which take their share as they come; `sized` false when it has neither; `read` false
  // when the library will not read it). False when it may not; then `answer` is what it gets, and
  // at most `drain` bytes of the body are read and dropped after it so that the client sees that
  // answer.
  bool Admit(size_t bytes, bool sized, bool chunked, bool read, bool expectsContinue, const EarlyAnswer*& answer) {
    if (admitted_) return true;
    admitted_ = true;
    noBody_ = !sized;
    chunked_ = chunked;
    declared_ = bytes;
    bodyUnread_ = !read && sized && (chunked || bytes > 0);
    if (bytes > kMostBodyBytes) {
      answer = &kTooLarge;
    } else if (bodyUnread_) {
      return true;  // nothing of it is held: the connection ends after the answer
    } else if (!server_.reserve(bytes, bytes)) {
      answer = &kBusy;
      drain_ = expectsContinue ? 0 : bytes;
    } else {
      reserved_ += bytes;
      return true;
    }
    refused_ = true;
    return false;
  }

  // Reads and drops up to the refused body's bytes, on the terms a body is read on (its deadline
  // and the idle time-out) and for no longer than kMostDrainSeconds, so that the client has sent
  // it all and reads the answer.
  void Drain() {
    draining_ = true;
    drainUntil_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kMostDrainSeconds));
    const size_t buffered = size_ - at_;
    size_t left = drain_ - std::min(drain_, buffered);
    bodyBytes_ += buffered;
    at_ = size_;
    while (left > 0 && !cut_) {
      const ssize_t got = Fill();
      if (got <= 0) break;
      left -= std::min(left, size_t(got));
      bodyBytes_ += size_t(got);
      at_ = size_;
    }
  }

  // How long the connection may linger once its request is done: `idle`, and for a refused body no
  // longer than its drain may last.
  int LingerMilliseconds(int idle) const {
    if (!draining_) return idle;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(drainUntil_ - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, idle));
  }

  bool is_readable() const override { return Buffered() || Wait(sock_, POLLIN, 0) > 0; }
  bool is_writable() const override { return !cut_ && Wait(sock_, POLLOUT, writeMilliseconds_) > 0; }

  ssize_t read(char* ptr, size_t size) override {
    if (cut_) return -1;
    if (noBody_ && head_.Ended()) return 0;
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
    if (cut_ || Wait(sock_, POLLOUT, writeMilliseconds_) <= 0) return -1;
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
  static constexpr int kStopCheckMilliseconds = 100;

  // When the bytes read so far must have been followed by the next one.
  Clock::time_point Deadline() const {
    using Seconds = std::chrono::duration<double>;
    const RequestDeadlines& d = server_.deadlines_;
    if (!head_.Ended()) return start_ + std::chrono::duration_cast<Clock::duration>(Seconds(d.headerSeconds));
    const double allowed = d.bodyGraceSeconds + double(bodyBytes_ + 1) / d.bodyBytesPerSecond;
    const Clock::time_point body = bodyStart_ + std::chrono::duration_cast<Clock::duration>(Seconds(allowed));
    return draining_ ? std::min(body, drainUntil_) : body;
  }

  // Reads what has come into the buffer: the count, 0 at the end, -1 on an error, the server
  // stopping, or the request falling behind its deadline or going quiet for the idle time-out
  // (both answered 408).
  ssize_t Fill() {
    const Clock::time_point idleUntil = Clock::now() + std::chrono::milliseconds(idleMilliseconds_);
    for (;;) {
      if (server_.svr_sock_ == INVALID_SOCKET) return -1;  // stopping
      const Clock::time_point now = Clock::now();
      const Clock::time_point deadline = std::min(Deadline(), idleUntil);
      if (now >= deadline) return CutWith(kRequestTimeout);
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
      const int ready = Wait(sock_, POLLIN, int(std::min<long long>(wait.count(), kStopCheckMilliseconds)));
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

  // Notes the bytes handed to the request: its head up to where the library ends it, then how
  // much body came (a body without a length in advance takes its share as it comes).
  void Count(const char* bytes, size_t n) {
    size_t head = 0;
    if (!head_.Ended()) {
      head = head_.Feed(bytes, n);
      if (head_.TooLarge()) {
        CutWith(kHeadersTooLarge);
        return;
      }
      if (!head_.Ended()) return;
      bodyStart_ = Clock::now();
    }
    bodyBytes_ += n - head;
    if (bodyBytes_ > reserved_) {
      const size_t more = bodyBytes_ - reserved_;
      if (bodyBytes_ > kMostBodyBytes) {
        CutWith(kTooLarge);
      } else if (!server_.reserve(more, bodyBytes_)) {
        CutWith(kBusy);
      } else {
        reserved_ += more;
      }
    }
  }

  // Answers on the spot, unless the request has had its answer already (a refused body being
  // dropped), and ends the connection.
  ssize_t CutWith(const EarlyAnswer& answer) {
    if (!cut_ && !refused_) SendAtOnce(sock_, answer);
    cut_ = true;
    return -1;
  }

  DeadlineServer& server_;
  socket_t sock_;
  int idleMilliseconds_;
  int writeMilliseconds_;
  char buffer_[16384];
  size_t at_ = 0, size_ = 0;
  Clock::time_point start_ = Clock::now(), bodyStart_ = Clock::now();
  HeaderCounter head_;
  size_t bodyBytes_ = 0;
  size_t declared_ = 0;  // the body's Content-Length
  size_t reserved_ = 0;
  bool admitted_ = false, refused_ = false;
  bool noBody_ = false;      // the request has neither a length nor chunks: its body is empty
  bool chunked_ = false;     // its body comes in chunks (or in an encoding of its own)
  bool bodyUnread_ = false;  // it carries a body the library does not read (a GET's)
  size_t drain_ = 0;
  bool draining_ = false;  // the refused body is being read away, until drainUntil_
  Clock::time_point drainUntil_;
  bool cut_ = false;
};

namespace {
// The stream of the connection the calling thread serves.
thread_local DeadlineServer::Stream* tStream = nullptr;

int Milliseconds(time_t seconds, time_t microseconds) {
  const long long ms = (long long)seconds * 1000 + microseconds / 1000;
  return int(std::clamp<long long>(ms, 1, 24LL * 3600 * 1000));
}
}  // namespace

bool DeadlineServer::process_and_close_socket(socket_t sock) {
  if (ConnectionThreads::refusing()) {  // no thread for it: answered at once, nothing read
    SendAtOnce(sock, kBusy);
    Close(sock);
    return false;
  }
  bool served = false;
  bool whole = false;  // the connection ends with nothing of the client's left unread
  const int idle = Milliseconds(read_timeout_sec_, read_timeout_usec_);
  int linger = idle;
  try {
    Stream stream(*this, sock, idle, Milliseconds(write_timeout_sec_, write_timeout_usec_));
    struct Current {
      explicit Current(Stream* s) { tStream = s; }
      ~Current() { tStream = nullptr; }
    } current(&stream);
    const auto keepAlive = std::chrono::seconds(std::max<time_t>(keep_alive_timeout_sec_, 0));
    for (size_t left = keep_alive_max_count_; left > 0; --left) {
      // The next request's first byte, waited for in slices so that stop() is seen.
      const auto until = Clock::now() + keepAlive;
      bool arrived = stream.Buffered();
      while (!arrived && svr_sock_ != INVALID_SOCKET && Clock::now() < until) arrived = Wait(sock, POLLIN, 100) > 0;
      whole = !stream.Buffered();
      if (!arrived || svr_sock_ == INVALID_SOCKET) break;
      stream.BeginRequest();
      bool closed = false;
      served = process_request(stream, left == 1, closed, nullptr);
      stream.EndRequest();
      if (stream.Refused()) stream.Drain();
      linger = stream.LingerMilliseconds(idle);
      whole = stream.ReadWhole() && !stream.Buffered();
      if (!served || closed || !stream.ReadWhole()) break;
    }
  } catch (...) {
    served = false;  // whatever the library threw, the connection still ends
    whole = false;
  }
  if (!whole) Linger(sock, linger, [this] { return svr_sock_ == INVALID_SOCKET; });
  Close(sock);
  return served;
}

bool DeadlineServer::admit(const httplib::Request& req, httplib::Response& res) {
  Stream* stream = tStream;
  if (stream == nullptr) return true;
  // A request with neither a length nor chunks has no body: it reads as empty (cpp-httplib would
  // otherwise wait for one until the client closes).
  size_t bytes = 0;
  const std::string length = req.get_header_value("Content-Length");
  const bool chunked = req.has_header("Transfer-Encoding");
  if (!chunked && !length.empty()) {
    const auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), bytes);
    if (error != std::errc() || end != length.data() + length.size()) bytes = SIZE_MAX;
  }
  // The methods whose body cpp-httplib reads; any other leaves it unread.
  const std::string& m = req.method;
  const bool read = m == "POST" || m == "PUT" || m == "PATCH" || m == "DELETE" || m == "PRI";
  const EarlyAnswer* answer = nullptr;
  const bool sized = chunked || !length.empty();
  auto& request = const_cast<httplib::Request&>(req);
  auto closeAfter = [&request] {  // the request's own "Connection: close" makes the answer say so
    request.headers.erase("Connection");
    request.set_header("Connection", "close");
  };
  if (stream->Admit(bytes, sized, chunked, read, req.get_header_value("Expect") == "100-continue", answer)) {
    if (stream->EndsAfterAnswer()) {
      closeAfter();
    } else if (read && !chunked && bytes > request.body.capacity()) {
      // The library appends the body as it comes: room for all of it at once, rather than growing
      // it (and copying it) step by step to as much again.
      request.body.reserve(bytes);
    }
    return true;
  }
  // The answer is cpp-httplib's to write.
  closeAfter();
  res.status = answer->status;
  res.set_content(answer->body, "application/json");
  return false;
}

bool DeadlineServer::reserve(size_t bytes, size_t holding) {
  const size_t bound = holding > kSmallBodyBytes ? kMostBytesInFlight - kKeptForSmallBodies : kMostBytesInFlight;
  size_t now = inFlight_.load();
  do {
    if (bytes > bound - std::min(now, bound)) return false;
  } while (!inFlight_.compare_exchange_weak(now, now + bytes));
  return true;
}

void DeadlineServer::release(size_t bytes) { inFlight_.fetch_sub(bytes); }

void DeadlineServer::widenBacklog(int connections) {
  const socket_t sock = svr_sock_;
  if (sock != INVALID_SOCKET) ::listen(sock, connections);
}

bool ConnectionThreads::refusing() { return tRefusing; }

void ConnectionThreads::Refuse(std::function<void()>& fn) noexcept {
  tRefusing = true;
  try {
    fn();
  } catch (...) {
  }
  tRefusing = false;
}

void ConnectionThreads::enqueue(std::function<void()> fn) noexcept {
  std::map<uint64_t, std::thread> ended;
  bool queued = false;
  {
    std::lock_guard lock(mutex_);
    ended.swap(ended_);
    try {
      bool made = true;
      if (!stopping_ && idle_ <= jobs_.size() && threads_.size() < most_) {
        const uint64_t key = ++lastKey_;
        auto it = threads_.emplace(key, std::thread()).first;
        try {
          it->second = std::thread([this, key] { Work(key); });
          ++idle_;  // idle from the start, so that the job below counts as taken
        } catch (...) {
          threads_.erase(it);  // no thread: the connection is refused
          made = false;
        }
      }
      // A job waits when no idle thread is left to take it.
      queued = !stopping_ && made && (idle_ > jobs_.size() || jobs_.size() - idle_ < waiting_);
      if (queued) jobs_.push_back(std::move(fn));
    } catch (...) {
      queued = false;
    }
  }
  if (queued) ready_.notify_one();
  else Refuse(fn);
  for (auto& [key, t] : ended) t.join();
}

void ConnectionThreads::shutdown() {
  std::deque<std::function<void()>> left;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    left.swap(jobs_);
  }
  ready_.notify_all();
  for (auto& fn : left) Refuse(fn);  // each closes its connection
  std::map<uint64_t, std::thread> ended;
  {
    std::unique_lock lock(mutex_);
    allEnded_.wait(lock, [&] { return threads_.empty(); });
    ended.swap(ended_);
  }
  for (auto& [key, t] : ended) t.join();
}

void ConnectionThreads::Work(uint64_t key) {
  const auto idleFor = std::chrono::duration<double>(idleSeconds_);
  std::unique_lock lock(mutex_);
  for (;;) {  // counted idle by enqueue() from the start
    const bool woken = ready_.wait_for(lock, idleFor, [&] { return stopping_ || !jobs_.empty(); });
    if (!woken || jobs_.empty()) break;  // idle for too long, or stopping
    --idle_;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    try {
      job();
    } catch (...) {
    }
    job = nullptr;
    lock.lock();
    ++idle_;
  }
  --idle_;
  // Joined by whoever comes next (extract and insert move the node: nothing can throw here).
  ended_.insert(threads_.extract(key));
  if (threads_.empty()) allEnded_.notify_all();
}

}  // namespace qm::service
