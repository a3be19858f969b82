#include "collect/item_worker.h"

#include <string>
#include <utility>

#include "collect/collection_run.h"
#include "collect/csv_layout.h"
#include "collect/item_record.h"
#include "collect/picture_localiser.h"
#include "itemlist/item_list.h"
#include "topapi/app_key_pool.h"
#include "toolkit/gbk_codec.h"
#include "toolkit/text_helpers.h"

namespace mirabex {
namespace {

std::string number(int value) { return std::to_string(value); }

// The key pool's lines go through the same pause gate as the worker's own.
class GatedLogSink : public OperationLogSink {
 public:
  explicit GatedLogSink(const CollectionRun& run) : m_run(run) {}
  void appendLogLine(const Text& line) override {
    if (m_run.checkpoint()) m_run.services().host.appendLogLine(line);
  }

 private:
  const CollectionRun& m_run;
};

}  // namespace

ItemWorker::ItemWorker(std::shared_ptr<CollectionRun> run, int workerNumber)
    : m_run(std::move(run)), m_workerNumber(workerNumber) {}

void ItemWorker::run() {
  InitThreadCom();
  CollectionRun& run = *m_run;
  while (!run.stopRequested()) {
    const std::optional<CollectionRun::Claim> claim = run.claimRow();
    if (!claim) break;
    m_lastClaimedRow = claim->row;
    const RowOutcome outcome = processRow(claim->row, claim->keyIndex);
    if (outcome == RowOutcome::Stopped) return;
    if (outcome == RowOutcome::KeysExhausted) {
      // Without keys this worker can do no more; it still counts itself finished so
      // that the run completes and keeps the rows the others collected.
      run.finishRow({});
      break;
    }
  }
  // A stopped run writes nothing and opens no completion window.
  if (run.stopRequested()) return;
  if (run.finishWorker()) run.complete(m_workerNumber, m_lastClaimedRow);
}

ItemWorker::RowOutcome ItemWorker::processRow(int row, int keyIndex) {
  CollectionRun& run = *m_run;
  const CollectionServices& services = run.services();
  const ItemProgress progress{m_workerNumber, row, run.totalRows()};

  const Text itemId = services.list.cell(row - 1, kItemIdColumn);
  const Text listTitle = services.list.cell(row - 1, kTitleColumn);
  static const Text kThread = utf8ToGbk("线程：");
  static const Text kStart = utf8ToGbk("  开始下载 第：");
  static const Text kItem = utf8ToGbk(" 个宝贝:");
  if (!run.log(kThread + number(m_workerNumber) + kStart + number(row) + "/" + number(run.totalRows()) + kItem +
               listTitle)) {
    return RowOutcome::Stopped;
  }

  GatedLogSink poolLog(run);
  const ItemFetchContext fetchContext{services.http, services.clock, services.gatewayUrl, poolLog,
                                      run.stopToken()};
  if (!run.checkpoint()) return RowOutcome::Stopped;
  m_keyIndex = keyIndex;
  const ItemFetchOutcome fetched = fetchItemResponse(services.pool, m_keyIndex, itemId, m_document, fetchContext);
  if (fetched == ItemFetchOutcome::Stopped || run.stopRequested()) return RowOutcome::Stopped;
  if (fetched == ItemFetchOutcome::Exhausted) return RowOutcome::KeysExhausted;

  const Options settings = services.host.settingsSnapshot();
  const ItemLogMessage log = [&run](const Text& message) { run.log(message); };
  ItemRecord record;
  extractBasicFields(m_document, itemId, progress, settings, record, log);
  extractDescription(m_document, progress, settings, record, log);
  if (run.stopRequested()) return RowOutcome::Stopped;

  const PictureStepContext pictures{services.http, run.pictures(), run.stopToken(),
                                    [&run] { return run.checkpoint(); }, log};
  if (!localiseDescriptionPictures(m_pageMatcher, m_chineseMatcher, record, progress, settings, pictures) ||
      !downloadMainPictures(m_document, record, progress, settings, pictures) ||
      !downloadPropertyPictures(m_document, record, progress, settings, pictures)) {
    return RowOutcome::Stopped;
  }

  const Text csv = csvRow(record, settings.outputLayout, services.mallHost);
  static const Text kDoneThread = utf8ToGbk(" 线程：");
  static const Text kOrdinal = utf8ToGbk(" 第：");
  static const Text kDone = utf8ToGbk(" 个宝贝 下载完成！");
  if (!run.log(kDoneThread + number(m_workerNumber) + kOrdinal + number(row) + "/" + number(run.totalRows()) +
               kDone)) {
    return RowOutcome::Stopped;
  }
  run.finishRow(csv);
  return RowOutcome::Done;
}

}  // namespace mirabex
