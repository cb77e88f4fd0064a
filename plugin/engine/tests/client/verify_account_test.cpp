// The account-status exchange against the stand-in over loopback: what goes out, every answer
// field, and what offline, rejected, damaged and odd answers come to.

#include "client_test_support.h"
#include "QuillomancerServer.h"
#include "qm/platform/system_info.h"
#include "qm/service/service.h"

#include <gtest/gtest.h>

using nlohmann::json;
namespace svc = qm::service;

namespace {

constexpr const char* kToken = "qm-test-token";
const std::string kEvents = R"([{"event":"update_check","id":"E-1"},{"event":"update_available","id":"E-2"}])";

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svc::AccountSettings account;
    account.tokens = {kToken};
    service.setAccount(account);
    ASSERT_TRUE(service.start());
    QuillomancerServerSetBaseURLOverride(service.url());
  }
  void TearDown() override {
    service.stop();
    QuillomancerServerSetBaseURLOverride(std::nullopt);
    QuillomancerServerSetTimeouts({});
  }
  QuillomancerServer::VerifyResult verify(const std::string& token = kToken, const std::string& events = "[]") {
    return QuillomancerServer::VerifyAccount(token, "media_composer", events);
  }
  void answerWith(const std::string& raw) {
    auto account = service.account();
    account.rawAnswer = raw;
    service.setAccount(account);
  }
  svc::Service service;
  qmtest::LogCapture log;

 private:
  qmtest::ScopedTemporaryHome home_;
};

// The truth values as digits (valid, offline, update required, eligible, downgrade) and the
// messages as "id|title|body".
std::string flags(const QuillomancerServer::VerifyResult& r) {
  std::string out;
  for (bool b : {r.valid, r.offline, r.updateRequired, r.updateEligible, r.allowDowngrade}) out += b ? '1' : '0';
  return out;
}
std::vector<std::string> lines(const std::vector<QuillomancerServer::ServerMessage>& messages) {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.id + "|" + m.title + "|" + m.body);
  return out;
}

}  // namespace

TEST_F(VerifyTest, SendsItsRequestAndReadsEveryAnswerField) {
  svc::AccountSettings a = service.account();
  a.email = "e@x.io";
  a.latestVersion = "2.0.4";
  a.offer = svc::AccountOffer{"2.0.3", "beta", "https://r.example/p.pkg", "aa11", "https://r.example/notes",
                              "https://r.example/b.zip", "bb22", "7", "sig", "2026-12-01T00:00:00Z",
                              false, "region", true};
  a.minimumVersion = "2.0.1";
  a.updateRequired = true;
  a.messages = {{"m1", "Hi", "there"}, {"m2", "", "no title"}};
  service.setAccount(a);
  service.setCredits(37);

  const auto r = verify(kToken, kEvents);
  EXPECT_EQ(flags(r), "10101");
  const std::vector<std::string> texts = {r.email, std::to_string(r.creditBalance), r.latestVersion, r.minimumVersion,
                                          r.update.targetVersion, r.update.effectiveChannel, r.update.pkgURL, r.update.pkgSHA256,
                                          r.update.releaseNotesURL, r.update.artifactURL, r.update.artifactSHA256, r.update.manifestVersion,
                                          r.update.manifestSignature, r.update.releasedAt, r.eligibilityReason};
  EXPECT_EQ(texts, (std::vector<std::string>{"e@x.io", "37", "2.0.4", "2.0.1", "2.0.3", "beta",
                                             "https://r.example/p.pkg", "aa11", "https://r.example/notes",
                                             "https://r.example/b.zip", "bb22", "7", "sig", "2026-12-01T00:00:00Z",
                                             "region"}));
  EXPECT_EQ(lines(r.messages), (std::vector<std::string>{"m1|Hi|there", "m2||no title"}));
  EXPECT_EQ(r.ackedEventIds, (std::vector<std::string>{"E-1", "E-2"}));

  const auto request = service.lastRequest(svc::kAccountStatus);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->header("Content-Type"), "application/json");
  EXPECT_EQ(request->header("Authorization"), std::string("Bearer ") + kToken);
  EXPECT_EQ(request->header("X-Plugin-Version"), "2.0.2");
  // Compact, with the events exactly as given.
  EXPECT_EQ(request->body, R"({"host":"media_composer","installed_version":"2.0.2","os_version":")" +
                               qm::platform::operatingSystemVersion() +
                               R"(","plugin_version":"2.0.2","plugin_events":)" + kEvents + "}");
  EXPECT_EQ(json::parse(service.receivedPluginEvents()), json::parse(kEvents));
}

