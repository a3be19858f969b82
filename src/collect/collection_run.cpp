#include "collect/collection_run.h"

#include <algorithm>
#include <string>
#include <utility>

#include "collect/csv_layout.h"
#include "topapi/app_key_pool.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/operation_log.h"

namespace mirabex {
namespace {

std::string number(int value) { return std::to_string(value); }

}  // namespace

SavePathParts splitSavePath(const Text& savePath) {
  SavePathParts parts;
  const std::size_t slash = findLastText(savePath, "/");
  const std::size_t nameStart = slash == kNotFound ? 0 : slash + 1;
  parts.directory = savePath.substr(0, nameStart);
  const Text fileName = savePath.substr(nameStart);
  parts.baseName = fileName.substr(0, std::min(findText(fileName, "."), fileName.size()));
  return parts;
}

CollectionRun::CollectionRun(const CollectionServices& services, int totalRows, Text savePath)
    : m_services(services),
      m_totalRows(totalRows),
      m_savePath(std::move(savePath)),
      m_pictures(splitSavePath(m_savePath).outputFolder(), services.files, services.clock) {}

void CollectionRun::setState(RunState state) {
  if (m_state.exchange(state) != state) m_services.host.runStateChanged(state);
}

void CollectionRun::pause() {
  {
    std::lock_guard lock(m_pauseMutex);
    if (m_paused || m_stop.stop_requested() || m_state.load() != RunState::Running) return;
    m_paused = true;
  }
  RunState expected = RunState::Running;
  if (m_state.compare_exchange_strong(expected, RunState::Paused))
    m_services.host.runStateChanged(RunState::Paused);
}

void CollectionRun::resume() {
  {
    std::lock_guard lock(m_pauseMutex);
    if (!m_paused) return;
    m_paused = false;
  }
  m_pauseChanged.notify_all();
  RunState expected = RunState::Paused;
  if (m_state.compare_exchange_strong(expected, RunState::Running))
    m_services.host.runStateChanged(RunState::Running);
}

void CollectionRun::stop() {
  // The stop token itself wakes the workers held in checkpoint().
  if (!m_stop.request_stop()) return;
  setState(RunState::Idle);
}

bool CollectionRun::checkpoint() const {
  std::unique_lock lock(m_pauseMutex);
  m_pauseChanged.wait(lock, m_stop.get_token(), [this] { return !m_paused; });
  return !m_stop.stop_requested();
}

bool CollectionRun::log(std::string_view message) const {
  if (!checkpoint()) return false;
  m_services.host.appendLogLine(operationLogLine(m_services.clock.localNow(), message));
  return true;
}

std::optional<CollectionRun::Claim> CollectionRun::claimRow() {
  std::lock_guard lock(m_mutex);
  if (m_claimedRows >= m_totalRows) return std::nullopt;
  Claim claim;
  claim.keyIndex = m_services.pool.currentIndex();
  claim.row = ++m_claimedRows;
  return claim;
}

void CollectionRun::finishRow(const Text& csvRow) {
  RunProgress progress;
  {
    std::lock_guard lock(m_mutex);
    if (m_csvBody.appendRow(csvRow)) ++m_succeededRows;
    ++m_doneRows;
    progress = {m_totalRows, m_doneRows, m_succeededRows, m_doneRows - m_succeededRows};
  }
  if (!stopRequested()) m_services.host.progressChanged(progress);
}

bool CollectionRun::finishWorker() {
  std::lock_guard lock(m_mutex);
  return ++m_finishedWorkers == kWorkerCount;
}

void CollectionRun::complete(int workerNumber, int lastClaimedRow) {
  RunTotals totals;
  {
    std::lock_guard lock(m_mutex);
    m_failedRows = m_totalRows - m_succeededRows;
    totals = {m_totalRows, m_succeededRows, m_failedRows};
  }
  static const Text kThread = utf8ToGbk(" 线程：");
  static const Text kOrdinal = utf8ToGbk(" 第：");
  static const Text kDone = utf8ToGbk(" 个宝贝 下载完成！成功： ");
  static const Text kFailed = utf8ToGbk(" 失败：");
  if (!log(kThread + number(workerNumber) + kOrdinal + number(lastClaimedRow) + "/" + number(m_totalRows) + kDone +
           number(totals.succeededRows) + kFailed + number(totals.failedRows))) {
    return;
  }
  m_services.host.runFinished(totals);

  // The header follows the radio button as it stands now; the rows followed the saved layout.
  const Options settings = m_services.host.settingsSnapshot();
  const Text header = csvHeader(settings.layout4Checked ? kCsvLayout4 : kCsvLayout5);
  {
    std::lock_guard lock(m_mutex);
    m_csvHeader = header;
  }
  if (!checkpoint()) return;
  const CsvWriteResult result = writeCsv(m_savePath);
  if (!result.written) {
    static const Text kWriteFailed = utf8ToGbk("  CSV文件写入失败：");
    static const Text kBecause = utf8ToGbk("  原因：");
    log(kWriteFailed + result.path + kBecause + result.reason);
    m_services.host.csvWriteFailed({result.path, result.reason});
  }
  setState(RunState::Idle);
}

int CollectionRun::claimedRows() const {
  std::lock_guard lock(m_mutex);
  return m_claimedRows;
}

int CollectionRun::finishedWorkers() const {
  std::lock_guard lock(m_mutex);
  return m_finishedWorkers;
}

int CollectionRun::succeededRows() const {
  std::lock_guard lock(m_mutex);
  return m_succeededRows;
}

int CollectionRun::failedRows() const {
  std::lock_guard lock(m_mutex);
  return m_failedRows;
}

int CollectionRun::doneRows() const {
  std::lock_guard lock(m_mutex);
  return m_doneRows;
}

Text CollectionRun::csvBodyText() const {
  std::lock_guard lock(m_mutex);
  return m_csvBody.text();
}

CsvWriteResult CollectionRun::writeCsv(const Text& path) const {
  Text header;
  Text body;
  {
    std::lock_guard lock(m_mutex);
    header = m_csvHeader;
    body = m_csvBody.text();
  }
  return writeCsvFile(path, header, body, m_services.files);
}

}  // namespace mirabex
