#include "toolkit/http_client.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sandbox/sandbox_server.h"

namespace mirabex {
namespace {

using sandbox::Fault;
using sandbox::RecordedRequest;
using sandbox::SandboxServer;
using Clock = std::chrono::steady_clock;

// Written out again here, so that a slip in the client's copy shows.
constexpr const char* kAcceptTypes =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// Far above anything the client should take, far below the time-outs it must not wait for.
constexpr auto kGenerousCeiling = std::chrono::seconds(10);

// One sandbox for the whole binary; the client routes every host to it, so each test can use
// hosts of its own and never meet another test's cookies.
class SandboxEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    s_server = std::make_unique<SandboxServer>();
    ASSERT_TRUE(s_server->start());
  }
  void TearDown() override { s_server.reset(); }
  static SandboxServer& server() { return *s_server; }

 private:
  static inline std::unique_ptr<SandboxServer> s_server;
};
testing::Environment* const kSandbox = testing::AddGlobalTestEnvironment(new SandboxEnvironment);

SandboxServer& sandboxServer() { return SandboxEnvironment::server(); }

HttpClient routedTo(const SandboxServer& server) { return HttpClient(HttpClientSettings{server.address(), {}}); }

std::vector<RecordedRequest> testRequests(const SandboxServer& server) {
  std::vector<RecordedRequest> seen = server.requests();
  std::erase_if(seen, [](const RecordedRequest& r) { return r.kind != "test"; });
  return seen;
}

RecordedRequest lastTestRequest(const SandboxServer& server) {
  const std::vector<RecordedRequest> seen = testRequests(server);
  return seen.empty() ? RecordedRequest{} : seen.back();
}

int headerCount(const RecordedRequest& request, const std::string& name) {
  return static_cast<int>(std::count_if(request.headers.begin(), request.headers.end(), [&](const auto& h) {
    return toLowerAscii(h.first) == toLowerAscii(name);
  }));
}

class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override {
    sandboxServer().setFault("test", Fault::None);
    sandboxServer().clearRequests();
  }
  HttpClient m_client = routedTo(sandboxServer());
};

// --- URL split and cookie text -----------------------------------------------------------------

struct SplitCase {
  const char* url;
  bool secure;
  const char* host;
  int port;
  const char* path;
};

class UrlSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(UrlSplit, FollowsTheSplitRules) {
  const SplitCase& c = GetParam();
  const UrlParts parts = splitUrl(c.url);
  EXPECT_EQ(parts.secure, c.secure);
  EXPECT_EQ(parts.host, c.host);
  EXPECT_EQ(parts.port, c.port);
  EXPECT_EQ(parts.path, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlSplit,
    testing::Values(SplitCase{"www.example.com/shop/view.htm?id=1", false, "www.example.com", 80,
                              "/shop/view.htm?id=1"},
                    SplitCase{"http://Shop.Example.COM:8080", false, "shop.example.com", 8080, "/"},
                    SplitCase{"http://item.example.com/i.htm?u=http://other/", false, "item.example.com", 80,
                              "/i.htm?u=http://other/"},
                    SplitCase{"http://item.example.com:/a", false, "item.example.com", 80, "/a"},
                    SplitCase{"https://Item.Example.com/a?b=1", true, "item.example.com", 443, "/a?b=1"},
                    SplitCase{"https://item.example.com:8443", true, "item.example.com", 8443, "/"},
                    SplitCase{"ftp://files.example.com/a", false, "ftp", 80, "//files.example.com/a"}));

struct BetweenCase {
  const char* text;
  const char* left;
  const char* right;
  const char* expected;
};

TEST(TextBetween, TakesTheFirstMarkersCaseSensitively) {
  const BetweenCase cases[] = {
      {"a=1; path=/", "=", ";", "1"},
      {"a;b=c;d", "=", ";", "c"},  // the right marker is looked for after the left one
      {"a=1", "=", ";", ""},
      {"a=1; path=/", "Set-Cookie:", ";", ""},
      {"SET-COOKIE: a=1;", "Set-Cookie:", ";", ""},
      {"key=value", "=", "", "value"},
      {"key=value", "", "=", "key"},
      {"key", "", "=", ""},
      {"key", "=", "", ""},
  };
  for (const BetweenCase& c : cases) {
    EXPECT_EQ(textBetween(c.text, c.left, c.right), c.expected) << c.text << " | " << c.left << " | " << c.right;
  }
}

TEST(CookiesFromHeaders, KeepsNamedValuesAndSkipsDeletions) {
  const BetweenCase cases[] = {
      {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\n"
       "Set-Cookie: gone=; expires=Thu, 01 Jan 1970 00:00:00 GMT; path=/\r\n\r\n",
       "", "", "a=1"},
      {"Set-Cookie: a=1; path=/\r\nSet-Cookie:  t=x=y ; HttpOnly\r\n", "", "", "a=1; t=x=y"},
      {"Set-Cookie: bare=1\r\nSet-Cookie: b=2; path=/\r\n", "", "", "b=2"},
      {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", "", "", ""},
  };
  for (const BetweenCase& c : cases) EXPECT_EQ(cookiesFromHeaders(c.text), c.expected) << c.text;
}

// --- what goes on the wire ---------------------------------------------------------------------

struct StatusCase {
  const char* path;
  const char* body;
};

class FetchUrlOnly : public HttpClientTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(FetchUrlOnly, SendsGetWithTheDefaultLinesAndReturnsTheBodyWhateverTheStatus) {
  const Text url = std::string("http://shop.example.com") + GetParam().path;
  EXPECT_EQ(m_client.fetch(url), GetParam().body);

  const RecordedRequest seen = lastTestRequest(sandboxServer());
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.target, GetParam().path);
  EXPECT_EQ(seen.version, "HTTP/1.1");
  EXPECT_EQ(seen.host, "shop.example.com");
  EXPECT_EQ(seen.header("User-Agent"), kUserAgent);
  EXPECT_EQ(seen.header("Accept"), kAcceptTypes);
  EXPECT_EQ(seen.header("Referer"), url);
  EXPECT_EQ(seen.header("Accept-Language"), "zh-cn");
  EXPECT_EQ(headerCount(seen, "Accept"), 1);
  EXPECT_EQ(headerCount(seen, "Cookie"), 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, FetchUrlOnly,
                         testing::Values(StatusCase{"/test/echo", "ok"},
                                         StatusCase{"/test/status/404", "status 404"},
                                         StatusCase{"/test/status/500", "status 500"}));

struct ExtraHeaderCase {
  const char* extraHeaders;
  const char* name;
  const char* value;
};

class FetchExtraHeaders : public HttpClientTest, public testing::WithParamInterface<ExtraHeaderCase> {};

TEST_P(FetchExtraHeaders, TakeThePlaceOfTheDefaultOfTheSameName) {
  HttpRequestOptions options;
  options.extraHeaders = GetParam().extraHeaders;
  const Text url = "http://headers.example.com/test/echo";
  EXPECT_EQ(m_client.fetch(url, options), "ok");

  const RecordedRequest seen = lastTestRequest(sandboxServer());
  EXPECT_EQ(seen.header(GetParam().name), GetParam().value);
  EXPECT_EQ(headerCount(seen, GetParam().name), 1);
  // The defaults of other names are still there.
  EXPECT_EQ(headerCount(seen, "Accept"), 1);
  EXPECT_EQ(headerCount(seen, "Referer"), 1);
  EXPECT_EQ(headerCount(seen, "Accept-Language"), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, FetchExtraHeaders,
                         testing::Values(ExtraHeaderCase{"accept: text/html\r\n", "Accept", "text/html"},
                                         ExtraHeaderCase{"REFERER: http://from.example.com/\r\n", "Referer",
                                                         "http://from.example.com/"},
                                         ExtraHeaderCase{"X-Trace: 7\r\nAccept-Language: en\r\n",
                                                         "Accept-Language", "en"},
                                         // A last line without its line end must not run into the defaults.
                                         ExtraHeaderCase{"X-Trace: 7", "X-Trace", "7"}));

struct PostCase {
  const char* method;
  const char* postData;
  const char* extraHeaders;
  const char* contentType;  // empty: no such line
};

class FetchPost : public HttpClientTest, public testing::WithParamInterface<PostCase> {};

TEST_P(FetchPost, SendsTheBodyWithItsLengthAndType) {
  const PostCase& c = GetParam();
  HttpRequestOptions options;
  options.method = c.method;
  options.postData = c.postData;
  options.extraHeaders = c.extraHeaders;
  EXPECT_EQ(m_client.fetch("http://post.example.com/test/post-echo", options), c.postData);

  const RecordedRequest seen = lastTestRequest(sandboxServer());
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.body, c.postData);
  EXPECT_EQ(seen.header("Content-Length"), std::to_string(std::string(c.postData).size()));
  EXPECT_EQ(seen.header("Content-Type"), c.contentType);
  EXPECT_EQ(headerCount(seen, "Content-Type"), std::string(c.contentType).empty() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, FetchPost,
                         testing::Values(PostCase{"POST", "a=1&b=%B1%A6", "", "application/x-www-form-urlencoded"},
                                         PostCase{"post", "<x/>", "Content-Type: text/xml\r\n", "text/xml"},
                                         PostCase{"Post", "", "", ""}));

TEST_F(HttpClientTest, PostRedirectedToAGetCarriesNoBodyLines) {
  HttpRequestOptions options;
  options.method = "POST";
  options.postData = "k=v";
  EXPECT_EQ(m_client.fetch("http://post.example.com/test/redirect?to=/test/echo", options), "ok");

  const std::vector<RecordedRequest> seen = testRequests(sandboxServer());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].method, "GET");
  EXPECT_EQ(seen[1].target, "/test/echo");
  EXPECT_EQ(headerCount(seen[1], "Content-Length"), 0);
  EXPECT_EQ(headerCount(seen[1], "Content-Type"), 0);
}

struct RefusedCase {
  const char* url;
  const char* method;
  const char* cookies;
};

TEST_F(HttpClientTest, RefusesWithoutSendingAnything) {
  const RefusedCase cases[] = {
      {"http://refused.example.com/test/echo", "PUT", ""},
      {"http://refused.example.com/test/echo", "DELETE", ""},
      {"http:///test/echo", "", ""},
      {"http://refused.example.com:70000/test/echo", "", ""},
      {"http://refused.example.com/test/echo\r\nX-Injected: 1", "", ""},
      {"http://refused.example.com/test/echo", "", "a=1\r\nX-Injected: 1"},
  };
  for (const RefusedCase& c : cases) {
    HttpRequestOptions options;
    options.method = c.method;
    options.cookies = c.cookies;
    EXPECT_EQ(m_client.fetch(c.url, options), "") << c.url << " " << c.method;
  }
  EXPECT_EQ(sandboxServer().servedCount("test"), 0);
}

TEST_F(HttpClientTest, FollowsRedirectsAndReportsTheFinalHeaders) {
  Text headers;
  HttpRequestOptions options;
  options.returnHeaders = &headers;
  EXPECT_EQ(m_client.fetch("http://moved.example.com/test/redirect?to=/test/echo", options), "ok");
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200")) << headers;
  EXPECT_TRUE(headers.ends_with("\r\n\r\n")) << headers;
  EXPECT_EQ(testRequests(sandboxServer()).back().target, "/test/echo");
}

// --- cookies -----------------------------------------------------------------------------------

TEST_F(HttpClientTest, ReturnsTheResponseCookiesAndHeaderBlock) {
  Text cookies = "untouched";
  Text headers;
  HttpRequestOptions options;
  options.returnCookies = &cookies;
  options.returnHeaders = &headers;
  EXPECT_FALSE(m_client.fetch("http://jar.example.com/test/set-cookie", options).empty());
  EXPECT_EQ(cookies, "a=1");
  EXPECT_NE(headers.find("Set-Cookie: a=1; path=/\r\n"), Text::npos) << headers;
}

TEST_F(HttpClientTest, AHeaderBlockLongerThanTwoKilobytesIsReturnedWhole) {
  Text cookies;
  Text headers;
  HttpRequestOptions options;
  options.returnCookies = &cookies;
  options.returnHeaders = &headers;
  EXPECT_FALSE(m_client.fetch("http://big.example.com/test/big-headers", options).empty());
  EXPECT_GT(headers.size(), 2048u);
  EXPECT_NE(headers.find("Set-Cookie: big=2"), Text::npos);
  EXPECT_EQ(cookies, "big=2");
}

TEST_F(HttpClientTest, CookiesSetByAResponseGoWithTheNextCallToThatHost) {
  m_client.fetch("http://auto.example.com/test/set-cookie");
  // The deletion in the same response leaves nothing behind.
  EXPECT_EQ(m_client.fetch("http://auto.example.com/test/cookie-echo"), "a=1");
  EXPECT_EQ(m_client.fetch("http://elsewhere.example.com/test/cookie-echo"), "");
}

TEST_F(HttpClientTest, GivenCookiesReplaceTheAutomaticOnes) {
  m_client.fetch("http://manual.example.com/test/set-cookie");
  HttpRequestOptions options;
  options.cookies = "mine=2";
  EXPECT_EQ(m_client.fetch("http://manual.example.com/test/cookie-echo", options), "mine=2");
  EXPECT_EQ(headerCount(lastTestRequest(sandboxServer()), "Cookie"), 1);

  // Nor is what such a response sets kept.
  m_client.fetch("http://manual2.example.com/test/set-cookie", options);
  m_client.fetch("http://manual2.example.com/test/cookie-echo");
  EXPECT_EQ(headerCount(lastTestRequest(sandboxServer()), "Cookie"), 0);
}

TEST_F(HttpClientTest, StoreCookiesKeepsTheStoreAndFilesTheCookiesUnderTheRequestedHost) {
  HttpRequestOptions options;
  options.cookies = "mine=2";
  options.storeCookies = true;
  // The response that sets the cookies comes from another host; they are filed for this one too.
  m_client.fetch("http://stored.example.com/test/redirect?to=http://issuer.example.com/test/set-cookie", options);
  EXPECT_EQ(testRequests(sandboxServer()).front().header("Cookie"), "mine=2");
  EXPECT_EQ(m_client.fetch("http://stored.example.com/test/cookie-echo"), "a=1");
  EXPECT_EQ(m_client.fetch("http://issuer.example.com/test/cookie-echo"), "a=1");
}

// --- downloads ---------------------------------------------------------------------------------

TEST_F(HttpClientTest, DownloadSendsAnHttp10GetAndKeepsTheErrorPage) {
  EXPECT_EQ(m_client.downloadFile("http://img.example.com/test/status/404"), "status 404");
  const RecordedRequest seen = lastTestRequest(sandboxServer());
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.version, "HTTP/1.0");
  EXPECT_EQ(seen.header("Accept"), "*/*");
  EXPECT_EQ(headerCount(seen, "Accept"), 1);
  EXPECT_EQ(seen.header("User-Agent"), kUserAgent);

