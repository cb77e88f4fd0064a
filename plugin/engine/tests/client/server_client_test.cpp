// The service client against the stand-in service over loopback: exact request bytes and headers,
// every error mapping through the stand-in's fault hooks, time-outs and the refund after one.

#include "client_test_support.h"
#include "QuillomancerServer.h"
#include "QuillomancerServerPrivate.h"
#include "qm/service/audio.h"
#include "qm/service/service.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using nlohmann::json;
using qm::service::BodyFault;
using qm::service::Fault;
namespace svc = qm::service;

namespace {

// One second of a 300 Hz tone between silences at 16 kHz.
QuillomancerSamples line(size_t n = 16000) {
  QuillomancerSamples s(n, 0.0f);
  for (size_t i = n / 5; i < n * 4 / 5; ++i) s[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 300.0 * i / 16000.0));
  return s;
}

// The upload WAV as the service expects it, written by the service's own writer: samples clamped
// and scaled to 16 bits.
std::string expectedWav(const QuillomancerSamples& samples, uint32_t rate) {
  std::vector<int16_t> pcm;
  pcm.reserve(samples.size());
  for (float f : samples) pcm.push_back(static_cast<int16_t>(std::fmax(-1.0f, std::fmin(1.0f, f)) * 32767.0f));
  return svc::writeWav(pcm, rate);
}

std::string filePart(const std::string& boundary, const std::string& name, const std::string& file,
                     const std::string& bytes) {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file +
         "\"\r\nContent-Type: audio/wav\r\n\r\n" + bytes + "\r\n";
}

std::string textPart(const std::string& boundary, const std::string& name, const std::string& value) {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(service.start());
    QuillomancerServerSetBaseURLOverride(service.url());
    QuillomancerServerTimeouts t;
    t.health = t.transcribe = t.generate = t.generateVoiceChange = t.refund = t.vote = t.dismiss = t.pluginEvent =
        t.sessionRequest = 10.0;
    t.sessionResource = 20.0;
    QuillomancerServerSetTimeouts(t);
  }

  void TearDown() override {
    qm::platform::httpWaitForAsync();
    service.stop();
    QuillomancerServerSetBaseURLOverride(std::nullopt);
    QuillomancerServerSetTimeouts({});
  }

  // Every request of these tests ends within this cap (the idle time-out has whole seconds).
  void shortTotalTimeout(double seconds = 0.5) {
    auto t = QuillomancerServerGetTimeouts();
    t.sessionResource = seconds;
    QuillomancerServerSetTimeouts(t);
  }

  void forceAnswer(const std::string& endpoint, int status, const std::string& body,
                   const std::string& type = "application/json") {
    Fault f;
    f.status = status;
    f.body = body;
    f.contentType = type;
    service.setFault(endpoint, f);
  }

  std::vector<std::string> logLines() { return log_.messages(); }
  bool logged(const std::string& line) { return log_.contains(line); }
  bool loggedPrefix(const std::string& prefix) {
    for (const auto& l : logLines())
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }

  QuillomancerServer::GenerateResult generateChange(const std::string& token = "tok", int takes = 3) {
    const auto audio = line();
    return QuillomancerServer::Generate({.primary = audio, .sampleRate = 16000, .text = "new words",
                                         .referenceText = "old words", .language = "en", .accessToken = token,
                                         .takes = takes, .addBreath = true});
  }

  svc::Service service;

 private:
  qmtest::ScopedTemporaryHome home_;
  qmtest::LogCapture log_;
};

}  // namespace

// ---- Health -----------------------------------------------------------------------------------------

TEST_F(ClientTest, HealthAnswers) {
  struct Case {
    int status;
    const char* body;
    bool healthy;
    bool generationAvailable;
    bool generationPresent;
    const char* statusText;
  } cases[] = {
      {200, R"({"status":"healthy"})", true, true, false, "healthy"},
      {200, R"({"status":"healthy","generation":false})", false, false, true, "healthy"},
      {200, R"({"status":"healthy","generation":"true"})", true, true, false, "healthy"},
      {200, R"({"status":"healthy","generation":1})", true, true, true, "healthy"},
      {200, R"({"status":"Healthy"})", false, true, false, "Healthy"},
      {503, R"({"status":"healthy"})", false, true, false, "healthy"},
      {200, "not json", false, true, false, ""},
  };
  for (const auto& c : cases) {
    forceAnswer(svc::kHealth, c.status, c.body);
    const auto r = QuillomancerServer::CheckHealth();
    EXPECT_TRUE(r.reachable) << c.body;
    EXPECT_EQ(r.healthy, c.healthy) << c.body;
    EXPECT_EQ(r.generationAvailable, c.generationAvailable) << c.body;
    EXPECT_EQ(r.generationPresent, c.generationPresent) << c.body;
    EXPECT_EQ(r.status, c.statusText) << c.body;
  }
  service.clearFaults();
  EXPECT_TRUE(QuillomancerServer::CheckHealth().healthy);  // the stand-in's own answer
  EXPECT_TRUE(logged("[SRV] Health check: HTTP 200, status=healthy, generation=1 (present=1), healthy=1"));
  const auto request = service.lastRequest(svc::kHealth);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->method, "GET");
  EXPECT_FALSE(request->hasHeader("Authorization"));
  EXPECT_FALSE(request->hasHeader("X-Plugin-Version"));
}

