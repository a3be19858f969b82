#include "crawl_fixture.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <tuple>

#include "toolkit/gbk_codec.h"
#include "toolkit/operation_log.h"

namespace mirabex::testing {

sandbox::SandboxServer& sharedSandbox() {
  static const std::unique_ptr<sandbox::SandboxServer> server = [] {
    auto started = std::make_unique<sandbox::SandboxServer>();
    if (!started->start(0)) throw std::runtime_error("the sandbox could not listen on loopback");
    return started;
  }();
  return *server;
}

void resetSandbox() {
  sharedSandbox().clearFaults();
  sharedSandbox().clearRequests();
}

HttpClientSettings sandboxClientSettings() {
  HttpClientSettings settings;
  settings.connectTo = sharedSandbox().address();
  return settings;
}

Text gbk(std::string_view utf8) { return utf8ToGbk(utf8); }

const FixedClock& testClock() {
  static const FixedClock clock(std::chrono::system_clock::time_point{},
                                DateTime{.year = 2013, .month = 4, .day = 25, .hour = 7, .minute = 42, .second = 46});
  return clock;
}

const Text& testTimeText() {
  static const Text text = logTimeText(testClock().localNow());
  return text;
}

void RecordingCrawlHost::appendLogLine(const Text& line) {
  std::lock_guard lock(m_mutex);
  m_lines.push_back(line);
}

void RecordingCrawlHost::pageFetched(int, int) {
  std::lock_guard lock(m_mutex);
  ++m_pagesFetched;
}

void RecordingCrawlHost::rowAppended(int) {
  std::lock_guard lock(m_mutex);
  ++m_rowsAppended;
}

void RecordingCrawlHost::pageRead(const CrawlProgress& progress) {
  std::lock_guard lock(m_mutex);
  m_pagesRead.push_back(progress);
}

void RecordingCrawlHost::crawlFinished() {
  std::lock_guard lock(m_mutex);
  ++m_crawlsFinished;
}

void RecordingCrawlHost::probeFinished(ProbeResult result) {
  std::lock_guard lock(m_mutex);
  m_probeResults.push_back(result);
}

std::vector<Text> RecordingCrawlHost::lines() const {
  std::lock_guard lock(m_mutex);
  return m_lines;
}

std::vector<Text> RecordingCrawlHost::messages() const {
  std::vector<Text> result;
  for (const Text& line : lines()) {
    Text message = line;
    if (message.rfind(testTimeText(), 0) == 0) message.erase(0, testTimeText().size());
    if (message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0) message.resize(message.size() - 2);
    result.push_back(message);
  }
  return result;
}

std::vector<Text> RecordingCrawlHost::messagesContaining(std::string_view gbkNeedle) const {
  std::vector<Text> result;
  for (const Text& message : messages()) {
    if (message.find(gbkNeedle) != Text::npos) result.push_back(message);
  }
  return result;
}

std::vector<ProbeResult> RecordingCrawlHost::probeResults() const {
  std::lock_guard lock(m_mutex);
  return m_probeResults;
}

std::vector<CrawlProgress> RecordingCrawlHost::pagesRead() const {
  std::lock_guard lock(m_mutex);
  return m_pagesRead;
}

int RecordingCrawlHost::pagesFetched() const {
  std::lock_guard lock(m_mutex);
  return m_pagesFetched;
}

int RecordingCrawlHost::rowsAppended() const {
  std::lock_guard lock(m_mutex);
  return m_rowsAppended;
}

int RecordingCrawlHost::crawlsFinished() const {
  std::lock_guard lock(m_mutex);
  return m_crawlsFinished;
}

ProbeRig::ProbeRig()
    : http(sandboxClientSettings()),
      probe({.list = list,
             .http = http,
             .host = host,
             .clock = testClock(),
             .itemHost = sandbox::Catalogue::kItemHost,
             .mallHost = sandbox::Catalogue::kMallHost}) {}

AddOutcome ProbeRig::addAndWait(std::string_view utf8Address, const Text& mode) {
  const AddOutcome outcome = probe.AddToList(gbk(utf8Address), mode);
  waitUntilIdle();
  return outcome;
}

bool ProbeRig::waitUntilIdle() { return probe.waitUntilIdle(std::chrono::seconds(60)); }

namespace {

std::string htmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

bool listed(const std::vector<std::string>& ids, const std::string& id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

}  // namespace

std::vector<ItemRow> expectedRows(const sandbox::SandboxShop& shop, const std::vector<std::string>& ids,
                                  int pageCount) {
  const sandbox::Catalogue& catalogue = sharedSandbox().catalogue();
  std::vector<ItemRow> rows;
  for (int page = 1; page <= pageCount; ++page) {
    const std::vector<std::string> pageIds = shop.pageOf(ids, page);
    std::vector<std::string> prices;
    for (const std::string& id : pageIds) {
      if (!listed(shop.itemsWithoutPrice, id)) prices.push_back(catalogue.item(id)->price);
    }
    for (std::size_t i = 0; i < pageIds.size(); ++i) {
      if (listed(shop.linksEndingAtId, pageIds[i])) continue;
      const sandbox::SandboxItem item = *catalogue.item(pageIds[i]);
      rows.push_back({.title = gbk(htmlEscaped(item.titleUtf8)),
                      .price = i < prices.size() ? prices[i] : std::string(),
                      .itemUrl = std::string("http://") + sandbox::Catalogue::kItemHost + "/item.htm?id=" + item.numIid,
                      .itemId = item.numIid});
    }
  }
  return rows;
}

std::vector<ItemRow> sorted(std::vector<ItemRow> rows) {
  std::sort(rows.begin(), rows.end(), [](const ItemRow& a, const ItemRow& b) {
    return std::tie(a.itemId, a.title, a.price, a.itemUrl) < std::tie(b.itemId, b.title, b.price, b.itemUrl);
  });
  return rows;
}

}  // namespace mirabex::testing