TEST_F(VerifyTest, NothingIsSentWithoutAUsableTokenOrWithEventsThatAreNotAnArray) {
  for (const std::string token : {"", "qm-test\ntoken"}) EXPECT_EQ(flags(verify(token)), "00000");
  EXPECT_EQ(service.requestCount(svc::kAccountStatus), 0u);
  for (const std::string& events : {std::string("{}"), std::string("[1"), "[\"" + std::string(4096, 'e') + "\"]"}) {
    EXPECT_TRUE(verify(kToken, events).valid);
    EXPECT_EQ(json::parse(service.lastRequest(svc::kAccountStatus)->body)["plugin_events"], json::array());
  }
}

TEST_F(VerifyTest, OfflineOnlyWhenTheServiceCannotBeReached) {
  svc::AccountSettings full = service.account();
  full.email = "e@x.io";
  service.setAccount(full);
  using enum svc::BodyFault;
  struct Case {
    const char* name;
    int status;
    const char* body;
    double delay;
    svc::BodyFault damage;
    bool valid, offline;
  } cases[] = {
      {"plain", 0, "", 0, None, true, false},
      {"short delay", 0, "", 0.2, None, true, false},
      {"rejected", 401, R"({"credit_balance":5,"email":"e@x.io"})", 0, None, false, false},
      {"server error", 503, "{}", 0, None, false, false},
      {"malformed", 0, "", 0, Malformed, false, false},
      {"truncated", 0, "", 0, Truncated, false, false},
      {"cut", 0, "", 0, Aborted, false, false},
      {"over 1 MiB", 0, "", 0, Endless, false, false},
      {"delayed past the time-out", 0, "", 5, None, false, true},
  };
  for (const auto& c : cases) {
    QuillomancerServerTimeouts t;
    t.sessionResource = c.offline ? 0.5 : 20;
    QuillomancerServerSetTimeouts(t);
    svc::Fault fault;
    fault.status = c.status;
    fault.body = c.body;
    fault.delaySeconds = c.delay;
    fault.bodyFault = c.damage;
    service.setFault(svc::kAccountStatus, fault);
    const auto r = verify();
    EXPECT_EQ(flags(r).substr(0, 2), std::string(c.valid ? "1" : "0") + (c.offline ? "1" : "0")) << c.name;
    EXPECT_EQ(r.email, c.valid ? "e@x.io" : "") << c.name;
  }
  service.clearFaults();
  EXPECT_FALSE(verify("another-token").valid);  // not accepted: 401
  const std::string url = service.url();
  service.stop();
  QuillomancerServerSetBaseURLOverride(url);
  EXPECT_TRUE(verify().offline);  // refused
  for (const auto& line : log.messages()) EXPECT_EQ(line.find(kToken), std::string::npos) << line;
  EXPECT_TRUE(log.contains("[SRV] VerifyAccount request: " + url + "/api/account/status (2 bytes of events, auth=Bearer ***)"));
}

TEST_F(VerifyTest, ValuesOfTheWrongTypeCountAsAbsent) {
  for (const std::string balance : {"\"12\"", "12.5", "true", "2147483648", "null"}) {
    answerWith(R"({"email":"e@x.io","credit_balance":)" + balance + "}");
    EXPECT_FALSE(verify().valid) << balance;
  }
  answerWith(R"({"credit_balance":-2147483648,"email":5,"latest_version":2,"update_required":"true","update":"x",)"
             R"("messages":{"id":"m"},"acked_event_ids":"E-1"})");
  auto r = verify();
  EXPECT_EQ(r.creditBalance, INT32_MIN);
  EXPECT_EQ(flags(r), "10000");
  EXPECT_TRUE(r.email.empty() && r.latestVersion.empty() && r.messages.empty() && r.ackedEventIds.empty());
  answerWith(R"({"credit_balance":1,"update":{"target_version":2,"update_eligible":1,"artifact_url":"https://a"},)"
             R"("messages":[1,{"id":7,"title":"T","body":null}],"acked_event_ids":[1,"","E-3"]})");
  r = verify();
  EXPECT_EQ(flags(r), "10000");
  EXPECT_EQ(r.update.targetVersion + "," + r.update.artifactURL, ",https://a");
  EXPECT_TRUE(r.messages.empty()) << "a message whose id is not text has none";
  EXPECT_EQ(r.droppedMessages, 2u);
  EXPECT_EQ(r.ackedEventIds, std::vector<std::string>{"E-3"});
}

