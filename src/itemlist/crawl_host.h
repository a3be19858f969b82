#pragma once

#include "toolkit/gbk_text.h"
#include "toolkit/operation_log.h"

namespace mirabex {

// How a press of "添加到列表" ended once its probe was over.
enum class ProbeResult {
  RowAdded,        // single item: one row appended
  CrawlStarted,    // shop or category: five crawler threads are reading the pages
  NothingFound,    // an address or page error, already logged
};

// Sent after each page of a crawl, with the list's size at that moment (the item counter).
struct CrawlProgress {
  int threadNumber = 0;
  int page = 0;       // the page this thread has just finished
  int pagesRead = 0;  // pages of this crawl finished so far
  int pageTotal = 0;
  int rowCount = 0;   // rows of the whole list
};

// What the probe and its crawl tell the window or the terminal. Every call comes from a probe or
// crawler thread, carries plain values and must return without waiting for the host's own thread
// (the GUI queues them, the CLI prints). A notice must not call back into the AddressProbe.
class CrawlHost : public OperationLogSink {
 public:
  // One whole log line (time, message, "\r\n"), GBK.
  void appendLogLine(const Text& line) override = 0;
  // A crawler thread has fetched page `page` (its text may be empty when the fetch failed).
  virtual void pageFetched(int threadNumber, int page) = 0;
  // A crawler thread appended a row; `rowCount` is the list's size after it.
  virtual void rowAppended(int rowCount) = 0;
  // A crawler thread finished a page: refresh the item counter.
  virtual void pageRead(const CrawlProgress& progress) = 0;
  // The last of the five crawler threads has ended.
  virtual void crawlFinished() = 0;
  // The probe of one press has ended; "添加到列表" can be offered again.
  virtual void probeFinished(ProbeResult result) = 0;
};

}  // namespace mirabex
