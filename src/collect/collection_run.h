#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string_view>

#include "collect/collection_host.h"
#include "collect/csv_body.h"
#include "collect/csv_writer.h"
#include "collect/picture_store.h"
#include "toolkit/clock.h"
#include "toolkit/file_system.h"
#include "toolkit/gbk_text.h"

namespace mirabex {

class AppKeyPool;
class HttpClient;
class ItemList;

// The long-lived things a collection works with. Everything referred to must
// outlive the controller (its destructor joins the workers that use them).
struct CollectionServices {
  ItemList& list;
  AppKeyPool& pool;
  const HttpClient& http;
  CollectionHost& host;
  Text gatewayUrl;  // "http://<gateway>/router/rest?"
  Text mallHost;    // host of the 4.x item link column
  const Clock& clock = systemClock();
  const FileWriter& files = defaultFileWriter();
};

// The save path's directory with its last separator, and its file name up to the first dot.
struct SavePathParts {
  Text directory;
  Text baseName;
  Text outputFolder() const { return directory + baseName; }
};
SavePathParts splitSavePath(const Text& savePath);

// One collection run, created at Start and shared by its five workers. A stopped
// run's workers finish against their own object, so a later Start never meets them.
// The counters keep their values after the run ends or is stopped.
class CollectionRun {
 public:
  static constexpr int kWorkerCount = 5;

  // `savePath` gives both the CSV path and the picture folder, taken once here, so
  // the pictures always land beside the CSV that lists them.
  CollectionRun(const CollectionServices& services, int totalRows, Text savePath);
  CollectionRun(const CollectionRun&) = delete;
  CollectionRun& operator=(const CollectionRun&) = delete;

  const CollectionServices& services() const { return m_services; }
  int totalRows() const { return m_totalRows; }
  const Text& savePath() const { return m_savePath; }
  const Text& outputFolder() const { return m_pictures.outputFolder(); }
  PictureStore& pictures() { return m_pictures; }

  // --- control (any thread) ---
  RunState state() const { return m_state.load(); }
  void pause();
  void resume();
  // Ends the run: workers leave at their next step, transfers in flight are aborted,
  // nothing is written. Also releases paused workers.
  void stop();
  std::stop_token stopToken() const { return m_stop.get_token(); }
  bool stopRequested() const { return m_stop.stop_requested(); }

  // --- worker side ---
  // Waits while the run is paused; false once it is stopped. Workers call it before
  // every request, download, file write and log line, so that a pause never holds
  // a transfer open.
  bool checkpoint() const;
  // Passes the checkpoint, then appends the timed line; false (and nothing logged) when stopped.
  bool log(std::string_view message) const;

  struct Claim {
    int row = 0;       // 1-based
    int keyIndex = 1;  // copy of the pool's current index, taken with the claim
  };
  // Hands out the next row, each exactly once; nothing when every row is claimed.
  std::optional<Claim> claimRow();
  // A row ended (csvRow empty when it gave no CSV row): appends the row and counts it
  // under one lock, then tells the host the progress.
  void finishRow(const Text& csvRow);
  // Counts a worker that found no row left (or ran out of keys); true for the fifth.
  bool finishWorker();
  // Run by the fifth worker: totals, final line, completion window, CSV, back to Idle.
  void complete(int workerNumber, int lastClaimedRow);

  // --- reading back (any thread) ---
  int claimedRows() const;
  int finishedWorkers() const;
  int succeededRows() const;
  int failedRows() const;  // set when the run completes
  int doneRows() const;
  Text csvBodyText() const;
  // After completion: header + kept rows to `path` (used to retry a failed write elsewhere).
  CsvWriteResult writeCsv(const Text& path) const;

 private:
  void setState(RunState state);

  CollectionServices m_services;
  const int m_totalRows;
  const Text m_savePath;
  PictureStore m_pictures;
  std::stop_source m_stop;
  std::atomic<RunState> m_state{RunState::Running};

  mutable std::mutex m_pauseMutex;
  mutable std::condition_variable_any m_pauseChanged;
  bool m_paused = false;  // under m_pauseMutex

  // The run's lock: counters and body only, never held across a request, a file
  // write or a log append.
  mutable std::mutex m_mutex;
  int m_claimedRows = 0;
  int m_finishedWorkers = 0;
  int m_succeededRows = 0;
  int m_failedRows = 0;
  int m_doneRows = 0;
  CsvBody m_csvBody;
  Text m_csvHeader;  // fixed when the run completes
};

}  // namespace mirabex
