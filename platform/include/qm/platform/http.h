#pragma once
// HTTP transport over libcurl: one easy handle per request, no signals, every request bounded
// by an idle time-out (no bytes moving) and a total cap, so no wait can hang.
// Only https is spoken, except plain http to loopback addresses (tests and local stand-ins).

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qm::platform {

// Transport error codes, as the callers tell them apart.
inline constexpr int kHttpErrorTimedOut = -1001;  // idle or total time-out
inline constexpr int kHttpErrorOther = -1;        // anything else (no connection, TLS, refused URL, ...)

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;  // sent in this order
  std::string body;                                          // sent as is when not empty

  // Longest wait with no bytes moving either way (also bounds the connection set-up); checked
  // several times a second while bytes move and about once a second while idle.
  double idleTimeoutSeconds = 30.0;
  // Cap on the whole exchange, redirects included, to the millisecond; always applied
  // (0 or less means 60).
  double totalTimeoutSeconds = 60.0;

  bool followRedirects = false;
  long maxRedirects = 5;

  // The answer body may not grow past this; a larger one ends the request with kHttpErrorOther
  // and `tooLarge` set.
  std::uint64_t maxResponseBytes = 64ull << 20;

  // Header names or values holding CR, LF or NUL refuse the request before anything is sent
  // (`refused` set). "Authorization" and "Cookie" are not carried to another origin on redirects.

  // Certificate authority bundle for https (empty: the system's).
  std::string caFile;

  // When set, body bytes are handed here as they arrive instead of being collected in
  // HttpResponse::body; returning false aborts the request (kHttpErrorOther, `aborted` set).
  std::function<bool(const char* data, size_t size)> onBody;

  // When set, asked on every progress report of the transfer, whether bytes move or not (several
  // times a second while they move, about once a second while the connection is set up or
  // stalls); returning false aborts the request at once (kHttpErrorOther, `aborted` set).
  std::function<bool()> keepGoing;

  // When set, asked for every URL the request would go to (the first one, each redirect target
  // and the final address); returning false refuses it (kHttpErrorOther, `refused` set).
  std::function<bool(const std::string& url)> allowUrl;
};

struct HttpResponse {
  int error = 0;         // 0, kHttpErrorTimedOut or kHttpErrorOther
  std::string errorText; // what went wrong, for logs
  bool tooLarge = false;
  bool aborted = false;
  bool refused = false;

  long status = 0;       // HTTP status when an answer arrived (kept when the body then failed), else 0
  std::vector<std::pair<std::string, std::string>> headers;  // as received, in order
  std::string body;      // empty when onBody was set
  std::string effectiveUrl;

  bool hasResponse() const { return status != 0; }
  // First header whose name matches, ignoring case; "" when absent.
  std::string header(const std::string& name) const;
};

// Sends one request and blocks until it ends. Never throws.
// [any-thread] except the main thread of a window (callers keep network calls off it).
HttpResponse httpPerform(const HttpRequest& request);

// Starts a request on a background thread and returns at once; `done` (may be empty) runs on
// that thread with the response. Never throws.
// [any-thread]
void httpPerformAsync(HttpRequest request, std::function<void(HttpResponse)> done);

// Blocks until every request started with httpPerformAsync has ended (tests, shut-down).
// [any-thread]
void httpWaitForAsync();

// True for https URLs, and for http URLs whose host is a loopback address
// (127.0.0.0/8, [::1], localhost).
bool httpUrlAllowed(const std::string& url);

}  // namespace qm::platform