  EXPECT_EQ(m_client.downloadFile("http://img.example.com/test/redirect?to=/test/bytes%3Fn%3D10").size(), 10u);
}

TEST_F(HttpClientTest, ABodyThatBreaksOffIsKeptByDownloadButFailsAFetch) {
  sandboxServer().setFault("test", Fault::Truncated);
  const Bytes partial = m_client.downloadFile("http://img.example.com/test/bytes?n=200000");
  EXPECT_FALSE(partial.empty());
  EXPECT_LT(partial.size(), 200000u);
  EXPECT_EQ(m_client.fetch("http://img.example.com/test/bytes?n=200000"), "");

  sandboxServer().setFault("test", Fault::Reset);
  EXPECT_EQ(m_client.downloadFile("http://img.example.com/test/bytes?n=100"), "");
}

// --- time-outs and cancellation ------------------------------------------------------------------

// Hung answers hold a server thread until that server stops, so each of these tests hangs a
// server of its own.
class HungServerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.start());
    m_server.setFault("test", Fault::Hang);
  }
  HttpClient client() const { return routedTo(m_server); }
  SandboxServer m_server;
};

TEST_F(HungServerTest, AFetchGivesUpAfterItsTimeoutAndLeavesTheOutArgumentsAlone) {
  Text headers = "untouched";
  Text cookies = "untouched";
  HttpRequestOptions options;
  options.timeoutSeconds = 1;
  options.returnHeaders = &headers;
  options.returnCookies = &cookies;
  const auto start = Clock::now();
  EXPECT_EQ(client().fetch("http://hung.example.com/test/echo", options), "");
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, kGenerousCeiling);
  EXPECT_EQ(headers, "untouched");
  EXPECT_EQ(cookies, "untouched");

  const auto objectStart = Clock::now();
  EXPECT_EQ(client().fetchViaRequestObject("http://hung.example.com/test/echo", {}, {}, {}, nullptr, {}, 1), "");
  EXPECT_LT(Clock::now() - objectStart, kGenerousCeiling);
}

