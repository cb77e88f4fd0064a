#include "qm/service/service.h"

#include "qm/service/audio.h"
#include "qm/platform/sha256.h"

#include "account_desk.h"
#include "deadline_server.h"
#include "json_body.h"
#include "multipart_reader.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>

namespace qm::service {

namespace {

using nlohmann::json;

// The pre-routing step renames a multipart Content-Type so that cpp-httplib hands the handler
// the raw body; the original travels in this header.
constexpr const char* kSavedContentType = "X-Qmservice-Multipart-Content-Type";

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

struct Answer {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
};

Answer jsonAnswer(int status, const json& body) {
  Answer a;
  a.status = status;
  a.body = body.dump();
  return a;
}

Answer errorAnswer(int status, const std::string& code, const std::string& message) {
  return jsonAnswer(status, {{"error", code}, {"message", message}});
}

Answer tooManyValues() { return errorAnswer(413, "PAYLOAD_TOO_LARGE", kTooManyValues); }

// Bytes that no endpoint answers with: not JSON, not a takes container, long enough to pass
// size checks.
const std::string kMalformedBody = "<<qmservice malformed answer>> {\"error\": [" + std::string(40, 'x');

enum class ChargeState { InFlight, Delivered, Failed, Refunded };

struct Charge {
  std::string renderId;
  std::string token;
  int credits = 0;
  ChargeState state = ChargeState::InFlight;
};

std::string bearerToken(const RecordedRequest& r) {
  const std::string auth = r.header("Authorization");
  if (auth.rfind("Bearer ", 0) != 0) return {};
  return auth.substr(7);
}

std::string partText(const RecordedRequest& r, const std::string& name) {
  const RecordedPart* p = r.part(name);
  return p ? p->content : std::string();
}

bool validDeadlines(const RequestDeadlines& d) {
  return std::isfinite(d.headerSeconds) && d.headerSeconds > 0 && std::isfinite(d.bodyGraceSeconds) &&
         d.bodyGraceSeconds >= 0 && std::isfinite(d.bodyBytesPerSecond) && d.bodyBytesPerSecond > 0 &&
         std::isfinite(d.idleSeconds) && d.idleSeconds >= 0.001 && d.idleSeconds <= 86400;
}

bool validConnections(const ConnectionLimits& c) {
  return c.threads > 0 && std::isfinite(c.idleThreadSeconds) && c.idleThreadSeconds > 0;
}

// Refuses the TLS handshake of a connection that got no thread (see ConnectionThreads): its
// socket is shut before the first byte is read, so cpp-httplib closes it at once.
void refuseHandshake(const SSL* ssl, int where, int) {
  if ((where & SSL_CB_HANDSHAKE_START) != 0 && ConnectionThreads::refusing()) ::shutdown(SSL_get_fd(ssl), SHUT_RDWR);
}

// Waits until the server's accept loop runs, so that a stop() right after start() reaches it.
void waitUntilRunning(const httplib::Server& server) {
  for (int i = 0; i < 5000 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

bool RecordedRequest::hasHeader(const std::string& name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& h) { return equalsIgnoringCase(h.first, name); });
}

std::string RecordedRequest::header(const std::string& name) const {
  for (const auto& h : headers)
    if (equalsIgnoringCase(h.first, name)) return h.second;
  return {};
}

const RecordedPart* RecordedRequest::part(const std::string& name) const {
  for (const auto& p : parts)
    if (p.name == name) return &p;
  return nullptr;
}

std::string endpointKeyForPath(const std::string& path) {
  if (path.rfind("/api/messages/", 0) == 0 && path.size() > 22 &&
      path.compare(path.size() - 8, 8, "/dismiss") == 0)
    return kDismiss;
  if (path.rfind("/files/", 0) == 0) return kFiles;
  return path;
}

struct Service::Impl {
  Options options;
  std::unique_ptr<httplib::Server> server;
  std::thread serverThread;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::atomic<bool> stopping{false};

