#pragma once
// The web-service client. No instances and no state: every operation is a static function that
// builds one request, sends it, waits for the answer where it needs one, and returns a plain
// result record. Failures are values in those records, never exceptions.
//
// Every operation blocks the calling thread (except the fire-and-forget ones) and must not be
// called on the main thread.

#include "qm/platform/http.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


// Built-in service base URL (scheme and host, no trailing slash). See QuillomancerServerBaseURL()
// for how it is overridden.
extern const char* const kQuillomancer_ServerURL;
// The plug-in's version, sent as "X-Plugin-Version" and as "plugin_version".
extern const char* const kQuillomancer_PluginVersion;

inline constexpr double kQuillomancerVoiceChangeTimeoutSec = 60.0;  // generate, Voice Change
inline constexpr double kQuillomancerTranscribeTimeoutSec = 30.0;   // generate, other modes

class QuillomancerServer {
 public:
  struct TimedWord {
    int32_t index = -1;
    std::string word;
    double start = 0.0;
    double end = 0.0;
  };

  struct TimedTranscript {
    bool timingAvailable = false;
    std::string text;
    std::vector<TimedWord> words;
  };

  struct HealthResult {
    bool reachable = false;
    bool healthy = false;
    bool generationAvailable = true;
    bool generationPresent = false;
    std::string status;
  };

  struct TranscribeResult {
    bool success = false;
    std::string text;
    std::vector<TimedWord> words;
    std::string responseJson;
    std::string errorMessage;
    std::string errorCode;
  };

  struct GenerateResult {
    std::vector<std::vector<float>> takes;
    std::vector<TimedTranscript> takeTimings;
    int32_t takeCount = 0;
    int32_t sampleRate = 0;
    int32_t creditBalance = 0;
    bool hasCreditBalance = false;
    std::string renderId;
    bool success = false;
    std::string errorMessage;
    std::string errorCode;
    bool timeoutRefundAttempted = false;
    bool timeoutRefundSucceeded = false;
    int32_t refundedCount = 0;
    int32_t refundedCredits = 0;
  };

  struct UploadLogResult {
    bool success = false;
    std::string message;
  };

  struct ServerMessage {
    std::string id;
    std::string title;
    std::string body;
  };

  // 0 is an up vote; any other value is a down vote.
  using VoteType = int32_t;
  static constexpr VoteType kVoteUp = 0;
  static constexpr VoteType kVoteDown = 1;

  // Readers of the service's timed-transcript JSON. A null object gives the defaults.
  // [any-thread]
  static TimedWord ParseTimedWordFromJSON(const nlohmann::json* object);
  static TimedTranscript ParseTimedTranscriptFromJSON(const nlohmann::json* object);

  // GET /health. [any-thread], not the main thread.
  static HealthResult CheckHealth();

  // POST /api/transcribe with the capture as a WAV. [any-thread], not the main thread.
  static TranscribeResult Transcribe(const float* samples, uint64_t count, int32_t sampleRate,
                                     const std::string& language, const std::string& accessToken);

  // POST /api/generate; asks for a credit refund when the request times out.
  // In Voice Change the first clip is the wanted voice and the second the performance.
  // [any-thread], not the main thread.
  static GenerateResult Generate(const float* primary, uint64_t primaryCount, const float* secondary,
                                 uint64_t secondaryCount, int32_t sampleRate, const std::string& text,
                                 const std::string& referenceText, const std::string& language,
                                 const std::string& accessToken, int32_t takes, bool addBreath,
                                 bool voiceChange, bool lineChangeV2, bool variation);

  // Fire and forget: start the request and return. [any-thread]
  static void SubmitVote(const std::string& renderId, VoteType vote, const std::string& accessToken);
  static void DismissMessage(const std::string& messageId, const std::string& accessToken);

  // POST /api/log/upload, waited for. [any-thread], not the main thread.
  static UploadLogResult UploadLog(const std::string& log, const std::string& pluginVersion,
                                   const std::string& macosVersion, const std::string& email,
                                   const std::string& accessToken, const std::string& crashReport);

  // POST /api/plugin/event; returns at once, the outcome is only logged. [any-thread]
  static void SendPluginEventImmediate(const std::string& eventName, const std::string& errorCode,
                                       const std::string& accessToken, const std::string& renderId,
                                       bool voiceChange, int32_t takesRequested, int32_t takeIndex);
};

// ---- Configuration ----------------------------------------------------------------------------

// Environment variable and user-defaults key that override the built-in base URL
// (the environment wins over the defaults).
inline constexpr const char* kQuillomancerServerURLEnvironment = "QUILLOMANCER_SERVER_URL";
inline constexpr const char* kQuillomancerServerURLDefaultsKey = "com.quillomancer.serverURL";

// The base URL in effect: a test override when set, else the environment variable, else the
// user-defaults key, else kQuillomancer_ServerURL; trailing slashes removed. [any-thread]
std::string QuillomancerServerBaseURL();
// Tests (and embedding stand-ins): force the base URL; an empty optional removes the override.
void QuillomancerServerSetBaseURLOverride(std::optional<std::string> url);

// Time-outs in seconds. `request*` values are the longest wait without data for one request;
// `sessionResource` caps the whole exchange of every request.
struct QuillomancerServerTimeouts {
  double health = 5.0;
  double transcribe = 45.0;
  double generate = kQuillomancerTranscribeTimeoutSec;
  double generateVoiceChange = kQuillomancerVoiceChangeTimeoutSec;
  double refund = 5.0;
  double vote = 5.0;
  double dismiss = 5.0;
  double pluginEvent = 3.0;
  double sessionRequest = 30.0;
  double sessionResource = 60.0;
};
QuillomancerServerTimeouts QuillomancerServerGetTimeouts();
// Tests shorten the time-outs so that time-out paths run quickly.
void QuillomancerServerSetTimeouts(const QuillomancerServerTimeouts& timeouts);

// ---- Transport and JSON helpers shared by the client and its formats ------------------------

// Sends one prepared request and blocks until it ends (the operations set each request's idle
// time-out and the session's total cap, QuillomancerServerTimeouts). The response's `error` tells a transport error (kHttpErrorTimedOut or
// kHttpErrorOther, with `errorText`) from an HTTP answer (`status`). Never throws.
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

// ---- Generate helpers -------------------------------------------------------------------------

struct TimeoutRefundResult {
  bool ok = false;
  bool hasBalance = false;
  int32_t balance = 0;
  int32_t refundedCount = 0;
  int32_t refundedCredits = 0;
};
// POST /api/render/timeout; nothing is sent without a token.
TimeoutRefundResult RequestTimeoutRefund(const std::string& accessToken, int64_t elapsedMs);

std::string SanitizeGenerateErrorCode(long status, const std::string& code);
std::string SanitizeGenerateErrorMessage(long status, const std::string& code, const std::string& message);

// Percent-encodes a message id as one path segment (the slash included). Returns "" for ids
// that must not be sent: empty, or holding a "." or ".." segment.
std::string QMEncodeMessageIdForPath(const std::string& messageId);

// True when the token can go into a header (no control characters).
bool QMAccessTokenIsSendable(const std::string& accessToken);
