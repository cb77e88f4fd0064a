#pragma once
// qmservice: a stand-in for the plug-in's web service on cpp-httplib. Embedded by tests and the
// host stand-in (start on 127.0.0.1 port 0, read url(), stop), or run as the qmservice program.
//
// It answers every endpoint the plug-in and the updater call (any other path is answered 404),
// keeps a log of the newest requests it received (multipart fields as cpp-httplib's own parser
// reads them; contents cut to a limit, with their full size and hash), and has fault hooks per
// endpoint: forced status and body, delay, malformed/truncated/aborted/endless bodies, redirects,
// and credit exhaustion. It also serves files registered with setFile() for download tests, and
// speaks HTTPS when given a certificate and key. Over plain HTTP each request must arrive within
// its deadlines (deadline_server.h), else it is answered 408, and its headers and body must keep
// within bounds (431, 413; 503 while the bodies being read at once are at their bound).

#include "qm/service/account.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qm::service {

// Endpoint keys for faults and request queries. Files are keyed by their own path
// ("/files/name") or all together by kFiles.
inline constexpr const char* kHealth = "/health";
inline constexpr const char* kTranscribe = "/api/transcribe";
inline constexpr const char* kGenerate = "/api/generate";
inline constexpr const char* kRefund = "/api/render/timeout";
inline constexpr const char* kVote = "/api/render/vote";
inline constexpr const char* kDismiss = "/api/messages/dismiss";  // every /api/messages/<id>/dismiss
inline constexpr const char* kLogUpload = "/api/log/upload";
inline constexpr const char* kPluginEvent = "/api/plugin/event";
inline constexpr const char* kFiles = "/files";
// Where update requests send the updater's telemetry events.
inline constexpr const char* kUpdaterTelemetry = "/api/updater/telemetry";
inline constexpr const char* kUpdaterEvents = "/v1/updater/events";

enum class BodyFault {
  None,
  Malformed,  // the body is replaced by bytes that are not what the endpoint answers
  Truncated,  // the body is cut short (complete at the HTTP level: Content-Length matches)
  Aborted,    // the full length is announced, part of it sent, then the connection is dropped
  Endless,    // a chunked body that never ends (until the client goes away or the server stops)
};

struct Fault {
  int status = 0;            // forced HTTP status; 0 keeps the endpoint's own answer
  std::string body;          // body sent with the forced status
  std::string contentType = "application/json";
  double delaySeconds = 0;   // wait before answering (interrupted by stop())
  BodyFault bodyFault = BodyFault::None;
  size_t keepBytes = 0;      // Truncated/Aborted: bytes kept (0: half the body)
  std::string redirectTo;    // answer 302 with this Location
  int count = -1;            // requests the fault still applies to (-1: all)
};

// How the generate answer carries its timing trailer.
enum class TrailerMode { Wrapped, Bare, None, Invalid, MissingTakes, Short };

// The request log keeps the newest kRequestLogEntries requests, each body and part content cut to
// kLoggedContentLimit bytes and the parts of one request to kLoggedPartsLimit bytes together, in
// the order they came (their full sizes and SHA-256 are kept), so that uploads do not pile up in
// memory.
inline constexpr size_t kLoggedContentLimit = size_t(64) << 10;
inline constexpr size_t kLoggedPartsLimit = 4 * kLoggedContentLimit;
inline constexpr size_t kRequestLogEntries = 256;

struct RecordedPart {
  std::string name;
  std::string filename;
  std::string contentType;
  std::string content;         // in the log, at most its first kLoggedContentLimit bytes
  size_t contentSize = 0;
  std::string contentSha256;   // lowercase hex
};

struct RecordedRequest {
  std::string method;
  std::string path;    // decoded path
  std::string target;  // as sent, still percent-encoded
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;    // raw bytes, multipart bodies included; in the log, at most the first kLoggedContentLimit
  size_t bodySize = 0;
  std::string bodySha256;  // lowercase hex
  std::vector<RecordedPart> parts;  // parsed multipart fields, in the order they arrived
  bool multipartParsed = false;     // the body was multipart and cpp-httplib accepted it
  bool tooManyParts = false;        // the body was multipart with more parts than are taken apart (64)

