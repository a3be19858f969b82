#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command.h"

namespace mirabex::cli {

// Every command mirabex-cli offers, in the order --help lists them. A new command is one
// more line here.
std::vector<std::unique_ptr<Command>> builtInCommands();

// mirabex-cli: picks the command named by the first argument and runs it.
class CliApp {
 public:
  CliApp();  // with builtInCommands()
  explicit CliApp(std::vector<std::unique_ptr<Command>> commands);

  // `arguments` without the program name. Returns the exit status.
  int run(const std::vector<std::string>& arguments, CommandContext& context) const;
  void printHelp(std::ostream& out) const;

 private:
  std::vector<std::unique_ptr<Command>> m_commands;
};

// The folder that holds the running program (GBK, no trailing separator).
Text executableDirectory();

}  // namespace mirabex::cli