TEST_F(ClientTest, HealthUnreachableAndTimedOut) {
  Fault slow;
  slow.delaySeconds = 5;
  service.setFault(svc::kHealth, slow);
  shortTotalTimeout();
  auto r = QuillomancerServer::CheckHealth();
  EXPECT_FALSE(r.reachable);
  EXPECT_FALSE(r.healthy);
  EXPECT_TRUE(r.generationAvailable);
  EXPECT_TRUE(logged("[SRV] Health check error: The request timed out."));

  const std::string url = service.url();
  service.stop();  // nothing listens any more
  QuillomancerServerSetBaseURLOverride(url);
  r = QuillomancerServer::CheckHealth();
  EXPECT_FALSE(r.reachable);
  QuillomancerServerSetBaseURLOverride("not a url");
  EXPECT_FALSE(QuillomancerServer::CheckHealth().reachable);
}

// ---- Transcribe --------------------------------------------------------------------------------------

TEST_F(ClientTest, TranscribeSendsTheExactMultipartBody) {
  const auto audio = line();
  const std::string b = "----QuillomancerTranscribeBoundary";
  for (const std::string language : {"de", ""}) {
    service.clearRequests();
    const auto r = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, language, "secret-token");
    EXPECT_TRUE(r.success) << r.errorMessage;
    const auto request = service.lastRequest(svc::kTranscribe);
    ASSERT_TRUE(request);
    std::string expected = filePart(b, "audio", "capture.wav", expectedWav(audio, 16000)) +
                           textPart(b, "sample_rate", "16000");
    if (!language.empty()) expected += textPart(b, "language", language);
    expected += "--" + b + "--\r\n";
    EXPECT_EQ(request->body, expected);
    EXPECT_EQ(request->header("Content-Type"), "multipart/form-data; boundary=" + b);
    EXPECT_EQ(request->header("Authorization"), "Bearer secret-token");
    EXPECT_EQ(request->header("X-Plugin-Version"), "2.0.2");
    // cpp-httplib's parser reads the same fields.
    ASSERT_TRUE(request->multipartParsed);
    ASSERT_EQ(request->parts.size(), language.empty() ? 2u : 3u);
    EXPECT_EQ(request->part("audio")->filename, "capture.wav");
    EXPECT_EQ(request->part("sample_rate")->content, "16000");
    EXPECT_EQ(request->part("language") != nullptr, !language.empty());
  }
  EXPECT_TRUE(logged("[SRV] Transcribe request: " + service.url() + "/api/transcribe (" +
                     std::to_string(service.lastRequest(svc::kTranscribe)->body.size()) +
                     " bytes, language=auto, auth=Bearer ***)"));
  for (const auto& l : logLines()) EXPECT_EQ(l.find("secret-token"), std::string::npos) << l;
}

TEST_F(ClientTest, TranscribeReadsTheStandInsTimedWords) {
  service.setTranscriptText("one two three");
  const auto audio = line();
  const auto r = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, "", "");
  ASSERT_TRUE(r.success) << r.errorMessage;
  EXPECT_EQ(r.text, "one two three");
  ASSERT_EQ(r.words.size(), 3u);
  EXPECT_EQ(r.words[2].word, "three");
  EXPECT_NEAR(r.words[0].start, 0.2, 0.02);
  EXPECT_NEAR(r.words[2].end, 0.8, 0.02);
  EXPECT_FALSE(service.lastRequest(svc::kTranscribe)->hasHeader("Authorization"));
  // The raw answer travels on unchanged, unknown keys included.
  EXPECT_NE(r.responseJson.find("\"language\""), std::string::npos);
  EXPECT_TRUE(logged("[SRV] Transcribe success: 13 chars, 3 timed words"));
}