  bool hasHeader(const std::string& name) const;
  std::string header(const std::string& name) const;  // case-insensitive, "" when absent
  const RecordedPart* part(const std::string& name) const;
};

// How fast a request must arrive over plain HTTP; one that falls behind is answered 408 and its
// connection closed.
struct RequestDeadlines {
  double headerSeconds = 5.0;         // from a request's first byte to the end of its headers
  double bodyGraceSeconds = 5.0;      // the body's allowance before the floor rate applies
  double bodyBytesPerSecond = 16384;  // the floor rate of a body
  // The longest silence within a request (over HTTPS too, where it is cpp-httplib's read time-out
  // and nothing is answered), and how long an answer may wait to be sent on.
  double idleSeconds = 5.0;
};

// How many connections are served at once over plain HTTP or HTTPS: each on a thread of its own,
// at most `threads` at once; at most `waiting` more wait for a thread, and any beyond are answered
// 503 (closed, over HTTPS) at once. A thread idle for `idleThreadSeconds` ends.
struct ConnectionLimits {
  size_t threads = 512;
  size_t waiting = 64;
  double idleThreadSeconds = 10;
};

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: an ephemeral port
  std::string certFile;  // both set: HTTPS
  std::string keyFile;
  int credits = 100;
  std::string transcriptText = "this is the line as spoken";
  bool requireAuth = false;  // transcribe/generate answer 401 without "Authorization: Bearer ..."
  bool quiet = true;         // false: one line per request on stderr
  AccountSettings account;   // what the account-status exchange answers (account.h)
  RequestDeadlines deadlines;  // start() refuses a rate or a time that is not finite and above 0
  ConnectionLimits connections;
};

class Service {
 public:
  explicit Service(Options options = {});
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds and starts serving on a background thread. False when it cannot bind, the
  // certificate cannot be loaded, or the deadlines or connection limits are out of range.
  bool start();
  void stop();
  int port() const { return port_; }
  std::string url() const;  // "http://127.0.0.1:port" (https when TLS)

  // Faults (keyed by endpoint, see above).
  void setFault(const std::string& endpoint, Fault fault);
  void clearFault(const std::string& endpoint);
  void clearFaults();

  // Credits: each generated take costs one credit.
  void setCredits(int credits);
  int credits() const;

  // Transcribe: the text laid over the audio's speech, or a fixed answer body when set.
  void setTranscriptText(std::string text);
  void setTranscribeAnswer(std::optional<std::string> body);

  // Generate: the rate of the takes in the container (0: the uploaded rate) and the trailer.
  void setContainerSampleRate(uint32_t rate);
  void setTrailerMode(TrailerMode mode);

  // Files for download tests, served at "/files/<name>".
  void setFile(const std::string& name, std::string content,
               std::string contentType = "application/octet-stream");

  // The request log.
  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requests(const std::string& endpoint) const;
  std::optional<RecordedRequest> lastRequest(const std::string& endpoint) const;
  size_t requestCount(const std::string& endpoint) const;
  void clearRequests();
  // Waits until `count` requests of the endpoint have arrived (fire-and-forget requests).
  bool waitForRequests(const std::string& endpoint, size_t count, std::chrono::milliseconds limit) const;

  // Refunds made so far (credits given back).
  int refundedCredits() const;

  // The account-status exchange (kAccountStatus): what it answers, and every plug-in event it has
  // received so far as one compact JSON array (oldest first; bounded, see account.h). The fault
  // hooks apply as elsewhere.
  void setAccount(AccountSettings account);
  AccountSettings account() const;
  std::string receivedPluginEvents() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// [any-thread] Builds what cpp-httplib makes on its first use (a few function-local statics of the
// library's own) once, so that no two of its server threads build them at once. Every server of
// the library in this process, the service's and a test's own, is started after it.
void warmHttpLibrary();

// The endpoint key of a request path (see the constants above).
std::string endpointKeyForPath(const std::string& path);

}  // namespace qm::service
