#pragma once

#include <array>
#include <atomic>
#include <stop_token>
#include <utility>
#include <vector>

#include "itemlist/crawl_host.h"
#include "itemlist/crawl_state.h"
#include "itemlist/item_list.h"
#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"
#include "toolkit/http_client.h"
#include "toolkit/pattern_matcher.h"

namespace mirabex {

// One of the three search-page layouts shops use, recognised by its item pattern.
struct PageTemplate {
  Text name;  // "普通", "旺铺", "店铺街" (GBK)
  Text itemPattern;
  Text pricePattern;
  int titleGroup = 0;
  int idGroup = 0;       // the group holding the id, or the link the id is cut from
  bool idInLink = false;  // "普通": the id is the text between "id=" and "&" of the link
};

// The templates in the order they are tried.
const std::array<PageTemplate, 3>& pageTemplates();

// FetchPageText: a GET of `url` (empty bytes on any failure), zero bytes turned into spaces, the
// bytes taken as GBK as they are.
Text fetchPageText(const HttpClient& http, const Text& url, std::stop_token cancel = {});
Text pageTextOfBody(Bytes body);

// The search page of page number `page` (from 1); empty for a category of no known kind.
Text crawlPageUrl(const CrawlParameters& parameters, int page);

// Recognises a page's template and cuts its rows out of it. Holds the two matchers of one thread.
class PageExtractor {
 public:
  explicit PageExtractor(Text itemHost) : m_itemHost(std::move(itemHost)) {}
  // Tries the templates in order and keeps the first whose item pattern matches (or the last one).
  // Returns the number of item matches; rows are then read with row().
  int recognise(const Text& pageText);
  // The template in use after recognise(), 0-based.
  int templateIndex() const { return m_templateIndex; }
  // The row of item match i (1-based); its itemId is empty when the match gives no id.
  ItemRow row(int i) const;
  // recognise() and every row with an id, in page order.
  std::vector<ItemRow> extract(const Text& pageText);

 private:
  Text m_itemHost;
  PatternMatcher m_itemMatcher;
  PatternMatcher m_priceMatcher;
  int m_templateIndex = 0;
};

// What a crawler thread works with; everything must outlive the crawl.
struct CrawlServices {
  ItemList& list;
  const HttpClient& http;
  CrawlHost& host;
  const Clock& clock;
  Text itemHost;  // the marketplace's item-page host, for itemUrl
};

// The shared part of one crawl: its parameters, its page counter and the count of finished pages.
struct CrawlShared {
  explicit CrawlShared(CrawlParameters crawlParameters)
      : parameters(std::move(crawlParameters)), claims(parameters.pageTotal) {}
  const CrawlParameters parameters;
  PageClaims claims;
  std::atomic<int> pagesRead{0};
};

// The body of one crawler thread: claims pages until none is left, fetching, logging and
// appending rows page by page.
class PageCrawler {
 public:
  PageCrawler(int threadNumber, CrawlShared& shared, CrawlServices services);
  // Ends when no page is left to claim or when stop is requested.
  void run(std::stop_token stop);

 private:
  void log(const Text& message) const;

  const int m_threadNumber;
  CrawlShared& m_shared;
  CrawlServices m_services;
  PageExtractor m_extractor;
  Text m_pageText;  // of the page last fetched
};

}  // namespace mirabex
