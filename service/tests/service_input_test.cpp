// What the stand-in does with input meant to break it, each through a real socket: JSON nested
// deep, floods of plug-in events, headers that end where the HTTP library does not end them,
// bodies that stall or are never read, uploads that hoard the bytes in flight, too many parts,
// and a library that throws while it serves.

#include "qm/service/audio.h"
#include "qm/service/service.h"
#include "service_test_support.h"

#include "../src/deadline_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <thread>

using namespace qm::service;
using namespace qmservicetest;
using nlohmann::json;

namespace {

// Everything the server sends from now until it ends its side, or a minute passes in silence.
std::string readToEnd(int fd) {
  std::string read;
  char buffer[16384];
  pollfd p{fd, POLLIN, 0};
  for (ssize_t n; poll(&p, 1, 60000) > 0 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) read.append(buffer, size_t(n));
  return read;
}

// One answer: its head and as many bytes of body as it announces.
std::string readAnswer(int fd) {
  std::string read;
  pollfd p{fd, POLLIN, 0};
  size_t end = std::string::npos;
  for (char c = 0; (end = read.find("\r\n\r\n")) == std::string::npos && poll(&p, 1, 60000) > 0 && recv(fd, &c, 1, 0) == 1;)
    read += c;
  if (end == std::string::npos) return read;
  const size_t length = read.find("Content-Length: ");
  size_t left = length == std::string::npos ? 0 : std::stoul(read.substr(length + 16));
  for (char c = 0; left > 0 && poll(&p, 1, 60000) > 0 && recv(fd, &c, 1, 0) == 1; --left) read += c;
  return read;
}

int statusIn(const std::string& answer) {
  return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

httplib::Client clientOf(int port) {
  httplib::Client c("127.0.0.1", port);
  c.set_read_timeout(120, 0);
  c.set_write_timeout(120, 0);
  return c;
}

// The peak resident size of this process, the embedded service's included.
[[maybe_unused]] size_t peakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stoul(line.substr(6));
  return 0;
}

void expectPeakUnder150Mb() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // shadow memory is no measure of ours
  EXPECT_LT(peakKb(), 150u * 1024) << "peak RSS";
#endif
}

std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

const httplib::Headers kAuth = {{"Authorization", "Bearer tok"}};

// A request the tests try to slip into the bytes of another.
const std::string kSmuggled =
    "POST /api/plugin/event HTTP/1.1\r\nHost: h\r\nAuthorization: Bearer tok\r\nContent-Type: application/json\r\n"
    "Content-Length: 13\r\n\r\n{\"event\":\"e\"}";

}  // namespace

// Every endpoint that reads JSON refuses a body nested deeper than the bound, before any of it is
// copied, and the service stays up.
TEST(ServiceInput, DeeplyNestedJsonIsRefused) {
  Service service;
  ASSERT_TRUE(service.start());
  auto c = clientOf(service.port());
  const std::string deep = nested(100000);
  const std::pair<const char*, std::string> cases[] = {
      {kAccountStatus, R"({"plugin_events":[)" + deep + "]}"},
      {kRefund, R"({"elapsed_ms":1,"x":)" + deep + "}"},
      {kVote, R"({"render_id":"r","vote":"up","x":)" + deep + "}"},
      {kLogUpload, R"({"log":"l","x":)" + deep + "}"},
      {kPluginEvent, R"({"event":"e","x":)" + deep + "}"},
  };
  for (const auto& [path, body] : cases) {
    const auto res = c.Post(path, kAuth, body, "application/json");
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 400) << path;
  }
  // The bound itself: 64 levels, the outermost object counted, are read; 65 are not.
  auto res = c.Post(kAccountStatus, kAuth, R"({"plugin_events":[)" + nested(62) + "]}", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  res = c.Post(kAccountStatus, kAuth, R"({"plugin_events":[)" + nested(63) + "]}", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 400);
  EXPECT_EQ(service.receivedPluginEvents(), "[" + nested(62) + "]");
  res = c.Get(kHealth);
  EXPECT_EQ(res ? res->status : 0, 200);
}

