// What the stand-in service holds under clients that are slow, many or large: its connection
// threads, descriptors, memory and answers. Waits are bounded far above any plausible delay.

#include "qm/service/audio.h"
#include "qm/service/service.h"
#include "service_test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <thread>

using namespace qm::service;

namespace {

constexpr int kWaitMilliseconds = 60000;

using qmservicetest::connectTo;

void sendAll(int fd, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return;
    at += size_t(n);
  }
}

// `count` clients each part of the way through a request's headers.
std::vector<int> slowClients(int port, int count) {
  std::vector<int> slow;
  for (int i = 0; i < count; ++i) {
    slow.push_back(connectTo(port));
    sendAll(slow.back(), "GET /health HTTP/1.1\r\nX-Slow: ");
  }
  return slow;
}

// What comes back until the server closes (or nothing more comes for a minute).
std::string answerOf(int fd) {
  std::string answer;
  pollfd p{fd, POLLIN, 0};
  char buffer[4096];
  for (ssize_t n; poll(&p, 1, kWaitMilliseconds) > 0 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
    answer.append(buffer, size_t(n));
  return answer;
}

// The answer's status line and headers.
std::string headOf(int fd) {
  std::string head;
  pollfd p{fd, POLLIN, 0};
  char c = 0;
  while (head.find("\r\n\r\n") == std::string::npos && poll(&p, 1, kWaitMilliseconds) > 0 && recv(fd, &c, 1, 0) == 1)
    head.push_back(c);
  return head;
}

// True when the server closes the connection (whatever it sent first) within a minute.
bool closedBy(int fd) {
  pollfd p{fd, POLLIN, 0};
  char buffer[4096];
  for (ssize_t n; poll(&p, 1, kWaitMilliseconds) > 0;) {
    n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
  }
  return false;
}

int statusOf(const std::string& answer) {
  return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

size_t countEntries(const char* folder) {
  size_t n = 0;
  if (DIR* d = opendir(folder)) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

// The TCP ports this process listens on.
std::set<int> listeningPorts() {
  std::set<std::string> sockets;  // "socket:[inode]" of our own descriptors
  if (DIR* d = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(d)) {
      char target[128] = {};
      const std::string path = std::string("/proc/self/fd/") + e->d_name;
      if (readlink(path.c_str(), target, sizeof target - 1) > 0) sockets.insert(target);
    }
    closedir(d);
  }
  std::set<int> ports;
  for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
      if (state == "0A" && sockets.count("socket:[" + inode + "]") != 0)
        ports.insert(std::stoi(local.substr(local.find(':') + 1), nullptr, 16));
    }
  }
  return ports;
}

// One second of a tone, as a WAV.
std::string toneWav() {
  std::vector<int16_t> s(16000, 0);
  for (size_t i = 3200; i < 12800; ++i) s[i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 200.0 * double(i) / 16000));
  return writeWav(s, 16000);
}

}  // namespace

