// The service client's operations: health, transcribe, generate with its time-out refund, votes,
// message dismissal, log upload and plug-in events, over the platform's HTTP transport.

#include "QuillomancerServerPrivate.h"

#include "QuillomancerLogger.h"
#include "QuillomancerServerFormats.h"
#include "qm/platform/defaults.h"
#include "qm/platform/system_info.h"
#include "qm/platform/text.h"
#include "qm/platform/thread_check.h"

#include <cstdlib>
#include <mutex>

const char* const kQuillomancer_ServerURL = "https://api.quillomancer.com";
const char* const kQuillomancer_PluginVersion = "2.0.2";

namespace {

using qm::platform::HttpRequest;
using qm::platform::HttpResponse;
using qm::platform::kHttpErrorTimedOut;

std::mutex gConfigMutex;
std::optional<std::string> gBaseURLOverride;
QuillomancerServerTimeouts gTimeouts;

constexpr const char* kTranscribeBoundary = "----QuillomancerTranscribeBoundary";
constexpr const char* kGenerateBoundary = "----QuillomancerBoundary";

std::string stripTrailingSlashes(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

// "scheme://host[...]" with http or https, a host, and no white space or control characters.
bool baseURLUsable(const std::string& base) {
  size_t hostStart = 0;
  if (base.rfind("https://", 0) == 0)
    hostStart = 8;
  else if (base.rfind("http://", 0) == 0)
    hostStart = 7;
  else
    return false;
  if (base.size() <= hostStart || base[hostStart] == '/' || base[hostStart] == ':') return false;
  for (unsigned char c : base)
    if (c <= 0x20 || c == 0x7F) return false;
  return true;
}

// The endpoint URL, or nothing when no URL can be formed from the base.
std::optional<std::string> endpointURL(const std::string& path) {
  const std::string base = QuillomancerServerBaseURL();
  if (!baseURLUsable(base)) return std::nullopt;
  return base + path;
}

// The URL of a call whose result carries an error message: nothing, with `error` set, when the
// base URL is unusable or the token cannot travel in a header (`what` names the call in the log).
std::optional<std::string> checkedEndpointURL(const std::string& path, const std::string& accessToken,
                                              const char* what, std::string* error) {
  auto url = endpointURL(path);
  if (!url) {
    *error = "Invalid server URL";
    return std::nullopt;
  }
  if (!QMAccessTokenIsSendable(accessToken)) {
    QMLogFormat("[SRV] %s refused: the access token holds control characters", what);
    *error = "Invalid access token";
    return std::nullopt;
  }
  return url;
}

HttpRequest makeRequest(const std::string& url, double requestTimeout) {
  HttpRequest request;
  request.method = "POST";
  request.url = url;
  request.idleTimeoutSeconds = requestTimeout;
  request.totalTimeoutSeconds = QuillomancerServerGetTimeouts().sessionResource;
  return request;
}

void addAuthorization(HttpRequest& request, const std::string& token) {
  if (!token.empty()) request.headers.emplace_back("Authorization", "Bearer " + token);
}

const char* authForLog(const std::string& token) { return token.empty() ? "none" : "Bearer ***"; }
const char* languageForLog(const std::string& language) { return language.empty() ? "auto" : language.c_str(); }

// The transport error as the user reads it.
std::string errorDescription(const HttpResponse& response) {
  if (response.error == kHttpErrorTimedOut) return "The request timed out.";
  if (!response.errorText.empty()) return response.errorText;
  return "The network connection failed.";
}

// Compact JSON, or nothing when a value cannot be encoded (text that is not UTF-8).
std::optional<std::string> encodeJSON(const nlohmann::json& object, std::string* error) {
  try {
    return object.dump();
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

// A part's boundary line and the start of its disposition, up to the closing quote of the name.
void appendPartStart(std::string& body, const char* boundary, const char* name) {
  body += "--";
  body += boundary;
  body += "\r\n";
  body += "Content-Disposition: form-data; name=\"";
  body += name;
}

// A WAV file part, the WAV written straight into the body; answers the WAV's size.
size_t appendWavPart(std::string& body, const char* boundary, const char* name, const char* filename,
                     const float* samples, uint64_t count, int32_t sampleRate) {
  appendPartStart(body, boundary, name);
  body += "\"; filename=\"";
  body += filename;
  body += "\"\r\n";
  body += "Content-Type: audio/wav\r\n\r\n";
  const size_t wavBytes = AppendWAVData(body, samples, count, sampleRate);
  body += "\r\n";
  return wavBytes;
}

// Room for a multipart body with WAVs of these sample counts, their part headers and the text
// parts, so that it is never copied while it grows.
size_t multipartCapacity(uint64_t samples, const std::vector<const std::string*>& texts) {
  size_t bytes = 2048 + 2 * static_cast<size_t>(std::min<uint64_t>(samples, uint64_t(1) << 40));
  for (const std::string* text : texts) bytes += 160 + text->size();
  return bytes;
}

void appendTextPart(std::string& body, const char* boundary, const char* name, const std::string& value) {
  appendPartStart(body, boundary, name);
  body += "\"\r\n\r\n";
  body += value;
  body += "\r\n";
}

void appendClosingBoundary(std::string& body, const char* boundary) {
  body += "--";
  body += boundary;
  body += "--\r\n";
}

std::string multipartContentType(const char* boundary) {
  return std::string("multipart/form-data; boundary=") + boundary;
}

}  // namespace

// ---- Configuration ------------------------------------------------------------------------------

std::string QuillomancerServerBaseURL() {
  {
    std::lock_guard lock(gConfigMutex);
    if (gBaseURLOverride) return stripTrailingSlashes(*gBaseURLOverride);
  }
  if (const char* env = std::getenv(kQuillomancerServerURLEnvironment); env != nullptr && *env != '\0')
    return stripTrailingSlashes(env);
  try {
    const std::string fromDefaults =
        qm::platform::UserDefaults::standard().stringForKey(kQuillomancerServerURLDefaultsKey);
    if (!fromDefaults.empty()) return stripTrailingSlashes(fromDefaults);
  } catch (...) {
    // Unreadable defaults fall back to the built-in URL.
  }
  return kQuillomancer_ServerURL;
}

void QuillomancerServerSetBaseURLOverride(std::optional<std::string> url) {
  std::lock_guard lock(gConfigMutex);
  gBaseURLOverride = std::move(url);
}

QuillomancerServerTimeouts QuillomancerServerGetTimeouts() {
  std::lock_guard lock(gConfigMutex);
  return gTimeouts;
}

void QuillomancerServerSetTimeouts(const QuillomancerServerTimeouts& timeouts) {
  std::lock_guard lock(gConfigMutex);
  gTimeouts = timeouts;
}

// ---- Shared helpers -----------------------------------------------------------------------------

qm::platform::HttpResponse SyncRequest(const qm::platform::HttpRequest& request) {
  try {
    return qm::platform::httpPerform(request);
  } catch (...) {
    HttpResponse failed;
    failed.error = qm::platform::kHttpErrorOther;
    failed.errorText = "The request could not be sent.";
    return failed;
  }
}

bool QMAccessTokenIsSendable(const std::string& accessToken) {
  for (unsigned char c : accessToken)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

std::string QMEncodeMessageIdForPath(const std::string& messageId) {
  if (messageId.empty()) return {};
  // Dot segments would move the request to another path once the URL is normalised; every other
  // segment stays below the messages folder, so the slashes between them are kept.
  size_t start = 0;
  while (start <= messageId.size()) {
    size_t slash = messageId.find('/', start);
    if (slash == std::string::npos) slash = messageId.size();
    const std::string segment = messageId.substr(start, slash - start);
    if (segment == "." || segment == "..") return {};
    start = slash + 1;
  }
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : messageId) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(c)) != std::string_view::npos;
    if (keep) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

std::string SanitizeGenerateErrorCode(long status, const std::string& code) {
  return status >= 500 ? "GENERATION_FAILED" : code;
}

std::string SanitizeGenerateErrorMessage(long status, const std::string& code, const std::string& message) {
  if (message.empty()) return message;
  if (status >= 500 || code == "GENERATION_FAILED" || message.find("Inference backend") != std::string::npos ||
      message.find("inference backend") != std::string::npos || message.find("empty audio") != std::string::npos)
    return "Generation failed. Please try again in a moment.";
  return message;
}

// ---- Health ---------------------------------------------------------------------------------------

QuillomancerServer::HealthResult QuillomancerServer::CheckHealth() {
  QM_ASSERT_THREAD(worker);
  HealthResult result;
  const auto url = endpointURL("/health");
  if (!url) return result;
  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().health);
  request.method = "GET";
  const HttpResponse response = SyncRequest(request);
  if (response.error != 0) {
    QMLogFormat("[SRV] Health check error: %s", errorDescription(response).c_str());
    return result;
  }
  result.reachable = true;
  const auto object = ParseJSONResponse(response.body);
  if (object) {
    result.status = JSONString(&*object, "status");
    bool present = false;
    const bool generation = JSONBool(&*object, "generation", &present);
    result.generationPresent = present;
    result.generationAvailable = present ? generation : true;
  }
  result.healthy = response.status == 200 && result.status == "healthy";
  if (result.healthy && result.generationPresent) result.healthy = result.generationAvailable;
  QMLogFormat("[SRV] Health check: HTTP %ld, status=%s, generation=%d (present=%d), healthy=%d", response.status,
              result.status.c_str(), result.generationAvailable ? 1 : 0, result.generationPresent ? 1 : 0,
              result.healthy ? 1 : 0);
  return result;
}

// ---- Transcribe -----------------------------------------------------------------------------------

QuillomancerServer::TranscribeResult QuillomancerServer::Transcribe(const float* samples, uint64_t count,
                                                                    int32_t sampleRate, const std::string& language,
                                                                    const std::string& accessToken) {
  QM_ASSERT_THREAD(worker);
  TranscribeResult result;
  const auto url = checkedEndpointURL("/api/transcribe", accessToken, "Transcribe", &result.errorMessage);
  if (!url) return result;
  std::string body;
  body.reserve(multipartCapacity(samples ? count : 0, {&language}));
  appendWavPart(body, kTranscribeBoundary, "audio", "capture.wav", samples, samples ? count : 0, sampleRate);
  appendTextPart(body, kTranscribeBoundary, "sample_rate", std::to_string(sampleRate));
  if (!language.empty()) appendTextPart(body, kTranscribeBoundary, "language", language);
  appendClosingBoundary(body, kTranscribeBoundary);

  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().transcribe);
  request.headers.emplace_back("Content-Type", multipartContentType(kTranscribeBoundary));
  addAuthorization(request, accessToken);
  request.headers.emplace_back("X-Plugin-Version", kQuillomancer_PluginVersion);
  request.body = std::move(body);
  QMLogFormat("[SRV] Transcribe request: %s (%zu bytes, language=%s, auth=%s)", url->c_str(), request.body.size(),
              languageForLog(language), authForLog(accessToken));

  const HttpResponse response = SyncRequest(request);
  if (response.error != 0) {
    const bool timedOut = response.error == kHttpErrorTimedOut;
    result.errorCode = timedOut ? "TIMEOUT" : "NETWORK_ERROR";
    result.errorMessage = timedOut ? "Transcription timed out. Please try again." : errorDescription(response);
    QMLogFormat("[SRV] Transcribe network error: %s", errorDescription(response).c_str());
    return result;
  }
  QMLogFormat("[SRV] Transcribe response: HTTP %ld, %zu bytes", response.status, response.body.size());
  const auto object = ParseJSONResponse(response.body);
  const nlohmann::json* json = object ? &*object : nullptr;
  if (response.status != 200) {
    if (json) {
      result.errorCode = JSONString(json, "error");
      result.errorMessage = JSONString(json, "message");
    }
    if (result.errorMessage.empty())
      result.errorMessage = "Transcription failed (HTTP " + std::to_string(response.status) + ")";
    if (result.errorCode.empty()) result.errorCode = "TRANSCRIPTION_FAILED";
    return result;
  }
  if (json) {
    result.text = JSONString(json, "text");
    const auto words = json->find("words");
    if (words != json->end() && words->is_array()) {
      for (const auto& element : *words) {
        if (!element.is_object()) continue;
        TimedWord word = ParseTimedWordFromJSON(&element);
        if (!word.word.empty()) result.words.push_back(std::move(word));
      }
    }
  }
  if (result.text.empty()) {
    result.errorCode = "EMPTY_TRANSCRIPTION";
    result.errorMessage = "Transcription returned empty text";
    return result;
  }
  result.success = true;
  if (!response.body.empty() && qm::platform::isValidUtf8(response.body)) result.responseJson = response.body;
  QMLogFormat("[SRV] Transcribe success: %zu chars, %zu timed words", result.text.size(), result.words.size());
  return result;
}

// ---- Generate and refund --------------------------------------------------------------------------

TimeoutRefundResult RequestTimeoutRefund(const std::string& accessToken, int64_t elapsedMs) {
  QM_ASSERT_THREAD(worker);
  TimeoutRefundResult result;
  if (accessToken.empty() || !QMAccessTokenIsSendable(accessToken)) return result;
  const auto url = endpointURL("/api/render/timeout");
  if (!url) return result;
  std::string encodeError;
  const auto body = encodeJSON({{"elapsed_ms", elapsedMs}}, &encodeError);
  if (!body) {
    QMLogFormat("[SRV] Timeout refund JSON encode failed: %s", encodeError.c_str());
    return result;
  }
  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().refund);
  request.headers.emplace_back("Content-Type", "application/json");
  addAuthorization(request, accessToken);
  request.headers.emplace_back("X-Plugin-Version", kQuillomancer_PluginVersion);
  request.body = *body;
  const HttpResponse response = SyncRequest(request);
  if (response.error != 0) {
    QMLogFormat("[SRV] Timeout refund request failed: %s", errorDescription(response).c_str());
    return result;
  }
  const auto object = ParseJSONResponse(response.body);
  if (response.status != 200 || !object) {
    const std::string shown =
        response.body.empty() || !qm::platform::isValidUtf8(response.body) ? std::string("(no body)") : response.body;
    QMLogFormat("[SRV] Timeout refund HTTP %ld invalid response: %s", response.status, shown.c_str());
    return result;
  }
  bool okPresent = false;
  const bool ok = JSONBool(&*object, "ok", &okPresent);
  if (okPresent && !ok) {
    QMLogFormat("[SRV] Timeout refund returned ok=false");
    return result;
  }
  result.ok = true;
  result.balance = JSONIntWithPresence(&*object, "credit_balance", &result.hasBalance);
  result.refundedCount = JSONInt(&*object, "refunded_count");
  result.refundedCredits = JSONInt(&*object, "refunded_credits");
  QMLogFormat("[SRV] Timeout refund success: refunded_count=%d refunded_credits=%d balance=%d (hasBalance=%d)",
              result.refundedCount, result.refundedCredits, result.balance, result.hasBalance ? 1 : 0);
  return result;
}

