#pragma once

// What the collection tests share: one in-process sandbox per test binary, a host that
// records everything a run tells it, and a scratch folder per test.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collect/collection_host.h"
#include "collect/collection_run.h"
#include "itemlist/item_list.h"
#include "settings/network_endpoints.h"
#include "sandbox/sandbox_server.h"
#include "toolkit/gbk_text.h"
#include "toolkit/http_client.h"
#include "topapi/app_key_pool.h"

namespace mirabex::testing {

// Started on first use, on an ephemeral loopback port; faults, latencies and valid
// pairs are put back by resetSandbox().
sandbox::SandboxServer& sharedSandbox();
void resetSandbox();

// A client that sends every connection to the sandbox.
HttpClientSettings sandboxClientSettings();

Text gbk(std::string_view utf8);

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const Text& path() const { return m_path; }  // GBK, absolute, no trailing separator

 private:
  Text m_path;
};

class RecordingHost : public CollectionHost {
 public:
  void appendLogLine(const Text& line) override;
  Options settingsSnapshot() const override;
  void runStateChanged(RunState state) override;
  void progressChanged(const RunProgress& progress) override;
  void runFinished(const RunTotals& totals) override;
  void csvWriteFailed(const CsvWriteFailure& failure) override;

  void setSettings(const Options& settings);
  // Waits until progress reports at least `doneRows`; false when the time is up.
  bool waitForDoneRows(int doneRows, std::chrono::milliseconds timeout = std::chrono::seconds(30));

  std::vector<Text> lines() const;
  // The lines' messages (time and CR LF cut off) that contain `gbkNeedle`.
  std::vector<Text> linesContaining(std::string_view gbkNeedle) const;
  std::vector<RunState> states() const;
  std::optional<RunTotals> totals() const;
  int finishedCount() const;
  std::vector<CsvWriteFailure> csvFailures() const;
  RunProgress lastProgress() const;
  void clear();

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  Options m_settings;
  std::vector<Text> m_lines;
  std::vector<RunState> m_states;
  std::optional<RunTotals> m_totals;
  int m_finished = 0;
  std::vector<CsvWriteFailure> m_csvFailures;
  RunProgress m_progress;
};

// The options a seller would have after saving the settings page with its defaults:
// description pictures on, policy 3, layout 5.
Options defaultTestOptions();

// Everything a run needs, wired to the sandbox.
struct RunRig {
  RunRig();
  // Rows for the given item ids, titled "t<n>".
  void fillList(const std::vector<std::string>& itemIds);
  CollectionServices services(const Clock& clock = systemClock(), const FileWriter& files = defaultFileWriter());

  HttpClient http;
  AppKeyPool pool;
  ItemList list;
  RecordingHost host;
  NetworkEndpoints endpoints;
};

// Ids of generated sandbox items, from index `first` on.
std::vector<std::string> generatedIds(int count, int first = 1);
// The id of the n-th hand-made sandbox item (1 = 20000000001).
std::string specialId(int n);

// Fields of every record of an RFC 4180 text (quotes doubled inside quoted fields).
std::vector<std::vector<std::string>> parseCsv(std::string_view text);

}  // namespace mirabex::testing
