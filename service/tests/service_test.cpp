// The stand-in service over loopback, driven by cpp-httplib's client.

#include "qm/service/audio.h"
#include "qm/service/service.h"
#include "qm/service/test_tls.h"
#include "service_test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qm/platform/sha256.h"

extern char** environ;

using namespace qm::service;
using nlohmann::json;

namespace {

// One second: silence, a tone from 0.2 s to 0.8 s, silence.
std::vector<int16_t> toneLine(uint32_t rate = 16000) {
  std::vector<int16_t> s(rate, 0);
  for (uint32_t i = rate / 5; i < rate * 4 / 5; ++i)
    s[i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 200.0 * i / rate));
  return s;
}

uint32_t u32At(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(service.start()); }
  httplib::Client client() {
    httplib::Client c("127.0.0.1", service.port());
    c.set_read_timeout(60, 0);
    return c;
  }
  httplib::Result generate(int takes, const std::string& token = "tok") {
    auto c = client();
    httplib::MultipartFormDataItems items = {
        {"audio", writeWav(toneLine(), 16000), "capture.wav", "audio/wav"},
        {"text", "make it so", "", ""},
        {"reference_text", "", "", ""},
        {"sample_rate", "16000", "", ""},
        {"takes", std::to_string(takes), "", ""},
    };
    httplib::Headers headers;
    if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
    return c.Post(kGenerate, headers, items);
  }
  Service service{qmservicetest::optionsWith(qmservicetest::kPatient)};
};

}  // namespace

TEST(ServiceAudio, WavReaderRefusesWhatIsNotPcm16) {
  const std::string good = writeWav({1, -2, 3}, 8000);
  const auto wav = readWav(good);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->sampleRate, 8000u);
  EXPECT_EQ(wav->samples, (std::vector<int16_t>{1, -2, 3}));
  EXPECT_FALSE(readWav(good.substr(0, good.size() - 1)));  // data chunk past the end
  EXPECT_FALSE(readWav("RIFF"));
  std::string eightBit = good;
  eightBit[34] = 8;
  EXPECT_FALSE(readWav(eightBit));
}

TEST(ServiceAudio, TranscriptFollowsTheSpeech) {
  const json t = timedTranscriptFor("one two three", toneLine(), 16000);
  ASSERT_EQ(t["words"].size(), 3u);
  EXPECT_NEAR(t["words"][0]["start"].get<double>(), 0.2, 0.011);
  EXPECT_NEAR(t["words"][2]["end"].get<double>(), 0.8, 0.011);
  for (size_t i = 0; i + 1 < 3; ++i) EXPECT_EQ(t["words"][i]["end"], t["words"][i + 1]["start"]);
  EXPECT_EQ(timedTranscriptFor("words", std::vector<int16_t>(16000, 0), 16000)["text"], "");
  EXPECT_EQ(timedTranscriptFor("", toneLine(), 16000)["words"].size(), 0u);
}

TEST(ServiceAudio, ContainerLayout) {
  TakesContainer c;
  c.sampleRate = 24000;
  c.creditsRemaining = 7;
  c.creditsAllowance = 10;
  c.takes = {{1, 2}, {-1}};
  c.trailer = "{}";
  const std::string b = encodeTakesContainer(c);
  ASSERT_EQ(b.size(), 28u + 8u + 6u + 2u);
  EXPECT_EQ(b.substr(0, 4), "QMTK");
  EXPECT_EQ(u32At(b, 4), 1u);
  EXPECT_EQ(u32At(b, 8), 2u);
  EXPECT_EQ(u32At(b, 12), 24000u);
  EXPECT_EQ(u32At(b, 16), 16u);
  EXPECT_EQ(u32At(b, 20), 7u);
  EXPECT_EQ(u32At(b, 24), 10u);
  EXPECT_EQ(u32At(b, 28), 4u);
  EXPECT_EQ(u32At(b, 32), 2u);
  EXPECT_EQ(static_cast<uint8_t>(b[40]), 0xFF);
  EXPECT_EQ(b.substr(42), "{}");
}

// The container made as it is sent reads, in pieces of any size, as the one made whole.
TEST(ServiceAudio, ContainerStreamMatchesTheWholeContainer) {
  TakesContainer c;
  c.creditsRemaining = 3;
  c.trailer = R"({"takes":[]})";
  c.takes = {toneLine(), {1, -2, 3}, {}, toneLine(8000)};
  const std::string whole = encodeTakesContainer(c);
  std::vector<size_t> lengths;
  for (const auto& t : c.takes) lengths.push_back(t.size());
  int made = 0;
  TakesStream stream(c, lengths, [&](size_t i) {
    ++made;
    return c.takes[i];
  });
  ASSERT_EQ(stream.size(), whole.size());
  std::string pieces;
  for (size_t at = 0, n = 1; at < whole.size(); at += n, n = n * 3 % 1001 + 1) {
    n = std::min(n, whole.size() - at);
    std::string piece(n, '\0');
    stream.read(at, n, piece.data());
    pieces += piece;
  }
  EXPECT_EQ(pieces, whole);
  EXPECT_EQ(made, 3);  // each take with samples made once, when its first byte was due
}

