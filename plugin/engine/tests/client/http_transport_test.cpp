// The platform HTTP transport against a small cpp-httplib server on loopback (kept here because
// this test program links cpp-httplib).

#include "qm/platform/http.h"
#include "qm/service/service.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qm::platform;

namespace {

class LoopbackServer {
 public:
  LoopbackServer() {
    qm::service::warmHttpLibrary();
    server.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Render-Id", "r-42");
      res.set_content("hello there", "text/plain");
    });
    server.Post("/echo", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      lastRequest = req;
      res.status = 201;
      res.set_content(req.body, "application/octet-stream");
    });
    server.Get("/headers", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      lastRequest = req;
      res.set_content("ok", "text/plain");
    });
    // Answers only when the suite ends, so the client's clock alone decides its time-out.
    const auto held = [go = answersLetGo](const httplib::Request&, httplib::Response& res) {
      go.wait();
      res.set_content("late", "text/plain");
    };
    server.Get("/held", held);
    server.Post("/held", held);
    // One byte every 100 ms until the client goes away, or two minutes (its test then fails).
    server.Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
      auto sent = std::make_shared<int>(0);
      res.set_chunked_content_provider("text/plain", [sent](size_t, httplib::DataSink& sink) {
        if (++*sent > 1200) {
          sink.done();
          return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return sink.write("x", 1);
      });
    });
    server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(5000, 'b'), "application/octet-stream");
    });
    server.Get("/bigchunked", [](const httplib::Request&, httplib::Response& res) {
      auto sent = std::make_shared<int>(0);
      res.set_chunked_content_provider("application/octet-stream", [sent](size_t, httplib::DataSink& sink) {
        if (++*sent > 10) {
          sink.done();
          return true;
        }
        std::string chunk(1000, 'c');
        return sink.write(chunk.data(), chunk.size());
      });
    });
    server.Get("/redirect-away", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("http://192.0.2.1/elsewhere");
    });
    server.Get("/redirect-ftp", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("ftp://127.0.0.1/file");
    });
    server.Get("/redirect-local", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/hello");
    });
    server.Post("/redirect-post", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/headers", 303);
    });
    server.Get("/to-other-origin", [this](const httplib::Request&, httplib::Response& r) {
      r.set_redirect("http://localhost:" + std::to_string(port) + "/headers");
    });
    server.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });

    // Every test here is decided by the client, so the server's own time-outs are far off.
    server.set_read_timeout(60, 0);
    server.set_write_timeout(60, 0);
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~LoopbackServer() {
    letAnswersGo.set_value();
    server.stop();
    thread.join();
  }
  std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(port) + path;
  }
  httplib::Request last() {
    std::lock_guard<std::mutex> lock(mutex);
    return lastRequest;
  }

  httplib::Server server;
  int port = 0;
  std::thread thread;
  std::mutex mutex;
  httplib::Request lastRequest;
  std::promise<void> letAnswersGo;  // kept until the suite ends
  std::shared_future<void> answersLetGo = letAnswersGo.get_future().share();
};


class HttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new LoopbackServer; }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  static HttpRequest get(const std::string& path) {
    HttpRequest r;
    r.url = server->url(path);
    r.idleTimeoutSeconds = 60;
    r.totalTimeoutSeconds = 60;
    return r;
  }
  static LoopbackServer* server;
};
LoopbackServer* HttpTest::server = nullptr;

}  // namespace