TEST_F(ClientTest, TranscribeErrorMapping) {
  struct Case {
    int status;
    const char* body;
    const char* type;
    bool success;
    const char* code;
    const char* message;
    size_t words;
  } cases[] = {
      {200, R"({"text":"hi","words":[{"word":"hi"},{"word":""},7,{"text":"x"}]})", "application/json", true, "", "", 2},
      {200, R"({"text":"hi","words":"none"})", "application/json", true, "", "", 0},
      {200, R"({"text":"","words":[{"word":"a"}]})", "application/json", false, "EMPTY_TRANSCRIPTION",
       "Transcription returned empty text", 1},
      {200, "plain words", "text/plain", false, "EMPTY_TRANSCRIPTION", "Transcription returned empty text", 0},
      {422, R"({"error":"BAD_LANGUAGE"})", "application/json", false, "BAD_LANGUAGE", "Transcription failed (HTTP 422)", 0},
      {400, R"({"error":"X","message":"Too quiet"})", "application/json", false, "X", "Too quiet", 0},
      {500, "<html>oops</html>", "text/html", false, "TRANSCRIPTION_FAILED", "Transcription failed (HTTP 500)", 0},
      {401, R"({"message":"Sign in"})", "application/json", false, "TRANSCRIPTION_FAILED", "Sign in", 0},
  };
  const auto audio = line();
  for (const auto& c : cases) {
    forceAnswer(svc::kTranscribe, c.status, c.body, c.type);
    const auto r = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, "", "tok");
    EXPECT_EQ(r.success, c.success) << c.body;
    EXPECT_EQ(r.errorCode, c.code) << c.body;
    EXPECT_EQ(r.errorMessage, c.message) << c.body;
    EXPECT_EQ(r.words.size(), c.words) << c.body;
    if (c.success) {
      EXPECT_EQ(r.responseJson, c.body);
    }
  }
}

TEST_F(ClientTest, TranscribeTransportFailures) {
  const auto audio = line();
  Fault slow;
  slow.delaySeconds = 5;
  service.setFault(svc::kTranscribe, slow);
  shortTotalTimeout();
  auto r = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, "", "tok");
  EXPECT_EQ(r.errorCode, "TIMEOUT");
  EXPECT_EQ(r.errorMessage, "Transcription timed out. Please try again.");

  Fault aborted;
  aborted.bodyFault = BodyFault::Aborted;
  service.setFault(svc::kTranscribe, aborted);
  r = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, "", "tok");
  EXPECT_EQ(r.errorCode, "NETWORK_ERROR");
  EXPECT_FALSE(r.errorMessage.empty());

  QuillomancerServerSetBaseURLOverride("ftp://example.com");
  r = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, "", "tok");
  EXPECT_EQ(r.errorMessage, "Invalid server URL");
  EXPECT_EQ(r.errorCode, "");
}

TEST_F(ClientTest, TokensWithControlCharactersAreNeverSent) {
  const auto audio = line();
  const std::string bad = "tok\r\nX-Injected: 1";
  const auto t = QuillomancerServer::Transcribe(audio.data(), audio.size(), 16000, "", bad);
  EXPECT_FALSE(t.success);
  const auto g = QuillomancerServer::Generate(
      {.primary = audio, .sampleRate = 16000, .text = "a", .accessToken = bad, .takes = 1, .addBreath = false});
  EXPECT_FALSE(g.success);
  QuillomancerServer::SubmitVote("r", 0, bad);
  QuillomancerServer::DismissMessage("m", bad);
  QuillomancerServer::SendPluginEventImmediate("e", "", bad, "", false, 0, -1);
  EXPECT_FALSE(QuillomancerServer::UploadLog("log", "2.0.2", "", "", bad, "").success);
  qm::platform::httpWaitForAsync();
  EXPECT_TRUE(service.requests().empty());
}

// ---- Generate ----------------------------------------------------------------------------------------

