#include "topapi/app_key_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "settings/network_endpoints.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/http_client.h"
#include "toolkit/operation_log.h"
#include "toolkit/xml_document.h"

namespace mirabex {
namespace {

using namespace std::chrono_literals;

const Text kGateway = "http://gw.api.taobao.com/router/rest?";

class RecordingLog : public OperationLogSink {
 public:
  void appendLogLine(const Text& line) override {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line);
  }
  std::vector<Text> lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<Text> m_lines;
};

// Whole log lines at the fixed local time 2013-04-25 07:42:46, spelt out here independently.
Text expectedLine(const char* utf8Message) {
  return utf8ToGbk(
             "2013\xE5\xB9\xB4"
             "4\xE6\x9C\x88"
             "25\xE6\x97\xA5"
             "7\xE6\x97\xB6"
             "42\xE5\x88\x86"
             "46\xE7\xA7\x92") +
         utf8ToGbk(utf8Message) + "\r\n";
}
const char* const kNext = "  通过当前App参数调用'淘宝官方接口'失败！正在尝试下一组App";
const char* const kNone = " ####################没有可用的App=========== 【请联系软件商】";

// One sandbox for the whole binary: it serves the key pool and the gateway.
class KeyRotationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = std::make_unique<sandbox::SandboxServer>();
    ASSERT_TRUE(s_server->start());
  }
  static void TearDownTestSuite() { s_server.reset(); }

  void SetUp() override {
    s_server->clearRequests();
    s_server->setFault("gateway", sandbox::Fault::None);
    s_server->setFault("keypool", sandbox::Fault::None);
    s_server->setValidKeyPairs({1, 2, 3, 4, 5});
    s_server->setCheckTimestampWindow(false);
  }

  HttpClient http() const {
    return HttpClient(HttpClientSettings{.connectTo = s_server->address(), .caFile = {}});
  }

  // The first `count` pairs the sandbox's pool document serves, in their positions.
  std::vector<AppKeyPair> servedPairs(int count) const {
    std::vector<AppKeyPair> pairs;
    for (const sandbox::KeyPair& pair : s_server->catalogue().keyPairs()) {
      if (static_cast<int>(pairs.size()) < count) {
        pairs.push_back({pair.appKey, pair.appSecret});
      }
    }
    return pairs;
  }

  Text itemId() const { return s_server->catalogue().items().front().numIid; }

  static std::unique_ptr<sandbox::SandboxServer> s_server;
  const FixedClock m_clock{std::chrono::system_clock::now(), DateTime{2013, 4, 25, 7, 42, 46, 0}};
  RecordingLog m_log;
};

std::unique_ptr<sandbox::SandboxServer> KeyRotationTest::s_server;

struct RotationCase {
  const char* name;
  int pairs;               // the pool: that many pairs of the served document
  std::vector<int> valid;  // positions the gateway accepts
  int startIndex;          // the worker's key index
  int currentBefore;
  ItemFetchOutcome outcome;
  int keyIndexAfter;
  int currentAfter;
  std::vector<const char*> lines;
  int gatewayCalls;
};

class RotationTest : public KeyRotationTest, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(RotationTest, Rotates) {
  const RotationCase& c = GetParam();
  s_server->setValidKeyPairs(c.valid);
  AppKeyPool pool(servedPairs(c.pairs));
  pool.setCurrentIndex(c.currentBefore);
  const HttpClient client = http();
  XmlDocument document;
  int keyIndex = c.startIndex;

  const ItemFetchOutcome outcome = fetchItemResponse(pool, keyIndex, itemId(), document,
                                                     ItemFetchContext{client, m_clock, kGateway, m_log, {}});