namespace {

// The multipart body of a generation: the clip(s) as WAV, the texts outside Voice Change, then the
// settings.
std::string generateBody(const QuillomancerServer::GenerateRequest& r) {
  std::string body;
  body.reserve(multipartCapacity(r.primary.size() + (r.voiceChange ? r.secondary.size() : 0),
                                 {&r.text, &r.referenceText, &r.language}));
  const char* primaryName = r.voiceChange ? "voice_audio" : "audio";
  const char* primaryFile = r.voiceChange ? "voice.wav" : "capture.wav";
  const size_t wavBytes =
      appendWavPart(body, kGenerateBoundary, primaryName, primaryFile, r.primary.data(), r.primary.size(), r.sampleRate);
  QMLogFormat("[SRV] WAV data: %zu bytes (%zu samples at %dHz)", wavBytes, r.primary.size(), r.sampleRate);
  if (r.voiceChange) {
    const size_t performanceBytes = appendWavPart(body, kGenerateBoundary, "performance_audio", "performance.wav",
                                                  r.secondary.data(), r.secondary.size(), r.sampleRate);
    QMLogFormat("[SRV] Performance WAV data: %zu bytes (%zu samples at %dHz)", performanceBytes, r.secondary.size(),
                r.sampleRate);
  } else {
    appendTextPart(body, kGenerateBoundary, "text", r.text);
    appendTextPart(body, kGenerateBoundary, "reference_text", r.referenceText);
  }
  if (!r.language.empty()) appendTextPart(body, kGenerateBoundary, "language", r.language);
  appendTextPart(body, kGenerateBoundary, "sample_rate", std::to_string(r.sampleRate));
  appendTextPart(body, kGenerateBoundary, "takes", std::to_string(r.takes));
  appendTextPart(body, kGenerateBoundary, "variation", r.variation ? "1" : "0");
  appendTextPart(body, kGenerateBoundary, "breath", r.addBreath ? "true" : "false");
  if (r.voiceChange || r.lineChangeV2)
    appendTextPart(body, kGenerateBoundary, "mode", r.voiceChange ? "voice_change" : "line_change_v2");
  appendClosingBoundary(body, kGenerateBoundary);
  return body;
}

// A generation that timed out: asks for the credits back and says what came of it.
void refundTimedOutGeneration(const std::string& accessToken, bool voiceChange,
                              QuillomancerServer::GenerateResult& result) {
  result.errorCode = "TIMEOUT";
  result.errorMessage = "Generation timed out. Please try again.";
  result.timeoutRefundAttempted = true;
  const TimeoutRefundResult refund = RequestTimeoutRefund(accessToken, voiceChange ? 60000 : 45000);
  if (refund.ok) {
    result.timeoutRefundSucceeded = true;
    result.refundedCount = refund.refundedCount;
    result.refundedCredits = refund.refundedCredits;
    if (refund.hasBalance) {
      result.hasCreditBalance = true;
      result.creditBalance = refund.balance;
    }
    if (result.refundedCredits < 1) {
      result.errorMessage = "Generation timed out. No credits were deducted.";
    } else if (refund.hasBalance) {
      result.errorMessage = "Generation timed out. " + std::to_string(result.refundedCredits) +
                            " credits restored. Balance: " + std::to_string(result.creditBalance) + ".";
    } else {
      result.errorMessage = "Generation timed out. " + std::to_string(result.refundedCredits) + " credits restored.";
    }
  }
  QMLogFormat("[SRV] Generate timeout: refundAttempted=%d refundSucceeded=%d refunded_count=%d refunded_credits=%d",
              result.timeoutRefundAttempted ? 1 : 0, result.timeoutRefundSucceeded ? 1 : 0, result.refundedCount,
              result.refundedCredits);
}

// An HTTP answer to a generation, its body as it was received: the takes container on 200, else
// the service's error.
void readGenerateAnswer(const HttpResponse& response, QMChunkedBody& body, int32_t sampleRate,
                        QuillomancerServer::GenerateResult& result) {
  QMLogFormat("[SRV] Response: HTTP %ld, %zu bytes", response.status, body.size());
  result.renderId = HTTPHeaderValue(&response, "X-Render-Id");
  if (result.renderId.empty())
    QMLogFormat("[SRV] Generate response missing X-Render-Id header");
  else
    QMLogFormat("[SRV] Generate response render id: %s", result.renderId.c_str());

  if (response.status == 200) {
    if (body.size() < 28) {
      result.errorMessage = "Empty or too-small response";
      return;
    }
    size_t consumed = 0;
    if (!ParseQMTK(body, static_cast<double>(sampleRate), result, &consumed, true)) {
      result.errorMessage = "Failed to parse QMTK response";
      return;
    }
    const std::string trailer = body.tail(consumed);
    ParseGenerateTimingSidecar(reinterpret_cast<const uint8_t*>(trailer.data()), trailer.size(), 0, result);
    result.success = true;
    QMLogFormat("[SRV] Generate success: %d takes", result.takeCount);
    return;
  }

  const long status = response.status;
  const std::string text = body.tail(0);
  const auto object = ParseJSONResponse(text);
  if (object) {
    const std::string serviceCode = JSONString(&*object, "error");
    result.errorCode = SanitizeGenerateErrorCode(status, serviceCode);
    result.errorMessage = SanitizeGenerateErrorMessage(status, serviceCode, JSONString(&*object, "message"));
    QMLogFormat("[SRV] Error JSON: code=%s msg=%s", result.errorCode.c_str(), result.errorMessage.c_str());
  }
  if (result.errorMessage.empty()) {
    result.errorMessage = "HTTP " + std::to_string(status);
    if (!text.empty() && qm::platform::isValidUtf8(text)) result.errorMessage += ": " + text;
  }
  result.errorCode = SanitizeGenerateErrorCode(status, result.errorCode);
  result.errorMessage = SanitizeGenerateErrorMessage(status, result.errorCode, result.errorMessage);
}

}  // namespace

