#pragma once

#include <mutex>
#include <stop_token>
#include <string_view>
#include <vector>

#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

class HttpClient;
class OperationLogSink;
class XmlDocument;

struct AppKeyPair {
  Text appKey;
  Text appSecret;
};

// The application keys the program signs with, downloaded once at start-up, and the index of the
// pair that made the most recent successful call. Pairs are read-only after loading; the index is
// shared by every worker.
class AppKeyPool {
 public:
  AppKeyPool() = default;
  explicit AppKeyPool(std::vector<AppKeyPair> pairs);
  AppKeyPool(const AppKeyPool&) = delete;
  AppKeyPool& operator=(const AppKeyPool&) = delete;

  // Fetches configServerBase + "/app.xml" and parses it; true when the pool holds at least one pair.
  // Call before any worker exists.
  bool load(const HttpClient& http, const Text& configServerBase);
  // The parse alone: every child element of the root is one pair, attributes appkey and appsecret
  // (a missing one stays empty). Replaces the pairs and resets the current index to 1.
  bool loadDocument(std::string_view body);

  int pairCount() const { return static_cast<int>(m_pairs.size()); }
  bool empty() const { return m_pairs.empty(); }
  // Pair `index`, counted from 1; an empty pair when out of range.
  AppKeyPair pair(int index) const;

  int currentIndex() const;
  void setCurrentIndex(int index);

 private:
  std::vector<AppKeyPair> m_pairs;
  mutable std::mutex m_indexMutex;
  int m_currentIndex = 1;
};

// What a worker needs to fetch one item through the pool.
struct ItemFetchContext {
  const HttpClient& http;
  const Clock& clock;  // request timestamps (in GMT+8) and log times (local)
  Text gatewayUrl;     // scheme, host and "/router/rest?"
  OperationLogSink& log;
  std::stop_token stop;  // Stop of the run: ends a transfer in flight
};

enum class ItemFetchOutcome {
  Loaded,     // `document` holds a response that is not an error (or nothing, when the fetch failed)
  Exhausted,  // every pair from the worker's index onward answered with an error
  Stopped,    // the run was stopped during a fetch
};

// Fetches taobao.item.get for `itemId` with pair `keyIndex` and, while the gateway answers with an
// error ("@1/msg" not empty), moves on to the next pair, one log line per further pair tried. On
// success the pool's current index takes the pair used. `keyIndex` is the worker's own and is left
// on the last pair tried; `document` holds the last response.
ItemFetchOutcome fetchItemResponse(AppKeyPool& pool, int& keyIndex, const Text& itemId, XmlDocument& document,
                                   const ItemFetchContext& context);

}  // namespace mirabex