// Uploads of audio are logged cut, with their size and hash; what the handler reads is whole.
TEST_F(ServiceTest, LargeBodiesAreLoggedBySizeAndHash) {
  auto c = client();
  const std::vector<int16_t> long_(kLoggedContentLimit, 5);  // a WAV of twice the limit
  httplib::MultipartFormDataItems items = {{"audio", writeWav(long_, 16000), "capture.wav", "audio/wav"}};
  auto res = c.Post(kTranscribe, items);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  const auto r = service.lastRequest(kTranscribe);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->body.size(), kLoggedContentLimit);
  EXPECT_GT(r->bodySize, 2 * kLoggedContentLimit);
  EXPECT_EQ(r->bodySha256.size(), 64u);
  ASSERT_TRUE(r->part("audio"));
  EXPECT_EQ(r->part("audio")->content, writeWav(long_, 16000).substr(0, kLoggedContentLimit));
  EXPECT_EQ(r->part("audio")->contentSize, 44 + 2 * kLoggedContentLimit);
  EXPECT_EQ(r->part("audio")->contentSha256, qm::platform::sha256Hex(writeWav(long_, 16000)));
  // Small ones stay as they came.
  res = c.Post(kPluginEvent, R"({"event":"x"})", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(service.lastRequest(kPluginEvent)->body, R"({"event":"x"})");
}