QuillomancerServer::GenerateResult QuillomancerServer::Generate(GenerateRequest r) {
  QM_ASSERT_THREAD(worker);
  GenerateResult result;
  const auto url = checkedEndpointURL("/api/generate", r.accessToken, "Generate", &result.errorMessage);
  if (!url) return result;

  const QuillomancerServerTimeouts timeouts = QuillomancerServerGetTimeouts();
  HttpRequest request = makeRequest(*url, r.voiceChange ? timeouts.generateVoiceChange : timeouts.generate);
  request.headers.emplace_back("Content-Type", multipartContentType(kGenerateBoundary));
  addAuthorization(request, r.accessToken);
  request.headers.emplace_back("X-Plugin-Version", kQuillomancer_PluginVersion);
  request.body = generateBody(r);
  // The clips are in the body now; the takes will need the room.
  QuillomancerSamples().swap(r.primary);
  QuillomancerSamples().swap(r.secondary);
  QMLogFormat("[SRV] Sending to %s  (%zu bytes, language=%s, breath=%s, auth=%s)", url->c_str(), request.body.size(),
              languageForLog(r.language), r.addBreath ? "true" : "false", authForLog(r.accessToken));

  QMChunkedBody answer;
  request.onBody = [&answer](const char* data, size_t size) {
    answer.append(data, size);
    return true;
  };
  const HttpResponse response = SyncRequest(request);
  std::string().swap(request.body);
  if (response.error == kHttpErrorTimedOut) {
    refundTimedOutGeneration(r.accessToken, r.voiceChange, result);
  } else if (response.error != 0) {
    result.errorCode = "NETWORK_ERROR";
    result.errorMessage = errorDescription(response);
    QMLogFormat("[SRV] Network error: %s", result.errorMessage.c_str());
  } else {
    readGenerateAnswer(response, answer, r.sampleRate, result);
  }
  return result;
}

