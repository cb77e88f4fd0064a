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
  messages[2]["title"] = std::string(201, 't');
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

// Each text of the answer is kept at its limit and absent one byte over, so a limit moved either
// way shows. Only the one text is given, so all texts of the answer together are it or nothing.
TEST(VerifyAnswer, EachTextIsKeptAtItsLimitAndAbsentOneByteOver) {
  const std::tuple<const char*, size_t, bool> fields[] = {  // key, limit, in "update"
      {"email", 254, false}, {"latest_version", 64, false}, {"minimum_version", 64, false},
      {"update_pkg_sha256", 64, true}, {"artifact_sha256", 64, true}, {"effective_channel", 256, true},
      {"eligibility_reason", 512, true}, {"released_at", 64, true}, {"manifest_signature", 1024, true},
      {"target_version", 64, true}, {"manifest_version", 64, true}, {"update_pkg_url", 2048, true},
      {"artifact_url", 2048, true}, {"release_notes_url", 2048, true}};
  for (const auto& [key, limit, inUpdate] : fields) {
    for (const size_t size : {limit, limit + 1}) {
      json answer = {{"credit_balance", 1}};
      (inUpdate ? answer["update"][key] : answer[key]) = std::string(size, '7');
      const auto r = QuillomancerServer::ParseVerifyResponse(200, answer.dump());
      const auto& u = r.update;
      EXPECT_EQ(r.email + r.latestVersion + r.minimumVersion + r.eligibilityReason + u.targetVersion + u.effectiveChannel +
                    u.pkgURL + u.pkgSHA256 + u.releaseNotesURL + u.artifactURL + u.artifactSHA256 + u.manifestVersion +
                    u.manifestSignature + u.releasedAt,
                std::string(size == limit ? size : 0, '7')) << key << " of " << size << " bytes";
    }
  }
}

// An answer of 1 MiB is read and one of a byte more is not.
TEST_F(VerifyTest, AValidAnswerOfOneMebibyteIsReadAndOneByteMoreIsNot) {
  const std::string head = R"({"credit_balance":7,"padding":")", tail = "\"}";
  for (const size_t size : {kQMVerifyMaxBodyBytes, kQMVerifyMaxBodyBytes + 1}) {
    answerWith(head + std::string(size - head.size() - tail.size(), 'p') + tail);
    EXPECT_EQ(verify().valid, size == kQMVerifyMaxBodyBytes) << size;
  }
}

// A message's title and body over their limits are cut at a whole character (a letter with its
// accent too); a message whose id is absent, empty or over its limit is left out, logged once.
TEST_F(VerifyTest, OverlongMessageTextsAreCutAtACharacterAndOnlyMessagesWithoutAUsableIdAreLeftOut) {
  std::string japanese;  // 67 characters of three bytes: 201 bytes
  for (int i = 0; i < 67; ++i) japanese += "\xE3\x81\x82";
  const std::string body = std::string(4094, 'b') + "e\xCC\x81" + "tail";
  answerWith(json{{"credit_balance", 1},
                  {"messages", {{{"id", "m"}, {"title", japanese}, {"body", body}}, {{"title", "no id"}}, {{"id", ""}},
                                {{"id", std::string(129, 'i')}}}}}.dump());
  const auto r = verify();
  EXPECT_EQ(lines(r.messages), std::vector<std::string>{"m|" + japanese.substr(0, 66 * 3) + "|" + std::string(4094, 'b')});
  EXPECT_EQ(r.droppedMessages, 3u);
  int logged = 0;
  for (const auto& line : log.messages()) logged += line.find("server message(s) left out") != std::string::npos;
  EXPECT_EQ(logged, 1);
  EXPECT_TRUE(log.contains("[SRV] VerifyAccount: 3 server message(s) left out: no id, or an id over 128 bytes"));
}
