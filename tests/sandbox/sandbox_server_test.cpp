#include "sandbox/sandbox_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/raw_http.h"

namespace mirabex::sandbox {
namespace {

using testing::openRequest;
using testing::rawExchange;
using testing::rawGet;

class SandboxServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new SandboxServer();
    ASSERT_TRUE(s_server->start());
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override {
    s_server->clearFaults();
    s_server->clearRequests();
  }
  static httplib::Client client() {
    httplib::Client c("127.0.0.1", s_server->port());
    c.set_read_timeout(5, 0);
    return c;
  }
  static SandboxServer* s_server;
};

SandboxServer* SandboxServerTest::s_server = nullptr;

TEST_F(SandboxServerTest, TestEndpointsAnswerOnAnyHost) {
  struct Case {
    const char* method;
    const char* target;
    std::string body;
    httplib::Headers headers;
    int status;
    std::string expected;
  };
  const Case cases[] = {
      {"GET", "/test/echo", "", {{"Host", "gw.api.taobao.com"}}, 200, "ok"},
      {"GET", "/test/status/503", "", {}, 503, "status 503"},
      {"GET", "/test/status/404", "", {{"Host", "img01.taobaocdn.com"}}, 404, "status 404"},
      {"GET", "/test/cookie-echo", "", {{"Cookie", "a=1; b=2"}}, 200, "a=1; b=2"},
      {"GET", "/test/cookie-echo", "", {}, 200, ""},
      {"POST", "/test/post-echo", "x=1&y=%20+z", {}, 200, "x=1&y=%20+z"},
      {"GET", "/test/nothing-here", "", {}, 404, "no such test endpoint"},
  };
  httplib::Client c = client();
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.target);
    httplib::Result result = std::string(tc.method) == "POST"
                                 ? c.Post(tc.target, tc.headers, tc.body, "application/x-www-form-urlencoded")
                                 : c.Get(tc.target, tc.headers);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, tc.status);
    EXPECT_EQ(result->body, tc.expected);
  }
}

TEST_F(SandboxServerTest, BytesEndpointSendsEveryByteValue) {
  httplib::Result result = client().Get("/test/bytes?n=300");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->body.size(), 300u);
  EXPECT_EQ(result->body[0], '\0');
  EXPECT_EQ(static_cast<unsigned char>(result->body[255]), 255);
  EXPECT_EQ(result->body[256], '\0');
}

TEST_F(SandboxServerTest, RedirectPointsAtTheGivenPath) {
  httplib::Result result = client().Get("/test/redirect?to=/test/status/201");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 302);
  EXPECT_EQ(result->get_header_value("Location"), "/test/status/201");
}

TEST_F(SandboxServerTest, CookieHeadersComeInOrderAndLate) {
  httplib::Result result = client().Get("/test/set-cookie");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->get_header_value_count("Set-Cookie"), 2u);
  EXPECT_EQ(result->get_header_value("Set-Cookie", 0), "a=1; path=/");
  EXPECT_EQ(result->get_header_value("Set-Cookie", 1), "gone=; expires=Thu, 01 Jan 1970 00:00:00 GMT; path=/");

  // A reader with a 2,048-byte header buffer must miss this cookie.
  auto raw = rawExchange(s_server->port(), rawGet("any.host", "/test/big-headers"));
  size_t headerEnd = raw.received.find("\r\n\r\n");
  size_t cookie = raw.received.find("Set-Cookie: big=2; path=/");
  ASSERT_NE(headerEnd, std::string::npos);
  ASSERT_NE(cookie, std::string::npos);
  EXPECT_GT(cookie, 2048u);
  EXPECT_LT(cookie, headerEnd);
}

TEST_F(SandboxServerTest, FaultsOfTheTestKind) {
  s_server->setFault("test", Fault::Reset);
  auto reset = rawExchange(s_server->port(), rawGet("h", "/test/echo"));
  EXPECT_TRUE(reset.connected);
  EXPECT_EQ(reset.received, "");

  s_server->setFault("test", Fault::Status500);
  httplib::Result failed = client().Get("/test/echo");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500);

  s_server->setFault("test", Fault::Truncated);
  auto truncated = rawExchange(s_server->port(), rawGet("h", "/test/bytes?n=1000"));
  size_t headerEnd = truncated.received.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  EXPECT_NE(truncated.received.find("Content-Length: 1000\r\n"), std::string::npos);
  EXPECT_EQ(truncated.received.size() - headerEnd - 4, 500u);

  s_server->setFault("test", Fault::Hang);
  auto hung = rawExchange(s_server->port(), rawGet("h", "/test/echo"), 300);
  EXPECT_EQ(hung.received, "");

  // Not XML is for documents only; other kinds answer as usual.
  s_server->setFault("test", Fault::NotXml);
  httplib::Result normal = client().Get("/test/echo");
  ASSERT_TRUE(normal);
  EXPECT_EQ(normal->body, "ok");
  EXPECT_EQ(s_server->servedCount("test", "/test/"), 5);
}

TEST_F(SandboxServerTest, FaultsApplyPerKindOrToAll) {
  s_server->setFault("picture", Fault::Status500);
  httplib::Result echo = client().Get("/test/echo");
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->status, 200);
  httplib::Result picture = client().Get("/a/b.jpg", {{"Host", "img01.taobaocdn.com"}});
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 500);

  s_server->setFault("*", Fault::Reset);
  EXPECT_EQ(rawExchange(s_server->port(), rawGet("h", "/test/echo")).received, "");
  s_server->setFault("test", Fault::None);  // a kind's own setting wins over "*"
  httplib::Result again = client().Get("/test/echo");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->body, "ok");
}