// ---- Votes, dismissals, log upload, plug-in events ------------------------------------------------

void QuillomancerServer::SubmitVote(const std::string& renderId, VoteType vote, const std::string& accessToken) {
  if (renderId.empty() || accessToken.empty()) return;
  if (!QMAccessTokenIsSendable(accessToken)) {
    QMLogFormat("[SRV] SubmitVote refused: the access token holds control characters");
    return;
  }
  const auto url = endpointURL("/api/render/vote");
  if (!url) return;
  const char* voteText = vote == kVoteUp ? "up" : "down";
  std::string encodeError;
  const auto body = encodeJSON({{"render_id", renderId}, {"vote", voteText}}, &encodeError);
  if (!body) {
    QMLogFormat("[SRV] SubmitVote JSON encode failed: %s", encodeError.c_str());
    return;
  }
  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().vote);
  request.headers.emplace_back("Content-Type", "application/json");
  addAuthorization(request, accessToken);
  request.headers.emplace_back("X-Plugin-Version", kQuillomancer_PluginVersion);
  request.body = *body;
  qm::platform::httpPerformAsync(std::move(request), nullptr);
  QMLogFormat("[SRV] SubmitVote queued: render=%s vote=%s", renderId.c_str(), voteText);
}

void QuillomancerServer::DismissMessage(const std::string& messageId, const std::string& accessToken) {
  if (messageId.empty() || accessToken.empty()) return;
  if (!QMAccessTokenIsSendable(accessToken)) {
    QMLogFormat("[SRV] DismissMessage refused: the access token holds control characters");
    return;
  }
  const std::string encoded = QMEncodeMessageIdForPath(messageId);
  if (encoded.empty()) {
    QMLogFormat("[SRV] DismissMessage refused: message id holds a dot segment (id=%s)", messageId.c_str());
    return;
  }
  const auto url = endpointURL("/api/messages/" + encoded + "/dismiss");
  if (!url) return;
  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().dismiss);
  addAuthorization(request, accessToken);
  qm::platform::httpPerformAsync(std::move(request), nullptr);
  QMLogFormat("[SRV] DismissMessage queued (id=%s)", messageId.c_str());
}