TEST(HttpUrlRule, HttpsAnywhereHttpOnlyToLoopback) {
  struct Case {
    const char* url;
    bool allowed;
  } cases[] = {
      {"https://api.example.com/health", true},
      {"HTTPS://api.example.com", true},
      {"http://127.0.0.1:8080/x", true},
      {"http://127.9.8.7/x", true},
      {"http://localhost:1234/", true},
      {"http://LOCALHOST/", true},
      {"http://[::1]:99/", true},
      {"http://api.example.com/", false},
      {"http://128.0.0.1/", false},
      {"http://127.0.0.1.example.com/", false},
      {"http://localhost.example.com/", false},
      {"ftp://127.0.0.1/file", false},
      {"file:///etc/passwd", false},
      {"not a url", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(httpUrlAllowed(c.url), c.allowed) << c.url;
}

TEST_F(HttpTest, GetCollectsStatusHeadersAndBody) {
  HttpResponse res = httpPerform(get("/hello"));
  ASSERT_EQ(res.error, 0) << res.errorText;
  EXPECT_EQ(res.status, 200);
  EXPECT_TRUE(res.hasResponse());
  EXPECT_EQ(res.body, "hello there");
  EXPECT_EQ(res.header("x-render-id"), "r-42");
  EXPECT_EQ(res.header("X-RENDER-ID"), "r-42");
  EXPECT_EQ(res.header("X-Missing"), "");
  EXPECT_EQ(res.effectiveUrl, server->url("/hello"));
}

TEST_F(HttpTest, PostSendsBodyBytesAndOnlyTheCallersHeaders) {
  HttpRequest req = get("/echo");
  req.method = "POST";
  req.body = std::string("a\0b\r\n--x", 8);
  req.headers = {{"X-Plugin-Version", "2.0.2"}, {"Content-Type", "application/json"}};
  HttpResponse res = httpPerform(req);
  ASSERT_EQ(res.error, 0) << res.errorText;
  EXPECT_EQ(res.status, 201);
  EXPECT_EQ(res.body, req.body);
  httplib::Request seen = server->last();
  EXPECT_EQ(seen.body, req.body);
  EXPECT_EQ(seen.get_header_value("Content-Type"), "application/json");
  EXPECT_EQ(seen.get_header_value("X-Plugin-Version"), "2.0.2");
  EXPECT_FALSE(seen.has_header("Expect"));
}

TEST_F(HttpTest, PostWithoutBodyOrTypeSendsNoContentType) {
  HttpRequest req = get("/echo");
  req.method = "POST";
  HttpResponse res = httpPerform(req);
  ASSERT_EQ(res.error, 0) << res.errorText;
  httplib::Request seen = server->last();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_TRUE(seen.body.empty());
  EXPECT_FALSE(seen.has_header("Content-Type"));
}

TEST_F(HttpTest, HeaderWithLineBreakIsRefusedBeforeSending) {
  HttpRequest req = get("/headers");
  req.headers = {{"Authorization", "Bearer abc\r\nX-Evil: 1"}};
  HttpResponse res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorOther);
  EXPECT_TRUE(res.refused);
  EXPECT_FALSE(res.hasResponse());
}

TEST_F(HttpTest, IdleTimeOutIsReportedAsTimedOut) {
  HttpRequest req = get("/held");
  req.idleTimeoutSeconds = 1;
  HttpResponse res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorTimedOut) << res.errorText;
}

TEST_F(HttpTest, IdleTimeOutFiresAfterALargeUploadLongBeforeTheTotalCap) {
  // A burst of upload bytes must not keep an averaged speed above the limit: the silence after
  // it is what counts, so the idle time-out ends this, not the (much longer) total cap.
  HttpRequest req = get("/held");
  req.method = "POST";
  req.body.assign(4u << 20, 'x');
  req.headers.emplace_back("Content-Type", "application/octet-stream");
  req.idleTimeoutSeconds = 1;
  req.totalTimeoutSeconds = 60;
  HttpResponse res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorTimedOut) << res.errorText;
  EXPECT_NE(res.errorText.find("idle"), std::string::npos) << res.errorText;
}

TEST_F(HttpTest, TotalCapEndsAStreamThatNeverGoesIdle) {
  HttpRequest req = get("/trickle");
  req.idleTimeoutSeconds = 60;
  req.totalTimeoutSeconds = 1;
  HttpResponse res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorTimedOut) << res.errorText;
  EXPECT_EQ(res.errorText.find("idle"), std::string::npos) << res.errorText;
}

TEST_F(HttpTest, ConnectionRefusedIsOther) {
  // A port that was free a moment ago: bound, read back, closed without listening.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int unusedPort = ntohs(addr.sin_port);
  ::close(fd);
  HttpRequest req;
  req.url = "http://127.0.0.1:" + std::to_string(unusedPort) + "/";
  req.totalTimeoutSeconds = 60;
  HttpResponse res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorOther);
  EXPECT_FALSE(res.hasResponse());
}

TEST_F(HttpTest, RefusedUrlsSendNothing) {
  for (const char* url : {"http://192.0.2.1/", "ftp://127.0.0.1/", "gopher://127.0.0.1/"}) {
    HttpRequest req;
    req.url = url;
    HttpResponse res = httpPerform(req);
    EXPECT_EQ(res.error, kHttpErrorOther) << url;
    EXPECT_TRUE(res.refused) << url;
  }
  HttpRequest req = get("/hello");
  req.allowUrl = [](const std::string&) { return false; };
  HttpResponse res = httpPerform(req);
  EXPECT_TRUE(res.refused);
  EXPECT_FALSE(res.hasResponse());
}

TEST_F(HttpTest, RedirectsAreCheckedBeforeFollowing) {
  for (const char* path : {"/redirect-away", "/redirect-ftp"}) {
    HttpRequest req = get(path);
    req.followRedirects = true;
    HttpResponse res = httpPerform(req);
    EXPECT_EQ(res.error, kHttpErrorOther) << path;
    EXPECT_TRUE(res.refused) << path;
  }

  std::vector<std::string> asked;
  HttpRequest req = get("/redirect-local");
  req.followRedirects = true;
  req.allowUrl = [&](const std::string& url) {
    asked.push_back(url);
    return true;
  };
  HttpResponse res = httpPerform(req);
  ASSERT_EQ(res.error, 0) << res.errorText;
  EXPECT_EQ(res.body, "hello there");
  EXPECT_EQ(res.effectiveUrl, server->url("/hello"));
  EXPECT_EQ(asked, (std::vector<std::string>{server->url("/redirect-local"), server->url("/hello")}));

  req.allowUrl = [&](const std::string& url) { return url.find("/hello") == std::string::npos; };
  res = httpPerform(req);
  EXPECT_TRUE(res.refused);
}

