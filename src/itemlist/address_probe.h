#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "itemlist/crawl_host.h"
#include "itemlist/crawl_state.h"
#include "itemlist/item_list.h"
#include "itemlist/page_crawl.h"
#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"
#include "toolkit/http_client.h"

namespace mirabex {

// What the probe and its crawls work with; everything must outlive the AddressProbe.
struct AddressProbeServices {
  ItemList& list;
  const HttpClient& http;
  CrawlHost& host;
  const Clock& clock;
  Text itemHost;  // the marketplace's item-page host
  Text mallHost;  // the mall's item-page host
};

enum class AddOutcome {
  Ignored,       // blank address or no mode chosen: nothing happens, no log line
  ProbeStarted,  // the probe runs; the host hears probeFinished when it is over
  ProbeBusy,     // the previous press is still probing: nothing happens
  CrawlBusy,     // shop or category while a crawl still reads pages: refused with one log line
};

// "添加到列表": classifies the typed address by the address mode, fetches its first page on a
// thread of its own and either appends one row or starts a crawl of five crawler threads. Owns
// the probe thread and the current crawl; destroying it stops and joins them.
class AddressProbe {
 public:
  explicit AddressProbe(AddressProbeServices services);
  ~AddressProbe();
  AddressProbe(const AddressProbe&) = delete;
  AddressProbe& operator=(const AddressProbe&) = delete;

  // Returns at once; every outcome past the first checks is reported through the host.
  AddOutcome AddToList(const Text& address, const Text& addressMode);

  bool probeRunning() const;
  bool crawlRunning() const;
  // Waits until neither a probe nor a crawl is running; false when the time ran out first.
  bool waitUntilIdle(std::chrono::milliseconds timeout);
  // The crawl parameters of the last probe, with the page counter of the last crawl.
  CrawlState crawlState() const;

 private:
  void runProbe(std::stop_token stop, Text address, Text addressMode);
  ProbeResult probeSingleItem(std::stop_token stop, const Text& address);
  ProbeResult probeShop(std::stop_token stop, const Text& address);
  ProbeResult probeCategory(std::stop_token stop, const Text& address);
  // The steps shop and category share: report the item count, read the page count, start the crawl.
  ProbeResult countPagesAndCrawl(const Text& pageText, CrawlMode mode);
  void startCrawl(CrawlParameters parameters);
  void crawlEnded();
  void log(const Text& message) const;

  AddressProbeServices m_services;
  mutable std::mutex m_mutex;  // guards everything below; never held while joining threads
  std::condition_variable m_idle;
  CrawlState m_state;
  bool m_probeRunning = false;
  bool m_crawlActive = false;
  std::unique_ptr<PageCrawl> m_crawl;
  std::jthread m_probeThread;
};

// The page count a page-info text names ("1/25" gives 25), or 0 when it names none. Only the
// number after the last "/" counts; a text that is not a number is 0.
double pageCountOf(const Text& pageCountText);

}  // namespace mirabex
