#include "cli/list_collection.h"

#include <chrono>
#include <memory>
#include <optional>

#include "cli/cli_engine.h"
#include "cli/exit_codes.h"
#include "cli/terminal_run_host.h"
#include "collect/collection_controller.h"
#include "itemlist/item_list.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {
namespace {

constexpr std::chrono::milliseconds kRefreshInterval{250};

}  // namespace

int collectListIntoCsv(std::string_view commandName, const CommandLine& line, CommandContext& context,
                       CliEngine& engine, ItemList& list) {
  const Text savePath = line.has("--save") ? commandLinePath(line.value("--save"))
                                           : defaultSavePath(context.runDirectory, *context.clock);
  TerminalRunHost host(context.err, engine.options(), context.errIsTerminal);
  CollectionController controller({.list = list,
                                   .pool = engine.pool(),
                                   .http = engine.http(),
                                   .host = host,
                                   .gatewayUrl = engine.endpoints().gatewayUrl(),
                                   .mallHost = engine.endpoints().mall,
                                   .clock = *context.clock});
  if (controller.start(savePath) != StartOutcome::Started) {
    context.err << "mirabex-cli " << commandName << ": the run could not be started\n";
    return kExitFailed;
  }
  bool interrupted = false;
  while (!host.waitForIdle(kRefreshInterval)) {
    if (!interrupted && context.interruptRequested()) {
      interrupted = true;
      controller.stop();
    }
    host.refresh();
  }
  controller.wait();
  host.finishOutput();

  if (interrupted) {
    context.err << "mirabex-cli " << commandName << ": stopped; nothing was written\n";
    return kExitInterrupted;
  }
  const std::optional<RunTotals> totals = host.totals();
  if (!totals) return kExitFailed;
  const std::shared_ptr<CollectionRun> run = controller.run();
  context.out << "复制已经完成：\n"
              << "下载总数： " << totals->totalRows << "\n"
              << "成功下载： " << totals->succeededRows << "\n"
              << "下载失败： " << totals->failedRows << "\n";
  if (const std::optional<CsvWriteFailure> failure = host.csvFailure()) {
    context.err << "mirabex-cli " << commandName << ": the CSV could not be written to " << gbkToUtf8(failure->path) << ": "
                << gbkToUtf8(failure->reason) << "\n";
    return kExitCsvNotWritten;
  }
  context.out << "csv: " << gbkToUtf8(run->savePath()) << "\n"
              << "pictures: " << gbkToUtf8(run->outputFolder()) << "\n";
  context.out.flush();
  return kExitOk;
}

}  // namespace mirabex::cli
