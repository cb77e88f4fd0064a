#pragma once
// What the stand-in answers to the account-status exchange (POST /api/account/status): the
// accepted tokens, the account's e-mail, the offer, the minimum version, the messages and how the
// plug-in events it receives are acknowledged. The credit balance is the one generation uses.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qm::service {

inline constexpr const char* kAccountStatus = "/api/account/status";

// The plug-in events received are kept for tests to read, newest last: at most kMostReceivedEvents
// of them and kMostReceivedEventBytes of their compact JSON together; the oldest go first. An
// event larger than that alone (or of more values than a request body may build) is dropped
// while the body is read: it is neither kept nor acknowledged. Every other event is read whole,
// and the answer acknowledges the ids of the first kMostAckedEventIds of them that have one (a
// string "id" of at most kMostAckedEventIdBytes), whether or not the bounds above let it be kept.
inline constexpr size_t kMostReceivedEvents = 10000;
inline constexpr size_t kMostReceivedEventBytes = size_t(8) << 20;
inline constexpr size_t kMostAckedEventIds = 1000;
inline constexpr size_t kMostAckedEventIdBytes = 256;

struct AccountMessage {
  std::string id;
  std::string title;
  std::string body;
};

// The "update" object of the answer: the update request document's keys plus the eligibility.
struct AccountOffer {
  std::string targetVersion;
  std::string effectiveChannel = "stable";
  std::string pkgURL;
  std::string pkgSHA256;
  std::string releaseNotesURL;
  std::string artifactURL;
  std::string artifactSHA256;
  std::string manifestVersion;
  std::string manifestSignature;
  std::string releasedAt;
  bool eligible = true;
  std::string eligibilityReason;
  bool allowDowngrade = false;
};

enum class AckPolicy {
  All,   // every received event id is acknowledged
  None,  // none is
};

struct AccountSettings {
  std::vector<std::string> tokens;  // accepted bearer tokens; empty: any non-empty one
  std::string email;
  // The newest version; empty: the version the plug-in says is installed.
  std::string latestVersion;
  std::optional<AccountOffer> offer;  // none: the answer has no "update" object
  std::string minimumVersion;
  bool updateRequired = false;
  std::vector<AccountMessage> messages;  // a dismissal with an accepted token removes its message
  AckPolicy ackPolicy = AckPolicy::All;
  // When set, sent with status 200 in place of the answer (the events are still recorded).
  std::optional<std::string> rawAnswer;
};

// `--offer V`: V as the latest version and as the offer's target, with the package address,
// digest and release notes of an installer offer.
AccountOffer offerForVersion(const std::string& version);

// `--message 'id|title|body'`: split at the first two bars (the body may hold more); false when
// there are fewer than two.
bool parseAccountMessage(const std::string& text, AccountMessage& out);

}  // namespace qm::service