struct Operation {
  const char* name;
  std::function<Bytes(const HttpClient&, const Text&, const std::stop_token&)> call;
};

// The three ways onto the network, each with nothing but the address and a stop token.
const Operation kOperations[] = {
    {"fetch",
     [](const HttpClient& client, const Text& url, const std::stop_token& stop) {
       HttpRequestOptions options;
       options.cancel = stop;
       return client.fetch(url, options);
     }},
    {"fetchViaRequestObject",
     [](const HttpClient& client, const Text& url, const std::stop_token& stop) {
       return client.fetchViaRequestObject(url, {}, {}, {}, nullptr, {}, 0, {}, {}, {}, stop);
     }},
    {"downloadFile", [](const HttpClient& client, const Text& url,
                        const std::stop_token& stop) { return client.downloadFile(url, stop); }},
};

TEST_F(HungServerTest, CancellationEndsAHungTransferAtOnce) {
  for (const Operation& operation : kOperations) {
    std::stop_source stop;
    const auto start = Clock::now();
    std::jthread canceller([&stop] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      stop.request_stop();
    });
    EXPECT_EQ(operation.call(client(), "http://hung.example.com/test/echo", stop.get_token()), "")
        << operation.name;
    EXPECT_LT(Clock::now() - start, kGenerousCeiling) << operation.name;
  }
}