// Uploads whose bytes stop coming hold a worker each; more of them than a default pool has must
// still leave /health answering.
TEST(ServiceDeadlines, HealthAnswersWhileUploadsStall) {
  Service service(qmservicetest::optionsWith(qmservicetest::kPatient));
  ASSERT_TRUE(service.start());
  std::vector<int> stalled;
  for (int i = 0; i < 12; ++i) {
    const int fd = qmservicetest::connectTo(service.port());
    ASSERT_GE(fd, 0);
    const std::string head = "POST /api/generate HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/octet-stream\r\n"
                             "Content-Length: 1000000\r\n\r\nQMTK";
    ASSERT_EQ(::send(fd, head.data(), head.size(), 0), ssize_t(head.size()));
    stalled.push_back(fd);
  }
  httplib::Client c("127.0.0.1", service.port());
  c.set_connection_timeout(60, 0);
  c.set_read_timeout(60, 0);
  const auto res = c.Get(kHealth);
  for (const int fd : stalled) close(fd);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

using qmservicetest::connectTo;

// Clients that send a byte now and then keep no request open for ever: a request whose headers,
// or whose body, fall behind is answered 408 and closed. They trickle on until answered. A request
// that keeps up is served on deadlines of the same kind, a minute longer than it needs.
TEST(ServiceDeadlines, SlowRequestsAreAnswered408) {
  const RequestDeadlines quick = {.headerSeconds = 0.5, .bodyGraceSeconds = 0.5, .bodyBytesPerSecond = 100, .idleSeconds = 600};
  Service service(qmservicetest::optionsWith(quick));
  ASSERT_TRUE(service.start());
  const std::pair<std::string, std::string> requests[] = {  // sent at once, then a byte every 50 ms
      {"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n", "X-Padding: "},
      {"POST /api/log/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n",
       "{\"log\":\""},
  };
  for (const auto& [head, start] : requests) {
    const int fd = connectTo(service.port());
    pollfd p{fd, POLLIN, 0};
    const std::string first = head + start;
    ::send(fd, first.data(), first.size(), MSG_NOSIGNAL);  // a head this small goes out whole
    for (int i = 0; i < 1200 && ::send(fd, "x", 1, MSG_NOSIGNAL) == 1 && poll(&p, 1, 50) == 0; ++i) {
    }
    const std::string answer = qmservicetest::readToEnd(fd);
    close(fd);
    EXPECT_EQ(answer.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << answer;
  }
  EXPECT_EQ(service.requestCount(kLogUpload), 0u);
  Service prompt(qmservicetest::optionsWith({.headerSeconds = 60, .bodyGraceSeconds = 60, .bodyBytesPerSecond = 100, .idleSeconds = 600}));
  ASSERT_TRUE(prompt.start());
  const int fd = connectTo(prompt.port());
  const std::string onTime = "POST /api/log/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                             "Content-Length: 17\r\nConnection: close\r\n\r\n{\"log\":\"on time\"}";
  ::send(fd, onTime.data(), onTime.size(), MSG_NOSIGNAL);
  const std::string answer = qmservicetest::readToEnd(fd);
  close(fd);
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
}

// 200 clients each part of the way through their headers: /health still answers.
TEST(ServiceDeadlines, HealthAnswersWithTwoHundredSlowClientsConnected) {
  Service service(qmservicetest::optionsWith(qmservicetest::kPatient));
  ASSERT_TRUE(service.start());
  const std::string part = "POST /api/generate HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
  std::vector<int> slow;
  for (int i = 0; i < 200; ++i) {
    slow.push_back(connectTo(service.port()));
    ASSERT_EQ(::send(slow.back(), part.data(), part.size(), MSG_NOSIGNAL), ssize_t(part.size()));
  }
  httplib::Client c("127.0.0.1", service.port());
  c.set_connection_timeout(60, 0);
  c.set_read_timeout(60, 0);
  const auto res = c.Get(kHealth);
  for (const int fd : slow) close(fd);
  EXPECT_EQ(res ? res->status : 0, 200);
}

// Clients that trickle a byte a second into every port this process listens on leave transcribe
// and generate answered in full.
TEST_F(ServiceTest, TricklingClientsOnEveryPortLeaveUploadsAnswered) {
  std::vector<int> trickling;
  for (int fd = 0; fd < 1024; ++fd) {
    int listening = 0;
    sockaddr_in address{};
    socklen_t size = sizeof listening, addressSize = sizeof address;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressSize) == 0 && address.sin_family == AF_INET)
      for (int i = 0; i < 12; ++i) trickling.push_back(connectTo(ntohs(address.sin_port)));
  }
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (size_t sent = 0; !done; ++sent) {
      for (const int fd : trickling) ::send(fd, &"POST /x HTTP/1.1\r\nX: "[std::min<size_t>(sent, 20)], 1, MSG_NOSIGNAL);
      for (int i = 0; i < 10 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  const auto transcribed = client().Post(kTranscribe, {{"audio", writeWav(toneLine(), 16000), "a.wav", "audio/wav"}});
  const auto generated = generate(1);
  done = true;
  trickle.join();
  for (const int fd : trickling) close(fd);
  EXPECT_EQ(transcribed ? transcribed->status : 0, 200);
  EXPECT_EQ(generated ? generated->body.substr(0, 4) : "", "QMTK");
}

TEST_F(ServiceTest, HealthAndForcedAnswers) {
  auto c = client();
  auto res = c.Get(kHealth);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(json::parse(res->body)["status"], "healthy");

  Fault f;
  f.status = 503;
  f.body = R"({"status":"degraded"})";
  f.count = 1;
  service.setFault(kHealth, f);
  res = c.Get(kHealth);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 503);
  EXPECT_EQ(res->body, f.body);
  res = c.Get(kHealth);  // the fault was for one request only
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(service.requestCount(kHealth), 3u);
}

TEST_F(ServiceTest, MultipartFieldsParsedInOrderAndRawBodyKept) {
  auto res = generate(3);
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  const auto r = service.lastRequest(kGenerate);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->multipartParsed);
  std::vector<std::string> names;
  for (const auto& p : r->parts) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"audio", "text", "reference_text", "sample_rate", "takes"}));
  EXPECT_EQ(r->part("audio")->filename, "capture.wav");
  EXPECT_EQ(r->part("audio")->contentType, "audio/wav");
  EXPECT_NE(r->body.find("name=\"reference_text\""), std::string::npos);
  EXPECT_EQ(r->header("content-type").rfind("multipart/form-data; boundary=", 0), 0u);
}

TEST_F(ServiceTest, GenerateAnswersAContainerAndTakesCredits) {
  service.setCredits(10);
  service.setContainerSampleRate(8000);
  auto res = generate(3);
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("X-Render-Id"), "rnd-000001");
  const std::string& b = res->body;
  ASSERT_GE(b.size(), 40u);
  EXPECT_EQ(b.substr(0, 4), "QMTK");
  EXPECT_EQ(u32At(b, 8), 3u);
  EXPECT_EQ(u32At(b, 12), 8000u);
  EXPECT_EQ(u32At(b, 20), 7u);
  EXPECT_EQ(u32At(b, 28), 16000u);  // one second at 8 kHz, 2 bytes a sample
  const size_t end = 40 + 3 * 16000;
  const json trailer = json::parse(b.substr(end));
  ASSERT_EQ(trailer["takes"].size(), 3u);
  EXPECT_EQ(trailer["takes"][1]["transcript"]["text"], "make it so");
  EXPECT_EQ(service.credits(), 7);

  res = generate(5);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(u32At(res->body, 20), 2u);
  res = generate(3);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 402);
  EXPECT_EQ(json::parse(res->body)["error"], "INSUFFICIENT_CREDITS");
  EXPECT_EQ(service.credits(), 2);
}

