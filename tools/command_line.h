// Splits a command's arguments into options and positional arguments.
#ifndef KELMO_TOOLS_COMMAND_LINE_H
#define KELMO_TOOLS_COMMAND_LINE_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelmo_tool {

struct OptionSpec {
  std::string name;   // "--indent"
  std::string alias;  // "-o", or empty
  bool takesValue = false;
};

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // by long name; flags map to ""
  bool help = false;

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
};

// Options may come anywhere, as "--name value", "--name=value" or "-o value".
// "-" alone is a positional argument (standard input), and so is anything
// after "--" and anything that looks like a negative number. "-h"/"--help"
// set help. Unknown or repeated options, and missing values, throw UsageError.
Arguments ParseArguments(const std::vector<std::string>& args,
                         const std::vector<OptionSpec>& specs);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_COMMAND_LINE_H
