// Input meant to break the stand-in, each case through a real socket.

#include "qm/service/audio.h"
#include "qm/service/service.h"
#include "service_test_support.h"

#include "../src/deadline_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <thread>

using namespace qm::service;
using namespace qmservicetest;
using nlohmann::json;

namespace {

// One answer: its head and as many bytes of body as it announces.
std::string readAnswer(int fd) {
  std::string read;
  pollfd p{fd, POLLIN, 0};
  for (char c = 0; read.find("\r\n\r\n") == std::string::npos && poll(&p, 1, 60000) > 0 && recv(fd, &c, 1, 0) == 1;) read += c;
  const size_t length = read.find("Content-Length: ");
  size_t left = length == std::string::npos ? 0 : std::stoul(read.substr(length + 16));
  for (char c = 0; left > 0 && poll(&p, 1, 60000) > 0 && recv(fd, &c, 1, 0) == 1; --left) read += c;
  return read;
}

int statusIn(const std::string& answer) { return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0; }

const httplib::Headers kAuth = {{"Authorization", "Bearer tok"}};

// A request the tests try to slip into the bytes of another.
const std::string kSmuggled =
    "POST /api/plugin/event HTTP/1.1\r\nHost: h\r\nAuthorization: Bearer tok\r\nContent-Type: application/json\r\n"
    "Content-Length: 13\r\n\r\n{\"event\":\"e\"}";

}  // namespace

// JSON nested past 64 levels (the outermost object counted) is refused on every endpoint.
TEST(ServiceInput, DeeplyNestedJsonIsRefused) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  auto c = clientOf(service.port());
  auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  const std::string deep = nested(100000);
  const std::tuple<const char*, std::string, int> cases[] = {
      {kAccountStatus, R"({"plugin_events":[)" + deep + "]}", 400},
      {kRefund, R"({"elapsed_ms":1,"x":)" + deep + "}", 400},
      {kVote, R"({"render_id":"r","vote":"up","x":)" + deep + "}", 400},
      {kLogUpload, R"({"log":"l","x":)" + deep + "}", 400},
      {kPluginEvent, R"({"event":"e","x":)" + deep + "}", 400},
      {kAccountStatus, R"({"plugin_events":[)" + nested(62) + "]}", 200},  // the bound itself
  };
  for (const auto& [path, body, status] : cases) {
    const auto res = c.Post(path, kAuth, body, "application/json");
    EXPECT_EQ(res ? res->status : 0, status) << path << " " << body.size();
  }
}

// The plug-in events kept are bounded by bytes (their count: below), the newest kept.
TEST(ServiceInput, KeptPluginEventsAreBounded) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  resetPeak();
  auto c = clientOf(service.port());
  std::string body = R"({"plugin_events":[)";  // ten megabytes
  for (int i = 0; i < 10; ++i) body += (i ? "," : "") + json{{"id", i}, {"pad", std::string(1 << 20, 'e')}}.dump();
  const auto large = c.Post(kAccountStatus, kAuth, body + "]}", "application/json");
  ASSERT_TRUE(large && large->status == 200);
  const std::string kept = service.receivedPluginEvents();
  EXPECT_LE(kept.size(), kMostReceivedEventBytes + 64);
  EXPECT_EQ(json::parse(kept).back()["id"], 9);
  expectPeakUnder150Mb();
}

