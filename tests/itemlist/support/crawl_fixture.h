#pragma once

// What the probe and crawler tests share: one in-process sandbox per test binary, a host that
// records every crawl event, and a probe wired to both.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "itemlist/address_probe.h"
#include "itemlist/crawl_host.h"
#include "itemlist/item_list.h"
#include "sandbox/catalogue.h"
#include "sandbox/sandbox_server.h"
#include "toolkit/clock.h"
#include "toolkit/gbk_text.h"
#include "toolkit/http_client.h"

namespace mirabex::testing {

// Started on first use on an ephemeral loopback port.
sandbox::SandboxServer& sharedSandbox();
// Faults and latencies off, request log emptied.
void resetSandbox();
HttpClientSettings sandboxClientSettings();

Text gbk(std::string_view utf8);

// The clock every rig logs with, and the time text its lines start with.
const FixedClock& testClock();
const Text& testTimeText();

class RecordingCrawlHost : public CrawlHost {
 public:
  void appendLogLine(const Text& line) override;
  void pageFetched(int threadNumber, int page) override;
  void rowAppended(int rowCount) override;
  void pageRead(const CrawlProgress& progress) override;
  void crawlFinished() override;
  void probeFinished(ProbeResult result) override;

  std::vector<Text> lines() const;
  // The lines' messages, time and CR LF cut off.
  std::vector<Text> messages() const;
  // The messages that contain `gbkNeedle`.
  std::vector<Text> messagesContaining(std::string_view gbkNeedle) const;
  std::vector<ProbeResult> probeResults() const;
  std::vector<CrawlProgress> pagesRead() const;
  int pagesFetched() const;
  int rowsAppended() const;
  int crawlsFinished() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<Text> m_lines;
  std::vector<ProbeResult> m_probeResults;
  std::vector<CrawlProgress> m_pagesRead;
  int m_pagesFetched = 0;
  int m_rowsAppended = 0;
  int m_crawlsFinished = 0;
};

// A probe over its own list and host, with the sandbox's item and mall hosts.
struct ProbeRig {
  ProbeRig();
  // AddToList, then waits for the probe and any crawl it started to end.
  AddOutcome addAndWait(std::string_view utf8Address, const Text& mode);
  bool waitUntilIdle();

  HttpClient http;
  ItemList list;
  RecordingCrawlHost host;
  AddressProbe probe;
};

// The rows a complete crawl of these page ids should give, as the sandbox lays the pages out:
// titles escaped as on the page, prices paired by position, links ending at the id skipped.
std::vector<ItemRow> expectedRows(const sandbox::SandboxShop& shop, const std::vector<std::string>& ids,
                                  int pageCount);
std::vector<ItemRow> sorted(std::vector<ItemRow> rows);

}  // namespace mirabex::testing