TEST_F(ClientTest, GenerateSendsTheExactMultipartBody) {
  const auto first = line();
  const auto second = line(8000);
  const std::string b = "----QuillomancerBoundary";
  const std::string wav1 = expectedWav(first, 16000);
  const std::string wav2 = expectedWav(second, 16000);
  struct Case {
    bool voiceChange;
    bool lineChange;
    std::string language;
    std::string expected;
  } cases[] = {
      {false, false, "en",
       filePart(b, "audio", "capture.wav", wav1) + textPart(b, "text", "new words") +
           textPart(b, "reference_text", "") + textPart(b, "language", "en") + textPart(b, "sample_rate", "16000") +
           textPart(b, "takes", "3") + textPart(b, "variation", "1") + textPart(b, "breath", "false") + "--" + b +
           "--\r\n"},
      {false, true, "",
       filePart(b, "audio", "capture.wav", wav1) + textPart(b, "text", "new words") +
           textPart(b, "reference_text", "") + textPart(b, "sample_rate", "16000") + textPart(b, "takes", "3") +
           textPart(b, "variation", "1") + textPart(b, "breath", "false") + textPart(b, "mode", "line_change_v2") +
           "--" + b + "--\r\n"},
      {true, true, "fr",
       filePart(b, "voice_audio", "voice.wav", wav1) + filePart(b, "performance_audio", "performance.wav", wav2) +
           textPart(b, "language", "fr") + textPart(b, "sample_rate", "16000") + textPart(b, "takes", "3") +
           textPart(b, "variation", "1") + textPart(b, "breath", "false") + textPart(b, "mode", "voice_change") +
           "--" + b + "--\r\n"},
  };
  for (const auto& c : cases) {
    service.clearRequests();
    const auto r = QuillomancerServer::Generate({.primary = first, .secondary = second, .sampleRate = 16000,
                                                 .text = "new words", .language = c.language, .accessToken = "tok",
                                                 .takes = 3, .addBreath = false, .voiceChange = c.voiceChange,
                                                 .lineChangeV2 = c.lineChange, .variation = true});
    EXPECT_TRUE(r.success) << r.errorMessage;
    const auto request = service.lastRequest(svc::kGenerate);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->body, c.expected) << "voiceChange=" << c.voiceChange << " lineChange=" << c.lineChange;
    EXPECT_EQ(request->header("Content-Type"), "multipart/form-data; boundary=" + b);
    EXPECT_EQ(request->header("Authorization"), "Bearer tok");
    EXPECT_EQ(request->header("X-Plugin-Version"), "2.0.2");
    ASSERT_TRUE(request->multipartParsed);
    EXPECT_EQ(request->part("reference_text") != nullptr, !c.voiceChange);
    if (!c.voiceChange) {
      EXPECT_EQ(request->part("reference_text")->content, "");
    }
  }
  EXPECT_TRUE(logged("[SRV] WAV data: 32044 bytes (16000 samples at 16000Hz)"));
  EXPECT_TRUE(logged("[SRV] Performance WAV data: 16044 bytes (8000 samples at 16000Hz)"));
  EXPECT_TRUE(loggedPrefix("[SRV] Sending to " + service.url() + "/api/generate  ("));
}

TEST_F(ClientTest, GenerateDecodesTheStandInsTakes) {
  service.setCredits(10);
  service.setContainerSampleRate(8000);  // the client brings the takes back to 16 kHz
  const auto r = generateChange("tok", 3);
  ASSERT_TRUE(r.success) << r.errorMessage;
  EXPECT_EQ(r.takeCount, 3);
  ASSERT_EQ(r.takes.size(), 3u);
  EXPECT_EQ(r.sampleRate, 8000);
  // One second of line plus a quarter second of breath, at the session rate.
  EXPECT_NEAR(static_cast<double>(r.takes[0].size()), 20000.0, 4.0);
  EXPECT_TRUE(r.hasCreditBalance);
  EXPECT_EQ(r.creditBalance, 7);
  EXPECT_EQ(r.renderId, "rnd-000001");
  ASSERT_EQ(r.takeTimings.size(), 3u);
  EXPECT_EQ(r.takeTimings[1].text, "new words");
  EXPECT_EQ(r.takeTimings[1].words.size(), 2u);
  EXPECT_TRUE(logged("[SRV] Generate response render id: rnd-000001"));
  EXPECT_TRUE(logged("[SRV] Generate success: 3 takes"));

  // Trailer variants leave the takes usable.
  for (auto mode : {svc::TrailerMode::Bare, svc::TrailerMode::None, svc::TrailerMode::Invalid,
                    svc::TrailerMode::MissingTakes, svc::TrailerMode::Short}) {
    service.setCredits(10);
    service.setTrailerMode(mode);
    const auto t = generateChange("tok", 3);
    ASSERT_TRUE(t.success) << static_cast<int>(mode);
    const bool timed = mode == svc::TrailerMode::Bare;
    ASSERT_EQ(t.takeTimings.size(), mode == svc::TrailerMode::Bare || mode == svc::TrailerMode::Short ? 3u : 0u);
    if (!t.takeTimings.empty()) {
      EXPECT_EQ(t.takeTimings[0].words.size(), 2u);
      EXPECT_EQ(t.takeTimings[2].words.empty(), !timed);
    }
  }
}