// Bodies of 48 MB of small elements: a value of more elements than may be built is refused 413, an
// event too large to keep is dropped as it is read (neither kept nor acknowledged), a flood of
// events is answered with a bounded list of ids, and the process stays small throughout.
TEST(ServiceInput, BodiesOfManySmallElementsCostLittle) {
  Service service(optionsWith(kPatient, {.threads = 1}));  // a body's bytes in flight are back before the next is read
  ASSERT_TRUE(service.start());
  resetPeak();
  std::string numbers, events;  // 64 KiB each
  for (int i = 0; i < 32768; ++i) numbers += "0,";
  for (int i = 0; i < 6554; ++i) events += R"({"id":"e"},)";
  const std::tuple<const char*, std::string, const std::string&, std::string, int, json> cases[] = {
      {kLogUpload, R"({"log":"l","x":[)", numbers, "0]}", 413, nullptr},
      {kAccountStatus, R"({"plugin_events":[{"id":"big","n":[)", numbers, R"(0]},{"id":"after"}]})", 200, {"after"}},
      {kAccountStatus, R"({"plugin_events":[)", events, R"({"id":"last"}]})", 200, std::vector<std::string>(kMostAckedEventIds, "e")},
  };
  for (const auto& [path, head, piece, tail, status, acked] : cases) {
    // Made as it is sent, so that this process holds none of it; of 1 MB, as far beyond the bounds, in
    // a sanitized build, which parses at a small fraction of the speed and measures no memory of ours.
    const size_t times = (kSanitized ? 1000000 : 48000000) / piece.size();
    const auto make = [&](size_t, size_t, httplib::DataSink& sink) {
      bool sent = sink.write(head.data(), head.size());
      for (size_t i = 0; sent && i < times; ++i) sent = sink.write(piece.data(), piece.size());
      return sent && sink.write(tail.data(), tail.size());
    };
    const auto res = clientOf(service.port()).Post(path, kAuth, head.size() + piece.size() * times + tail.size(), make, "application/json");
    EXPECT_EQ(res ? res->status : 0, status) << head;
    const json body = res ? json::parse(res->body, nullptr, false) : json();
    const json ids = body.contains("acked_event_ids") ? body["acked_event_ids"] : json();
    EXPECT_TRUE(ids == acked) << head << ": " << ids.size() << " ids, from " << ids.dump().substr(0, 40);
  }
  const json kept = json::parse(service.receivedPluginEvents());
  EXPECT_EQ(kept.size(), kMostReceivedEvents);
  EXPECT_EQ(kept.back(), json::parse(R"({"id":"last"})"));
  expectPeakUnder150Mb();
}

// The header bounds hold to the byte, and however the headers seem to end: after a
// "\r\r\n" or bare "\n" line, which ends nothing for the library, a flood of lines is refused 431.
TEST(ServiceInput, HeaderBoundsAreExactAndHoldHoweverTheHeadersSeemToEnd) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  resetPeak();
  const std::string requestLine = "GET /health HTTP/1.1\r\nHost: h\r\n";
  auto ofBytes = [](size_t n) {  // exactly n bytes, in lines under 8 KiB (the library's own bound)
    std::string head = "GET /health HTTP/1.1\r\n";
    for (int i = 0; n - head.size() > 8000; ++i) head += "X-" + std::to_string(i) + ": " + std::string(7990, 'v') + "\r\n";
    return head + "Y: " + std::string(n - head.size() - 7, 'v') + "\r\n\r\n";
  };
  std::string flood;
  for (int i = 0; i < 5000; ++i) flood += "X-" + std::to_string(1000000 + i) + ": a\r\n";
  const std::tuple<std::string, bool, int> cases[] = {  // head, flooded after it, status
      {ofBytes(kMostHeaderBytes), false, 200},     {ofBytes(kMostHeaderBytes + 1), false, 431},
      {requestLine + "X: a\r\n\r\r\n", true, 431}, {requestLine + "X: a\n\n", true, 431},
  };
  for (const auto& [head, flooded, status] : cases) {
    const int fd = connectTo(service.port());
    ASSERT_GE(fd, 0);
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
    pollfd p{fd, POLLIN, 0};
    for (int i = 0; flooded && i < 200 && poll(&p, 1, 0) == 0 && ::send(fd, flood.data(), flood.size(), MSG_NOSIGNAL) > 0; ++i) {
    }
    if (flooded) ::send(fd, "\r\n", 2, MSG_NOSIGNAL), ::shutdown(fd, SHUT_WR);
    EXPECT_EQ(statusIn(readAnswer(fd)), status) << head.size() << " bytes" << (flooded ? ", flooded" : "");
    close(fd);
  }
  expectPeakUnder150Mb();
}