TEST_F(VerifyTest, ListsAndTextsKeepToTheirLimits) {
  json messages = json::array();
  for (int i = 0; i < 55; ++i) messages.push_back({{"id", "m" + std::to_string(i)}, {"title", "t"}, {"body", "b"}});
  messages[1]["id"] = std::string(129, 'i');
  messages[2]["title"] = std::string(201, 't');  // cut, not left out
  messages[3]["body"] = std::string(4097, 'b');
  messages[4] = {{"id", std::string(128, 'i')}, {"title", std::string(200, 't')}, {"body", std::string(4096, 'b')}};
  json acked = json::array();
  for (int i = 0; i < 201; ++i) acked.push_back("E-" + std::to_string(i));
  json answer = {{"credit_balance", 1}, {"messages", messages}, {"acked_event_ids", acked},
                 {"latest_version", std::string(64, '9')}, {"minimum_version", std::string(65, '9')},
                 {"update", {{"update_pkg_url", std::string(2048, 'u')}, {"release_notes_url", std::string(2049, 'u')}}}};
  answerWith(answer.dump());
  const auto r = verify();
  const std::vector<size_t> sizes = {r.messages.size(), r.ackedEventIds.size(), r.latestVersion.size(),
                                     r.minimumVersion.size(), r.update.pkgURL.size(), r.update.releaseNotesURL.size()};
  EXPECT_EQ(sizes, (std::vector<size_t>{50, 200, 64, 0, 2048, 0}));
  // The message with an id over its limit is left out; overlong titles and bodies are cut.
  EXPECT_EQ(r.messages[1].title + "|" + std::to_string(r.messages[2].body.size()), std::string(200, 't') + "|4096");
  EXPECT_EQ(r.messages[3].id + r.messages[49].id + r.ackedEventIds.back(), std::string(128, 'i') + "m50E-199");
}

TEST_F(VerifyTest, NoTextOfTheAnswerIsUnbounded) {
  const std::string longText(1025, 'a');
  json update = json::object();
  for (const char* key : {"eligibility_reason", "effective_channel", "update_pkg_sha256", "artifact_sha256", "released_at", "manifest_signature"})
    update[key] = longText;
  answerWith(json{{"credit_balance", 1}, {"email", longText}, {"update", update}}.dump());
  auto r = verify();
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.email + r.eligibilityReason + r.update.effectiveChannel + r.update.pkgSHA256 + r.update.artifactSHA256 +
                r.update.releasedAt + r.update.manifestSignature, "");
  // The longest address mail carries and a digest of 64 hex digits are kept.
  answerWith(json{{"credit_balance", 1}, {"email", std::string(254, 'a')}, {"update", {{"update_pkg_sha256", std::string(64, 'f')}}}}.dump());
  r = verify();
  EXPECT_EQ(r.email.size() + r.update.pkgSHA256.size(), 254u + 64u);
}

namespace {

QuillomancerServer::VerifyResult parsed(const json& answer) {
  return QuillomancerServer::ParseVerifyResponse(200, answer.dump());
}

}  // namespace

// Every text of the answer at its limit is kept and one byte over it is absent: a limit moved
// either way shows.
TEST(VerifyAnswer, EachTextIsKeptAtItsLimitAndAbsentOneByteOver) {
  using R = QuillomancerServer::VerifyResult;
  const struct {
    const char* key;
    bool inUpdate;
    size_t limit;
    std::string R::*top;
    std::string QMUpdateMetadata::*update;
    std::string R::*reason;
  } fields[] = {
      {"email", false, 254, &R::email, nullptr, nullptr},
      {"latest_version", false, 64, &R::latestVersion, nullptr, nullptr},
      {"minimum_version", false, 64, &R::minimumVersion, nullptr, nullptr},
      {"update_pkg_sha256", true, 64, nullptr, &QMUpdateMetadata::pkgSHA256, nullptr},
      {"artifact_sha256", true, 64, nullptr, &QMUpdateMetadata::artifactSHA256, nullptr},
      {"effective_channel", true, 256, nullptr, &QMUpdateMetadata::effectiveChannel, nullptr},
      {"eligibility_reason", true, 512, nullptr, nullptr, &R::eligibilityReason},
      {"released_at", true, 64, nullptr, &QMUpdateMetadata::releasedAt, nullptr},
      {"manifest_signature", true, 1024, nullptr, &QMUpdateMetadata::manifestSignature, nullptr},
      {"target_version", true, 64, nullptr, &QMUpdateMetadata::targetVersion, nullptr},
      {"manifest_version", true, 64, nullptr, &QMUpdateMetadata::manifestVersion, nullptr},
      {"update_pkg_url", true, 2048, nullptr, &QMUpdateMetadata::pkgURL, nullptr},
      {"artifact_url", true, 2048, nullptr, &QMUpdateMetadata::artifactURL, nullptr},
  };
  for (const auto& f : fields) {
    for (const size_t size : {f.limit, f.limit + 1}) {
      SCOPED_TRACE(std::string(f.key) + " of " + std::to_string(size) + " bytes");
      const std::string value(size, '7');
      json answer = {{"credit_balance", 1}};
      (f.inUpdate ? answer["update"][f.key] : answer[f.key]) = value;
      const R r = parsed(answer);
      ASSERT_TRUE(r.valid);
      const std::string& got = f.top ? r.*f.top : f.update ? r.update.*f.update : r.*f.reason;
      EXPECT_EQ(got, size == f.limit ? value : std::string());
    }
  }
}

