#include "cli/copy_command.h"

#include <chrono>

#include "cli/address_gathering.h"
#include "cli/cli_engine.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/terminal_run_host.h"
#include "collect/collection_controller.h"
#include "itemlist/item_list.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {
namespace {

constexpr std::chrono::milliseconds kRefreshInterval{250};

}  // namespace

std::string_view CopyCommand::summary() const {
  return "copy a single item, a shop category or a whole shop into a Taobao Assistant CSV";
}

void CopyCommand::printHelp(std::ostream& out) const {
  out << "usage: mirabex-cli copy --mode MODE ADDRESS [--save PATH] [--options DIR]\n"
         "\n"
      << kModeHelp
      << "  --save PATH    CSV to write; the pictures go to the folder PATH without its extension\n"
         "                 (default: <program folder>/csv<Unix time>.csv)\n"
         "  --options DIR  folder holding options.ini and network.ini (default: <program folder>/options)\n"
         "\n"
         "Log lines go to stderr, the totals and the paths written to stdout.\n"
         "\n"
         "exit status:\n"
         "  0    the run completed and its CSV was written\n"
         "  1    the run did not complete\n"
         "  2    wrong arguments\n"
         "  3    the key pool could not be loaded\n"
         "  4    no item was found at the address\n"
         "  5    the run completed but its CSV could not be written\n"
         "  130  interrupted (Ctrl+C); nothing was written\n";
}

int CopyCommand::run(const std::vector<std::string>& arguments, CommandContext& context) {
  const CommandLine line = parseCommandLine(arguments, {"--mode", "--save", "--options"});
  if (line.help) {
    printHelp(context.out);
    return kExitOk;
  }
  std::string problem = line.error;
  if (problem.empty() && !line.has("--mode")) problem = "--mode MODE is required";
  if (problem.empty() && addressModeWord(line.value("--mode")).empty()) {
    problem = "unknown mode '" + line.value("--mode") + "'";
  }
  if (problem.empty() && line.words.size() != 1) problem = "exactly one ADDRESS is required";
  if (!problem.empty()) {
    context.err << "mirabex-cli copy: " << problem << "\nTry 'mirabex-cli copy --help'.\n";
    return kExitUsage;
  }

  const Text optionsFolder =
      line.has("--options") ? commandLinePath(line.value("--options")) : defaultOptionsFolder(context.runDirectory);
  CliEngine engine(optionsFolder);
  // Without keys nothing can be collected, so the crawl would be wasted.
  if (!engine.loadKeyPool()) {
    context.err << gbkToUtf8(keyPoolFailedMessage()) << "\n";
    return kExitNoKeys;
  }

  ItemList list;
  const GatherOutcome gathered =
      gatherFromAddress(utf8ToGbk(line.words.front()), addressModeWord(line.value("--mode")), list, engine, context);
  if (gathered.interrupted) {
    context.err << "mirabex-cli copy: stopped; nothing was written\n";
    return kExitInterrupted;
  }
  if (list.count() == 0) {
    context.err << "mirabex-cli copy: no item was found at " << line.words.front() << "\n";
    return kExitNoItems;
  }

  const Text savePath =
      line.has("--save") ? commandLinePath(line.value("--save")) : defaultSavePath(context.runDirectory, *context.clock);
  TerminalRunHost host(context.err, engine.options(), context.errIsTerminal);
  CollectionController controller({.list = list,
                                   .pool = engine.pool(),
                                   .http = engine.http(),
                                   .host = host,
                                   .gatewayUrl = engine.endpoints().gatewayUrl(),
                                   .mallHost = engine.endpoints().mall,
                                   .clock = *context.clock});
  if (controller.start(savePath) != StartOutcome::Started) {
    context.err << "mirabex-cli copy: the run could not be started\n";
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
    context.err << "mirabex-cli copy: stopped; nothing was written\n";
    return kExitInterrupted;
  }
  const std::optional<RunTotals> totals = host.totals();
  if (!totals) return kExitFailed;
  const std::shared_ptr<CollectionRun> run = controller.run();
  context.out << "找到宝贝： " << list.count() << "\n"
              << "复制已经完成：\n"
              << "下载总数： " << totals->totalRows << "\n"
              << "成功下载： " << totals->succeededRows << "\n"
              << "下载失败： " << totals->failedRows << "\n";
  if (const std::optional<CsvWriteFailure> failure = host.csvFailure()) {
    context.err << "mirabex-cli copy: the CSV could not be written to " << gbkToUtf8(failure->path) << ": "
                << gbkToUtf8(failure->reason) << "\n";
    return kExitCsvNotWritten;
  }
  context.out << "csv: " << gbkToUtf8(run->savePath()) << "\n"
              << "pictures: " << gbkToUtf8(run->outputFolder()) << "\n";
  context.out.flush();
  return kExitOk;
}

}  // namespace mirabex::cli
