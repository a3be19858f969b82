#include "topapi/app_key_pool.h"

#include <string>
#include <utility>

#include "toolkit/http_client.h"
#include "toolkit/operation_log.h"
#include "toolkit/xml_document.h"
#include "topapi/top_request.h"

namespace mirabex {

namespace {

// "  通过当前App参数调用'淘宝官方接口'失败！正在尝试下一组App"
constexpr std::string_view kTryNextPairLine =
    "  \xCD\xA8\xB9\xFD\xB5\xB1\xC7\xB0"
    "App\xB2\xCE\xCA\xFD\xB5\xF7\xD3\xC3'\xCC\xD4\xB1\xA6\xB9\xD9\xB7\xBD\xBD\xD3\xBF\xDA'\xCA\xA7\xB0\xDC\xA3\xA1"
    "\xD5\xFD\xD4\xDA\xB3\xA2\xCA\xD4\xCF\xC2\xD2\xBB\xD7\xE9"
    "App";
// " ####################没有可用的App=========== 【请联系软件商】"
constexpr std::string_view kNoAppLine =
    " ####################\xC3\xBB\xD3\xD0\xBF\xC9\xD3\xC3\xB5\xC4"
    "App=========== \xA1\xBE\xC7\xEB\xC1\xAA\xCF\xB5\xC8\xED\xBC\xFE\xC9\xCC\xA1\xBF";

}  // namespace

AppKeyPool::AppKeyPool(std::vector<AppKeyPair> pairs) : m_pairs(std::move(pairs)) {}

bool AppKeyPool::load(const HttpClient& http, const Text& configServerBase) {
  const Bytes body = http.fetchViaRequestObject(configServerBase + "/app.xml");
  return loadDocument(body);
}

bool AppKeyPool::loadDocument(std::string_view body) {
  std::vector<AppKeyPair> pairs;
  XmlDocument document;
  if (document.load(body)) {
    const int count = document.countChildren("@1");
    for (int i = 1; i <= count; ++i) {
      const std::string path = "@1/@" + std::to_string(i);
      AppKeyPair pair;
      document.attribute(path, "appkey", pair.appKey);
      document.attribute(path, "appsecret", pair.appSecret);
      pairs.push_back(std::move(pair));
    }
  }
  m_pairs = std::move(pairs);
  setCurrentIndex(1);
  return !m_pairs.empty();
}

AppKeyPair AppKeyPool::pair(int index) const {
  if (index < 1 || index > pairCount()) {
    return {};
  }
  return m_pairs[static_cast<std::size_t>(index - 1)];
}

int AppKeyPool::currentIndex() const {
  std::lock_guard lock(m_indexMutex);
  return m_currentIndex;
}

void AppKeyPool::setCurrentIndex(int index) {
  std::lock_guard lock(m_indexMutex);
  m_currentIndex = index;
}

ItemFetchOutcome fetchItemResponse(AppKeyPool& pool, int& keyIndex, const Text& itemId, XmlDocument& document,
                                   const ItemFetchContext& context) {
  auto log = [&](std::string_view message) {
    context.log.appendLogLine(operationLogLine(context.clock.localNow(), message));
  };
  // False when the run was stopped during the transfer: a cancelled call says nothing about the pair.
  auto fetchWithPair = [&](int index) {
    const AppKeyPair pair = pool.pair(index);
    const SignedTopRequest request =
        buildItemGetRequest(pair.appKey, pair.appSecret, itemId, context.clock, context.gatewayUrl);
    Bytes body;
    // A pair with an empty key or secret has no URL; fetching nothing gives nothing.
    if (!request.wireUrl.empty()) {
      HttpRequestOptions options;
      options.cancel = context.stop;
      body = context.http.fetch(request.wireUrl, options);
    }
    if (context.stop.stop_requested()) {
      return false;
    }
    document.load(body);
    return true;
  };
  auto isError = [&] { return !document.text("@1/msg").empty(); };

  const int pairCount = pool.pairCount();
  if (pairCount == 0) {
    log(kNoAppLine);
    return ItemFetchOutcome::Exhausted;
  }
  if (keyIndex < 1 || keyIndex > pairCount) {
    keyIndex = 1;
  }

  if (!fetchWithPair(keyIndex)) {
    return ItemFetchOutcome::Stopped;
  }
  // Rotation only moves forward. The last pair's answer is looked at like every other: a pool whose
  // last pair works still has an App.
  while (isError()) {
    if (keyIndex >= pairCount) {
      log(kNoAppLine);
      return ItemFetchOutcome::Exhausted;
    }
    ++keyIndex;
    if (!fetchWithPair(keyIndex)) {
      return ItemFetchOutcome::Stopped;
    }
    log(kTryNextPairLine);
  }
  pool.setCurrentIndex(keyIndex);
  return ItemFetchOutcome::Loaded;
}

}  // namespace mirabex
