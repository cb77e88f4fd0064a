#pragma once
// The web-service client. No instances and no state: every operation is a static function that
// builds one request, sends it, waits for the answer where it needs one, and returns a plain
// result record. Failures are values in those records, never exceptions.
//
// Every operation blocks the calling thread (except the fire-and-forget ones) and must not be
// called on the main thread.

#include <nlohmann/json.hpp>

#include "QuillomancerSamples.h"

#include <cstddef>
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

// Limits of the account-status exchange, in bytes unless named otherwise.
inline constexpr size_t kQMVerifyMaxBodyBytes = 1u << 20;
inline constexpr size_t kQMVerifyMaxEventsBytes = 4096;  // the plug-in events sent
inline constexpr size_t kQMVerifyMaxVersionBytes = 64;
inline constexpr size_t kQMVerifyMaxURLBytes = 2048;
inline constexpr size_t kQMVerifyMaxMessages = 50;
inline constexpr size_t kQMVerifyMaxMessageIdBytes = 128;
inline constexpr size_t kQMVerifyMaxMessageTitleBytes = 200;
inline constexpr size_t kQMVerifyMaxMessageBodyBytes = 4096;
inline constexpr size_t kQMVerifyMaxAckedEventIds = 200;

// The largest log-upload body the plug-in sends. The service refuses a body of more than 48 MiB
// (413), and the whole upload must also arrive within the session's 60 seconds.
inline constexpr size_t kQMLogUploadMaxBodyBytes = size_t(32) << 20;

// The bytes `text` takes as a string of a JSON body the client sends, quotes left out: control
// bytes are escaped (up to six bytes each), and a byte that is not UTF-8 is sent as U+FFFD. Exact
// for UTF-8, never less than what is sent otherwise. [any-thread]
size_t QMJSONStringBytes(std::string_view text);

// The longest start of `text` that takes at most `bytes` as a JSON string (QMJSONStringBytes); it
// ends on a character boundary. [any-thread]
size_t QMJSONStringPrefixLength(std::string_view text, size_t bytes);

// The update metadata of an offer (the "update" object of the account-status answer); ""
// stands for absent.
struct QMUpdateMetadata {
  std::string targetVersion;
  std::string effectiveChannel;
  std::string pkgURL;
  std::string pkgSHA256;
  std::string releaseNotesURL;
  std::string artifactURL;
  std::string artifactSHA256;
  std::string manifestVersion;
  std::string releasedAt;
  std::string manifestSignature;

  // Target version, artifact address and digest, manifest version, release time and manifest
  // signature are all non-empty.
  bool hasValidSwapMetadata() const {
    return !targetVersion.empty() && !artifactURL.empty() && !artifactSHA256.empty() && !manifestVersion.empty() &&
           !releasedAt.empty() && !manifestSignature.empty();
  }
  // Package address and digest and target version are all non-empty.
  bool hasPackageMetadata() const { return !pkgURL.empty() && !pkgSHA256.empty() && !targetVersion.empty(); }
};

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

  // What a generation sends. In Voice Change the first clip is the wanted voice and the second the
  // performance, and no text goes out; otherwise the second clip is not sent.
  struct GenerateRequest {
    QuillomancerSamples primary{};
    QuillomancerSamples secondary{};
    int32_t sampleRate = 0;
    std::string text{};
    std::string referenceText{};
    std::string language{};
    std::string accessToken{};
    int32_t takes = 3;
    bool addBreath = true;
    bool voiceChange = false;
    bool lineChangeV2 = false;
    bool variation = false;
  };

  struct GenerateResult {
    // The takes at the host rate. Generate hands a take that needed no resampling over as its
    // 16-bit samples in `pcmTakes` (then sized like `takes`) and leaves its entry here empty: the
    // same samples in half the memory.
    std::vector<QuillomancerSamples> takes;
    std::vector<QMPcm16Samples> pcmTakes;
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

  // The account-status answer. An empty text stands for an absent value; every field but `valid`
  // and `offline` is filled only for a valid answer.
  struct VerifyResult {
    bool valid = false;    // HTTP 200, a JSON object, and a 32-bit integer "credit_balance"
    bool offline = false;  // the service could not be reached (refused, name, TLS, time-out)
    std::string email;
    int32_t creditBalance = 0;
    std::string latestVersion;
    QMUpdateMetadata update;  // the "update" object
    std::string minimumVersion;
    bool updateRequired = false;
    bool updateEligible = false;
    std::string eligibilityReason;
    bool allowDowngrade = false;
    std::vector<ServerMessage> messages;
    // Messages left out for an id that is absent, empty or over its limit (they could never be
    // dismissed).
    size_t droppedMessages = 0;
    // Ids of the plug-in events the service has taken; the caller removes them from its queue.
    std::vector<std::string> ackedEventIds;
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

  // POST /api/generate; asks for a credit refund when the request times out. The clips are let go
  // once they are encoded, before the answer arrives. [any-thread], not the main thread.
  static GenerateResult Generate(GenerateRequest request);

  // Fire and forget: start the request and return. [any-thread]
  static void SubmitVote(const std::string& renderId, VoteType vote, const std::string& accessToken);
  static void DismissMessage(const std::string& messageId, const std::string& accessToken);

  // The JSON body UploadLog sends for these values; nothing when it cannot be encoded.
  // [any-thread]
  static std::optional<std::string> UploadLogBody(const std::string& log, const std::string& pluginVersion,
                                                  const std::string& macosVersion, const std::string& email,
                                                  const std::string& crashReport);

  // POST /api/log/upload, waited for. [any-thread], not the main thread.
  static UploadLogResult UploadLog(const std::string& log, const std::string& pluginVersion,
                                   const std::string& macosVersion, const std::string& email,
                                   const std::string& accessToken, const std::string& crashReport);

  // POST /api/account/status with the plug-in's versions, the host key ("pro_tools" or
  // "media_composer"; empty counts as "pro_tools"), the operating-system version and the plug-in
  // events as the events queue serialises them (a JSON array of at most 4,096 bytes; anything else
  // is sent as []). Nothing is sent without a usable token. [any-thread], not the main thread.
  static VerifyResult VerifyAccount(const std::string& accessToken, const std::string& host,
                                    const std::string& pluginEvents);

  // Reads an account-status answer: its HTTP status and body. Values of the wrong type count as
  // absent; texts over their limits too (see kQMVerify*). A message's title or body over its limit
  // is cut at the last whole character that fits; a message whose id is absent or over its limit
  // is left out (counted in `droppedMessages`), and so are messages past the 50th and acknowledged
  // ids past the 200th. `offline` is never set here. [any-thread]
  static VerifyResult ParseVerifyResponse(long httpStatus, std::string_view body);

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
  double verify = 10.0;
  double sessionRequest = 30.0;
  double sessionResource = 60.0;
};
QuillomancerServerTimeouts QuillomancerServerGetTimeouts();
// Tests shorten the time-outs so that time-out paths run quickly.
void QuillomancerServerSetTimeouts(const QuillomancerServerTimeouts& timeouts);
