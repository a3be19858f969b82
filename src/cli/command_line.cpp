#include "cli/command_line.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "toolkit/gbk_codec.h"

namespace mirabex::cli {

std::string CommandLine::value(const std::string& option) const {
  const auto found = values.find(option);
  return found == values.end() ? std::string() : found->second;
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::vector<std::string>& valueOptions) {
  CommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      line.help = true;
    } else if (argument.rfind("--", 0) == 0) {
      if (std::find(valueOptions.begin(), valueOptions.end(), argument) == valueOptions.end()) {
        line.error = "unknown option " + argument;
        return line;
      }
      if (i + 1 >= arguments.size()) {
        line.error = argument + " needs a value";
        return line;
      }
      if (!line.values.emplace(argument, arguments[++i]).second) {
        line.error = argument + " given twice";
        return line;
      }
    } else {
      line.words.push_back(argument);
    }
  }
  return line;
}

Text commandLinePath(const std::string& utf8Path) {
  std::error_code error;
  std::filesystem::path path(utf8Path);
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return utf8ToGbk((error ? path : absolute).lexically_normal().string());
}

}  // namespace mirabex::cli