TEST_F(ClientTest, GenerateErrorMapping) {
  struct Case {
    int status;
    const char* body;
    const char* type;
    const char* code;
    const char* message;
  } cases[] = {
      {402, R"({"error":"INSUFFICIENT_CREDITS","message":"Top up"})", "application/json", "INSUFFICIENT_CREDITS", "Top up"},
      {503, R"({"error":"BUSY","message":"Queue full"})", "application/json", "GENERATION_FAILED",
       "Generation failed. Please try again in a moment."},
      {503, R"({})", "application/json", "GENERATION_FAILED", "Generation failed. Please try again in a moment."},
      {400, R"({"error":"BAD_AUDIO","message":"Received empty audio."})", "application/json", "BAD_AUDIO",
       "Generation failed. Please try again in a moment."},
      {400, R"({"error":"X","message":"inference backend down"})", "application/json", "X",
       "Generation failed. Please try again in a moment."},
      {409, R"({"error":"GENERATION_FAILED","message":"details"})", "application/json", "GENERATION_FAILED",
       "Generation failed. Please try again in a moment."},
      {409, R"({"error":"CONFLICT"})", "application/json", "CONFLICT", R"(HTTP 409: {"error":"CONFLICT"})"},
      {404, "No such thing", "text/plain", "", "HTTP 404: No such thing"},
      {404, "\xff\xfe", "application/octet-stream", "", "HTTP 404"},
      {500, "oops", "text/plain", "GENERATION_FAILED", "Generation failed. Please try again in a moment."},
  };
  for (const auto& c : cases) {
    forceAnswer(svc::kGenerate, c.status, c.body, c.type);
    const auto r = generateChange();
    EXPECT_FALSE(r.success) << c.body;
    EXPECT_EQ(r.errorCode, c.code) << c.body;
    EXPECT_EQ(r.errorMessage, c.message) << c.body;
  }
}

TEST_F(ClientTest, GenerateBadBodiesKeepTheRenderId) {
  Fault small;
  small.bodyFault = BodyFault::Truncated;
  small.keepBytes = 27;
  small.count = 1;
  service.setFault(svc::kGenerate, small);
  auto r = generateChange();
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.errorMessage, "Empty or too-small response");
  EXPECT_EQ(r.errorCode, "");
  EXPECT_EQ(r.renderId, "rnd-000001");

  Fault junk;
  junk.bodyFault = BodyFault::Malformed;
  junk.count = 1;
  service.setFault(svc::kGenerate, junk);
  r = generateChange();
  EXPECT_EQ(r.errorMessage, "Failed to parse QMTK response");
  EXPECT_EQ(r.errorCode, "");
  EXPECT_EQ(r.renderId, "rnd-000002");

  Fault cut;  // a container cut inside its takes
  cut.bodyFault = BodyFault::Truncated;
  cut.keepBytes = 1000;
  cut.count = 1;
  service.setFault(svc::kGenerate, cut);
  r = generateChange();
  EXPECT_EQ(r.errorMessage, "Failed to parse QMTK response");

  Fault dropped;
  dropped.bodyFault = BodyFault::Aborted;
  dropped.count = 1;
  service.setFault(svc::kGenerate, dropped);
  r = generateChange();
  EXPECT_EQ(r.errorCode, "NETWORK_ERROR");
}

TEST_F(ClientTest, GenerateWithoutCredits) {
  service.setCredits(2);
  const auto r = generateChange("tok", 3);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.errorCode, "INSUFFICIENT_CREDITS");
  EXPECT_NE(r.errorMessage.find("Not enough credits"), std::string::npos);
  EXPECT_EQ(service.credits(), 2);
}

TEST_F(ClientTest, GenerateTimeoutAsksForARefund) {
  service.setCredits(10);
  // The credits are charged once the whole upload is in: the client's limit leaves any machine
  // time for that, and the service holds its answer far longer (stop() ends the hold).
  Fault slow;
  slow.delaySeconds = 300;
  slow.count = 1;
  service.setFault(svc::kGenerate, slow);
  shortTotalTimeout(10);
  const auto r = generateChange("tok", 3);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.errorCode, "TIMEOUT");
  EXPECT_TRUE(r.timeoutRefundAttempted);
  EXPECT_TRUE(r.timeoutRefundSucceeded);
  EXPECT_EQ(r.refundedCount, 1);
  EXPECT_EQ(r.refundedCredits, 3);
  EXPECT_TRUE(r.hasCreditBalance);
  EXPECT_EQ(r.creditBalance, 10);
  EXPECT_EQ(r.errorMessage, "Generation timed out. 3 credits restored. Balance: 10.");
  EXPECT_EQ(service.credits(), 10);
  const auto refund = service.lastRequest(svc::kRefund);
  ASSERT_TRUE(refund);
  EXPECT_EQ(json::parse(refund->body), json({{"elapsed_ms", 45000}}));
  EXPECT_EQ(refund->header("Authorization"), "Bearer tok");
  EXPECT_EQ(refund->header("Content-Type"), "application/json");
  EXPECT_EQ(refund->header("X-Plugin-Version"), "2.0.2");
  EXPECT_TRUE(logged("[SRV] Generate timeout: refundAttempted=1 refundSucceeded=1 refunded_count=1 refunded_credits=3"));

  // Voice Change names its own elapsed time.
  service.setFault(svc::kGenerate, slow);
  const auto audio = line();
  QuillomancerServer::Generate({.primary = audio, .secondary = audio, .sampleRate = 16000, .accessToken = "tok",
                                .takes = 1, .addBreath = false, .voiceChange = true});
  EXPECT_EQ(json::parse(service.lastRequest(svc::kRefund)->body)["elapsed_ms"], 60000);
}

