// HTTP transport over libcurl. Redirects are followed here, one exchange at a time, rather than by
// libcurl itself, so that every target passes the scheme rule and the caller's allowUrl check
// before a byte is sent to it, and so that credentials never travel to another origin.

#include "qm/platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace qm::platform {

namespace {

void globalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// Scheme, host and port of a URL as libcurl parses it; false when it does not parse.
struct UrlParts {
  std::string scheme, host, port;
};

bool parseUrl(const std::string& url, UrlParts& parts) {
  CURLU* handle = curl_url();
  if (!handle) return false;
  bool ok = curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  auto get = [&](CURLUPart what, std::string& out, unsigned flags) {
    char* value = nullptr;
    if (curl_url_get(handle, what, &value, flags) != CURLUE_OK) return false;
    out = value;
    curl_free(value);
    return true;
  };
  if (ok) ok = get(CURLUPART_SCHEME, parts.scheme, 0) && get(CURLUPART_HOST, parts.host, 0);
  if (ok) get(CURLUPART_PORT, parts.port, CURLU_DEFAULT_PORT);
  curl_url_cleanup(handle);
  return ok;
}

bool isLoopbackHost(const std::string& host) {
  if (equalsIgnoringCase(host, "localhost") || host == "[::1]") return true;
  // 127.0.0.0/8 written as a dotted quad.
  unsigned parts[4];
  int used = 0;
  if (std::sscanf(host.c_str(), "%u.%u.%u.%u%n", &parts[0], &parts[1], &parts[2], &parts[3], &used) != 4)
    return false;
  if (static_cast<size_t>(used) != host.size()) return false;
  for (unsigned p : parts)
    if (p > 255) return false;
  return parts[0] == 127;
}

bool sameOrigin(const std::string& a, const std::string& b) {
  UrlParts pa, pb;
  if (!parseUrl(a, pa) || !parseUrl(b, pb)) return false;
  return equalsIgnoringCase(pa.scheme, pb.scheme) && equalsIgnoringCase(pa.host, pb.host) && pa.port == pb.port;
}

// State shared with libcurl's callbacks during one exchange.
struct Exchange {
  const HttpRequest* request = nullptr;
  HttpResponse* response = nullptr;
  CURL* curl = nullptr;
  bool discardBody = false;  // set for the body of a redirect that will be followed
  std::uint64_t received = 0;

  // Idle time-out: the time since bytes last moved either way. libcurl's own low-speed check
  // averages over several seconds and fires late, so the progress callback measures it.
  std::chrono::steady_clock::duration idleLimit{};
  std::chrono::steady_clock::time_point lastMovement{};
  curl_off_t lastDown = 0, lastUp = 0;
  bool idleTimedOut = false;
};

int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto* ex = static_cast<Exchange*>(user);
  if (ex->request->keepGoing) {
    bool keepGoing = false;
    try {
      keepGoing = ex->request->keepGoing();
    } catch (...) {
    }
    if (!keepGoing) {
      ex->response->aborted = true;
      return 1;  // libcurl ends the transfer with CURLE_ABORTED_BY_CALLBACK
    }
  }
  const auto now = std::chrono::steady_clock::now();
  if (downloaded != ex->lastDown || uploaded != ex->lastUp) {
    ex->lastDown = downloaded;
    ex->lastUp = uploaded;
    ex->lastMovement = now;
    return 0;
  }
  if (now - ex->lastMovement >= ex->idleLimit) {
    ex->idleTimedOut = true;
    return 1;  // libcurl ends the transfer with CURLE_ABORTED_BY_CALLBACK
  }
  return 0;
}

size_t onHeaderLine(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  std::string_view line(data, bytes);
  line = trim(line);
  if (line.substr(0, 5) == "HTTP/") {
    // A new status line (an interim 1xx answer or a fresh response): start the list over.
    ex->response->headers.clear();
    return bytes;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return bytes;
  ex->response->headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                     std::string(trim(line.substr(colon + 1))));
  return bytes;
}

bool isRedirectStatus(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

size_t onBodyBytes(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  long status = 0;
  curl_easy_getinfo(ex->curl, CURLINFO_RESPONSE_CODE, &status);
  if (ex->discardBody || (ex->request->followRedirects && isRedirectStatus(status))) return bytes;

  ex->received += bytes;
  if (ex->received > ex->request->maxResponseBytes) {
    ex->response->tooLarge = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  if (ex->request->onBody) {
    bool keepGoing = false;
    try {
      keepGoing = ex->request->onBody(data, bytes);
    } catch (...) {
      keepGoing = false;
    }
    if (!keepGoing) {
      ex->response->aborted = true;
      return 0;
    }
    return bytes;
  }
  ex->response->body.append(data, bytes);
  return bytes;
}

long millisAtLeastOne(double seconds) {
  if (!(seconds > 0)) return 1;
  if (seconds > 1e6) return 1000000000L;
  return std::max(1L, static_cast<long>(std::ceil(seconds * 1000.0)));
}

struct SlistGuard {
  curl_slist* list = nullptr;
  ~SlistGuard() { curl_slist_free_all(list); }
  bool append(const std::string& line) {
    curl_slist* next = curl_slist_append(list, line.c_str());
    if (!next) return false;
    list = next;
    return true;
  }
};

bool hasHeader(const std::vector<std::pair<std::string, std::string>>& headers, std::string_view name) {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& h) { return equalsIgnoringCase(h.first, name); });
}