  std::map<std::string, Fault> faults;
  int credits = 100;
  int allowance = 100;
  std::string transcriptText;
  std::optional<std::string> transcribeAnswer;
  uint32_t containerRate = 0;
  TrailerMode trailerMode = TrailerMode::Wrapped;
  std::map<std::string, std::pair<std::string, std::string>> files;  // name -> content, type
  std::deque<RecordedRequest> log;  // the newest kRequestLogEntries requests
  std::vector<Charge> charges;
  int renderCounter = 0;
  int generationsBeingCharged = 0;
  int logCounter = 0;
  int refunded = 0;
  AccountDesk account;  // its own lock

  // Waits up to `seconds`; returns early when the server stops.
  void pause(double seconds) {
    if (seconds <= 0) return;
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return stopping.load(); });
  }

  std::optional<Fault> takeFault(const std::string& path) {
    std::lock_guard lock(mutex);
    for (const std::string& key : {path, endpointKeyForPath(path)}) {
      auto it = faults.find(key);
      if (it == faults.end()) continue;
      Fault f = it->second;
      if (it->second.count > 0 && --it->second.count == 0) faults.erase(it);
      return f;
    }
    return std::nullopt;
  }

  // The request for its handler (part contents whole, the raw body only when it is not multipart),
  // and into the log with every content cut to kLoggedContentLimit (parts: kLoggedPartsLimit together).
  RecordedRequest record(const httplib::Request& req) {
    RecordedRequest r;
    r.method = req.method;
    r.path = req.path;
    r.target = req.target;
    const std::string saved = req.get_header_value(kSavedContentType);
    for (const auto& [name, value] : req.headers) {
      if (equalsIgnoringCase(name, kSavedContentType)) continue;
      if (!saved.empty() && equalsIgnoringCase(name, "Content-Type"))
        r.headers.emplace_back(name, saved);
      else
        r.headers.emplace_back(name, value);
    }
    // The request is the server's own (non-const, as in the pre-routing step): its raw body is
    // taken over here rather than kept until the answer has been sent.
    std::string raw;
    raw.swap(const_cast<httplib::Request&>(req).body);
    r.bodySize = raw.size();
    r.bodySha256 = qm::platform::sha256Hex(raw);
    if (!saved.empty()) {
      const Multipart read = readMultipart(raw, saved, r.parts);
      r.multipartParsed = read == Multipart::Read;
      r.tooManyParts = read == Multipart::TooManyParts;
    }
    for (auto& p : r.parts) {
      p.contentSize = p.content.size();
      p.contentSha256 = qm::platform::sha256Hex(p.content);
    }
    if (!options.quiet)
      std::fprintf(stderr, "qmservice: %s %s (%zu bytes)\n", r.method.c_str(), r.target.c_str(), r.bodySize);
    RecordedRequest logged;
    logged.method = r.method;
    logged.path = r.path;
    logged.target = r.target;
    logged.headers = r.headers;
    logged.body = raw.substr(0, kLoggedContentLimit);
    logged.bodySize = r.bodySize;
    logged.bodySha256 = r.bodySha256;
    logged.multipartParsed = r.multipartParsed;
    logged.tooManyParts = r.tooManyParts;
    size_t partsLeft = kLoggedPartsLimit;
    for (const auto& p : r.parts) {
      const size_t kept = std::min({p.content.size(), kLoggedContentLimit, partsLeft});
      partsLeft -= kept;
      logged.parts.push_back({p.name, p.filename, p.contentType, p.content.substr(0, kept), p.contentSize,
                              p.contentSha256});
    }
    if (saved.empty()) r.body = std::move(raw);
    {
      std::lock_guard lock(mutex);
      log.push_back(std::move(logged));
      while (log.size() > kRequestLogEntries) log.pop_front();
    }
    changed.notify_all();
    return r;
  }