TEST_F(ServiceTest, RefundGivesBackUndeliveredGenerations) {
  service.setCredits(10);
  Fault slow;
  slow.delaySeconds = 600;  // far past the client's time-out; stop() ends the wait
  slow.count = 1;
  service.setFault(kGenerate, slow);
  httplib::Client c("127.0.0.1", service.port());
  c.set_read_timeout(0, 200 * 1000);
  httplib::MultipartFormDataItems items = {{"audio", writeWav(toneLine(), 16000), "capture.wav", "audio/wav"},
                                           {"text", "x", "", ""},
                                           {"takes", "3", "", ""}};
  auto res = c.Post(kGenerate, {{"Authorization", "Bearer tok"}}, items);
  EXPECT_FALSE(res);  // timed out
  // The charge is made once the request is read, which may trail the client's time-out.
  for (int i = 0; i < 6000 && service.credits() != 7; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(service.credits(), 7);

  auto other = client();
  res = other.Post(kRefund, {{"Authorization", "Bearer someone-else"}}, R"({"elapsed_ms":45000})", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["refunded_count"], 0);
  res = other.Post(kRefund, {{"Authorization", "Bearer tok"}}, R"({"elapsed_ms":45000})", "application/json");
  ASSERT_TRUE(res);
  const json body = json::parse(res->body);
  EXPECT_EQ(body["ok"], true);
  EXPECT_EQ(body["refunded_count"], 1);
  EXPECT_EQ(body["refunded_credits"], 3);
  EXPECT_EQ(body["credit_balance"], 10);
  EXPECT_EQ(service.credits(), 10);
  res = other.Post(kRefund, R"({"elapsed_ms":45000})", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 401);
}

TEST_F(ServiceTest, BodyFaults) {
  service.setFile("pkg.bin", std::string(1000, 'p'));
  auto c = client();
  auto res = c.Get("/files/pkg.bin");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body.size(), 1000u);
  EXPECT_EQ(c.Get("/files/missing")->status, 404);

  Fault f;
  f.bodyFault = BodyFault::Truncated;
  f.keepBytes = 10;
  f.count = 1;
  service.setFault("/files/pkg.bin", f);
  res = c.Get("/files/pkg.bin");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body.size(), 10u);

  f.bodyFault = BodyFault::Aborted;
  service.setFault(kFiles, f);
  res = c.Get("/files/pkg.bin");
  EXPECT_FALSE(res);  // connection dropped short of Content-Length

  f.bodyFault = BodyFault::Malformed;
  service.setFault(kHealth, f);
  res = c.Get(kHealth);
  ASSERT_TRUE(res);
  EXPECT_TRUE(json::parse(res->body, nullptr, false).is_discarded());

  f.bodyFault = BodyFault::Endless;
  service.setFault(kFiles, f);
  size_t received = 0;
  res = c.Get("/files/pkg.bin", [&](const char*, size_t n) {
    received += n;
    return received < (4u << 20);  // give up after 4 MiB
  });
  EXPECT_GE(received, 4u << 20);
}

TEST_F(ServiceTest, RedirectAndDelay) {
  Service other(qmservicetest::optionsWith(qmservicetest::kPatient));
  ASSERT_TRUE(other.start());
  other.setFile("a", "moved");
  Fault f;
  f.redirectTo = other.url() + "/files/a";
  service.setFault("/files/a", f);
  auto c = client();
  c.set_follow_location(true);
  auto res = c.Get("/files/a");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "moved");

  Fault slow;
  slow.delaySeconds = 30;  // stop() must not wait for it
  service.setFault(kVote, slow);
  std::thread t([&] {
    auto c2 = client();
    c2.Post(kVote, "{}", "application/json");
  });
  ASSERT_TRUE(service.waitForRequests(kVote, 1, std::chrono::seconds(60)));
  service.stop();
  t.join();
}