// Clients that trickle a byte a second into every port the service listens on leave transcribe
// and generate answered in full.
TEST(ServiceBounds, TricklingClientsOnEveryPortLeaveUploadsAnswered) {
  Service service;
  ASSERT_TRUE(service.start());
  const std::set<int> ports = listeningPorts();
  ASSERT_EQ(ports.count(service.port()), 1u);
  std::vector<int> trickling;
  for (const int port : ports)
    for (int i = 0; i < 12; ++i) trickling.push_back(connectTo(port));
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (size_t sent = 0; !done; ++sent) {
      for (const int fd : trickling) ::send(fd, &"POST /x HTTP/1.1\r\nX: "[std::min<size_t>(sent, 20)], 1, MSG_NOSIGNAL);
      for (int i = 0; i < 10 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  httplib::Client c("127.0.0.1", service.port());
  c.set_connection_timeout(60, 0);
  c.set_read_timeout(60, 0);
  c.set_write_timeout(60, 0);
  const httplib::MultipartFormDataItems transcribe = {{"audio", toneWav(), "a.wav", "audio/wav"}};
  const httplib::MultipartFormDataItems generate = {
      {"audio", toneWav(), "a.wav", "audio/wav"}, {"text", "say it", "", ""}, {"takes", "1", "", ""}};
  const auto transcribed = c.Post(kTranscribe, transcribe);
  const auto generated = c.Post(kGenerate, generate);
  done = true;
  trickle.join();
  for (const int fd : trickling) close(fd);
  ASSERT_TRUE(transcribed);
  EXPECT_EQ(transcribed->status, 200) << transcribed->body;
  ASSERT_TRUE(generated);
  EXPECT_EQ(generated->status, 200) << generated->body;
  EXPECT_EQ(generated->body.substr(0, 4), "QMTK");
}

// Requests that would hold too much are answered before they are read, on the spot; a request
// without a body and without a length is complete as it stands.
TEST(ServiceBounds, RequestsBeyondTheBoundsAreAnsweredAtOnce) {
  Options options;
  options.deadlines = {.headerSeconds = 600, .bodyGraceSeconds = 600, .bodyBytesPerSecond = 1};  // never 408 here
  Service service(options);
  ASSERT_TRUE(service.start());
  std::string manyLines = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (int i = 0; i < 200; ++i) manyLines += "X-" + std::to_string(i) + ": a\r\n";
  std::string longLines = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (int i = 0; i < 80; ++i) longLines += "X-" + std::to_string(i) + ": " + std::string(1000, 'a') + "\r\n";
  const struct {
    std::string request;
    int status;
  } cases[] = {
      {"POST /api/log/upload HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 400},  // no body: "The log is missing."
      {"POST /api/plugin/event HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n\r\n", 401},
      {manyLines, 431},
      {longLines, 431},
      {"POST /api/log/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000000000\r\n\r\n", 413},
      {"POST /api/log/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", 413},
  };
  for (const auto& c : cases) {
    const int fd = connectTo(service.port());
    sendAll(fd, c.request);
    const std::string answer = answerOf(fd);  // the server closes, or answers and keeps the connection
    close(fd);
    EXPECT_EQ(statusOf(answer), c.status) << c.request.substr(0, 80) << "\n" << answer;
  }
  // While one request holds most of the bytes in flight, another that would pass the bound is
  // answered 503 before its body is sent; once the first has gone, it is read.
  const std::string head = "POST /api/log/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
  const std::string large = head + "Content-Length: 40000000\r\nExpect: 100-continue\r\n\r\n";
  const int holder = connectTo(service.port());
  sendAll(holder, large);
  ASSERT_EQ(statusOf(headOf(holder)), 100);  // its share is taken
  sendAll(holder, "{");
  const int refused = connectTo(service.port());
  sendAll(refused, large);
  EXPECT_EQ(statusOf(answerOf(refused)), 503);
  close(refused);
  close(holder);
  int status = 0;
  httplib::Client c("127.0.0.1", service.port());
  c.set_read_timeout(60, 0);
  c.set_write_timeout(60, 0);
  status = 0;
  const std::string body(30000000, 'x');  // read, then refused as no JSON (400)
  for (int attempt = 0; attempt < 600 && status != 400; ++attempt) {  // until the holder's share is back
    const auto res = c.Post(kLogUpload, body, "application/json");
    status = res ? res->status : 0;
    if (status != 400) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(status, 400);
}

// A multipart body of more parts than the bound is not taken apart; the log keeps a bounded
// share of the parts' contents.
TEST(ServiceBounds, MultipartPartsAreBounded) {
  Service service;
  ASSERT_TRUE(service.start());
  httplib::Client c("127.0.0.1", service.port());
  c.set_read_timeout(60, 0);
  httplib::MultipartFormDataItems many;
  for (int i = 0; i < 100; ++i) many.push_back({"audio", toneWav(), "a.wav", "audio/wav"});
  auto res = c.Post(kTranscribe, many);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  auto logged = service.lastRequest(kTranscribe);
  ASSERT_TRUE(logged);
  EXPECT_FALSE(logged->multipartParsed);
  EXPECT_TRUE(logged->parts.empty());

  httplib::MultipartFormDataItems large;
  for (int i = 0; i < 10; ++i) large.push_back({"p" + std::to_string(i), std::string(100000, char('a' + i)), "", ""});
  res = c.Post(kTranscribe, large);
  ASSERT_TRUE(res);
  logged = service.lastRequest(kTranscribe);
  ASSERT_TRUE(logged && logged->multipartParsed);
  ASSERT_EQ(logged->parts.size(), 10u);
  size_t kept = 0;
  for (const auto& p : logged->parts) {
    EXPECT_EQ(p.contentSize, 100000u);
    EXPECT_EQ(p.content, std::string(p.content.size(), p.name.back() - '0' + 'a'));
    kept += p.content.size();
  }
  EXPECT_EQ(logged->parts[0].content.size(), kLoggedContentLimit);
  EXPECT_EQ(kept, kLoggedPartsLimit);
}

// More connections than the threads and the waiting bound take: those beyond are answered 503
// at once, and /health answers once the rest have gone.
TEST(ServiceBounds, ConnectionsBeyondTheWaitingBoundAreRefused) {
  Options options;
  options.deadlines.headerSeconds = 2;
  options.connections = {.threads = 4, .waiting = 2, .idleThreadSeconds = 10};
  Service service(options);
  ASSERT_TRUE(service.start());
  const std::vector<int> slow = slowClients(service.port(), 12);
  int refused = 0, timedOut = 0;
  for (const int fd : slow) {
    const int status = statusOf(answerOf(fd));
    refused += status == 503;
    timedOut += status == 408;
    close(fd);
  }
  EXPECT_GE(refused, 1);
  EXPECT_EQ(refused + timedOut, 12);
  httplib::Client c("127.0.0.1", service.port());
  c.set_read_timeout(60, 0);
  const auto res = c.Get(kHealth);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

// Connection threads left idle end; the service does not keep one per connection it has served.
TEST(ServiceBounds, IdleConnectionThreadsEnd) {
  Options options;
  options.connections.idleThreadSeconds = 0.2;
  Service service(options);
  ASSERT_TRUE(service.start());
  const size_t before = countEntries("/proc/self/task");
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < 16; ++i) {
    clients.emplace_back([&] {
      httplib::Client c("127.0.0.1", service.port());
      c.set_read_timeout(60, 0);
      c.set_keep_alive(false);
      const auto res = c.Get(kHealth);
      if (res && res->status == 200) ++answered;
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(answered, 16);
  size_t now = countEntries("/proc/self/task");
  for (int i = 0; i < 600 && now > before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    now = countEntries("/proc/self/task");
  }
  EXPECT_LE(now, before);
}

// A service stopped with slow clients connected, some of them waiting for a thread, closes every
// connection it accepted.
TEST(ServiceBounds, StoppingWithSlowClientsLeaksNoDescriptor) {
  const size_t before = countEntries("/proc/self/fd");
  {
    Options options;
    options.connections = {.threads = 4, .waiting = 8, .idleThreadSeconds = 10};
    Service service(options);
    ASSERT_TRUE(service.start());
    const std::vector<int> slow = slowClients(service.port(), 16);
    // The last four are refused at once: by then all sixteen have been accepted.
    for (size_t i = 12; i < slow.size(); ++i) EXPECT_EQ(statusOf(answerOf(slow[i])), 503);
    service.stop();
    for (size_t i = 0; i < 12; ++i) EXPECT_TRUE(closedBy(slow[i])) << i;
    for (const int fd : slow) close(fd);
  }
  EXPECT_EQ(countEntries("/proc/self/fd"), before);
}

TEST(ServiceBounds, RatesAndLimitsOutOfRangeAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const RequestDeadlines& d : {RequestDeadlines{5, 5, 0}, RequestDeadlines{5, 5, -1}, RequestDeadlines{5, 5, nan},
                                    RequestDeadlines{5, 5, inf}, RequestDeadlines{0, 5, 100}, RequestDeadlines{nan, 5, 100},
                                    RequestDeadlines{5, -1, 100}, RequestDeadlines{5, inf, 100}}) {
    Options options;
    options.deadlines = d;
    Service service(options);
    EXPECT_FALSE(service.start()) << d.headerSeconds << " " << d.bodyGraceSeconds << " " << d.bodyBytesPerSecond;
  }
  for (const ConnectionLimits& l : {ConnectionLimits{0, 4, 10}, ConnectionLimits{4, 4, 0}, ConnectionLimits{4, 4, nan}}) {
    Options options;
    options.connections = l;
    Service service(options);
    EXPECT_FALSE(service.start());
  }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // shadow memory and quarantine make the RSS no measure of ours
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The qmservice program under three uploads near the body limit at once and two requests of a
// million header lines: it answers each, keeps answering /health, and its peak RSS stays under
// 200 MB.
TEST(ServiceBounds, LargeRequestsLeaveTheServiceSmall) {
  if (access(qmservicetest::programPath().c_str(), X_OK) != 0) GTEST_SKIP() << "qmservice not built";
  const auto [pid, url] = qmservicetest::startProgram({"--port", "0"});
  ASSERT_GT(pid, 0);
  ASSERT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << url;
  const int port = std::stoi(url.substr(17));

  // Each upload is made as it is sent, so that this process holds none of it.
  const size_t audioBytes = (size_t(47) << 20);
  const std::string boundary = "qmboundsboundary";
  const std::string prefix = "--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"a.wav\"\r\n"
                             "Content-Type: audio/wav\r\n\r\n";
  const std::string suffix = "\r\n--" + boundary + "--\r\n";
  const size_t total = prefix.size() + audioBytes + suffix.size();
  std::vector<int> statuses(3, 0);
  std::vector<std::thread> uploads;
  for (size_t i = 0; i < 3; ++i) {
    uploads.emplace_back([&, i] {
      httplib::Client c("127.0.0.1", port);
      c.set_read_timeout(120, 0);
      c.set_write_timeout(120, 0);
      const std::string filler(1 << 16, 'a');
      const auto res = c.Post(
          kTranscribe, total,
          [&](size_t offset, size_t length, httplib::DataSink& sink) {
            if (offset < prefix.size()) return sink.write(prefix.data() + offset, prefix.size() - offset);
            if (offset < prefix.size() + audioBytes)
              return sink.write(filler.data(), std::min({length, filler.size(), prefix.size() + audioBytes - offset}));
            return sink.write(suffix.data() + (offset - prefix.size() - audioBytes), total - offset);
          },
          "multipart/form-data; boundary=" + boundary);
      statuses[i] = res ? res->status : -1;
    });
  }
  for (int i = 0; i < 2; ++i) {
    uploads.emplace_back([port] {
      const int fd = connectTo(port);
      std::string lines;
      for (int n = 0; n < 1000; ++n) lines += "X-Many: header line\r\n";
      sendAll(fd, "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n");
      for (int n = 0; n < 1000 && ::send(fd, lines.data(), lines.size(), MSG_NOSIGNAL) == ssize_t(lines.size()); ++n) {
      }
      close(fd);
    });
  }
  for (auto& t : uploads) t.join();
  // Each is read (and refused: it is no WAV) or refused before it is read (busy; the connection
  // may close before the client has sent it all); one at least is read.
  for (const int status : statuses) EXPECT_TRUE(status == 400 || status == 503 || status == -1) << status;
  EXPECT_GE(std::count(statuses.begin(), statuses.end(), 400), 1);

  httplib::Client c("127.0.0.1", port);
  c.set_read_timeout(60, 0);
  const auto res = c.Get(kHealth);
  EXPECT_TRUE(res && res->status == 200);

  std::ifstream statusFile("/proc/" + std::to_string(pid) + "/status");
  size_t peakKb = 0;
  for (std::string line; std::getline(statusFile, line);)
    if (line.rfind("VmHWM:", 0) == 0) peakKb = std::stoul(line.substr(6));
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_GT(peakKb, 0u);
  if (!kSanitized) {
    EXPECT_LT(peakKb, 200u * 1024) << "peak RSS " << peakKb << " kB";
  }
}