bool headerIsSafe(const std::pair<std::string, std::string>& h) {
  auto bad = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
  if (h.first.empty() || std::any_of(h.first.begin(), h.first.end(), bad)) return false;
  if (h.first.find(':') != std::string::npos) return false;
  return std::none_of(h.second.begin(), h.second.end(), bad);
}

// One exchange with one URL; no redirects followed. Returns the libcurl result.
CURLcode performOnce(CURL* curl, const HttpRequest& request, const std::string& url, const std::string& method,
                     bool sendBody, bool sendCredentials, double remainingSeconds, HttpResponse& response,
                     std::string& redirectTarget, bool& idleTimedOut) {
  curl_easy_reset(curl);
  response.headers.clear();
  response.status = 0;
  redirectTarget.clear();

  Exchange ex;
  ex.request = &request;
  ex.response = &response;
  ex.curl = curl;

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  // Loopback addresses never go through a proxy from the environment.
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");

  // Idle time-out: no bytes moving for the whole idle period ends the request, as does a
  // connection that does not come up in that time; the total cap is always set.
  const double idle = request.idleTimeoutSeconds > 0 ? std::min(request.idleTimeoutSeconds, 1e6) : 1e6;
  ex.idleLimit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(idle));
  ex.lastMovement = std::chrono::steady_clock::now();
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ex);
  const double total = std::max(0.001, remainingSeconds);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, millisAtLeastOne(total));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   millisAtLeastOne(std::min(total, request.idleTimeoutSeconds > 0 ? request.idleTimeoutSeconds : total)));

  if (!request.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, request.caFile.c_str());
  if (request.maxResponseBytes < static_cast<std::uint64_t>(INT64_MAX))
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxResponseBytes));

  if (method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else {
    if (method == "POST") {
      curl_easy_setopt(curl, CURLOPT_POST, 1L);
    } else {
      curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
  }
  if (sendBody && method != "GET" && method != "HEAD") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
  } else if (method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
  }

  SlistGuard headers;
  for (const auto& h : request.headers) {
    if (!sendCredentials && (equalsIgnoringCase(h.first, "Authorization") || equalsIgnoringCase(h.first, "Cookie")))
      continue;
    if (!sendBody && equalsIgnoringCase(h.first, "Content-Type")) continue;
    // An empty value is written "Name;" so that libcurl sends it instead of dropping it.
    if (!headers.append(h.second.empty() ? h.first + ";" : h.first + ": " + h.second)) return CURLE_OUT_OF_MEMORY;
  }
  // Only the caller's headers: no default form content type, no 100-continue round trip.
  if (!hasHeader(request.headers, "Content-Type") || !sendBody) headers.append("Content-Type:");
  if (!hasHeader(request.headers, "Expect")) headers.append("Expect:");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);

  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &onHeaderLine);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &onBodyBytes);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ex);

  CURLcode code = curl_easy_perform(curl);
  idleTimedOut = code == CURLE_ABORTED_BY_CALLBACK && ex.idleTimedOut;
  if (idleTimedOut) code = CURLE_OPERATION_TIMEDOUT;

  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  response.status = status;
  char* effective = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
    response.effectiveUrl = effective;
  char* location = nullptr;
  if (code == CURLE_OK && isRedirectStatus(status) &&
      curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
    redirectTarget = location;
  return code;
}

void fail(HttpResponse& response, int error, std::string text) {
  response.error = error;
  response.errorText = std::move(text);
}