std::optional<std::string> QuillomancerServer::UploadLogBody(const std::string& log, const std::string& pluginVersion,
                                                             const std::string& macosVersion, const std::string& email,
                                                             const std::string& crashReport) {
  try {
    nlohmann::json object = {{"log", log}, {"plugin_version", pluginVersion}};
    if (!macosVersion.empty()) object["macos_version"] = macosVersion;
    if (!email.empty()) object["email"] = email;
    if (!crashReport.empty()) object["crash_report"] = crashReport;
    // Log files and crash reports may hold stray bytes that are not UTF-8; they are sent as U+FFFD
    // rather than losing the whole upload.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (...) {
    return std::nullopt;
  }
}

QuillomancerServer::UploadLogResult QuillomancerServer::UploadLog(const std::string& log,
                                                                  const std::string& pluginVersion,
                                                                  const std::string& macosVersion,
                                                                  const std::string& email,
                                                                  const std::string& accessToken,
                                                                  const std::string& crashReport) {
  QM_ASSERT_THREAD(worker);
  UploadLogResult result;
  const auto url = checkedEndpointURL("/api/log/upload", accessToken, "UploadLog", &result.message);
  if (!url) return result;
  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().sessionRequest);
  request.headers.emplace_back("Content-Type", "application/json");
  addAuthorization(request, accessToken);
  const std::optional<std::string> body = UploadLogBody(log, pluginVersion, macosVersion, email, crashReport);
  if (!body) {
    result.message = "Failed to serialise JSON";
    return result;
  }
  request.body = *body;
  const HttpResponse response = SyncRequest(request);
  if (response.error != 0) {
    result.message = errorDescription(response);
    QMLogFormat("[SRV] UploadLog error: %s", result.message.c_str());
    return result;
  }
  const auto answer = ParseJSONResponse(response.body);
  if (response.status == 200) {
    result.success = true;
    QMLogFormat("[SRV] UploadLog success");
    return result;
  }
  if (answer) result.message = JSONString(&*answer, "message");
  if (result.message.empty()) result.message = "Upload failed";
  QMLogFormat("[SRV] UploadLog failed (HTTP %ld): %s", response.status, result.message.c_str());
  return result;
}

