#include "account_desk.h"

#include "json_body.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <vector>

namespace qm::service {

namespace {

using nlohmann::json;

std::string compact(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

json errorBody(const std::string& code, const std::string& message) { return {{"error", code}, {"message", message}}; }

json offerObject(const AccountOffer& o) {
  return {{"target_version", o.targetVersion},     {"effective_channel", o.effectiveChannel},
          {"update_pkg_url", o.pkgURL},            {"update_pkg_sha256", o.pkgSHA256},
          {"release_notes_url", o.releaseNotesURL}, {"artifact_url", o.artifactURL},
          {"artifact_sha256", o.artifactSHA256},   {"manifest_version", o.manifestVersion},
          {"manifest_signature", o.manifestSignature}, {"released_at", o.releasedAt},
          {"update_eligible", o.eligible},         {"eligibility_reason", o.eligibilityReason},
          {"allow_downgrade", o.allowDowngrade}};
}

// Keeps `text` as the newest of `kept`, then drops the oldest beyond the desk's bounds (count and
// bytes); `bytes` is the size of what `kept` holds. An event larger than the byte bound is not kept.
void keepEvent(std::deque<std::string>& kept, size_t& bytes, std::string text) {
  if (text.size() > kMostReceivedEventBytes) return;
  bytes += text.size();
  kept.push_back(std::move(text));
  while (kept.size() > kMostReceivedEvents || bytes > kMostReceivedEventBytes) {
    bytes -= kept.front().size();
    kept.pop_front();
  }
}

// The events of one request, bounded as the desk's own are while the body is still being parsed,
// and the ids to acknowledge (see account.h).
struct EventBatch {
  std::deque<std::string> texts;
  size_t bytes = 0;
  std::vector<std::string> ids;

  void add(json&& event) {
    std::string text = compact(event);
    if (text.size() > kMostReceivedEventBytes) return;  // as one dropped while it was read
    keepEvent(texts, bytes, std::move(text));
    if (event.is_object() && ids.size() < kMostAckedEventIds)
      if (const auto id = event.find("id"); id != event.end() && id->is_string()) {
        auto& value = id->get_ref<std::string&>();
        if (value.size() <= kMostAckedEventIdBytes) ids.push_back(std::move(value));
      }
  }
};

}  // namespace

AccountOffer offerForVersion(const std::string& version) {
  AccountOffer offer;
  offer.targetVersion = version;
  // What an installer offer carries, so that the plug-in offers it (the package is not served).
  offer.pkgURL = "https://releases.quillomancer-storage.net/Quillomancer-" + version + ".pkg";
  offer.pkgSHA256 = std::string(64, '0');
  offer.releaseNotesURL = "https://www.quillomancer.com/notes/" + version;
  return offer;
}

bool parseAccountMessage(const std::string& text, AccountMessage& out) {
  const size_t first = text.find('|');
  if (first == std::string::npos) return false;
  const size_t second = text.find('|', first + 1);
  if (second == std::string::npos) return false;
  out.id = text.substr(0, first);
  out.title = text.substr(first + 1, second - first - 1);
  out.body = text.substr(second + 1);
  return true;
}

void AccountDesk::configure(AccountSettings settings) {
  std::lock_guard lock(mutex_);
  settings_ = std::move(settings);
}

AccountSettings AccountDesk::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

bool AccountDesk::accepts(const std::string& token) const {
  if (token.empty()) return false;
  return settings_.tokens.empty() ||
         std::find(settings_.tokens.begin(), settings_.tokens.end(), token) != settings_.tokens.end();
}

AccountDesk::Reply AccountDesk::answer(const std::string& bearerToken, const std::string& body, int creditBalance) {
  {
    std::lock_guard lock(mutex_);
    if (!accepts(bearerToken)) return {401, compact(errorBody("UNAUTHORIZED", "Sign in to use this service."))};
  }
  // The body is read without the lock. Each element of the top-level "plugin_events" array is
  // taken out as soon as it is parsed, so that the parsed request never holds the events, and one
  // too large to keep is dropped before it is built.
  EventBatch batch;
  const JsonStream events{"plugin_events", kMostReceivedEventBytes, [&batch](json&& event) { batch.add(std::move(event)); }};
  const JsonBody request = readJsonBody(body, &events);
  if (request.tooLarge)
    return {413, compact(errorBody("PAYLOAD_TOO_LARGE", kTooManyValues))};
  if (!request.value || !request.value->is_object())
    return {400, compact(errorBody("BAD_REQUEST", "The request body must be a JSON object."))};

  std::lock_guard lock(mutex_);
  json acked = json::array();
  if (settings_.ackPolicy == AckPolicy::All)
    for (std::string& id : batch.ids) acked.push_back(std::move(id));
  for (std::string& text : batch.texts) keepEvent(received_, receivedBytes_, std::move(text));
  if (settings_.rawAnswer) return {200, *settings_.rawAnswer};

  std::string latest = settings_.latestVersion;
  if (latest.empty() && settings_.offer) latest = settings_.offer->targetVersion;
  if (latest.empty()) {
    const auto installed = request.value->find("installed_version");
    if (installed != request.value->end() && installed->is_string()) latest = installed->get<std::string>();
  }
  json messages = json::array();
  for (const auto& m : settings_.messages) messages.push_back({{"id", m.id}, {"title", m.title}, {"body", m.body}});
  json answer = {{"email", settings_.email},
                 {"credit_balance", creditBalance},
                 {"latest_version", latest},
                 {"minimum_version", settings_.minimumVersion},
                 {"update_required", settings_.updateRequired},
                 {"messages", messages},
                 {"acked_event_ids", acked}};
  if (settings_.offer) answer["update"] = offerObject(*settings_.offer);
  return {200, compact(answer)};
}

void AccountDesk::dismiss(const std::string& bearerToken, const std::string& messageId) {
  std::lock_guard lock(mutex_);
  if (!accepts(bearerToken)) return;
  auto& list = settings_.messages;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const AccountMessage& m) { return m.id == messageId; }),
             list.end());
}

std::string AccountDesk::receivedEvents() const {
  std::lock_guard lock(mutex_);
  std::string all;
  all.reserve(receivedBytes_ + received_.size() + 2);
  all += '[';
  for (const std::string& event : received_) {
    if (all.size() > 1) all += ',';
    all += event;
  }
  all += ']';
  return all;
}

}  // namespace qm::service
