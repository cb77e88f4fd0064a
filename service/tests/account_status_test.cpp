// The stand-in's account-status exchange: who is let in, what it answers, dismissals, the events
// it keeps, and the program's command line.

#include "qm/platform/files.h"
#include "qm/platform/process.h"
#include "qm/service/service.h"
#include "service_test_support.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace qm::service;
using nlohmann::json;

namespace {

httplib::Result postStatus(const std::string& url, const std::string& token, const std::string& body = "{}") {
  httplib::Client client(url);
  client.set_read_timeout(60, 0);
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  return client.Post(kAccountStatus, headers, body, "application/json");
}

}  // namespace

TEST(AccountStatus, AcceptedTokensMessagesDismissalsAndEvents) {
  Options options = qmservicetest::optionsWith(qmservicetest::kPatient);
  options.credits = 9;
  options.account.tokens = {"t1", "t2"};
  options.account.messages = {{"m1", "Hi", "there"}, {"m 2", "Two", ""}};
  Service service(options);
  ASSERT_TRUE(service.start());
  for (const char* token : {"", "t3"}) EXPECT_EQ(postStatus(service.url(), token)->status, 401) << token;
  EXPECT_EQ(postStatus(service.url(), "t1", "[]")->status, 400);

  auto answer = json::parse(postStatus(service.url(), "t2", R"({"plugin_events":[{"id":"E1"},{"x":1}]})")->body);
  EXPECT_EQ(answer["credit_balance"], 9);
  EXPECT_EQ(answer["acked_event_ids"], json::array({"E1"}));
  // Only a dismissal with an accepted token removes its message.
  httplib::Client client(service.url());
  for (const auto& [token, left] : {std::pair{"t3", 2u}, std::pair{"t1", 1u}}) {
    client.Post("/api/messages/m%202/dismiss", httplib::Headers{{"Authorization", std::string("Bearer ") + token}},
                "", "text/plain");
    EXPECT_EQ(service.account().messages.size(), left) << token;
  }
  service.setAccount({});
  answer = json::parse(postStatus(service.url(), "t1", R"({"installed_version":"2.0.2","plugin_events":[{"id":"E2"}]})")->body);
  EXPECT_EQ(answer["latest_version"], "2.0.2");
  EXPECT_FALSE(answer.contains("update"));
  EXPECT_EQ(json::parse(service.receivedPluginEvents()), json::parse(R"([{"id":"E1"},{"x":1},{"id":"E2"}])"));
}

TEST(AccountStatus, TheProgramAnswersFromItsCommandLine) {
  const std::string program = std::string(QM_BINARY_DIR) + "/bin/qmservice";
  const std::string out = testing::TempDir() + "qmservice-account-" + std::to_string(getpid());
  const pid_t pid = qm::platform::spawnDetached(
      "/bin/sh", {"-c", "exec \"$0\" \"$@\" > '" + out + "'", program, "--port", "0", "--token", "qm-test-token",
                  "--email", "e@x.io", "--message", "m1|Hi|there|and more", "--offer", "2.1.0", "--min-version",
                  "2.0.9", "--update-required"});
  ASSERT_GT(pid, 0);
  std::string url;
  for (int i = 0; i < 6000 && url.find('\n') == std::string::npos; ++i) {  // a minute
    usleep(10000);
    qm::platform::readFile(out, url);
  }
  if (url.find('\n') == std::string::npos) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
  ASSERT_NE(url.find('\n'), std::string::npos) << "the program printed no address";
  url.resize(url.find('\n'));
  const auto answer = json::parse(postStatus(url, "qm-test-token")->body);
  EXPECT_EQ(answer["email"], "e@x.io");
  EXPECT_EQ(answer["messages"], json::parse(R"([{"id":"m1","title":"Hi","body":"there|and more"}])"));
  EXPECT_EQ(answer["minimum_version"], "2.0.9");
  EXPECT_EQ(answer["update_required"], true);
  EXPECT_EQ(answer["update"]["target_version"], "2.1.0");
  EXPECT_EQ(postStatus(url, "")->status, 401);
  kill(pid, SIGTERM);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  std::remove(out.c_str());
  EXPECT_NE(std::system((program + " --message no-bars 2>/dev/null").c_str()), 0);
}
