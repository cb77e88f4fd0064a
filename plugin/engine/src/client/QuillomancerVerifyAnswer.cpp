// The account-status answer as the client reads it. Every value is taken only with the type it
// should have and within its limit; anything else counts as absent, so an odd answer can never
// give the settings card more than it can show.

#include "QuillomancerServerPrivate.h"

#include "qm/platform/text.h"

#include <algorithm>
#include <limits>

namespace {

using nlohmann::json;

// The texts of the answer that the header's limits do not cover, each at what its kind can hold.
// The e-mail becomes the user name of every plug-in event, so an unbounded one would swell the
// events queue past what it may send.
constexpr size_t kQMVerifyMaxEmailBytes = 254;       // the longest address mail can carry
constexpr size_t kQMVerifyMaxSHA256Bytes = 64;       // 64 hex digits
constexpr size_t kQMVerifyMaxChannelBytes = 256;     // a channel name
constexpr size_t kQMVerifyMaxReasonBytes = 512;      // the eligibility reason, kept, not shown
constexpr size_t kQMVerifyMaxTimestampBytes = 64;    // an ISO 8601 time
constexpr size_t kQMVerifyMaxSignatureBytes = 1024;  // a detached signature, hex or Base64

const json* member(const json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

// A text of at most `limit` bytes, else absent ("").
std::string text(const json& object, const char* key, size_t limit) {
  std::string s = JSONString(&object, key);
  return s.size() <= limit ? s : std::string();
}

bool flag(const json& object, const char* key) {
  const json* value = member(object, key);
  return value != nullptr && value->is_boolean() && value->get<bool>();
}

// A JSON integer that fits in 32 bits (no fractions, texts or truth values).
std::optional<int32_t> int32Member(const json& object, const char* key) {
  const json* value = member(object, key);
  if (value == nullptr) return std::nullopt;
  if (value->is_number_unsigned()) {
    const uint64_t n = value->get<uint64_t>();
    if (n > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return std::nullopt;
    return static_cast<int32_t>(n);
  }
  if (value->is_number_integer()) {
    const int64_t n = value->get<int64_t>();
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(n);
  }
  return std::nullopt;
}

// The text cut to at most `limit` bytes at the end of a whole character (a letter with its
// accents, an emoji sequence), so that what is shown of it is never a broken character.
std::string cutAtCharacter(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  const std::u16string units = qm::platform::utf8ToUtf16(text);
  size_t cut = qm::platform::utf16Length(std::string_view(text).substr(0, qm::platform::utf8PrefixLength(text, limit)));
  cut = qm::platform::characterStartAt(units, std::min(cut, units.size()));
  return qm::platform::utf16ToUtf8(std::u16string_view(units).substr(0, cut));
}

// A message with a usable id: one that is there and within its limit, else none (it could never
// be dismissed). A title or body over its limit is cut; a wrong type is an absent text.
std::optional<QuillomancerServer::ServerMessage> readMessage(const json& element) {
  if (!element.is_object()) return std::nullopt;
  QuillomancerServer::ServerMessage message;
  message.id = JSONString(&element, "id");
  if (message.id.empty() || message.id.size() > kQMVerifyMaxMessageIdBytes) return std::nullopt;
  message.title = cutAtCharacter(JSONString(&element, "title"), kQMVerifyMaxMessageTitleBytes);
  message.body = cutAtCharacter(JSONString(&element, "body"), kQMVerifyMaxMessageBodyBytes);
  return message;
}

void readUpdate(const json& update, QuillomancerServer::VerifyResult& r) {
  r.update.targetVersion = text(update, "target_version", kQMVerifyMaxVersionBytes);
  r.update.effectiveChannel = text(update, "effective_channel", kQMVerifyMaxChannelBytes);
  r.update.pkgURL = text(update, "update_pkg_url", kQMVerifyMaxURLBytes);
  r.update.pkgSHA256 = text(update, "update_pkg_sha256", kQMVerifyMaxSHA256Bytes);
  r.update.releaseNotesURL = text(update, "release_notes_url", kQMVerifyMaxURLBytes);
  r.update.artifactURL = text(update, "artifact_url", kQMVerifyMaxURLBytes);
  r.update.artifactSHA256 = text(update, "artifact_sha256", kQMVerifyMaxSHA256Bytes);
  r.update.manifestVersion = text(update, "manifest_version", kQMVerifyMaxVersionBytes);
  r.update.releasedAt = text(update, "released_at", kQMVerifyMaxTimestampBytes);
  r.update.manifestSignature = text(update, "manifest_signature", kQMVerifyMaxSignatureBytes);
  r.updateEligible = flag(update, "update_eligible");
  r.eligibilityReason = text(update, "eligibility_reason", kQMVerifyMaxReasonBytes);
  r.allowDowngrade = flag(update, "allow_downgrade");
}

}  // namespace

QuillomancerServer::VerifyResult QuillomancerServer::ParseVerifyResponse(long httpStatus, std::string_view body) {
  VerifyResult r;
  if (httpStatus != 200 || body.size() > kQMVerifyMaxBodyBytes) return r;
  const auto object = ParseJSONResponse(body);
  if (!object) return r;
  const auto balance = int32Member(*object, "credit_balance");
  if (!balance) return r;
  r.valid = true;
  r.creditBalance = *balance;
  r.email = text(*object, "email", kQMVerifyMaxEmailBytes);
  r.latestVersion = text(*object, "latest_version", kQMVerifyMaxVersionBytes);
  r.minimumVersion = text(*object, "minimum_version", kQMVerifyMaxVersionBytes);
  r.updateRequired = flag(*object, "update_required");
  if (const json* update = JSONDict(&*object, "update")) readUpdate(*update, r);
  if (const json* messages = member(*object, "messages"); messages != nullptr && messages->is_array()) {
    for (const json& element : *messages) {
      if (r.messages.size() == kQMVerifyMaxMessages) break;
      if (auto message = readMessage(element)) {
        r.messages.push_back(std::move(*message));
      } else {
        ++r.droppedMessages;
      }
    }
  }
  if (const json* acked = member(*object, "acked_event_ids"); acked != nullptr && acked->is_array()) {
    for (const json& id : *acked) {
      if (r.ackedEventIds.size() == kQMVerifyMaxAckedEventIds) break;
      if (id.is_string() && !id.get_ref<const std::string&>().empty()) r.ackedEventIds.push_back(id.get<std::string>());
    }
  }
  return r;
}