TEST_F(SandboxServerTest, NotXmlReplacesTheDocuments) {
  s_server->setFault("keypool", Fault::NotXml);
  httplib::Result pool = client().Get("/qelt_api//app.xml");
  ASSERT_TRUE(pool);
  EXPECT_EQ(pool->status, 200);
  EXPECT_EQ(pool->body.find('<'), pool->body.find("<html>"));
  EXPECT_EQ(pool->body.find("<?xml"), std::string::npos);
}

TEST_F(SandboxServerTest, ClassifiesRequestsByHostAndPath) {
  struct Case {
    const char* host;
    const char* target;
    const char* kind;
  };
  const Case cases[] = {
      {"config.example", "/qelt_api//app.xml", "keypool"},
      {"config.example", "/qelt_api/app.xml", "keypool"},
      {"gw.api.taobao.com", "/router/rest?method=x", "gateway"},
      {"item.taobao.com", "/item.htm?id=30000000001", "item"},
      {"detail.tmall.com", "/item.htm?id=20000000010", "item"},
      {"img01.taobaocdn.com", "/bao/uploaded/i1/x.jpg", "picture"},
      {"img.alicdn.com", "/imgextra/i4/x.jpg", "picture"},
      {"shop1001.taobao.com", "/search.htm?search=y", "shop"},
      {"shop1001.taobao.com", "/search.htm?&pageNum=2", "shop"},
      {"shop1001.taobao.com", "/search.htm?&search=y&scid=5001&viewType=grid&orderType=_hotsell&pageNum=1",
       "category"},
      {"shop1001.taobao.com", "/category-7001.htm", "category"},
      {"127.0.0.1", "/news.html", "web"},
      {"127.0.0.1", "/qelthelp.html", "web"},
      {"nobody.example", "/anything", "web"},
      {"item.taobao.com", "/test/echo", "test"},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(std::string(tc.host) + tc.target);
    s_server->clearRequests();
    rawExchange(s_server->port(), rawGet(tc.host, tc.target));
    std::vector<RecordedRequest> seen = s_server->requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, tc.kind);
  }
}

TEST_F(SandboxServerTest, RecordsWhatWasSent) {
  std::string request =
      "GET /search.htm?search=y HTTP/1.0\r\nHost: Shop1001.TAOBAO.com:8080\r\nAccept-Language: zh-cn\r\n"
      "Referer: http://shop1001.taobao.com/search.htm?search=y\r\n\r\n";
  rawExchange(s_server->port(), request);
  client().Post("/test/post-echo", "a=1", "text/plain");
  std::vector<RecordedRequest> seen = s_server->requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, "shop");
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].host, "shop1001.taobao.com");
  EXPECT_EQ(seen[0].target, "/search.htm?search=y");
  EXPECT_EQ(seen[0].version, "HTTP/1.0");
  EXPECT_EQ(seen[0].header("accept-language"), "zh-cn");
  EXPECT_EQ(seen[0].header("REFERER"), "http://shop1001.taobao.com/search.htm?search=y");
  EXPECT_EQ(seen[0].header("REMOTE_ADDR"), "");
  EXPECT_EQ(seen[1].body, "a=1");

  EXPECT_EQ(s_server->servedCount("shop"), 1);
  EXPECT_EQ(s_server->servedCount("shop", "/search.htm?se"), 1);
  EXPECT_EQ(s_server->servedCount("shop", "/item"), 0);
  EXPECT_EQ(s_server->servedCountOnHost("shop", "shop1001.taobao.com"), 1);
  EXPECT_EQ(s_server->servedCountOnHost("shop", "shop1002.taobao.com"), 0);
  s_server->clearRequests();
  EXPECT_EQ(s_server->servedCount("shop"), 0);
}

TEST_F(SandboxServerTest, HoldsManyConnectionsAtOnce) {
  // Hung requests are recorded once a worker holds them, so 24 records mean 24 at once.
  s_server->setFault("test", Fault::Hang);
  std::vector<int> sockets;
  for (int i = 0; i < 24; ++i) sockets.push_back(openRequest(s_server->port(), rawGet("h", "/test/echo")));
  for (int i = 0; i < 1000 && s_server->servedCount("test") < 24; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(s_server->servedCount("test"), 24);
  for (int fd : sockets) close(fd);
}

TEST(SandboxServerLifetime, StopEndsHungRequests) {
  SandboxServer server;
  ASSERT_TRUE(server.start());
  server.setFault("gateway", Fault::Hang);
  testing::RawExchange outcome;
  std::thread caller([&] { outcome = rawExchange(server.port(), rawGet("gw", "/router/rest"), 60000); });
  for (int i = 0; i < 1000 && server.servedCount("gateway") == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  server.stop();
  caller.join();
  EXPECT_TRUE(outcome.connected);
  EXPECT_EQ(outcome.received, "");
  // A stopped server can be started again.
  ASSERT_TRUE(server.start());
  EXPECT_NE(rawExchange(server.port(), rawGet("h", "/test/echo")).received.find("\r\n\r\nok"), std::string::npos);
}

TEST(SandboxServerLifetime, BindingATakenPortFails) {
  SandboxServer first;
  ASSERT_TRUE(first.start());
  SandboxServer second;
  EXPECT_FALSE(second.start(first.port()));
  EXPECT_EQ(first.address(), "127.0.0.1:" + std::to_string(first.port()));
  EXPECT_EQ(first.baseUrl(), "http://" + first.address());
}

}  // namespace
}  // namespace mirabex::sandbox
