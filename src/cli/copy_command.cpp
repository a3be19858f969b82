#include "cli/copy_command.h"

#include "cli/address_gathering.h"
#include "cli/cli_engine.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/list_collection.h"
#include "itemlist/item_list.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

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
  if (problem.empty()) problem = modeAndAddressProblem(line);
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

  context.out << "找到宝贝： " << list.count() << "\n";
  return collectListIntoCsv("copy", line, context, engine, list);
}

}  // namespace mirabex::cli
