// What the stand-in service holds under clients that are slow, many or large: its connection
// threads, descriptors, memory and answers. Waits are bounded far above any plausible delay.

#include "qm/service/service.h"
#include "service_test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <poll.h>

#include <filesystem>
#include <thread>

using namespace qm::service;
using namespace qmservicetest;

namespace {

// A connection to the port with `bytes` sent on it.
int sendTo(int port, const std::string& bytes) {
  const int fd = connectTo(port);
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  return fd;
}

// The status of the answer's head, read until the server closes or a minute passes in silence.
int statusOf(int fd) {
  std::string read;
  pollfd p{fd, POLLIN, 0};
  for (char c = 0; read.find("\r\n\r\n") == std::string::npos && poll(&p, 1, 60000) > 0 && recv(fd, &c, 1, 0) == 1;) read += c;
  return read.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(read.c_str() + 9) : 0;
}

auto countEntries(const char* folder) { return std::distance(std::filesystem::directory_iterator(folder), {}); }

}  // namespace

// Requests that would hold too much are answered before they are read; a POST without a body and
// without a length is complete as it stands.
TEST(ServiceBounds, RequestsBeyondTheBoundsAreAnsweredAtOnce) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  const std::string post = "POST /api/log/upload HTTP/1.1\r\n";
  std::string manyLines = "GET /health HTTP/1.1\r\n";
  for (int i = 0; i < 200; ++i) manyLines += "X-" + std::to_string(i) + ": a\r\n";
  const std::pair<std::string, int> cases[] = {
      {post + "\r\n", 400},  // "The log is missing."
      {"POST /api/plugin/event HTTP/1.1\r\nContent-Type: application/json\r\n\r\n", 401},
      {manyLines + "\r\n", 431},
      {post + "Content-Length: 1000000000\r\n\r\n", 413},
      {post + "Content-Length: 99999999999999999999999\r\n\r\n", 413},
  };
  for (const auto& [request, status] : cases) {
    const int fd = sendTo(service.port(), request);
    EXPECT_EQ(statusOf(fd), status) << request.substr(0, 80);
    close(fd);
  }
  // While one request holds most of the bytes in flight, another that would pass the bound is
  // answered 503 before its body is sent.
  const std::string large = post + "Content-Type: application/json\r\nContent-Length: 40000000\r\nExpect: 100-continue\r\n\r\n";
  const int holder = sendTo(service.port(), large);
  ASSERT_EQ(statusOf(holder), 100);
  ::send(holder, "{", 1, MSG_NOSIGNAL);
  const int refused = sendTo(service.port(), large);
  EXPECT_EQ(statusOf(refused), 503);
  close(refused);
  close(holder);
}

// A multipart body of more parts than the bound is not taken apart; the log keeps a bounded share
// of the parts' contents.
TEST(ServiceBounds, MultipartPartsAreBounded) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  httplib::MultipartFormDataItems many(100, {"audio", "x", "a.wav", "audio/wav"}), large;
  ASSERT_TRUE(clientOf(service.port()).Post(kTranscribe, many));
  EXPECT_FALSE(service.lastRequest(kTranscribe).value().multipartParsed);
  for (int i = 0; i < 10; ++i) large.push_back({"p" + std::to_string(i), std::string(100000, 'a'), "", ""});
  ASSERT_TRUE(clientOf(service.port()).Post(kTranscribe, large));
  const auto logged = service.lastRequest(kTranscribe).value();
  size_t kept = 0;
  for (const auto& p : logged.parts) kept += p.content.size();
  EXPECT_EQ(kept, kLoggedPartsLimit);
}

// Connections beyond the threads and the waiting bound are answered 503 at once; threads left idle
// end; a service stopped with slow clients connected, some waiting for a thread, closes them all.
TEST(ServiceBounds, ConnectionsAreBoundedAndClosed) {
  const auto descriptors = countEntries("/proc/self/fd");
  {
    Service service(optionsWith(kPatient, {.threads = 4, .waiting = 8, .idleThreadSeconds = 0.2}));
    ASSERT_TRUE(service.start());
    const auto threads = countEntries("/proc/self/task");
    std::vector<int> slow;
    for (int i = 0; i < 16; ++i) slow.push_back(sendTo(service.port(), "GET /health HTTP/1.1\r\nX-Slow: "));
    // All sixteen are accepted by the time the last is answered.
    for (size_t i = 12; i < slow.size(); ++i) EXPECT_EQ(statusOf(slow[i]), 503);
    for (const int fd : slow) close(fd);
    auto now = countEntries("/proc/self/task");
    for (int i = 0; i < 600 && now > threads; ++i, now = countEntries("/proc/self/task"))
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(now, threads);
    const auto health = clientOf(service.port()).Get(kHealth);  // the closed ones have gone by now
    EXPECT_TRUE(health && health->status == 200);

    for (int i = 0; i < 12; ++i) slow[i] = sendTo(service.port(), "GET /health HTTP/1.1\r\nX-Slow: ");
    service.stop();
    for (int i = 0; i < 12; ++i) close(slow[i]);
  }
  EXPECT_EQ(countEntries("/proc/self/fd"), descriptors);
}