  EXPECT_EQ(outcome, c.outcome);
  EXPECT_EQ(keyIndex, c.keyIndexAfter);
  EXPECT_EQ(pool.currentIndex(), c.currentAfter);
  std::vector<Text> expected;
  for (const char* line : c.lines) {
    expected.push_back(expectedLine(line));
  }
  EXPECT_EQ(m_log.lines(), expected);
  EXPECT_EQ(s_server->servedCount("gateway"), c.gatewayCalls);
  // The worker goes on with the response it holds: the item, or the last pair's error.
  if (outcome == ItemFetchOutcome::Loaded) {
    EXPECT_EQ(document.rootElementName(), "item_get_response");
    EXPECT_EQ(document.text("item_get_response/item/num_iid"), itemId());
  } else {
    EXPECT_EQ(document.rootElementName(), "error_response");
  }
}

using Outcome = ItemFetchOutcome;
INSTANTIATE_TEST_SUITE_P(
    KeyPool, RotationTest,
    ::testing::Values(
        RotationCase{"FirstPairWorksAndTheIndexMayMoveBack", 3, {1}, 1, 3, Outcome::Loaded, 1, 1, {}, 1},
        RotationCase{"SecondPairWorks", 3, {2}, 1, 1, Outcome::Loaded, 2, 2, {kNext}, 2},
        RotationCase{"EveryPairFails", 3, {}, 1, 1, Outcome::Exhausted, 3, 1, {kNext, kNext, kNone}, 3},
        RotationCase{"OnePairFails", 1, {}, 1, 1, Outcome::Exhausted, 1, 1, {kNone}, 1},
        RotationCase{"StartingFromTheLastPairFails", 3, {}, 3, 3, Outcome::Exhausted, 3, 3, {kNone}, 1},
        RotationCase{"OnlyTheLastPairWorks", 3, {3}, 1, 1, Outcome::Loaded, 3, 3, {kNext, kNext}, 3},
        RotationCase{"EarlierPairsAreNotTried", 3, {1}, 2, 2, Outcome::Exhausted, 3, 2, {kNext, kNone}, 2}),
    [](const ::testing::TestParamInfo<RotationCase>& info) { return std::string(info.param.name); });

TEST_F(KeyRotationTest, BlanksGoOutAsPercent20) {
  AppKeyPool pool(servedPairs(1));
  const HttpClient client = http();
  XmlDocument document;
  int keyIndex = 1;
  ASSERT_EQ(fetchItemResponse(pool, keyIndex, itemId(), document,
                              ItemFetchContext{client, m_clock, kGateway, m_log, {}}),
            ItemFetchOutcome::Loaded);
  const std::vector<sandbox::RecordedRequest> requests = s_server->requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].host, "gw.api.taobao.com");
  EXPECT_EQ(requests[0].target.rfind("/router/rest?app_key=", 0), 0u) << requests[0].target;
  EXPECT_NE(requests[0].target.find("has_warranty%20&"), std::string::npos);
  EXPECT_EQ(requests[0].target.find(' '), std::string::npos);
}

TEST_F(KeyRotationTest, FailedFetchCountsAsSuccessWithoutRotation) {
  s_server->setFault("gateway", sandbox::Fault::Reset);
  AppKeyPool pool(servedPairs(3));
  const HttpClient client = http();
  XmlDocument document;
  int keyIndex = 2;
  EXPECT_EQ(fetchItemResponse(pool, keyIndex, itemId(), document,
                              ItemFetchContext{client, m_clock, kGateway, m_log, {}}),
            ItemFetchOutcome::Loaded);
  EXPECT_EQ(keyIndex, 2);
  EXPECT_EQ(pool.currentIndex(), 2);
  EXPECT_TRUE(m_log.lines().empty());
  EXPECT_EQ(document.rootElementName(), "");
}

TEST_F(KeyRotationTest, PairWithoutSecretSendsNothing) {
  AppKeyPool pool(std::vector<AppKeyPair>{{"12000001", ""}, {"12000002", "x"}});
  const HttpClient client = http();
  XmlDocument document;
  int keyIndex = 1;
  EXPECT_EQ(fetchItemResponse(pool, keyIndex, itemId(), document,
                              ItemFetchContext{client, m_clock, kGateway, m_log, {}}),
            ItemFetchOutcome::Loaded);
  EXPECT_EQ(s_server->servedCount("gateway"), 0);
  EXPECT_TRUE(m_log.lines().empty());
}