TEST_F(HttpClientTest, AnAlreadyCancelledCallSendsNothing) {
  std::stop_source stop;
  stop.request_stop();
  for (const Operation& operation : kOperations) {
    EXPECT_EQ(operation.call(m_client, "http://cancelled.example.com/test/echo", stop.get_token()), "")
        << operation.name;
  }
  EXPECT_EQ(sandboxServer().servedCount("test"), 0);
}

TEST_F(HttpClientTest, AddressesWithGbkTextAndSpacesAreSent) {
  for (const Operation& operation : kOperations) {
    // 宝 in GBK, then a blank
    EXPECT_EQ(operation.call(m_client, "http://gbk.example.com/test/echo?q=\xB1\xA6 x", {}), "ok")
        << operation.name;
    EXPECT_EQ(lastTestRequest(sandboxServer()).target, "/test/echo?q=\xB1\xA6%20x") << operation.name;
  }
}

// --- threads, routing, proxies -------------------------------------------------------------------

TEST_F(HttpClientTest, TenThreadsFetchAtOnce) {
  constexpr int kThreads = 10;
  std::vector<std::string> failures(kThreads);
  {
    std::vector<std::jthread> threads;
    threads.reserve(kThreads);
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([this, i, &failures] {
        const std::string host = "http://worker" + std::to_string(i) + ".example.com";
        const std::size_t size = 1000 + static_cast<std::size_t>(i);
        for (int round = 0; round < 3; ++round) {
          if (m_client.fetch(host + "/test/bytes?n=" + std::to_string(size)).size() != size)
            failures[i] += "fetch ";
          if (m_client.downloadFile(host + "/test/bytes?n=" + std::to_string(size)).size() != size) {
            failures[i] += "download ";
          }
          m_client.fetch(host + "/test/set-cookie");
          if (m_client.fetch(host + "/test/cookie-echo") != "a=1") failures[i] += "cookie ";
        }
      });
    }
  }
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
}

