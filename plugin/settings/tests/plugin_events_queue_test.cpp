#include "QMPluginEventsQueue.h"

#include "qm/platform/files.h"
#include "qm/platform/uuid.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

namespace fs = std::filesystem;

namespace {

class PluginEventsQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qm-events-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    defaults = std::make_unique<qm::platform::UserDefaults>((dir / "prefs.json").string());
    queue = std::make_unique<QMPluginEventsQueue>(*defaults, [this] { return now; });
  }
  void TearDown() override { fs::remove_all(dir); }

  nlohmann::json stored() { return defaults->object(kQMPluginEventsQueueDefaultsKey).value_or(nullptr); }
  std::string fileBytes() {
    std::string text;
    qm::platform::readFile(defaults->path(), text);
    return text;
  }
  void record(const std::string& name, const QMPluginEventContext& context = {}) {
    queue->recordPluginEvent(name, "", "", context);
  }

  fs::path dir;
  std::time_t now = 1796792400;  // 2026-12-09T05:00:00Z
  std::unique_ptr<qm::platform::UserDefaults> defaults;
  std::unique_ptr<QMPluginEventsQueue> queue;
};

}  // namespace

TEST_F(PluginEventsQueue, RecordsFlatTextRecords) {
  record("");
  EXPECT_TRUE(stored().is_null()) << "an empty name records nothing";

  queue->recordPluginEvent("installer_open_failed", "0B6C1A52-5F0E-4C8E-9A4B-2F1D3C4B5A69", "hash_mismatch",
                           {"e@x.io", "2.0.3", "beta", true});
  record("update_check");
  const auto events = stored();
  ASSERT_EQ(events.size(), 2u);
  const auto& e = events[0];
  EXPECT_TRUE(qm::platform::isUuidText(e["id"].get<std::string>()));
  EXPECT_EQ(e["id"].get<std::string>().find_first_of("abcdef"), std::string::npos) << "upper case";
  EXPECT_EQ(e, (nlohmann::json{{"id", e["id"]},
                               {"event", "installer_open_failed"},
                               {"request_id", "0B6C1A52-5F0E-4C8E-9A4B-2F1D3C4B5A69"},
                               {"username", "e@x.io"},
                               {"installed_version", "2.0.2"},
                               {"target_version", "2.0.3"},
                               {"host", "media_composer"},
                               {"channel", "beta"},
                               {"error_code", "hash_mismatch"},
                               {"timestamp_utc", "2026-12-09T05:00:00Z"}}));
  // Without a window or an offer.
  const auto& bare = events[1];
  for (const auto& [key, value] : {std::pair{"host", "pro_tools"}, {"username", "unknown"}, {"target_version", ""},
                                   {"channel", ""}, {"request_id", ""}})
    EXPECT_EQ(bare[key], value) << key;
  EXPECT_NE(bare["id"], e["id"]);
}

TEST_F(PluginEventsQueue, TheTwoHundredAndFirstDropsTheOldest) {
  defaults->set(kQMPluginEventsQueueDefaultsKey, "not an array");
  for (int i = 0; i < 201; ++i) record("e" + std::to_string(i));
  const auto events = stored();
  ASSERT_EQ(events.size(), 200u);
  EXPECT_EQ(events.front()["event"], "e1");
  EXPECT_EQ(events.back()["event"], "e200");
}

TEST_F(PluginEventsQueue, SerialisingTrimsTheOldestUntilItFits) {
  for (int i = 0; i < 22; ++i) record("event_" + std::to_string(i));
  const std::string whole = stored().dump();
  ASSERT_GT(whole.size(), 5000u);

  const std::string text = queue->consumeAndSerializePluginEventsForVerify();
  EXPECT_LE(text.size(), kQMPluginEventsMaxSerializedBytes);
  const auto sent = nlohmann::json::parse(text);
  EXPECT_EQ(sent.dump(), text) << "compact, no white space";
  // The newest events that fit, and no fewer: one more would not fit.
  const auto kept = stored();
  EXPECT_EQ(kept, sent) << "the store keeps the shortened queue";
  EXPECT_EQ(sent.back()["event"], "event_21");
  const size_t dropped = 22 - sent.size();
  ASSERT_GT(dropped, 0u);
  EXPECT_GT(text.size() + 1 + nlohmann::json::parse(whole)[dropped - 1].dump().size(), kQMPluginEventsMaxSerializedBytes);

  // What fits is sent again unchanged, and the stored bytes stay as they are.
  const std::string before = fileBytes();
  EXPECT_EQ(queue->consumeAndSerializePluginEventsForVerify(), text);
  EXPECT_EQ(fileBytes(), before);
}

TEST_F(PluginEventsQueue, AnEventThatCannotBeSentGoesAloneAndTheOlderOnesStay) {
  record("old_1");
  record("old_2");
  record("huge", {std::string(5000, 'e'), "", "", false});  // a user name too long to send: not kept
  EXPECT_EQ(stored().size(), 2u);
  // Such entries already in the store (an older plug-in, or text that is not UTF-8) go alone.
  auto events = stored();
  events.push_back({{"id", "BIG"}, {"event", std::string(5000, 'x')}});
  events.push_back({{"id", "BAD"}, {"event", "\xff"}});
  events.push_back({{"id", "NEW"}, {"event", "new"}});
  defaults->set(kQMPluginEventsQueueDefaultsKey, events);
  const auto sent = nlohmann::json::parse(queue->consumeAndSerializePluginEventsForVerify());
  EXPECT_EQ(sent, nlohmann::json({events[0], events[1], events[4]})) << "old_1, old_2 and new";
  EXPECT_EQ(stored(), sent) << "only the two that could never be sent left the store";
}

TEST_F(PluginEventsQueue, AnEmptyQueueSerialisesWithoutTouchingTheStore) {
  EXPECT_EQ(queue->consumeAndSerializePluginEventsForVerify(), "[]");
  EXPECT_FALSE(fs::exists(defaults->path()));
  for (const nlohmann::json& value : {nlohmann::json::array(), nlohmann::json("text"), nlohmann::json::object()}) {
    defaults->set(kQMPluginEventsQueueDefaultsKey, value);
    const std::string before = fileBytes();
    EXPECT_EQ(queue->consumeAndSerializePluginEventsForVerify(), "[]");
    EXPECT_EQ(fileBytes(), before);
  }
}

TEST_F(PluginEventsQueue, AcknowledgedEventsGoAndMalformedOnesWithThem) {
  record("a");
  record("b");
  record("c");
  auto events = stored();
  const std::string idA = events[0]["id"], idC = events[2]["id"];
  events.push_back("not a record");
  events.push_back({{"event", "no id"}});
  defaults->set(kQMPluginEventsQueueDefaultsKey, events);

  queue->clearAckedPluginEvents({});
  EXPECT_EQ(stored().size(), 5u) << "an empty list changes nothing";

  queue->clearAckedPluginEvents({"not-in-the-queue", ""});
  EXPECT_EQ(stored().size(), 3u) << "unknown ids change nothing but malformed entries go";

  queue->clearAckedPluginEvents({idC, idA});
  ASSERT_EQ(stored().size(), 1u);
  EXPECT_EQ(stored()[0]["event"], "b");
}

TEST(UTCNow, WholeSecondsInUTC) {
  EXPECT_TRUE(std::regex_match(QMUTCNowISOString(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
}
