#include "run_fixture.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "sandbox/catalogue.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::testing {

sandbox::SandboxServer& sharedSandbox() {
  static const std::unique_ptr<sandbox::SandboxServer> server = [] {
    auto started = std::make_unique<sandbox::SandboxServer>();
    if (!started->start(0)) std::abort();
    return started;
  }();
  return *server;
}

void resetSandbox() {
  sandbox::SandboxServer& server = sharedSandbox();
  server.clearFaults();
  server.setValidKeyPairs({1, 2, 3, 4, 5});
  server.setLimitedKeyPairs({});
  server.setCheckTimestampWindow(true);
  server.clearRequests();
}

HttpClientSettings sandboxClientSettings() {
  HttpClientSettings settings;
  settings.connectTo = sharedSandbox().address();
  return settings;
}

Text gbk(std::string_view utf8) { return utf8ToGbk(utf8); }

ScratchFolder::ScratchFolder() {
  static std::atomic<int> sequence{0};
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("mirabex-collect-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  m_path = utf8ToGbk(folder.string());
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(gbkToUtf8(m_path)), error);
}

void RecordingHost::appendLogLine(const Text& line) {
  {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line);
  }
  m_changed.notify_all();
}

Options RecordingHost::settingsSnapshot() const {
  std::lock_guard lock(m_mutex);
  return m_settings;
}

void RecordingHost::runStateChanged(RunState state) {
  {
    std::lock_guard lock(m_mutex);
    m_states.push_back(state);
  }
  m_changed.notify_all();
}

void RecordingHost::progressChanged(const RunProgress& progress) {
  {
    std::lock_guard lock(m_mutex);
    m_progress = progress;
  }
  m_changed.notify_all();
}

void RecordingHost::runFinished(const RunTotals& totals) {
  std::lock_guard lock(m_mutex);
  m_totals = totals;
  ++m_finished;
}

void RecordingHost::csvWriteFailed(const CsvWriteFailure& failure) {
  std::lock_guard lock(m_mutex);
  m_csvFailures.push_back(failure);
}

void RecordingHost::setSettings(const Options& settings) {
  std::lock_guard lock(m_mutex);
  m_settings = settings;
}

bool RecordingHost::waitForDoneRows(int doneRows, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_progress.doneRows >= doneRows; });
}

std::vector<Text> RecordingHost::lines() const {
  std::lock_guard lock(m_mutex);
  return m_lines;
}

std::vector<Text> RecordingHost::linesContaining(std::string_view gbkNeedle) const {
  std::vector<Text> found;
  for (const Text& line : lines()) {
    if (containsText(line, gbkNeedle)) found.push_back(line);
  }
  return found;
}

std::vector<RunState> RecordingHost::states() const {
  std::lock_guard lock(m_mutex);
  return m_states;
}

std::optional<RunTotals> RecordingHost::totals() const {
  std::lock_guard lock(m_mutex);
  return m_totals;
}

int RecordingHost::finishedCount() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

std::vector<CsvWriteFailure> RecordingHost::csvFailures() const {
  std::lock_guard lock(m_mutex);
  return m_csvFailures;
}

RunProgress RecordingHost::lastProgress() const {
  std::lock_guard lock(m_mutex);
  return m_progress;
}

void RecordingHost::clear() {
  std::lock_guard lock(m_mutex);
  m_lines.clear();
  m_states.clear();
  m_totals.reset();
  m_finished = 0;
  m_csvFailures.clear();
  m_progress = {};
}

Options defaultTestOptions() {
  Options options;
  options.download = true;
  options.fallChoice = 3;
  options.failurePolicy = 3;
  options.outputLayout = 5;
  options.layout4Checked = false;
  return options;
}

RunRig::RunRig() : http(sandboxClientSettings()) {
  endpoints.keyPool = "config.sandbox.test";
  endpoints.connectTo = sharedSandbox().address();
  pool.load(http, endpoints.configServerBase());
  host.setSettings(defaultTestOptions());
}

void RunRig::fillList(const std::vector<std::string>& itemIds) {
  std::vector<ItemRow> rows;
  for (std::size_t i = 0; i < itemIds.size(); ++i) {
    rows.push_back(
        {"t" + std::to_string(i + 1), "", "http://item.taobao.com/item.htm?id=" + itemIds[i], itemIds[i]});
  }
  list.appendRows(std::move(rows));
}

CollectionServices RunRig::services(const Clock& clock, const FileWriter& files) {
  return {.list = list,
          .pool = pool,
          .http = http,
          .host = host,
          .gatewayUrl = endpoints.gatewayUrl(),
          .mallHost = endpoints.mall,
          .clock = clock,
          .files = files};
}

std::vector<std::string> generatedIds(int count, int first) {
  std::vector<std::string> ids;
  for (int i = 0; i < count; ++i) ids.push_back(sandbox::Catalogue::generatedItemId(first + i));
  return ids;
}

std::string specialId(int n) { return std::to_string(20000000000LL + n); }

std::vector<std::vector<std::string>> parseCsv(std::string_view text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  bool fieldStarted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
      fieldStarted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      fieldStarted = true;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      // the line break is the CR LF pair; handled at the LF
    } else if (c == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      fieldStarted = false;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (fieldStarted || !record.empty()) {
    record.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace mirabex::testing