void QuillomancerServer::SendPluginEventImmediate(const std::string& eventName, const std::string& errorCode,
                                                  const std::string& accessToken, const std::string& renderId,
                                                  bool voiceChange, int32_t takesRequested, int32_t takeIndex) {
  if (eventName.empty()) return;
  if (accessToken.empty()) {
    QMLogFormat("[SRV] SendPluginEventImmediate skipped: no access token for event=%s", eventName.c_str());
    return;
  }
  if (!QMAccessTokenIsSendable(accessToken)) {
    QMLogFormat("[SRV] SendPluginEventImmediate refused: the access token holds control characters (event=%s)",
                eventName.c_str());
    return;
  }
  const auto url = endpointURL("/api/plugin/event");
  if (!url) {
    QMLogFormat("[SRV] SendPluginEventImmediate skipped: invalid server URL");
    return;
  }
  nlohmann::json object = {{"event", eventName},
                           {"plugin_version", kQuillomancer_PluginVersion},
                           {"host", "pro_tools"},
                           {"timestamp_utc", SRVUTCNowISOString()},
                           {"voice_change", voiceChange}};
  if (!errorCode.empty()) object["error_code"] = errorCode;
  if (!renderId.empty()) object["render_id"] = renderId;
  if (takesRequested > 0) object["takes_requested"] = takesRequested;
  if (takeIndex >= 0) object["take_index"] = takeIndex;
  std::string encodeError;
  const auto body = encodeJSON(object, &encodeError);
  if (!body) {
    QMLogFormat("[SRV] SendPluginEventImmediate JSON error for event=%s: %s", eventName.c_str(),
                encodeError.empty() ? "unknown" : encodeError.c_str());
    return;
  }
  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().pluginEvent);
  request.headers.emplace_back("Content-Type", "application/json");
  addAuthorization(request, accessToken);
  request.body = *body;
  qm::platform::httpPerformAsync(std::move(request), [event = eventName](HttpResponse response) {
    // [any-thread] the transport's own thread
    if (response.error != 0) {
      QMLogFormat("[SRV] SendPluginEventImmediate failed for event=%s: %s", event.c_str(),
                  errorDescription(response).c_str());
    } else if (response.status >= 200 && response.status <= 299) {
      QMLogFormat("[SRV] SendPluginEventImmediate success: event=%s status=%ld", event.c_str(), response.status);
    } else {
      const auto answer = ParseJSONResponse(response.body);
      const std::string message = answer ? JSONString(&*answer, "message") : std::string();
      QMLogFormat("[SRV] SendPluginEventImmediate failed: event=%s status=%ld message=%s", event.c_str(),
                  response.status, message.empty() ? "(none)" : message.c_str());
    }
  });
}