TEST_F(ClientTest, GenerateTimeoutRefundAnswers) {
  struct Case {
    const char* token;
    int status;
    const char* body;
    bool succeeded;
    const char* message;
    int balance;  // -1: none
  } cases[] = {
      {"", 200, R"({"ok":true,"refunded_credits":3})", false, "Generation timed out. Please try again.", -1},
      {"tok", 200, R"({"ok":false,"refunded_credits":3})", false, "Generation timed out. Please try again.", -1},
      {"tok", 500, R"({"ok":true,"refunded_credits":3})", false, "Generation timed out. Please try again.", -1},
      {"tok", 200, "not json", false, "Generation timed out. Please try again.", -1},
      {"tok", 200, R"({"refunded_credits":0,"credit_balance":9})", true, "Generation timed out. No credits were deducted.", 9},
      {"tok", 200, R"({"ok":1,"refunded_credits":"2"})", true, "Generation timed out. 2 credits restored.", -1},
      {"tok", 200, R"({"ok":true,"refunded_credits":2,"credit_balance":"12"})", true,
       "Generation timed out. 2 credits restored. Balance: 12.", 12},
  };
  shortTotalTimeout(1.5);
  for (const auto& c : cases) {
    Fault slow;
    slow.delaySeconds = 5;
    slow.count = 1;
    service.setFault(svc::kGenerate, slow);
    forceAnswer(svc::kRefund, c.status, c.body);
    service.clearRequests();
    const auto r = generateChange(c.token);
    EXPECT_EQ(r.errorCode, "TIMEOUT") << c.body;
    EXPECT_TRUE(r.timeoutRefundAttempted) << c.body;
    EXPECT_EQ(r.timeoutRefundSucceeded, c.succeeded) << c.body;
    EXPECT_EQ(r.errorMessage, c.message) << c.body;
    EXPECT_EQ(r.hasCreditBalance, c.balance >= 0) << c.body;
    if (c.balance >= 0) {
      EXPECT_EQ(r.creditBalance, c.balance) << c.body;
    }
    EXPECT_EQ(service.requestCount(svc::kRefund), std::string(c.token).empty() ? 0u : 1u) << c.body;
  }
}

TEST(GenerateSanitize, CodesAndMessages) {
  struct Case {
    long status;
    const char* code;
    const char* message;
    const char* outCode;
    const char* outMessage;
  } cases[] = {
      {500, "X", "m", "GENERATION_FAILED", "Generation failed. Please try again in a moment."},
      {499, "X", "m", "X", "m"},
      {400, "GENERATION_FAILED", "m", "GENERATION_FAILED", "Generation failed. Please try again in a moment."},
      {400, "X", "Inference backend gone", "X", "Generation failed. Please try again in a moment."},
      {400, "X", "the Empty audio", "X", "the Empty audio"},
      {503, "X", "", "GENERATION_FAILED", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SanitizeGenerateErrorCode(c.status, c.code), c.outCode);
    EXPECT_EQ(SanitizeGenerateErrorMessage(c.status, c.code, c.message), c.outMessage);
  }
}

// ---- Votes, dismissals, log upload, events ----------------------------------------------------------

TEST_F(ClientTest, VotesAreSentOnlyWithRenderIdAndToken) {
  QuillomancerServer::SubmitVote("", 0, "tok");
  QuillomancerServer::SubmitVote("r1", 0, "");
  QuillomancerServer::SubmitVote("r1", QuillomancerServer::kVoteUp, "tok");
  QuillomancerServer::SubmitVote("r2", 2, "tok");
  qm::platform::httpWaitForAsync();
  const auto votes = service.requests(svc::kVote);
  ASSERT_EQ(votes.size(), 2u);
  std::vector<json> bodies = {json::parse(votes[0].body), json::parse(votes[1].body)};
  std::sort(bodies.begin(), bodies.end(), [](const json& a, const json& b) { return a["render_id"] < b["render_id"]; });
  EXPECT_EQ(bodies[0], json({{"render_id", "r1"}, {"vote", "up"}}));
  EXPECT_EQ(bodies[1], json({{"render_id", "r2"}, {"vote", "down"}}));
  EXPECT_EQ(votes[0].header("X-Plugin-Version"), "2.0.2");
  EXPECT_EQ(votes[0].header("Content-Type"), "application/json");
  EXPECT_TRUE(logged("[SRV] SubmitVote queued: render=r2 vote=down"));
  EXPECT_FALSE(loggedPrefix("[SRV] SubmitVote queued: render=r1 vote=up") && votes.size() != 2);
}

