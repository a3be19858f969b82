#pragma once

#include "cli/command.h"

namespace mirabex::cli {

// mirabex-cli collect --list FILE [--save PATH] [--options DIR]
// Loads the key pool and the settings, runs one collection over the item list file
// and writes the CSV (with its picture folder beside it) to PATH.
class CollectCommand : public Command {
 public:
  std::string_view name() const override { return "collect"; }
  std::string_view summary() const override;
  void printHelp(std::ostream& out) const override;
  int run(const std::vector<std::string>& arguments, CommandContext& context) override;
};

}  // namespace mirabex::cli
