#include "cli/add_command.h"

#include "cli/address_gathering.h"
#include "cli/cli_engine.h"
#include "cli/command_line.h"
#include "cli/exit_codes.h"
#include "itemlist/item_list.h"
#include "itemlist/item_list_file.h"
#include "toolkit/file_system.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

std::string_view AddCommand::summary() const {
  return "add a single item, a shop category or a whole shop to an item list file";
}

void AddCommand::printHelp(std::ostream& out) const {
  out << "usage: mirabex-cli add --mode MODE ADDRESS --list FILE [--options DIR]\n"
         "\n"
      << kModeHelp
      << "  --list FILE    item list file to add to; created when it does not exist\n"
         "  --options DIR  folder holding options.ini and network.ini (default: <program folder>/options)\n"
         "\n"
         "Log lines go to stderr, the counts and the path written to stdout.\n"
         "\n"
         "exit status:\n"
         "  0    rows were added and the file written\n"
         "  1    nothing was found at the address, or the file could not be written\n"
         "  2    wrong arguments\n"
         "  4    the item list file exists but cannot be read\n"
         "  130  interrupted (Ctrl+C); nothing was written\n";
}

int AddCommand::run(const std::vector<std::string>& arguments, CommandContext& context) {
  const CommandLine line = parseCommandLine(arguments, {"--mode", "--list", "--options"});
  if (line.help) {
    printHelp(context.out);
    return kExitOk;
  }
  std::string problem = line.error;
  if (problem.empty()) problem = modeAndAddressProblem(line);
  if (problem.empty() && !line.has("--list")) problem = "--list FILE is required";
  if (!problem.empty()) {
    context.err << "mirabex-cli add: " << problem << "\nTry 'mirabex-cli add --help'.\n";
    return kExitUsage;
  }

  const Text listPath = commandLinePath(line.value("--list"));
  ItemList list;
  if (fileExists(listPath) && importItemListFile(listPath, list) < 0) {
    context.err << "mirabex-cli add: cannot read the item list " << gbkToUtf8(listPath) << "\n";
    return kExitNoItems;
  }
  const Text optionsFolder =
      line.has("--options") ? commandLinePath(line.value("--options")) : defaultOptionsFolder(context.runDirectory);
  const CliEngine engine(optionsFolder);
  const GatherOutcome outcome =
      gatherFromAddress(utf8ToGbk(line.words.front()), addressModeWord(line.value("--mode")), list, engine, context);
  if (outcome.interrupted) {
    context.err << "mirabex-cli add: stopped; nothing was written\n";
    return kExitInterrupted;
  }
  if (outcome.rowsAdded == 0) {
    context.err << "mirabex-cli add: no item was found at " << line.words.front() << "\n";
    return kExitFailed;
  }
  if (exportItemListFile(listPath, list) != ItemListExportOutcome::Written) {
    context.err << "mirabex-cli add: the item list could not be written to " << gbkToUtf8(listPath) << "\n";
    return kExitFailed;
  }
  context.out << "added: " << outcome.rowsAdded << "\n"
              << "rows: " << list.count() << "\n"
              << "list: " << gbkToUtf8(listPath) << "\n";
  context.out.flush();
  return kExitOk;
}

}  // namespace mirabex::cli