TEST_F(HttpClientTest, ConnectToSendsARealLookingHostToTheSandbox) {
  EXPECT_EQ(m_client.fetch("http://item.taobao.com/test/echo"), "ok");
  EXPECT_EQ(lastTestRequest(sandboxServer()).header("Host"), "item.taobao.com");
  EXPECT_EQ(m_client.fetch("http://item.taobao.com:8080/test/echo"), "ok");
  EXPECT_EQ(lastTestRequest(sandboxServer()).header("Host"), "item.taobao.com:8080");

  // Without routing, the URL names where to connect.
  const HttpClient direct;
  EXPECT_EQ(direct.fetch("http://127.0.0.1:" + std::to_string(sandboxServer().port()) + "/test/echo"), "ok");
}

// Points the environment's proxy variables at a port where nothing listens, for one test. Only the
// test's own thread and the sandbox run meanwhile, and the sandbox reads no environment.
class EnvironmentProxy {
 public:
  EnvironmentProxy() {
    for (const char* name : kNames) setenv(name, "http://127.0.0.1:9", 1);  // NOLINT(concurrency-mt-unsafe)
  }
  ~EnvironmentProxy() {
    for (const char* name : kNames) unsetenv(name);  // NOLINT(concurrency-mt-unsafe)
  }
  EnvironmentProxy(const EnvironmentProxy&) = delete;
  EnvironmentProxy& operator=(const EnvironmentProxy&) = delete;

 private:
  static constexpr const char* kNames[] = {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY"};
};

TEST_F(HttpClientTest, TheEnvironmentsProxyIsNeverUsed) {
  const EnvironmentProxy proxy;
  EXPECT_EQ(m_client.fetch("http://direct.example.com/test/echo"), "ok");
  EXPECT_EQ(m_client.downloadFile("http://direct.example.com/test/echo"), "ok");
  EXPECT_EQ(m_client.fetchViaRequestObject("http://direct.example.com/test/echo"), "ok");
}

// --- the request object ------------------------------------------------------------------------

TEST_F(HttpClientTest, RequestObjectSendsItsOwnHeaderSet) {
  const Text url = "http://config.example.com/test/echo";
  EXPECT_EQ(m_client.fetchViaRequestObject(url), "ok");
  const RecordedRequest seen = lastTestRequest(sandboxServer());
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.header("Referrer"), url);
  EXPECT_EQ(headerCount(seen, "Referer"), 0);
  EXPECT_EQ(seen.header("Accept"), kAcceptTypes);
  EXPECT_EQ(seen.header("Accept-Language"), "zh-cn");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(headerCount(seen, "Cookie"), 0);
}

TEST_F(HttpClientTest, RequestObjectPostsWithCookiesAndReturnsTheResponseCookies) {
  EXPECT_EQ(m_client.fetchViaRequestObject("http://config.example.com/test/post-echo", "POST", "k=v", "c=3",
                                           nullptr, {}, 0, {}, {}, "http://from.example.com/"),
            "k=v");
  const RecordedRequest seen = lastTestRequest(sandboxServer());
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.header("Cookie"), "c=3");
  EXPECT_EQ(seen.header("Referrer"), "http://from.example.com/");

  Text cookies;
  EXPECT_FALSE(
      m_client.fetchViaRequestObject("http://object.example.com/test/set-cookie", {}, {}, {}, &cookies).empty());
  EXPECT_EQ(cookies, "a=1");
  // Its cookies stay inside the call.
  m_client.fetch("http://object.example.com/test/cookie-echo");
  EXPECT_EQ(headerCount(lastTestRequest(sandboxServer()), "Cookie"), 0);
}