TEST_F(HttpTest, RedirectsNotFollowedUnlessAsked) {
  HttpResponse res = httpPerform(get("/redirect-local"));
  ASSERT_EQ(res.error, 0);
  EXPECT_EQ(res.status, 302);
  EXPECT_EQ(res.header("Location"), "/hello");
}

TEST_F(HttpTest, RedirectLoopStopsAtTheLimit) {
  HttpRequest req = get("/loop");
  req.followRedirects = true;
  req.maxRedirects = 3;
  HttpResponse res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorOther);
  EXPECT_FALSE(res.refused);
}

TEST_F(HttpTest, SeeOtherContinuesAsGetAndCredentialsStayWithTheirOrigin) {
  HttpRequest req = get("/redirect-post");
  req.method = "POST";
  req.body = "{}";
  req.followRedirects = true;
  req.headers = {{"Authorization", "Bearer t"}, {"Content-Type", "application/json"}};
  HttpResponse res = httpPerform(req);
  ASSERT_EQ(res.error, 0) << res.errorText;
  httplib::Request seen = server->last();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.get_header_value("Authorization"), "Bearer t");
  EXPECT_FALSE(seen.has_header("Content-Type"));

  // Another host name for the same server is another origin: the token is not sent there.
  req = get("/to-other-origin");
  req.followRedirects = true;
  req.headers = {{"Authorization", "Bearer t"}, {"X-Other", "1"}};
  res = httpPerform(req);
  ASSERT_EQ(res.error, 0) << res.errorText;
  seen = server->last();
  EXPECT_FALSE(seen.has_header("Authorization"));
  EXPECT_EQ(seen.get_header_value("X-Other"), "1");
}

TEST_F(HttpTest, ResponseSizeCap) {
  for (const char* path : {"/big", "/bigchunked"}) {
    HttpRequest req = get(path);
    req.maxResponseBytes = 4000;
    HttpResponse res = httpPerform(req);
    EXPECT_EQ(res.error, kHttpErrorOther) << path;
    EXPECT_TRUE(res.tooLarge) << path;

    req.maxResponseBytes = 10000;
    res = httpPerform(req);
    EXPECT_EQ(res.error, 0) << path;
    EXPECT_FALSE(res.tooLarge);
  }
}

TEST_F(HttpTest, StreamingBodyAndAbort) {
  HttpRequest req = get("/bigchunked");
  size_t total = 0;
  req.onBody = [&](const char*, size_t n) {
    total += n;
    return true;
  };
  HttpResponse res = httpPerform(req);
  ASSERT_EQ(res.error, 0);
  EXPECT_EQ(total, 10000u);
  EXPECT_TRUE(res.body.empty());

  req.onBody = [](const char*, size_t) { return false; };
  res = httpPerform(req);
  EXPECT_EQ(res.error, kHttpErrorOther);
  EXPECT_TRUE(res.aborted);
}

TEST_F(HttpTest, AsyncRequestsAllFinishBeforeWaitReturns) {
  std::atomic<int> done{0};
  std::atomic<int> ok{0};
  for (int i = 0; i < 8; ++i) {
    httpPerformAsync(get("/hello"), [&](HttpResponse res) {
      if (res.error == 0 && res.body == "hello there") ++ok;
      ++done;
    });
  }
  httpPerformAsync(get("/hello"), nullptr);
  httpWaitForAsync();
  EXPECT_EQ(done.load(), 8);
  EXPECT_EQ(ok.load(), 8);
}

TEST(HttpTls, CertificateIsCheckedAgainstTheGivenAuthority) {
  char pattern[] = "/tmp/qm-tls-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string cert = dir + "/cert.pem", key = dir + "/key.pem";
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                              "-addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + cert +
                              " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::filesystem::remove_all(dir);
    GTEST_SKIP() << "openssl command not available";
  }
  {
    httplib::SSLServer server(cert.c_str(), key.c_str());
    ASSERT_TRUE(server.is_valid());
    server.Get("/health", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    HttpRequest req;
    req.url = "https://127.0.0.1:" + std::to_string(port) + "/health";
    req.totalTimeoutSeconds = 60;
    req.caFile = cert;
    HttpResponse res = httpPerform(req);
    EXPECT_EQ(res.error, 0) << res.errorText;
    EXPECT_EQ(res.body, "ok");

    // Without our authority the self-signed certificate is refused.
    req.caFile.clear();
    res = httpPerform(req);
    EXPECT_EQ(res.error, kHttpErrorOther);
    EXPECT_FALSE(res.hasResponse());

    server.stop();
    thread.join();
  }
  std::filesystem::remove_all(dir);
}
