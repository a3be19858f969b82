#include "cli/collect_command.h"

#include "cli/cli_engine.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "cli/list_collection.h"
#include "itemlist/item_list.h"
#include "itemlist/item_list_file.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

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

  return collectListIntoCsv("collect", line, context, engine, list);
}

}  // namespace mirabex::cli