TEST_F(ClientTest, DismissalPathsStayInsideTheMessagesFolder) {
  EXPECT_EQ(QMEncodeMessageIdForPath("a b"), "a%20b");
  EXPECT_EQ(QMEncodeMessageIdForPath("a/b"), "a/b");
  EXPECT_EQ(QMEncodeMessageIdForPath("q?x#y%z"), "q%3Fx%23y%25z");
  EXPECT_EQ(QMEncodeMessageIdForPath("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(QMEncodeMessageIdForPath("id-1._~:@!$&'()*+,;="), "id-1._~:@!$&'()*+,;=");
  for (const char* refused : {"", ".", "..", "../x", "a/./b", "a/.."}) EXPECT_EQ(QMEncodeMessageIdForPath(refused), "") << refused;
  EXPECT_EQ(QMEncodeMessageIdForPath("..."), "...");

  QuillomancerServer::DismissMessage("msg 1/part", "tok");
  QuillomancerServer::DismissMessage("..", "tok");
  QuillomancerServer::DismissMessage("m2", "");
  qm::platform::httpWaitForAsync();
  const auto all = service.requests();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].target, "/api/messages/msg%201/part/dismiss");
  EXPECT_EQ(all[0].method, "POST");
  EXPECT_EQ(all[0].body, "");
  EXPECT_EQ(all[0].header("Authorization"), "Bearer tok");
  EXPECT_FALSE(all[0].hasHeader("X-Plugin-Version"));
  EXPECT_FALSE(all[0].hasHeader("Content-Type"));
  EXPECT_TRUE(logged("[SRV] DismissMessage queued (id=msg 1/part)"));
}

TEST_F(ClientTest, UploadLog) {
  auto r = QuillomancerServer::UploadLog("the log", "2.0.2", "", "", "", "");
  EXPECT_TRUE(r.success);
  EXPECT_EQ(r.message, "");
  auto request = service.lastRequest(svc::kLogUpload);
  ASSERT_TRUE(request);
  EXPECT_EQ(json::parse(request->body), json({{"log", "the log"}, {"plugin_version", "2.0.2"}}));
  EXPECT_FALSE(request->hasHeader("Authorization"));
  EXPECT_FALSE(request->hasHeader("X-Plugin-Version"));

  r = QuillomancerServer::UploadLog("l", "2.0.2", "14.1", "a@b.c", "tok", "crash");
  EXPECT_TRUE(r.success);
  request = service.lastRequest(svc::kLogUpload);
  EXPECT_EQ(json::parse(request->body), json({{"log", "l"}, {"plugin_version", "2.0.2"}, {"macos_version", "14.1"},
                                               {"email", "a@b.c"}, {"crash_report", "crash"}}));
  EXPECT_EQ(request->header("Authorization"), "Bearer tok");

  struct Case {
    int status;
    const char* body;
    const char* message;
  } cases[] = {{413, "Too large", "Upload failed"}, {400, R"({"message":"No log"})", "No log"}, {500, "{}", "Upload failed"}};
  for (const auto& c : cases) {
    forceAnswer(svc::kLogUpload, c.status, c.body);
    r = QuillomancerServer::UploadLog("l", "2.0.2", "", "", "", "");
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.message, c.message);
  }
  EXPECT_TRUE(logged("[SRV] UploadLog failed (HTTP 413): Upload failed"));

  // Bytes that are not UTF-8 do not cost the upload.
  service.clearFaults();
  r = QuillomancerServer::UploadLog("bad \xff byte", "2.0.2", "", "", "", "crash \xc3");
  EXPECT_TRUE(r.success);
  const json sent = json::parse(service.lastRequest(svc::kLogUpload)->body);
  EXPECT_EQ(sent["log"], "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(sent["crash_report"], "crash \xEF\xBF\xBD");
}

