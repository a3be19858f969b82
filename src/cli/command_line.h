#pragma once

#include <map>
#include <string>
#include <vector>

#include "toolkit/gbk_text.h"

namespace mirabex::cli {

// The options of one command: "--name VALUE" pairs, "--help", and the words between them.
struct CommandLine {
  std::map<std::string, std::string> values;  // option name (with "--") -> value
  std::vector<std::string> words;             // arguments that are not options, in order
  bool help = false;
  std::string error;  // why the arguments were refused; empty when they were fine

  bool has(const std::string& option) const { return values.count(option) != 0; }
  std::string value(const std::string& option) const;
};

// `valueOptions` are the options that take a value; anything else starting with "--" is refused,
// as is an option given twice.
CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::vector<std::string>& valueOptions);

// A path typed on the command line (UTF-8), made absolute against the working folder, as GBK text.
Text commandLinePath(const std::string& utf8Path);

}  // namespace mirabex::cli