  void send(Answer answer, const std::optional<Fault>& fault, httplib::Response& res,
            std::function<void(bool)> delivered = {}) {
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) res.set_header(name, value);
    const BodyFault mode = fault ? fault->bodyFault : BodyFault::None;
    std::string body = std::move(answer.body);
    auto keep = [&](const std::string& b) {
      return fault && fault->keepBytes > 0 ? std::min(fault->keepBytes, b.size()) : b.size() / 2;
    };
    switch (mode) {
      case BodyFault::None:
        if (delivered) {
          auto shared = std::make_shared<std::string>(std::move(body));
          res.set_content_provider(
              shared->size(), answer.contentType,
              [shared](size_t offset, size_t length, httplib::DataSink& sink) {
                return sink.write(shared->data() + offset, length);
              },
              [delivered](bool success) { delivered(success); });
        } else {
          res.set_content(body, answer.contentType.c_str());
        }
        return;
      case BodyFault::Malformed:
        res.set_content(kMalformedBody, answer.contentType.c_str());
        if (delivered) delivered(true);
        return;
      case BodyFault::Truncated:
        res.set_content(body.substr(0, keep(body)), answer.contentType.c_str());
        if (delivered) delivered(true);
        return;
      case BodyFault::Aborted: {
        auto shared = std::make_shared<std::string>(body.substr(0, keep(body)));
        res.set_content_provider(body.size(), answer.contentType,
                                 [shared](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset < shared->size())
                                     return sink.write(shared->data() + offset, shared->size() - offset);
                                   return false;  // drops the connection short of the announced length
                                 });
        if (delivered) delivered(false);
        return;
      }
      case BodyFault::Endless: {
        auto chunk = std::make_shared<std::string>(body.empty() ? std::string(1, '\0') : body);
        while (chunk->size() < 65536) chunk->append(*chunk);
        res.set_chunked_content_provider(answer.contentType, [this, chunk](size_t, httplib::DataSink& sink) {
          if (stopping.load()) return false;
          return sink.write(chunk->data(), chunk->size());
        });
        if (delivered) delivered(false);
        return;
      }
    }
  }

  // Common frame of every endpoint: log the request, apply the fault, answer.
  void handle(const httplib::Request& req, httplib::Response& res, const std::function<Answer(const RecordedRequest&)>& work) {
    const RecordedRequest r = record(req);
    const auto fault = takeFault(r.path);
    if (fault) pause(fault->delaySeconds);
    if (isForced(fault)) {
      sendForced(*fault, res);
      return;
    }
    send(work(r), fault, res);
  }

  // A fault with a redirect or a status answers in the endpoint's place.
  static bool isForced(const std::optional<Fault>& fault) {
    return fault && (fault->status != 0 || !fault->redirectTo.empty());
  }

  void sendForced(const Fault& fault, httplib::Response& res) {
    if (!fault.redirectTo.empty()) {
      res.set_redirect(fault.redirectTo);
      return;
    }
    Answer forced;
    forced.status = fault.status;
    forced.body = fault.body;
    forced.contentType = fault.contentType;
    send(std::move(forced), fault, res);
  }

  // ---- Endpoints ----

  Answer health(const RecordedRequest&) {
    return jsonAnswer(200, {{"status", "healthy"}, {"generation", true}, {"service", "qmservice"}});
  }

  std::optional<Answer> authorise(const RecordedRequest& r, bool required) {
    if (required && bearerToken(r).empty())
      return errorAnswer(401, "UNAUTHORIZED", "Sign in to use this service.");
    return std::nullopt;
  }

  // An upload of more parts than are taken apart is refused as such, not as one missing its audio.
  static std::optional<Answer> refuseTooManyParts(const RecordedRequest& r) {
    if (!r.tooManyParts) return std::nullopt;
    return errorAnswer(400, "TOO_MANY_PARTS", "The upload has more than " + std::to_string(kMostParts) + " parts.");
  }

  Answer transcribe(const RecordedRequest& r) {
    if (auto refused = authorise(r, options.requireAuth)) return *refused;
    if (auto refused = refuseTooManyParts(r)) return *refused;
    const RecordedPart* audio = r.part("audio");
    if (audio == nullptr) return errorAnswer(400, "MISSING_AUDIO", "No audio was uploaded.");
    const auto wav = readWav(audio->content);
    if (!wav) return errorAnswer(400, "INVALID_AUDIO", "The audio is not a 16-bit PCM WAV file.");
    std::string fixed;
    std::string text;
    {
      std::lock_guard lock(mutex);
      if (transcribeAnswer) fixed = *transcribeAnswer;
      text = transcriptText;
    }
    if (!fixed.empty()) {
      Answer a;
      a.body = fixed;
      return a;
    }
    json answer = timedTranscriptFor(text, wav->samples, wav->sampleRate);
    answer["timing_available"] = !answer["words"].empty();
    const std::string language = partText(r, "language");
    answer["language"] = language.empty() ? "en" : language;
    answer["duration"] = static_cast<double>(wav->samples.size()) / wav->sampleRate;
    return jsonAnswer(200, answer);
  }

  void generate(const httplib::Request& req, httplib::Response& res) {
    // Counted from the start so that a refund racing this request waits for its charge.
    {
      std::lock_guard lock(mutex);
      ++generationsBeingCharged;
    }
    bool counted = true;
    auto charged = [&] {
      if (!counted) return;
      counted = false;
      {
        std::lock_guard lock(mutex);
        --generationsBeingCharged;
      }
      changed.notify_all();
    };
    struct Guard {
      std::function<void()> done;
      ~Guard() { done(); }
    } guard{charged};
    RecordedRequest r = record(req);
    auto fault = takeFault(r.path);
    if (isForced(fault)) {
      charged();  // nothing is charged for a forced answer
      pause(fault->delaySeconds);
      sendForced(*fault, res);
      return;
    }
    std::string renderId;
    std::shared_ptr<TakesStream> takes;
    Answer answer = generateAnswer(r, renderId, takes);
    charged();
    // The credits are taken before any delay, as a slow generation would have them taken.
    if (fault) pause(fault->delaySeconds);
    if (renderId.empty()) {
      send(std::move(answer), fault, res);
      return;
    }
    auto delivered = [this, renderId](bool success) {
      std::lock_guard lock(mutex);
      for (auto& c : charges)
        if (c.renderId == renderId && c.state == ChargeState::InFlight)
          c.state = success ? ChargeState::Delivered : ChargeState::Failed;
    };
    if (fault && fault->bodyFault != BodyFault::None) {
      answer.body = takes->all();  // the faults cut or spoil a body held whole
      send(std::move(answer), fault, res, delivered);
      return;
    }
    // The container is made as it is sent, a take at a time.
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) res.set_header(name, value);
    res.set_content_provider(
        takes->size(), answer.contentType,
        [takes](size_t offset, size_t length, httplib::DataSink& sink) {
          std::string piece(std::min<size_t>(length, 1 << 18), '\0');
          takes->read(offset, piece.size(), piece.data());
          return sink.write(piece.data(), piece.size());
        },
        [delivered](bool success) { delivered(success); });
  }

  // A generation: an error answer, or the answer's headers with its takes in `takes` (and the
  // render id set). The uploaded audio is let go once it is read.
  Answer generateAnswer(RecordedRequest& r, std::string& renderId, std::shared_ptr<TakesStream>& takesOut) {
    if (auto refused = authorise(r, options.requireAuth)) return *refused;
    if (auto refused = refuseTooManyParts(r)) return *refused;
    const bool voiceChange = r.part("voice_audio") != nullptr || partText(r, "mode") == "voice_change";
    const RecordedPart* source = voiceChange ? r.part("performance_audio") : r.part("audio");
    if (source == nullptr)
      return errorAnswer(400, "MISSING_AUDIO", voiceChange ? "Voice Change needs a voice and a performance clip."
                                                           : "No audio was uploaded.");
    auto wav = readWav(source->content);
    if (!wav) return errorAnswer(400, "INVALID_AUDIO", "The audio is not a 16-bit PCM WAV file.");
    if (wav->samples.empty()) return errorAnswer(400, "EMPTY_AUDIO", "Received empty audio.");
    if (voiceChange) {
      const RecordedPart* voice = r.part("voice_audio");
      if (voice == nullptr || !readWav(voice->content))
        return errorAnswer(400, "INVALID_AUDIO", "The voice clip is not a 16-bit PCM WAV file.");
    }
    std::string text = partText(r, "text");
    if (!voiceChange && text.empty()) return errorAnswer(400, "TEXT_REQUIRED", "Text to generate is required.");
    int takes = 1;
    try {
      takes = std::stoi(partText(r, "takes"));
    } catch (...) {
      takes = 1;
    }
    takes = std::clamp(takes, 1, 5);
    const bool breath = partText(r, "breath") == "true";
    for (auto& p : r.parts)
      if (p.content.size() > kLoggedContentLimit) std::string().swap(p.content);

    int remaining = 0;
    int allowanceNow = 0;
    uint32_t rate = 0;
    TrailerMode mode;
    {
      std::lock_guard lock(mutex);
      if (credits < takes) {
        json body = {{"error", "INSUFFICIENT_CREDITS"},
                     {"message", "Not enough credits: this generation needs " + std::to_string(takes) +
                                     " and the balance is " + std::to_string(std::max(credits, 0)) + "."},
                     {"credit_balance", std::max(credits, 0)}};
        return jsonAnswer(402, body);
      }
      credits -= takes;
      remaining = credits;
      allowanceNow = allowance;
      char id[32];
      std::snprintf(id, sizeof id, "rnd-%06d", ++renderCounter);
      renderId = id;
      charges.push_back({renderId, bearerToken(r), takes, ChargeState::InFlight});
      rate = containerRate != 0 ? containerRate : wav->sampleRate;
      mode = trailerMode;
      if (voiceChange) text = transcriptText;
    }

    // Each take is the uploaded line at its own level, so takes differ and stay recognisable.
    auto line = std::make_shared<const std::vector<int16_t>>(std::move(wav->samples));
    const uint32_t lineRate = wav->sampleRate;
    auto makeTake = [line, lineRate, rate, breath](size_t i) {
      const double gain = 1.0 - 0.15 * double(i);
      std::vector<int16_t> take;
      take.reserve(line->size() + (breath ? lineRate / 4 : 0));  // sized once: a take is megabytes
      take.resize(line->size());
      for (size_t s = 0; s < take.size(); ++s) take[s] = static_cast<int16_t>(std::lround((*line)[s] * gain));
      if (breath) take.resize(take.size() + lineRate / 4, 0);
      if (rate != lineRate) take = changeRate(take, lineRate, rate);
      return take;
    };
    TakesContainer container;
    container.sampleRate = rate;
    container.creditsRemaining = static_cast<uint32_t>(remaining);
    container.creditsAllowance = static_cast<uint32_t>(allowanceNow);
    std::vector<size_t> lengths;
    json timings = json::array();
    for (int i = 0; i < takes; ++i) {
      const std::vector<int16_t> take = makeTake(size_t(i));
      json transcript = timedTranscriptFor(text, take, rate);
      transcript["timing_available"] = !transcript["words"].empty();
      if (mode == TrailerMode::Wrapped)
        timings.push_back({{"take", i}, {"transcript", transcript}});
      else
        timings.push_back(transcript);
      lengths.push_back(take.size());
    }
    switch (mode) {
      case TrailerMode::Wrapped:
      case TrailerMode::Bare:
        container.trailer = json{{"takes", timings}}.dump();
        break;
      case TrailerMode::Short:
        timings.erase(timings.begin() + 1, timings.end());
        container.trailer = json{{"takes", timings}}.dump();
        break;
      case TrailerMode::MissingTakes:
        container.trailer = json{{"timings", timings}}.dump();
        break;
      case TrailerMode::Invalid:
        container.trailer = "{\"takes\": [";
        break;
      case TrailerMode::None:
        break;
    }
    takesOut = std::make_shared<TakesStream>(container, std::move(lengths), makeTake);
    Answer a;
    a.contentType = "application/octet-stream";
    a.headers.emplace_back("X-Render-Id", renderId);
    return a;
  }

  Answer refund(const RecordedRequest& r) {
    const std::string token = bearerToken(r);
    if (token.empty()) return jsonAnswer(401, {{"ok", false}, {"error", "UNAUTHORIZED"}, {"message", "Sign in to use this service."}});
    const JsonBody read = readJsonBody(r.body);
    const std::optional<json>& body = read.value;
    if (read.tooLarge)
      return jsonAnswer(413, {{"ok", false}, {"error", "PAYLOAD_TOO_LARGE"}, {"message", kTooManyValues}});
    if (!body || !body->is_object() || !body->contains("elapsed_ms") || !(*body)["elapsed_ms"].is_number())
      return jsonAnswer(400, {{"ok", false}, {"error", "BAD_REQUEST"}, {"message", "elapsed_ms is required."}});
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(2), [&] { return generationsBeingCharged == 0 || stopping.load(); });
    int count = 0;
    int given = 0;
    for (auto& c : charges) {
      if (c.token != token || (c.state != ChargeState::InFlight && c.state != ChargeState::Failed)) continue;
      c.state = ChargeState::Refunded;
      credits += c.credits;
      given += c.credits;
      ++count;
    }
    refunded += given;
    return jsonAnswer(200, {{"ok", true}, {"credit_balance", credits}, {"refunded_count", count}, {"refunded_credits", given}});
  }

  Answer vote(const RecordedRequest& r) {
    if (auto refused = authorise(r, true)) return *refused;
    const JsonBody read = readJsonBody(r.body);
    const std::optional<json>& body = read.value;
    if (read.tooLarge) return tooManyValues();
    if (!body || !body->is_object() || !body->contains("render_id") || !(*body)["render_id"].is_string() ||
        !body->contains("vote") || !((*body)["vote"] == "up" || (*body)["vote"] == "down"))
      return errorAnswer(400, "BAD_REQUEST", "render_id and vote (up or down) are required.");
    return jsonAnswer(200, {{"ok", true}});
  }

  Answer dismiss(const RecordedRequest& r) {
    if (auto refused = authorise(r, true)) return *refused;
    const std::string prefix = "/api/messages/";
    const std::string id = r.path.substr(prefix.size(), r.path.size() - prefix.size() - 8);
    account.dismiss(bearerToken(r), id);
    return jsonAnswer(200, {{"ok", true}, {"id", id}});
  }

  Answer logUpload(const RecordedRequest& r) {
    const JsonBody read = readJsonBody(r.body);
    const std::optional<json>& body = read.value;
    if (read.tooLarge) return tooManyValues();
    if (!body || !body->is_object() || !body->contains("log") || !(*body)["log"].is_string())
      return errorAnswer(400, "BAD_REQUEST", "The log is missing.");
    std::lock_guard lock(mutex);
    return jsonAnswer(200, {{"ok", true}, {"id", "log-" + std::to_string(++logCounter)}});
  }

  Answer pluginEvent(const RecordedRequest& r) {
    if (auto refused = authorise(r, true)) return *refused;
    const JsonBody read = readJsonBody(r.body);
    const std::optional<json>& body = read.value;
    if (read.tooLarge) return tooManyValues();
    if (!body || !body->is_object() || !body->contains("event") || !(*body)["event"].is_string())
      return errorAnswer(400, "BAD_REQUEST", "event is required.");
    return jsonAnswer(200, {{"ok", true}});
  }

  Answer accountStatus(const RecordedRequest& r) {
    int balance = 0;
    {
      std::lock_guard lock(mutex);
      balance = std::max(credits, 0);
    }
    const AccountDesk::Reply reply = account.answer(bearerToken(r), r.body, balance);
    Answer a;
    a.status = reply.status;
    a.body = reply.body;
    return a;
  }

  Answer file(const RecordedRequest& r) {
    std::lock_guard lock(mutex);
    const auto it = files.find(r.path.substr(7));
    if (it == files.end()) {
      Answer a;
      a.status = 404;
      a.body = "Not Found";
      a.contentType = "text/plain";
      return a;
    }
    Answer a;
    a.body = it->second.first;
    a.contentType = it->second.second;
    return a;
  }

  void routes() {
    auto& s = *server;
    s.set_payload_max_length(kMostBodyBytes);
    // Idle keep-alive connections hold a worker; keep that short so stop() returns quickly.
    s.set_keep_alive_timeout(1);
    const auto idle = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::duration<double>(options.deadlines.idleSeconds));
    s.set_read_timeout(idle.count() / 1000000, idle.count() % 1000000);
    s.set_write_timeout(idle.count() / 1000000, idle.count() % 1000000);
    auto* plain = dynamic_cast<DeadlineServer*>(server.get());
    if (plain != nullptr) {
      // A client that waits for "100 Continue" is refused before it sends its body.
      s.set_expect_100_continue_handler([plain](const httplib::Request& req, httplib::Response& res) {
        return plain->admit(req, res) ? 100 : res.status;
      });
    }
    s.set_pre_routing_handler([plain](const httplib::Request& req, httplib::Response& res) {
      // The request object is the server's own (non-const); only its Content-Type is renamed.
      auto& mutableRequest = const_cast<httplib::Request&>(req);
      if (plain != nullptr && !plain->admit(req, res)) return httplib::Server::HandlerResponse::Handled;
      const std::string type = req.get_header_value("Content-Type");
      if (type.rfind("multipart/form-data", 0) == 0) {
        mutableRequest.headers.erase("Content-Type");
        mutableRequest.set_header("Content-Type", "application/octet-stream");
        mutableRequest.set_header(kSavedContentType, type);
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
    auto bind = [this](Answer (Impl::*fn)(const RecordedRequest&)) {
      return [this, fn](const httplib::Request& req, httplib::Response& res) {
        handle(req, res, [this, fn](const RecordedRequest& r) { return (this->*fn)(r); });
      };
    };
    s.Get(kHealth, bind(&Impl::health));
    s.Post(kTranscribe, bind(&Impl::transcribe));
    s.Post(kGenerate, [this](const httplib::Request& req, httplib::Response& res) { generate(req, res); });
    s.Post(kRefund, bind(&Impl::refund));
    s.Post(kVote, bind(&Impl::vote));
    s.Post(R"(/api/messages/(.+)/dismiss)", bind(&Impl::dismiss));
    s.Post(kLogUpload, bind(&Impl::logUpload));
    s.Post(kPluginEvent, bind(&Impl::pluginEvent));
    s.Post(kAccountStatus, bind(&Impl::accountStatus));
    s.Get(R"(/files/(.+))", bind(&Impl::file));
    // The updater's telemetry events are logged and accepted; any other path is not found.
    for (const char* path : {kUpdaterTelemetry, kUpdaterEvents}) {
      s.Post(path, [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res, [](const RecordedRequest&) { return jsonAnswer(200, {{"ok", true}}); });
      });
    }
  }
};

