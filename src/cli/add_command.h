#pragma once

#include "cli/command.h"

namespace mirabex::cli {

// mirabex-cli add --mode MODE ADDRESS --list FILE [--options DIR]
// Adds the item, category or shop at ADDRESS to the item list file FILE (created when missing).
class AddCommand : public Command {
 public:
  std::string_view name() const override { return "add"; }
  std::string_view summary() const override;
  void printHelp(std::ostream& out) const override;
  int run(const std::vector<std::string>& arguments, CommandContext& context) override;
};

}  // namespace mirabex::cli