// --- https ---------------------------------------------------------------------------------------

// A one-purpose TLS server on loopback with a certificate made for `host`, answering "ok" to every
// request and keeping what it read.
class TlsServer {
 public:
  explicit TlsServer(const std::string& host) {
    makeCertificate(host);
    m_context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(m_context, m_certificate);
    SSL_CTX_use_PrivateKey(m_context, m_key);

    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    m_ready = bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(m_listener, 8) == 0 &&
              getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
  }
  ~TlsServer() {
    shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    close(m_listener);
    SSL_CTX_free(m_context);
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
    std::filesystem::remove(m_caFile);
  }
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  bool ready() const { return m_ready; }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  const std::string& caFile() const { return m_caFile; }
  std::vector<std::string> requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
  }

 private:
  void makeCertificate(const std::string& host) {
    m_key = EVP_EC_gen("P-256");
    m_certificate = X509_new();
    X509_set_version(m_certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(m_certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(m_certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(m_certificate), 3600);
    X509_set_pubkey(m_certificate, m_key);
    X509_NAME* name = X509_get_subject_name(m_certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(m_certificate, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, m_certificate, m_certificate, nullptr, nullptr, 0);
    const std::string altName = "DNS:" + host;
    for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, altName.c_str()},
                                     std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
      X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
      X509_add_ext(m_certificate, extension, -1);
      X509_EXTENSION_free(extension);
    }
    X509_sign(m_certificate, m_key, EVP_sha256());

    m_caFile = (std::filesystem::temp_directory_path() /
                ("mirabex-http-test-" + std::to_string(getpid()) + "-" + host + ".pem"))
                   .string();
    FILE* file = std::fopen(m_caFile.c_str(), "w");
    PEM_write_X509(file, m_certificate);
    std::fclose(file);
  }

  void serve() {
    for (;;) {
      const int connection = accept(m_listener, nullptr, nullptr);
      if (connection < 0) return;
      timeval limit{5, 0};
      setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      SSL* ssl = SSL_new(m_context);
      SSL_set_fd(ssl, connection);
      if (SSL_accept(ssl) == 1) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
          const int got = SSL_read(ssl, buffer, sizeof buffer);
          if (got <= 0) break;
          request.append(buffer, static_cast<std::size_t>(got));
        }
        {
          const std::lock_guard lock(m_mutex);
          m_requests.push_back(request);
        }
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
        SSL_shutdown(ssl);
      }
      SSL_free(ssl);
      close(connection);
    }
  }

  EVP_PKEY* m_key = nullptr;
  X509* m_certificate = nullptr;
  SSL_CTX* m_context = nullptr;
  std::string m_caFile;
  int m_listener = -1;
  bool m_ready = false;
  int m_port = 0;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_requests;
};

TEST(HttpClientTls, HttpsAddressesAreFetchedOverTlsOnTheDefaultPort) {
  const TlsServer server("secure.example.com");
  ASSERT_TRUE(server.ready());
  const HttpClient client(HttpClientSettings{server.address(), server.caFile()});
  EXPECT_EQ(client.fetch("https://Secure.Example.com/test/echo?x=1"), "ok");
  EXPECT_EQ(client.downloadFile("https://secure.example.com/pic.jpg"), "ok");

  const std::vector<std::string> seen = server.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].starts_with("GET /test/echo?x=1 HTTP/1.1\r\n")) << seen[0];
  // A Host line without a port: the client took the address as one on 443.
  EXPECT_NE(seen[0].find("\r\nHost: secure.example.com\r\n"), std::string::npos) << seen[0];

  // The certificate is checked: without the test's authority the same call fails.
  const HttpClient untrusting(HttpClientSettings{server.address(), {}});
  EXPECT_EQ(untrusting.fetch("https://secure.example.com/test/echo"), "");
}

}  // namespace
}  // namespace mirabex
