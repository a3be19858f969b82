#include "cli/cli_app.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/add_command.h"
#include "cli/collect_command.h"
#include "cli/copy_command.h"
#include "cli/exit_codes.h"
#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

std::vector<std::unique_ptr<Command>> builtInCommands() {
  std::vector<std::unique_ptr<Command>> commands;
  commands.push_back(std::make_unique<AddCommand>());
  commands.push_back(std::make_unique<CollectCommand>());
  commands.push_back(std::make_unique<CopyCommand>());
  return commands;
}

CliApp::CliApp() : CliApp(builtInCommands()) {}

CliApp::CliApp(std::vector<std::unique_ptr<Command>> commands) : m_commands(std::move(commands)) {}

int CliApp::run(const std::vector<std::string>& arguments, CommandContext& context) const {
  if (arguments.empty()) {
    printHelp(context.err);
    return kExitUsage;
  }
  const std::string& name = arguments.front();
  if (name == "--help" || name == "-h" || name == "help") {
    printHelp(context.out);
    return kExitOk;
  }
  for (const std::unique_ptr<Command>& command : m_commands) {
    if (command->name() == name) {
      return command->run(std::vector<std::string>(arguments.begin() + 1, arguments.end()), context);
    }
  }
  context.err << "mirabex-cli: unknown command '" << name << "'\nTry 'mirabex-cli --help'.\n";
  return kExitUsage;
}

void CliApp::printHelp(std::ostream& out) const {
  out << "usage: mirabex-cli COMMAND [OPTIONS]\n"
         "\n"
         "Copies Taobao items into Taobao Assistant CSV import files, without a window.\n"
         "\n"
         "commands:\n";
  for (const std::unique_ptr<Command>& command : m_commands) {
    out << "  " << command->name()
        << std::string(command->name().size() < 10 ? 10 - command->name().size() : 1, ' ') << command->summary()
        << "\n";
  }
  out << "\n"
         "'mirabex-cli COMMAND --help' shows a command's options.\n"
         "\n"
         "exit status:\n"
         "  0    done\n"
         "  1    the work ran but did not complete\n"
         "  2    wrong arguments or unknown command\n"
         "  3    the key pool could not be loaded\n"
         "  4    the item list file cannot be read or holds no item\n"
         "  5    the CSV could not be written\n"
         "  130  interrupted (Ctrl+C); nothing was written\n";
}

Text executableDirectory() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return utf8ToGbk(std::filesystem::current_path(error).string());
  return utf8ToGbk(program.parent_path().string());
}

}  // namespace mirabex::cli