Service::Service(Options options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->credits = impl_->options.credits;
  impl_->allowance = impl_->options.credits;
  impl_->transcriptText = impl_->options.transcriptText;
  impl_->account.configure(impl_->options.account);
}

Service::~Service() { stop(); }

bool Service::start() {
  if (impl_->server) return true;
  Impl& d = *impl_;
  if (!validDeadlines(d.options.deadlines) || !validConnections(d.options.connections)) return false;
  d.stopping = false;
  warmHttpLibrary();
  if (!d.options.certFile.empty() || !d.options.keyFile.empty()) {
    auto tls = std::make_unique<httplib::SSLServer>(d.options.certFile.c_str(), d.options.keyFile.c_str());
    if (!tls->is_valid()) {
      stop();
      return false;
    }
    SSL_CTX_set_info_callback(tls->ssl_context(), refuseHandshake);
    d.server = std::move(tls);
  } else {
    d.server = std::make_unique<DeadlineServer>(d.options.deadlines);
  }
  d.routes();
  // A connection holds a thread while its request arrives; uploads that stall must not leave
  // /health (or anything else) waiting for one.
  const ConnectionLimits limits = d.options.connections;
  d.server->new_task_queue = [limits] {
    return new ConnectionThreads(limits.threads, limits.waiting, limits.idleThreadSeconds);
  };
  if (d.options.port == 0) {
    port_ = d.server->bind_to_any_port(d.options.host);
  } else {
    port_ = d.server->bind_to_port(d.options.host, d.options.port) ? d.options.port : -1;
  }
  if (port_ <= 0) {
    port_ = 0;
    stop();
    return false;
  }
  if (auto* plain = dynamic_cast<DeadlineServer*>(d.server.get())) plain->widenBacklog(int(std::min<size_t>(limits.threads + limits.waiting, 4096)));
  d.serverThread = std::thread([&d] { d.server->listen_after_bind(); });
  waitUntilRunning(*d.server);
  return true;
}