TEST_F(ClientTest, PluginEvents) {
  QuillomancerServer::SendPluginEventImmediate("", "", "tok", "", false, 0, -1);
  QuillomancerServer::SendPluginEventImmediate("no_token", "", "", "", false, 0, -1);
  QuillomancerServer::SendPluginEventImmediate("render_done", "", "tok", "", false, 0, -1);
  qm::platform::httpWaitForAsync();
  ASSERT_EQ(service.requestCount(svc::kPluginEvent), 1u);
  auto request = service.lastRequest(svc::kPluginEvent);
  json body = json::parse(request->body);
  EXPECT_EQ(body["event"], "render_done");
  EXPECT_EQ(body["plugin_version"], "2.0.2");
  EXPECT_EQ(body["host"], "pro_tools");
  EXPECT_EQ(body["voice_change"], false);
  EXPECT_FALSE(body.contains("takes_requested"));
  EXPECT_FALSE(body.contains("take_index"));
  EXPECT_FALSE(body.contains("error_code"));
  EXPECT_FALSE(body.contains("render_id"));
  EXPECT_EQ(body["timestamp_utc"].get<std::string>().size(), 20u);
  EXPECT_EQ(request->header("Authorization"), "Bearer tok");
  EXPECT_FALSE(request->hasHeader("X-Plugin-Version"));
  EXPECT_TRUE(logged("[SRV] SendPluginEventImmediate success: event=render_done status=200"));
  EXPECT_TRUE(loggedPrefix("[SRV] SendPluginEventImmediate skipped"));

  forceAnswer(svc::kPluginEvent, 204, "");
  QuillomancerServer::SendPluginEventImmediate("take", "E1", "tok", "rnd-1", true, 3, 0);
  qm::platform::httpWaitForAsync();
  body = json::parse(service.lastRequest(svc::kPluginEvent)->body);
  EXPECT_EQ(body["takes_requested"], 3);
  EXPECT_EQ(body["take_index"], 0);
  EXPECT_EQ(body["error_code"], "E1");
  EXPECT_EQ(body["render_id"], "rnd-1");
  EXPECT_EQ(body["voice_change"], true);
  EXPECT_TRUE(logged("[SRV] SendPluginEventImmediate success: event=take status=204"));

  forceAnswer(svc::kPluginEvent, 401, R"({"message":"Token expired"})");
  QuillomancerServer::SendPluginEventImmediate("late", "", "tok", "", false, 0, -1);
  qm::platform::httpWaitForAsync();
  forceAnswer(svc::kPluginEvent, 500, "");
  QuillomancerServer::SendPluginEventImmediate("later", "", "tok", "", false, 0, -1);
  qm::platform::httpWaitForAsync();
  EXPECT_TRUE(logged("[SRV] SendPluginEventImmediate failed: event=late status=401 message=Token expired"));
  EXPECT_TRUE(logged("[SRV] SendPluginEventImmediate failed: event=later status=500 message=(none)"));
}

// ---- Configuration -----------------------------------------------------------------------------------

TEST_F(ClientTest, BaseURLPrecedence) {
  QuillomancerServerSetBaseURLOverride(std::nullopt);
  unsetenv(kQuillomancerServerURLEnvironment);
  EXPECT_EQ(QuillomancerServerBaseURL(), kQuillomancer_ServerURL);
  setenv(kQuillomancerServerURLEnvironment, (service.url() + "//").c_str(), 1);
  EXPECT_EQ(QuillomancerServerBaseURL(), service.url());
  EXPECT_TRUE(QuillomancerServer::CheckHealth().healthy);
  QuillomancerServerSetBaseURLOverride("http://127.0.0.1:1/");
  EXPECT_EQ(QuillomancerServerBaseURL(), "http://127.0.0.1:1");
  unsetenv(kQuillomancerServerURLEnvironment);
}

TEST_F(ClientTest, TransportFailuresOfTheSmallRequests) {
  Fault slow;
  slow.delaySeconds = 5;
  service.setFault(svc::kPluginEvent, slow);
  service.setFault(svc::kLogUpload, slow);
  shortTotalTimeout();
  QuillomancerServer::SendPluginEventImmediate("slow", "", "tok", "", false, 0, -1);
  qm::platform::httpWaitForAsync();
  EXPECT_TRUE(logged("[SRV] SendPluginEventImmediate failed for event=slow: The request timed out."));
  auto r = QuillomancerServer::UploadLog("l", "2.0.2", "", "", "tok", "");
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.message, "The request timed out.");
  EXPECT_TRUE(logged("[SRV] UploadLog error: The request timed out."));

  QuillomancerServerSetBaseURLOverride("");
  r = QuillomancerServer::UploadLog("l", "2.0.2", "", "", "tok", "");
  EXPECT_EQ(r.message, "Invalid server URL");
  QuillomancerServer::SendPluginEventImmediate("nowhere", "", "tok", "", false, 0, -1);
  EXPECT_TRUE(logged("[SRV] SendPluginEventImmediate skipped: invalid server URL"));
  QuillomancerServer::SubmitVote("r", 0, "tok");
  QuillomancerServer::DismissMessage("m", "tok");
  qm::platform::httpWaitForAsync();
  EXPECT_EQ(service.requestCount(svc::kVote) + service.requestCount(svc::kDismiss), 0u);
}