// The plug-in events the account desk keeps are bounded by their bytes as well as their count,
// the newest kept, and a flood of them leaves the process small.
TEST(ServiceInput, KeptPluginEventsAreBounded) {
  Service service;
  ASSERT_TRUE(service.start());
  auto c = clientOf(service.port());
  const std::string pad(1 << 20, 'e');
  for (int r = 0; r < 3; ++r) {  // three requests of ten megabytes
    std::string body = R"({"plugin_events":[)";
    for (int i = 0; i < 10; ++i)
      body += (i ? "," : "") + json{{"id", std::to_string(r) + "-" + std::to_string(i)}, {"pad", pad}}.dump();
    body += "]}";
    const auto res = c.Post(kAccountStatus, kAuth, body, "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    // What is acknowledged is what is kept: the newest of the request, the last one always.
    const json acked = json::parse(res->body)["acked_event_ids"];
    ASSERT_FALSE(acked.empty());
    EXPECT_EQ(acked.back(), std::to_string(r) + "-9");
  }
  std::string kept = service.receivedPluginEvents();
  EXPECT_LE(kept.size(), kMostReceivedEventBytes + 64);
  json events = json::parse(kept);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["id"], "2-9");

  std::string tiny = R"({"plugin_events":[)";
  for (int i = 0; i < 1000000; ++i) tiny += std::to_string(i % 10) + ",";
  tiny.back() = ']';
  tiny += "}";
  const auto res = c.Post(kAccountStatus, kAuth, tiny, "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  kept = service.receivedPluginEvents();
  events = json::parse(kept);
  EXPECT_EQ(events.size(), kMostReceivedEvents);
  EXPECT_EQ(events.back(), 9);
  expectPeakUnder150Mb();
}

// The header bounds hold however the headers seem to end: a line of "\r\r\n" or a bare "\n" ends
// nothing for the library, so a million lines after it are refused 431, not read.
TEST(ServiceInput, HeaderBoundsHoldHoweverTheHeadersSeemToEnd) {
  Service service;
  ASSERT_TRUE(service.start());
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += "X-" + std::to_string(1000000 + i) + ": a\r\n";  // 5,000 lines a piece
  for (const char* trick : {"X: a\r\n\r\r\n", "X: a\n\n"}) {
    const int fd = connectTo(service.port());
    ASSERT_GE(fd, 0);
    const std::string head = std::string("GET /health HTTP/1.1\r\nHost: h\r\n") + trick;
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    // A million lines, sent until the server answers.
    pollfd p{fd, POLLIN, 0};
    for (int i = 0; i < 200 && poll(&p, 1, 0) == 0 && ::send(fd, lines.data(), lines.size(), MSG_NOSIGNAL) > 0; ++i) {
    }
    ::send(fd, "\r\n", 2, MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(statusIn(readAnswer(fd)), 431) << trick;
    close(fd);
  }
  expectPeakUnder150Mb();
}

// The bounds to the byte and the line: the byte that ends the headers counts.
TEST(ServiceInput, HeaderBoundsAreExact) {
  Service service;
  ASSERT_TRUE(service.start());
  const std::string requestLine = "GET /health HTTP/1.1\r\n";
  auto withLines = [&](size_t n) {
    std::string head = requestLine;
    for (size_t i = 0; i < n; ++i) head += "X-" + std::to_string(i) + ": a\r\n";
    return head + "\r\n";
  };
  auto ofBytes = [&](size_t n) {  // a head of exactly n bytes, in lines the library takes (at most 8 KiB)
    std::string head = requestLine;
    for (size_t i = 0; head.size() + 2 < n; ++i) {
      const size_t room = n - head.size() - 2;
      const size_t line = room > 9000 ? 8000 : room;  // the last line takes what is left (over 1,000 bytes here)
      const std::string name = "X-" + std::to_string(i) + ": ";
      head += name + std::string(line - name.size() - 2, 'v') + "\r\n";
    }
    return head + "\r\n";
  };
  const std::pair<std::string, int> cases[] = {
      {withLines(kMostHeaderLines), 200},
      {withLines(kMostHeaderLines + 1), 431},
      {ofBytes(kMostHeaderBytes), 200},
      {ofBytes(kMostHeaderBytes + 1), 431},
  };
  for (const auto& [head, status] : cases) {
    const int fd = connectTo(service.port());
    ASSERT_GE(fd, 0);
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    EXPECT_EQ(statusIn(readAnswer(fd)), status) << head.size() << " bytes";
    close(fd);
  }
}

// A body that stops coming is answered 408 and its connection ends: what follows is never read
// as a request of its own.
TEST(ServiceInput, AStalledBodyIsAnswered408AndClosed) {
  Service service(optionsWith({.headerSeconds = 600, .bodyGraceSeconds = 600, .bodyBytesPerSecond = 1, .idleSeconds = 0.5}));
  ASSERT_TRUE(service.start());
  const int fd = connectTo(service.port());
  ASSERT_GE(fd, 0);
  const std::string head = "POST /api/log/upload HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n"
                           "Content-Length: 1000000\r\n\r\n";
  const std::string part = head + "{\"log\":\"" + std::string(100000, 'x');
  ASSERT_EQ(::send(fd, part.data(), part.size(), MSG_NOSIGNAL), ssize_t(part.size()));
  const std::string answer = readAnswer(fd);
  EXPECT_EQ(answer.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << answer.substr(0, 200);
  ::send(fd, kSmuggled.data(), kSmuggled.size(), MSG_NOSIGNAL);
  EXPECT_EQ(readToEnd(fd), "");  // the server's side has ended: nothing more is answered
  close(fd);
  EXPECT_EQ(service.requestCount(kPluginEvent), 0u);
  EXPECT_EQ(service.requestCount(kLogUpload), 0u);
}

// A GET that carries a body is answered and its connection ends, so its body is never read as a
// request.
TEST(ServiceInput, AGetCarryingABodyEndsItsConnection) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  const int fd = connectTo(service.port());
  ASSERT_GE(fd, 0);
  const std::string request =
      "GET /health HTTP/1.1\r\nHost: h\r\nContent-Length: " + std::to_string(kSmuggled.size()) + "\r\n\r\n" + kSmuggled;
  ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
  const std::string all = readToEnd(fd);
  close(fd);
  EXPECT_EQ(statusIn(all), 200);
  EXPECT_EQ(occurrences(all, "HTTP/1.1 "), 1u) << all;
  EXPECT_NE(all.find("Connection: close\r\n"), std::string::npos);
  EXPECT_EQ(service.requestCount(kPluginEvent), 0u);
}

// Two uploads declaring half the bytes in flight each and trickling in do not leave a small
// request refused.
TEST(ServiceInput, SlowLargeUploadsLeaveSmallRequestsServed) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  const std::string head = "POST /api/log/upload HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n"
                           "Content-Length: " + std::to_string(kMostBytesInFlight / 2) + "\r\nExpect: 100-continue\r\n\r\n";
  std::vector<int> large;
  for (int i = 0; i < 2; ++i) {
    large.push_back(connectTo(service.port()));
    ::send(large.back(), head.data(), head.size(), MSG_NOSIGNAL);
    const int status = statusIn(readAnswer(large.back()));  // let in, or refused before its body
    EXPECT_TRUE(status == 100 || status == 503) << status;
    if (i == 0) {
      EXPECT_EQ(status, 100);
    }
    if (status == 100) ::send(large.back(), "{\"log\":\"", 8, MSG_NOSIGNAL);
  }
  const auto res = clientOf(service.port()).Post(kLogUpload, R"({"log":"small"})", "application/json");
  EXPECT_EQ(res ? res->status : 0, 200);
  for (const int fd : large) close(fd);
}

// A body of more parts than are taken apart is refused as such, whatever its first part is.
TEST(ServiceInput, TooManyPartsAreRefusedAsSuch) {
  Service service;
  ASSERT_TRUE(service.start());
  auto c = clientOf(service.port());
  std::vector<int16_t> tone(16000, 0);
  for (size_t i = 4000; i < 12000; ++i) tone[i] = int16_t(i % 200 * 50);
  const std::string wav = writeWav(tone, 16000);
  for (const size_t parts : {size_t(64), size_t(65)}) {
    for (const char* path : {kTranscribe, kGenerate}) {
      httplib::MultipartFormDataItems items = {{"audio", wav, "a.wav", "audio/wav"}, {"text", "words", "", ""}};
      while (items.size() < parts) items.push_back({"p" + std::to_string(items.size()), "x", "", ""});
      const auto res = c.Post(path, kAuth, items);
      ASSERT_TRUE(res) << path;
      const json body = json::parse(res->body, nullptr, false);
      const std::string error = body.is_object() && body.contains("error") ? body["error"].get<std::string>() : "";
      if (parts > 64) {
        EXPECT_EQ(res->status, 400) << path;
        EXPECT_EQ(error, "TOO_MANY_PARTS") << path;
        EXPECT_EQ(body.value("message", ""), "The upload has more than 64 parts.");
      } else {
        EXPECT_EQ(res->status, 200) << path << " " << res->body.substr(0, 200);
      }
    }
  }
}

// Whatever the HTTP library throws while it serves a connection, the connection ends.
TEST(ServiceInput, AThrowWhileServingEndsTheConnection) {
  warmHttpLibrary();
  DeadlineServer server;
  server.new_task_queue = [] { return new ConnectionThreads(4, 4, 10); };
  server.Get("/throws", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(10, "text/plain", [](size_t, size_t, httplib::DataSink&) -> bool {
      throw std::runtime_error("thrown while the answer is written");
    });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::yield();
  const int fd = connectTo(port);
  ASSERT_GE(fd, 0);
  const std::string request = "GET /throws HTTP/1.1\r\nHost: h\r\n\r\n";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  char c = 0;
  pollfd p{fd, POLLIN, 0};
  ssize_t got = 1;
  // Only the answer's head may come; then the end of the connection.
  for (int i = 0; i < 4096 && got > 0 && poll(&p, 1, 60000) > 0; ++i) got = recv(fd, &c, 1, 0);
  EXPECT_LE(got, 0);
  close(fd);
  server.stop();
  serving.join();
}
