#pragma once

#include <atomic>

#include "toolkit/gbk_text.h"

namespace mirabex {

// The three address mode words of the toolbar (GBK): "单品", "列表", "店铺". Any other text,
// the empty one included, means no mode has been chosen yet.
const Text& singleItemModeWord();
const Text& categoryModeWord();
const Text& shopModeWord();

enum class CrawlMode { Shop, Category };

// categoryKind values.
inline constexpr int kNoCategory = 0;
inline constexpr int kScidCategory = 1;   // given by "scid="
inline constexpr int kCatIdCategory = 2;  // given by "catId=" or "category-"

// What the last shop or category probe found, as the window shows it.
struct CrawlState {
  Text shopHost;
  Text categoryId;
  int categoryKind = kNoCategory;
  int pageTotal = 0;
  int pagesClaimed = 0;
};

// The parameters one crawl was started with. They are copied into the crawl, so a later
// probe or a mode switch on the toolbar never changes what a running crawl reads.
struct CrawlParameters {
  CrawlMode mode = CrawlMode::Shop;
  Text shopHost;
  Text categoryId;
  int categoryKind = kNoCategory;
  int pageTotal = 0;
};

// The page counter that the five crawler threads of one crawl share.
class PageClaims {
 public:
  explicit PageClaims(int pageTotal) : m_pageTotal(pageTotal) {}
  // The next page number (from 1), or 0 when every page has been handed out. The test, the
  // increment and the read are one step, so each page goes to exactly one thread.
  int claim();
  int claimed() const { return m_claimed.load(); }
  int pageTotal() const { return m_pageTotal; }
  // True once the last page has been handed out.
  bool allClaimed() const { return m_claimed.load() >= m_pageTotal; }

 private:
  const int m_pageTotal;
  std::atomic<int> m_claimed{0};
};

}  // namespace mirabex
