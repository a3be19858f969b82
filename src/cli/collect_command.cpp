#include "cli/collect_command.h"

#include <chrono>

#include "cli/cli_engine.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/terminal_run_host.h"
#include "collect/collection_controller.h"
#include "itemlist/item_list.h"
#include "itemlist/item_list_file.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {
namespace {

constexpr std::chrono::milliseconds kRefreshInterval{250};

}  // namespace

std::string_view CollectCommand::summary() const {
  return "copy every item of an item list file into a Taobao Assistant CSV with its pictures";
}

void CollectCommand::printHelp(std::ostream& out) const {
  out << "usage: mirabex-cli collect --list FILE [--save PATH] [--options DIR]\n"
         "\n"
         "  --list FILE    item list file (GBK lines \"title||id||price||address\")\n"
         "  --save PATH    CSV to write; the pictures go to the folder PATH without its extension\n"
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
         "  4    the item list file cannot be read or holds no item\n"
         "  5    the run completed but its CSV could not be written\n"
         "  130  interrupted (Ctrl+C); nothing was written\n";
}

int CollectCommand::run(const std::vector<std::string>& arguments, CommandContext& context) {
  const CommandLine line = parseCommandLine(arguments, {"--list", "--save", "--options"});
  if (line.help) {
    printHelp(context.out);
    return kExitOk;
  }
  if (line.error.empty() && !line.words.empty()) {
    context.err << "mirabex-cli collect: unexpected argument " << line.words.front() << "\n";
    return kExitUsage;
  }
  if (!line.error.empty() || !line.has("--list")) {
    context.err << "mirabex-cli collect: " << (line.error.empty() ? "--list FILE is required" : line.error)
                << "\nTry 'mirabex-cli collect --help'.\n";
    return kExitUsage;
  }

  const Text optionsFolder = line.has("--options") ? commandLinePath(line.value("--options"))
                                                   : defaultOptionsFolder(context.runDirectory);
  CliEngine engine(optionsFolder);
  if (!engine.loadKeyPool()) {
    context.err << gbkToUtf8(keyPoolFailedMessage()) << "\n";
    return kExitNoKeys;
  }

  const Text listPath = commandLinePath(line.value("--list"));
  ItemList list;
  if (importItemListFile(listPath, list) < 0) {
    context.err << "mirabex-cli collect: cannot read the item list " << gbkToUtf8(listPath) << "\n";
    return kExitNoItems;
  }
  if (list.count() == 0) {
    context.err << "mirabex-cli collect: the item list " << gbkToUtf8(listPath) << " holds no item\n";
    return kExitNoItems;
  }

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
    context.err << "mirabex-cli collect: the run could not be started\n";
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
    context.err << "mirabex-cli collect: stopped; nothing was written\n";
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
    context.err << "mirabex-cli collect: the CSV could not be written to " << gbkToUtf8(failure->path) << ": "
                << gbkToUtf8(failure->reason) << "\n";
    return kExitCsvNotWritten;
  }
  context.out << "csv: " << gbkToUtf8(run->savePath()) << "\n"
              << "pictures: " << gbkToUtf8(run->outputFolder()) << "\n";
  context.out.flush();
  return kExitOk;
}

}  // namespace mirabex::cli