void Service::stop() {
  Impl& d = *impl_;
  {
    std::lock_guard lock(d.mutex);
    d.stopping = true;
  }
  d.changed.notify_all();
  if (d.server) {
    d.server->stop();
    if (d.serverThread.joinable()) d.serverThread.join();
    d.server.reset();
  }
}

std::string Service::url() const {
  const bool tls = !impl_->options.certFile.empty();
  std::string host = impl_->options.host;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port_);
}

void Service::setFault(const std::string& endpoint, Fault fault) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults[endpoint] = std::move(fault);
}

void Service::clearFault(const std::string& endpoint) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.erase(endpoint);
}

void Service::clearFaults() {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.clear();
}

void Service::setCredits(int credits) {
  std::lock_guard lock(impl_->mutex);
  impl_->credits = credits;
  impl_->allowance = credits;
}

int Service::credits() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->credits;
}

void Service::setTranscriptText(std::string text) {
  std::lock_guard lock(impl_->mutex);
  impl_->transcriptText = std::move(text);
}

void Service::setTranscribeAnswer(std::optional<std::string> body) {
  std::lock_guard lock(impl_->mutex);
  impl_->transcribeAnswer = std::move(body);
}

void Service::setContainerSampleRate(uint32_t rate) {
  std::lock_guard lock(impl_->mutex);
  impl_->containerRate = rate;
}