TEST_F(ServiceTest, SmallEndpointsValidateAndLog) {
  auto c = client();
  httplib::Headers auth = {{"Authorization", "Bearer tok"}};
  EXPECT_EQ(c.Post(kVote, auth, R"({"render_id":"r","vote":"up"})", "application/json")->status, 200);
  EXPECT_EQ(c.Post(kVote, auth, R"({"render_id":"r","vote":"sideways"})", "application/json")->status, 400);
  EXPECT_EQ(c.Post(kVote, R"({"render_id":"r","vote":"up"})", "application/json")->status, 401);
  auto res = c.Post("/api/messages/a%2Fb%20c/dismiss", auth, "", "text/plain");
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["id"], "a/b c");
  EXPECT_EQ(service.lastRequest(kDismiss)->target, "/api/messages/a%2Fb%20c/dismiss");
  EXPECT_EQ(c.Post(kLogUpload, R"({"log":"text"})", "application/json")->status, 200);
  EXPECT_EQ(c.Post(kLogUpload, R"({"plugin_version":"1"})", "application/json")->status, 400);
  EXPECT_EQ(c.Post(kPluginEvent, auth, R"({"event":"e"})", "application/json")->status, 200);
  EXPECT_EQ(c.Post(kUpdaterTelemetry, "{}", "application/json")->status, 200);
  EXPECT_EQ(service.requestCount(kUpdaterTelemetry), 1u);
  // No catch-all: a path that is no endpoint is not found, whatever is posted to it.
  EXPECT_EQ(c.Post("/telemetry/anything", std::string(100000, 'x'), "application/octet-stream")->status, 404);
  EXPECT_EQ(c.Get("/api/nothing")->status, 404);
  // The log keeps the newest requests only, however many come.
  const size_t posted = kRequestLogEntries + 44;
  for (size_t i = 0; i < posted; ++i)
    ASSERT_EQ(c.Post(kLogUpload, json{{"log", std::to_string(i)}}.dump(), "application/json")->status, 200);
  const auto logged = service.requests();
  ASSERT_EQ(logged.size(), kRequestLogEntries);
  EXPECT_EQ(json::parse(logged.front().body)["log"], std::to_string(posted - kRequestLogEntries));
  EXPECT_EQ(json::parse(logged.back().body)["log"], std::to_string(posted - 1));
}

TEST(ServiceTls, ServesHttpsWithATestAuthority) {
  const auto dir = std::filesystem::temp_directory_path() / ("qmservice-tls-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto certs = makeTestCertificates(dir.string());
  ASSERT_TRUE(certs);
  std::filesystem::create_directories(dir / "other");
  const auto strangers = makeTestCertificates((dir / "other").string());
  ASSERT_TRUE(strangers);
  Options options = qmservicetest::optionsWith(qmservicetest::kPatient);
  options.certFile = certs->certFile;
  options.keyFile = certs->keyFile;
  Service service(options);
  ASSERT_TRUE(service.start());
  EXPECT_EQ(service.url().rfind("https://127.0.0.1:", 0), 0u);
  for (const auto& [ca, trusted] : {std::pair{certs->caFile, true}, std::pair{strangers->caFile, false}}) {
    httplib::SSLClient c("127.0.0.1", service.port());
    c.set_ca_cert_path(ca.c_str());
    c.enable_server_certificate_verification(true);
    c.set_read_timeout(60, 0);
    auto res = c.Get(kHealth);
    EXPECT_EQ(static_cast<bool>(res), trusted);
    if (res) {
      EXPECT_EQ(res->status, 200);
    }
  }
  service.stop();
  Options bad = options;
  bad.keyFile = (dir / "missing.pem").string();
  Service broken(bad);
  EXPECT_FALSE(broken.start());
  std::filesystem::remove_all(dir);
}

TEST(ServiceProgram, PrintsItsUrlAndServesUntilTerminated) {
  const std::string program = std::string(QM_BINARY_DIR) + "/bin/qmservice";
  if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "qmservice not built";
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args = {program, "--port", "0", "--credits", "3", "--transcript", "a b"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string url;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') url.push_back(c);
  close(out[0]);
  ASSERT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << url;
  httplib::Client client(url);
  client.set_read_timeout(60, 0);
  auto res = client.Get(kHealth);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ServiceProgram, RefusesBadArguments) {
  const std::string program = std::string(QM_BINARY_DIR) + "/bin/qmservice";
  if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "qmservice not built";
  for (const char* args : {"--port 70000", "--cert only.pem", "--bogus"}) {
    const std::string command = program + " " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
  }
  // --help is no usage error: each option on a line of its own with what it means, on standard output.
  const std::string help = "help=$('" + program + "' --help) && echo \"$help\" | grep -q ";
  for (const char* line : {"'^  --credits N .*(default 100)$'", "\"^  --message 'id|title|body'$\"", "'any non-empty token'"})
    EXPECT_EQ(std::system((help + line).c_str()), 0) << line;
}