// ---- Account status ---------------------------------------------------------------------------------

namespace {

// The plug-in events as they go out: the caller's text when it is a JSON array within the limit,
// else an empty array. The text is sent as given, so the service sees exactly what the queue
// serialised.
std::string verifyEventsText(const std::string& pluginEvents) {
  if (pluginEvents.size() > kQMVerifyMaxEventsBytes) {
    QMLogFormat("[SRV] VerifyAccount: plug-in events over %zu bytes (%zu) sent as []", kQMVerifyMaxEventsBytes,
                pluginEvents.size());
    return "[]";
  }
  const auto parsed = nlohmann::json::parse(pluginEvents, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_array()) {
    QMLogFormat("[SRV] VerifyAccount: plug-in events are not a JSON array, sent as []");
    return "[]";
  }
  return pluginEvents;
}

}  // namespace

QuillomancerServer::VerifyResult QuillomancerServer::VerifyAccount(const std::string& accessToken,
                                                                   const std::string& host,
                                                                   const std::string& pluginEvents) {
  QM_ASSERT_THREAD(worker);
  VerifyResult result;
  if (accessToken.empty()) {
    QMLogFormat("[SRV] VerifyAccount skipped: no access token");
    return result;
  }
  if (!QMAccessTokenIsSendable(accessToken)) {
    QMLogFormat("[SRV] VerifyAccount refused: the access token holds control characters");
    return result;
  }
  const auto url = endpointURL("/api/account/status");
  if (!url) {
    QMLogFormat("[SRV] VerifyAccount skipped: invalid server URL");
    return result;
  }
  const nlohmann::json object = {{"plugin_version", kQuillomancer_PluginVersion},
                                 {"installed_version", kQuillomancer_PluginVersion},
                                 {"host", host.empty() ? std::string("pro_tools") : host},
                                 {"os_version", qm::platform::operatingSystemVersion()}};
  std::string encodeError;
  auto body = encodeJSON(object, &encodeError);
  if (!body) {
    QMLogFormat("[SRV] VerifyAccount JSON encode failed: %s", encodeError.c_str());
    return result;
  }
  const std::string events = verifyEventsText(pluginEvents);
  body->pop_back();  // the closing brace: the events go in last, as they were given
  *body += ",\"plugin_events\":" + events + "}";

  HttpRequest request = makeRequest(*url, QuillomancerServerGetTimeouts().verify);
  request.maxResponseBytes = kQMVerifyMaxBodyBytes;
  request.headers.emplace_back("Content-Type", "application/json");
  addAuthorization(request, accessToken);
  request.headers.emplace_back("X-Plugin-Version", kQuillomancer_PluginVersion);
  request.body = std::move(*body);
  QMLogFormat("[SRV] VerifyAccount request: %s (%zu bytes of events, auth=%s)", url->c_str(), events.size(),
              authForLog(accessToken));

  const HttpResponse response = SyncRequest(request);
  if (response.error != 0) {
    // Only a service that could not be reached is offline; an answer cut short or too large came
    // from a service that is there.
    result.offline = response.error == kHttpErrorTimedOut || (!response.hasResponse() && !response.refused);
    QMLogFormat("[SRV] VerifyAccount error: %s (HTTP %ld, offline=%d)", errorDescription(response).c_str(),
                response.status, result.offline ? 1 : 0);
    return result;
  }
  result = ParseVerifyResponse(response.status, response.body);
  QMLogFormat("[SRV] VerifyAccount: HTTP %ld, valid=%d, credits=%d, messages=%zu, acked_events=%zu", response.status,
              result.valid ? 1 : 0, result.creditBalance, result.messages.size(), result.ackedEventIds.size());
  if (result.droppedMessages > 0) {
    QMLogFormat("[SRV] VerifyAccount: %zu server message(s) left out: no id, or an id over %zu bytes",
                result.droppedMessages, kQMVerifyMaxMessageIdBytes);
  }
  return result;
}