// A message's title and body over their limits are cut at a whole character; the id has no
// such way out: a message whose id is over its limit or absent is left out, and counted.
TEST(VerifyAnswer, OverlongMessageTextsAreCutAtACharacterAndOnlyMessagesWithoutAUsableIdAreLeftOut) {
  std::string japanese;  // 67 characters of three bytes: 201 bytes
  for (int i = 0; i < 67; ++i) japanese += "\xE3\x81\x82";  // あ
  // "é" as e and a combining acute accent (three bytes) across the body's limit.
  const std::string accented = std::string(4094, 'b') + "e\xCC\x81" + "tail";
  const struct {
    json message;
    std::string id, title, body;  // what is kept
  } cases[] = {
      {{{"id", std::string(128, 'i')}, {"title", std::string(200, 't')}, {"body", std::string(4096, 'b')}},
       std::string(128, 'i'), std::string(200, 't'), std::string(4096, 'b')},
      {{{"id", "t"}, {"title", std::string(201, 't')}, {"body", std::string(4097, 'b')}},
       "t", std::string(200, 't'), std::string(4096, 'b')},
      {{{"id", "j"}, {"title", japanese}}, "j", japanese.substr(0, 66 * 3), ""},
      {{{"id", "a"}, {"title", std::string(5000, 'x')}, {"body", accented}}, "a", std::string(200, 'x'),
       std::string(4094, 'b')},
  };
  json messages = json::array();
  for (const auto& c : cases) messages.push_back(c.message);
  messages.push_back({{"id", std::string(129, 'i')}, {"title", "too long an id"}});
  messages.push_back({{"title", "no id"}});
  messages.push_back({{"id", ""}, {"title", "empty id"}});
  const auto r = parsed({{"credit_balance", 1}, {"messages", messages}});
  ASSERT_EQ(r.messages.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.messages[i].id, cases[i].id);
    EXPECT_EQ(r.messages[i].title, cases[i].title);
    EXPECT_EQ(r.messages[i].body, cases[i].body);
  }
  EXPECT_EQ(r.droppedMessages, 3u);
}

// The answer's own limit: a valid JSON answer of 1 MiB is read, one of 1 MiB and a byte is not.
TEST(VerifyAnswer, AValidAnswerOfOneMebibyteIsReadAndOneByteMoreIsNot) {
  const std::string head = R"({"credit_balance":7,"padding":")", tail = "\"}";
  const std::string atLimit = head + std::string(kQMVerifyMaxBodyBytes - head.size() - tail.size(), 'p') + tail;
  ASSERT_EQ(atLimit.size(), size_t(1) << 20);
  EXPECT_TRUE(QuillomancerServer::ParseVerifyResponse(200, atLimit).valid);
  const std::string over = head + std::string(kQMVerifyMaxBodyBytes - head.size() - tail.size() + 1, 'p') + tail;
  ASSERT_TRUE(json::accept(over));
  EXPECT_FALSE(QuillomancerServer::ParseVerifyResponse(200, over).valid);
}

// Over the wire the same: the answer of 1 MiB and a byte is refused; messages left out are
// logged once for the answer.
TEST_F(VerifyTest, AnAnswerOverTheLimitIsRefusedAndMessagesLeftOutAreLoggedOnce) {
  const std::string head = R"({"credit_balance":7,"padding":")", tail = "\"}";
  answerWith(head + std::string(kQMVerifyMaxBodyBytes - head.size() - tail.size() + 1, 'p') + tail);
  EXPECT_FALSE(verify().valid);
  answerWith(R"({"credit_balance":7,"messages":[{"title":"a"},{"id":"m","title":"b"},{"id":")" + std::string(129, 'i') +
             R"(","title":"c"}]})");
  const auto r = verify();
  EXPECT_EQ(lines(r.messages), std::vector<std::string>{"m|b|"});
  int logged = 0;
  for (const auto& line : log.messages()) logged += line.find("server message(s) left out") != std::string::npos;
  EXPECT_EQ(logged, 1);
  EXPECT_TRUE(log.contains("[SRV] VerifyAccount: 2 server message(s) left out: no id, or an id over 128 bytes"));
}