HttpResponse performChecked(const HttpRequest& request) {
  HttpResponse response;
  globalInitOnce();

  for (const auto& h : request.headers) {
    if (!headerIsSafe(h)) {
      fail(response, kHttpErrorOther, "header name or value holds a line break or is malformed");
      response.refused = true;
      return response;
    }
  }

  auto permitted = [&](const std::string& url) {
    if (!httpUrlAllowed(url)) return false;
    if (!request.allowUrl) return true;
    try {
      return request.allowUrl(url);
    } catch (...) {
      return false;
    }
  };

  std::string url = request.url;
  if (!permitted(url)) {
    response.refused = true;
    fail(response, kHttpErrorOther, "URL refused: " + url);
    return response;
  }

  CURL* curl = curl_easy_init();
  if (!curl) {
    fail(response, kHttpErrorOther, "could not create a transfer handle");
    return response;
  }

  using Clock = std::chrono::steady_clock;
  const double cap = request.totalTimeoutSeconds > 0 ? request.totalTimeoutSeconds : 60.0;
  const auto deadline = Clock::now() + std::chrono::duration<double>(cap);

  std::string method = request.method.empty() ? "GET" : request.method;
  bool sendBody = true;
  bool sendCredentials = true;
  long redirects = 0;
  std::string target;
  while (true) {
    const double remaining = std::chrono::duration<double>(deadline - Clock::now()).count();
    if (remaining <= 0) {
      fail(response, kHttpErrorTimedOut, "total time-out reached");
      break;
    }
    bool idleTimedOut = false;
    const CURLcode code = performOnce(curl, request, url, method, sendBody, sendCredentials, remaining, response,
                                      target, idleTimedOut);
    if (code != CURLE_OK) {
      if (response.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        response.tooLarge = true;
        fail(response, kHttpErrorOther, "response larger than allowed");
      } else if (response.aborted) {
        fail(response, kHttpErrorOther, "aborted by the receiver");
      } else if (idleTimedOut) {
        fail(response, kHttpErrorTimedOut, "no data moved within the idle time-out");
      } else if (code == CURLE_OPERATION_TIMEDOUT) {
        fail(response, kHttpErrorTimedOut, curl_easy_strerror(code));
      } else {
        fail(response, kHttpErrorOther, curl_easy_strerror(code));
      }
      break;
    }
    if (!request.followRedirects || target.empty()) break;
    if (++redirects > request.maxRedirects) {
      fail(response, kHttpErrorOther, "too many redirects");
      break;
    }
    if (!permitted(target)) {
      response.refused = true;
      fail(response, kHttpErrorOther, "redirect refused: " + target);
      break;
    }
    // As browsers do: 303, and 301/302 after a POST, continue as a GET without the body.
    if (response.status == 303 || ((response.status == 301 || response.status == 302) && method == "POST")) {
      if (method != "HEAD") method = "GET";
      sendBody = false;
    }
    if (!sameOrigin(url, target)) sendCredentials = false;
    url = target;
  }
  curl_easy_cleanup(curl);
  if (request.onBody) response.body.clear();
  return response;
}

// Requests started with httpPerformAsync and not yet ended.
struct AsyncCounter {
  std::mutex mutex;
  std::condition_variable idle;
  size_t running = 0;
};

AsyncCounter& asyncCounter() {
  static auto* counter = new AsyncCounter;  // never destroyed: detached threads may outlive main()
  return *counter;
}

}  // namespace

std::string HttpResponse::header(const std::string& name) const {
  for (const auto& h : headers)
    if (equalsIgnoringCase(h.first, name)) return h.second;
  return {};
}

bool httpUrlAllowed(const std::string& url) {
  UrlParts parts;
  if (!parseUrl(url, parts)) return false;
  if (equalsIgnoringCase(parts.scheme, "https")) return !parts.host.empty();
  if (equalsIgnoringCase(parts.scheme, "http")) return isLoopbackHost(parts.host);
  return false;
}

HttpResponse httpPerform(const HttpRequest& request) {
  try {
    return performChecked(request);
  } catch (...) {
    HttpResponse response;
    fail(response, kHttpErrorOther, "internal failure");
    return response;
  }
}

void httpPerformAsync(HttpRequest request, std::function<void(HttpResponse)> done) {
  globalInitOnce();
  AsyncCounter& counter = asyncCounter();
  {
    std::lock_guard<std::mutex> lock(counter.mutex);
    ++counter.running;
  }
  // Hands the response over (a throwing callback stops here) and counts the request as finished.
  auto finish = [&counter](const std::function<void(HttpResponse)>& done, HttpResponse response) {
    if (done) {
      try {
        done(std::move(response));
      } catch (...) {
      }
    }
    std::lock_guard<std::mutex> lock(counter.mutex);
    if (--counter.running == 0) counter.idle.notify_all();
  };
  try {
    std::thread([request = std::move(request), done, finish] { finish(done, httpPerform(request)); }).detach();
  } catch (...) {
    // No thread could be started: answer here rather than lose it.
    HttpResponse response;
    fail(response, kHttpErrorOther, "could not start a thread");
    finish(done, std::move(response));
  }
}

void httpWaitForAsync() {
  AsyncCounter& counter = asyncCounter();
  std::unique_lock<std::mutex> lock(counter.mutex);
  counter.idle.wait(lock, [&] { return counter.running == 0; });
}

}  // namespace qm::platform