// A request whose body is not read as it should be ends its connection once answered, so what
// follows is never taken for a request: a stalled body (408), a GET's body (its own bytes smuggled).
TEST(ServiceInput, ConnectionsEndWhenABodyIsLeftUnread) {
  const std::tuple<std::string, RequestDeadlines, int> cases[] = {  // the stalled body is cut by the idle time-out
      {"POST /api/log/upload HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\nContent-Length: 1000000\r\n\r\n{\"log\":\"" +
           std::string(100000, 'x'),
       {.headerSeconds = 600, .bodyGraceSeconds = 600, .bodyBytesPerSecond = 1, .idleSeconds = 0.5}, 408},
      {"GET /health HTTP/1.1\r\nHost: h\r\nContent-Length: " + std::to_string(kSmuggled.size()) + "\r\n\r\n" + kSmuggled,
       kPatient, 200},
  };
  for (const auto& [request, deadlines, status] : cases) {
    Service service(optionsWith(deadlines));
    ASSERT_TRUE(service.start());
    const int fd = connectTo(service.port());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    const std::string answer = readAnswer(fd);
    EXPECT_EQ(statusIn(answer), status) << answer.substr(0, 200);
    ::send(fd, kSmuggled.data(), kSmuggled.size(), MSG_NOSIGNAL);
    EXPECT_EQ(readToEnd(fd), "") << status;  // the server's side has ended
    close(fd);
    EXPECT_EQ(service.requestCount(kPluginEvent), 0u);
    EXPECT_EQ(service.requestCount(kLogUpload), 0u);
  }
}

// Two trickling uploads declaring half the bytes in flight each leave a small request served.
TEST(ServiceInput, SlowLargeUploadsLeaveSmallRequestsServed) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  const std::string head = "POST /api/log/upload HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\nContent-Length: " +
                           std::to_string(kMostBytesInFlight / 2) + "\r\nExpect: 100-continue\r\n\r\n";
  std::vector<int> large;
  for (int i = 0; i < 2; ++i) {
    large.push_back(connectTo(service.port()));
    ::send(large.back(), head.data(), head.size(), MSG_NOSIGNAL);
    const int status = statusIn(readAnswer(large.back()));  // let in, or refused before its body
    EXPECT_TRUE(status == 100 || (i == 1 && status == 503)) << status;
    if (status == 100) ::send(large.back(), "{\"log\":\"", 8, MSG_NOSIGNAL);
  }
  const auto res = clientOf(service.port()).Post(kLogUpload, R"({"log":"small"})", "application/json");
  EXPECT_EQ(res ? res->status : 0, 200);
  for (const int fd : large) close(fd);
}

// More than 64 parts are refused as such, though the first is good audio.
TEST(ServiceInput, TooManyPartsAreRefusedAsSuch) {
  Service service(optionsWith(kPatient));
  ASSERT_TRUE(service.start());
  auto c = clientOf(service.port());
  for (const char* path : {kTranscribe, kGenerate}) {
    httplib::MultipartFormDataItems items = {{"audio", writeWav({1, -2, 3}, 8000), "a.wav", "audio/wav"}};
    while (items.size() < 65) items.push_back({"p" + std::to_string(items.size()), "x", "", ""});
    const auto res = c.Post(path, kAuth, items);
    EXPECT_EQ(res ? json::parse(res->body, nullptr, false).value("error", "") : "", "TOO_MANY_PARTS") << path;
  }
}

// Whatever the HTTP library throws while it serves a connection, the connection ends.
TEST(ServiceInput, AThrowWhileServingEndsTheConnection) {
  warmHttpLibrary();
  DeadlineServer server(kPatient);
  server.set_read_timeout(600, 0);
  server.set_write_timeout(600, 0);
  server.new_task_queue = [] { return new ConnectionThreads(4, 4, 10); };
  server.Get("/throws", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(10, "text/plain", [](size_t, size_t, httplib::DataSink&) -> bool { throw std::runtime_error("thrown"); });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::yield();
  const int fd = connectTo(port);
  const std::string request = "GET /throws HTTP/1.1\r\nHost: h\r\n\r\n";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  const std::string head = readAnswer(fd);  // only the answer's head may come; then the end, not silence
  pollfd p{fd, POLLIN, 0};
  char c = 0;
  EXPECT_TRUE(poll(&p, 1, 60000) > 0 && recv(fd, &c, 1, 0) <= 0) << head;
  close(fd);
  server.stop();
  serving.join();
}