void Service::setTrailerMode(TrailerMode mode) {
  std::lock_guard lock(impl_->mutex);
  impl_->trailerMode = mode;
}

void Service::setFile(const std::string& name, std::string content, std::string contentType) {
  std::lock_guard lock(impl_->mutex);
  impl_->files[name] = {std::move(content), std::move(contentType)};
}

std::vector<RecordedRequest> Service::requests() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

std::vector<RecordedRequest> Service::requests(const std::string& endpoint) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<RecordedRequest> out;
  for (const auto& r : impl_->log)
    if (r.path == endpoint || endpointKeyForPath(r.path) == endpoint) out.push_back(r);
  return out;
}

std::optional<RecordedRequest> Service::lastRequest(const std::string& endpoint) const {
  auto all = requests(endpoint);
  if (all.empty()) return std::nullopt;
  return all.back();
}

size_t Service::requestCount(const std::string& endpoint) const { return requests(endpoint).size(); }

void Service::clearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

bool Service::waitForRequests(const std::string& endpoint, size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, limit, [&] {
    size_t n = 0;
    for (const auto& r : impl_->log)
      if (r.path == endpoint || endpointKeyForPath(r.path) == endpoint) ++n;
    return n >= count;
  });
}

int Service::refundedCredits() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->refunded;
}

void Service::setAccount(AccountSettings account) { impl_->account.configure(std::move(account)); }

AccountSettings Service::account() const { return impl_->account.settings(); }

std::string Service::receivedPluginEvents() const { return impl_->account.receivedEvents(); }

}  // namespace qm::service
