#pragma once
// The service client's own helpers, shared by its operations and its formats and kept out of
// QuillomancerServer.h: the blocking transport call, the JSON answer readers, the time-out refund,
// the error-text sanitising and the checks of what goes into a URL or a header.

#include "QuillomancerServer.h"

#include "qm/platform/http.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// ---- Transport and JSON answers ---------------------------------------------------------------

// Sends one prepared request and blocks until it ends (the operations set each request's idle
// time-out and the session's total cap, QuillomancerServerTimeouts). The response's `error` tells
// a transport error (kHttpErrorTimedOut or kHttpErrorOther, with `errorText`) from an HTTP answer
// (`status`). Never throws.
qm::platform::HttpResponse SyncRequest(const qm::platform::HttpRequest& request);

// The body as a JSON object, or nothing (empty body, parse error, not an object). Never throws.
std::optional<nlohmann::json> ParseJSONResponse(std::string_view body);

// Typed value readers on a JSON object (null object allowed). true/false count as 1 and 0.
std::string JSONString(const nlohmann::json* object, std::string_view key);
bool JSONBool(const nlohmann::json* object, std::string_view key, bool* present = nullptr);
int32_t JSONInt(const nlohmann::json* object, std::string_view key);
int32_t JSONIntWithPresence(const nlohmann::json* object, std::string_view key, bool* present);
double JSONDouble(const nlohmann::json* object, std::string_view key, bool* present = nullptr);
const nlohmann::json* JSONDict(const nlohmann::json* object, std::string_view key);

// First response header with this name, ignoring case; "" for a null response or an empty name.
std::string HTTPHeaderValue(const qm::platform::HttpResponse* response, std::string_view name);

// The current time as "yyyy-MM-ddTHH:mm:ssZ" in UTC with ASCII digits. [any-thread]
std::string SRVUTCNowISOString();

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when none does (overlong forms,
// surrogates and code points above U+10FFFF are not valid). [any-thread]
size_t QMUtf8SequenceLength(std::string_view text, size_t i);

// ---- Generate helpers -------------------------------------------------------------------------

struct TimeoutRefundResult {
  bool ok = false;
  bool hasBalance = false;
  int32_t balance = 0;
  int32_t refundedCount = 0;
  int32_t refundedCredits = 0;
};
// POST /api/render/timeout; nothing is sent without a token. [any-thread], not the main thread.
TimeoutRefundResult RequestTimeoutRefund(const std::string& accessToken, int64_t elapsedMs);

std::string SanitizeGenerateErrorCode(long status, const std::string& code);
std::string SanitizeGenerateErrorMessage(long status, const std::string& code, const std::string& message);

// ---- What may go into a URL or a header ---------------------------------------------------------

// Percent-encodes a message id for the dismissal path: every byte outside the unreserved and
// sub-delimiter characters, ":", "@" and "/" becomes %XX, so a slash stays a slash. Returns "" for
// ids that must not be sent: empty, or holding a "." or ".." segment, which alone could move the
// request out of the messages folder.
std::string QMEncodeMessageIdForPath(const std::string& messageId);

// True when the token can go into a header (no control characters).
bool QMAccessTokenIsSendable(const std::string& accessToken);