TEST_F(KeyRotationTest, StopIsNoReasonToRotate) {
  s_server->setFault("gateway", sandbox::Fault::Hang);
  AppKeyPool pool(servedPairs(3));
  pool.setCurrentIndex(2);
  const HttpClient client = http();
  XmlDocument document;
  int keyIndex = 1;
  std::stop_source stop;
  std::jthread stopper([&stop] {
    std::this_thread::sleep_for(200ms);
    stop.request_stop();
  });

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(fetchItemResponse(pool, keyIndex, itemId(), document,
                              ItemFetchContext{client, m_clock, kGateway, m_log, stop.get_token()}),
            ItemFetchOutcome::Stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(keyIndex, 1);
  EXPECT_EQ(pool.currentIndex(), 2);
  EXPECT_TRUE(m_log.lines().empty());
}

TEST_F(KeyRotationTest, StoppedBeforehandFetchesNothingUsable) {
  AppKeyPool pool(servedPairs(3));
  const HttpClient client = http();
  XmlDocument document;
  int keyIndex = 1;
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(fetchItemResponse(pool, keyIndex, itemId(), document,
                              ItemFetchContext{client, m_clock, kGateway, m_log, stop.get_token()}),
            ItemFetchOutcome::Stopped);
  EXPECT_TRUE(m_log.lines().empty());
}

// The gateway keeps China time; a machine in another zone must still stamp its calls so that they pass.
TEST_F(KeyRotationTest, RealClockPassesTheTimestampWindowInAnyZone) {
  s_server->setCheckTimestampWindow(true);
  const char* const oldZone = std::getenv("TZ");
  const std::optional<std::string> saved = oldZone ? std::optional<std::string>(oldZone) : std::nullopt;
  for (const char* zone : {"UTC0", "EST5EDT", "JST-9"}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    AppKeyPool pool(servedPairs(1));
    const HttpClient client = http();
    XmlDocument document;
    int keyIndex = 1;
    EXPECT_EQ(fetchItemResponse(pool, keyIndex, itemId(), document,
                                ItemFetchContext{client, systemClock(), kGateway, m_log, {}}),
              ItemFetchOutcome::Loaded)
        << zone;
    EXPECT_EQ(document.rootElementName(), "item_get_response") << zone << ": " << document.text("@1/sub_msg");
  }
  if (saved) {
    ::setenv("TZ", saved->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST_F(KeyRotationTest, LoadsThePoolFromTheConfigurationServer) {
  AppKeyPool pool;
  ASSERT_TRUE(pool.load(http(), NetworkEndpoints{}.configServerBase()));
  const std::vector<sandbox::RecordedRequest> requests = s_server->requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].kind, "keypool");
  EXPECT_EQ(requests[0].target, "/qelt_api//app.xml");

  const std::vector<AppKeyPair> expected = servedPairs(5);
  ASSERT_EQ(pool.pairCount(), static_cast<int>(expected.size()));
  for (int i = 1; i <= pool.pairCount(); ++i) {
    EXPECT_EQ(pool.pair(i).appKey, expected[static_cast<std::size_t>(i - 1)].appKey);
    EXPECT_EQ(pool.pair(i).appSecret, expected[static_cast<std::size_t>(i - 1)].appSecret);
  }
  EXPECT_EQ(pool.currentIndex(), 1);
}

TEST_F(KeyRotationTest, UnusablePoolDocumentLeavesThePoolEmpty) {
  for (const sandbox::Fault fault : {sandbox::Fault::NotXml, sandbox::Fault::Reset}) {
    s_server->setFault("keypool", fault);
    AppKeyPool pool;
    EXPECT_FALSE(pool.load(http(), NetworkEndpoints{}.configServerBase())) << static_cast<int>(fault);
    EXPECT_TRUE(pool.empty());
  }
}

}  // namespace
}  // namespace mirabex
