#include "QMPluginEventsQueue.h"

#include "QuillomancerServer.h"
#include "qm/platform/time.h"
#include "qm/platform/uuid.h"

#include <algorithm>
#include <optional>
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

namespace {

// The compact text of one stored event, or none when it could never be sent: it cannot be
// serialised (text that is not UTF-8) or it alone makes the array longer than the limit.
std::optional<std::string> SendableText(const nlohmann::json& event) {
  std::string text;
  try {
    text = event.dump();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  if (text.size() + 2 > kQMPluginEventsMaxSerializedBytes) return std::nullopt;
  return text;
}

}  // namespace

void QMPluginEventsQueue::recordPluginEvent(std::string_view event, std::string_view requestId,
                                            std::string_view errorCode, const QMPluginEventContext& context) {
  if (event.empty()) return;
  const std::time_t now = clock_ ? clock_() : std::time(nullptr);
  nlohmann::json record = {
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
  };
  // An event that could never be sent is not kept: it would only cost a rewrite of the store.
  if (!SendableText(record)) return;
  nlohmann::json events = storedEvents();
  events.push_back(std::move(record));
  if (events.size() > kQMPluginEventsQueueMaxEvents)
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(events.size() - kQMPluginEventsQueueMaxEvents));
  store(std::move(events));
}

std::string QMPluginEventsQueue::consumeAndSerializePluginEventsForVerify() {
  nlohmann::json events = storedEvents();
  if (events.empty()) return "[]";
  // The compact text of an array is "[" + its entries' texts joined by "," + "]", so the newest
  // run of entries that fits is found from the entries' own texts. An entry that could never be
  // sent goes alone; the older ones still get their turn.
  std::vector<std::string> texts;  // newest first
  nlohmann::json kept = nlohmann::json::array();
  bool leftOut = false;
  size_t total = 2;
  for (size_t i = events.size(); i-- > 0;) {
    std::optional<std::string> text = SendableText(events[i]);
    if (!text) {
      leftOut = true;
      continue;
    }
    const size_t grown = total + text->size() + (texts.empty() ? 0 : 1);
    if (grown > kQMPluginEventsMaxSerializedBytes) {
      leftOut = true;  // this one and every older one
      break;
    }
    total = grown;
    texts.push_back(std::move(*text));
    kept.push_back(std::move(events[i]));
  }
  if (leftOut) {
    std::reverse(kept.begin(), kept.end());
    store(std::move(kept));
  }
  if (texts.empty()) return "[]";
  std::string out = "[";
  for (auto text = texts.rbegin(); text != texts.rend(); ++text) {
    if (text != texts.rbegin()) out.push_back(',');
    out += *text;
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