TEST(ServiceBounds, RatesAndLimitsOutOfRangeAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for (const RequestDeadlines& d : {RequestDeadlines{5, 5, 0}, RequestDeadlines{5, 5, nan}, RequestDeadlines{5, 5, inf},
                                    RequestDeadlines{0, 5, 100}, RequestDeadlines{5, -1, 100}})
    EXPECT_FALSE(Service(optionsWith(d)).start()) << d.headerSeconds << " " << d.bodyGraceSeconds << " " << d.bodyBytesPerSecond;
  for (const ConnectionLimits& l : {ConnectionLimits{0, 4, 10}, ConnectionLimits{4, 4, nan}})
    EXPECT_FALSE(Service(optionsWith({}, l)).start());
}

// Three uploads near the body limit at once are answered, /health too, and the peak RSS of this
// process, the service's with it, stays under 150 MB.
TEST(ServiceBounds, LargeRequestsLeaveTheServiceSmall) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  resetPeak();
  const int port = service.port();
  const std::string prefix = "--b\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"a.wav\"\r\n\r\n";
  const std::string suffix = "\r\n--b--\r\n", filler(1 << 16, 'a');
  const size_t fillers = 750;  // 47 MiB, sent as it is made so that this process holds none of it
  std::vector<int> statuses(3, 0);
  std::vector<std::thread> clients;
  for (size_t i = 0; i < statuses.size(); ++i) {
    clients.emplace_back([&, i] {
      const int fd = sendTo(port, "POST /api/transcribe HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                                  "Content-Length: " + std::to_string(prefix.size() + fillers * filler.size() + suffix.size()) +
                                      "\r\n\r\n" + prefix);
      for (size_t n = 0; n < fillers && ::send(fd, filler.data(), filler.size(), MSG_NOSIGNAL) > 0; ++n) {
      }
      ::send(fd, suffix.data(), suffix.size(), MSG_NOSIGNAL);
      statuses[i] = statusOf(fd);
      close(fd);
    });
  }
  for (auto& t : clients) t.join();
  // Each is read (and refused: it is no WAV) or refused before it is read, its body read away so
  // that the answer reaches it; one at least is read.
  for (const int status : statuses) EXPECT_TRUE(status == 400 || status == 503) << status;
  EXPECT_GE(std::count(statuses.begin(), statuses.end(), 400), 1);
  const auto health = clientOf(port).Get(kHealth);
  EXPECT_TRUE(health && health->status == 200);
  expectPeakUnder150Mb();
}

// A body refused 503 is read away for a bounded time, however steadily it trickles in: then its
// connection closes and its thread is free to serve the next client.
TEST(ServiceBounds, ARefusedBodyIsReadAwayForABoundedTime) {
  Service service(optionsWith(kPatient, {.threads = 2, .waiting = 4, .idleThreadSeconds = 600}));
  ASSERT_TRUE(service.start());
  const std::string post = "POST /api/log/upload HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: ";
  const int holder = sendTo(service.port(), post + "40000000\r\nExpect: 100-continue\r\n\r\n");
  ASSERT_EQ(statusOf(holder), 100);
  ::send(holder, "{", 1, MSG_NOSIGNAL);
  // 30 MB at 10 kB/s, a rate its deadline allows, would take most of an hour.
  const int refused = sendTo(service.port(), post + "30000000\r\n\r\n");
  ASSERT_EQ(statusOf(refused), 503);
  bool closed = false;  // the service's end refuses what is sent, within two minutes
  for (int i = 0; i < 1200 && !closed; ++i, usleep(100000)) closed = ::send(refused, std::string(1000, ' ').data(), 1000, MSG_NOSIGNAL) < 0;
  EXPECT_TRUE(closed);
  const auto next = clientOf(service.port()).Get(kHealth);  // the other thread still holds the first upload
  EXPECT_TRUE(next && next->status == 200);
  close(refused);
  close(holder);
}
