#include "QMPluginEventsQueue.h"

#include "QuillomancerServer.h"
#include "qm/platform/time.h"
#include "qm/platform/uuid.h"

#include <unordered_set>

std::string QMUTCNowISOString() { return qm::platform::utcNowISOString(); }

QMPluginEventsQueue::QMPluginEventsQueue(qm::platform::UserDefaults& defaults, Clock clock)
    : defaults_(defaults), clock_(std::move(clock)) {}

nlohmann::json QMPluginEventsQueue::storedEvents() {
  auto value = defaults_.object(kQMPluginEventsQueueDefaultsKey);
  if (!value || !value->is_array()) return nlohmann::json::array();
  return std::move(*value);
}

void QMPluginEventsQueue::store(nlohmann::json events) {
  defaults_.set(kQMPluginEventsQueueDefaultsKey, std::move(events));
  defaults_.synchronize();
}

void QMPluginEventsQueue::recordPluginEvent(std::string_view event, std::string_view requestId,
                                            std::string_view errorCode, const QMPluginEventContext& context) {
  if (event.empty()) return;
  nlohmann::json events = storedEvents();
  const std::time_t now = clock_ ? clock_() : std::time(nullptr);
  events.push_back({
      {"id", qm::platform::randomUuidString()},
      {"event", std::string(event)},
      {"request_id", std::string(requestId)},
      {"username", context.userEmail.empty() ? std::string("unknown") : context.userEmail},
      {"installed_version", kQuillomancer_PluginVersion},
      {"target_version", context.targetVersion},
      {"host", context.mediaComposerHost ? "media_composer" : "pro_tools"},
      {"channel", context.channel},
      {"error_code", std::string(errorCode)},
      {"timestamp_utc", qm::platform::formatUTCTimestamp(now)},
  });
  if (events.size() > kQMPluginEventsQueueMaxEvents)
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(events.size() - kQMPluginEventsQueueMaxEvents));
  store(std::move(events));
}

std::string QMPluginEventsQueue::consumeAndSerializePluginEventsForVerify() {
  nlohmann::json events = storedEvents();
  if (events.empty()) return "[]";
  // The compact text of an array is "[" + its entries' texts joined by "," + "]", so the newest
  // run of entries that fits is found from the entries' own texts. An entry that cannot be
  // serialised (text that is not UTF-8) keeps every older one out as well.
  const size_t n = events.size();
  std::vector<std::string> texts(n);
  size_t start = n;
  size_t total = 2;
  for (size_t i = n; i-- > 0;) {
    try {
      texts[i] = events[i].dump();
    } catch (const nlohmann::json::exception&) {
      break;
    }
    const size_t grown = total + texts[i].size() + (i + 1 < n ? 1 : 0);
    if (grown > kQMPluginEventsMaxSerializedBytes) break;
    total = grown;
    start = i;
  }
  if (start > 0) {
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(start));
    store(events);
  }
  if (start == n) return "[]";
  std::string out = "[";
  for (size_t i = start; i < n; ++i) {
    if (i > start) out.push_back(',');
    out += texts[i];
  }
  out.push_back(']');
  return out;
}

void QMPluginEventsQueue::clearAckedPluginEvents(const std::vector<std::string>& eventIds) {
  if (eventIds.empty()) return;
  nlohmann::json events = storedEvents();
  if (events.empty()) return;
  std::unordered_set<std::string> acked;
  for (const auto& id : eventIds)
    if (!id.empty()) acked.insert(id);
  nlohmann::json kept = nlohmann::json::array();
  for (auto& entry : events) {
    if (!entry.is_object()) continue;
    const auto id = entry.find("id");
    if (id == entry.end() || id->is_null()) continue;
    if (id->is_string() && acked.count(id->get<std::string>())) continue;
    kept.push_back(std::move(entry));
  }
  store(std::move(kept));
}
