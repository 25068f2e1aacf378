#include "command_line.h"

#include "tool_error.h"

namespace kelmo_tool {
namespace {

bool LooksLikeNumber(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' &&
         ((arg[1] >= '0' && arg[1] <= '9') || (arg[1] == '.' && arg.size() > 2));
}

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& known : specs) {
    if (known.name == name || (!known.alias.empty() && known.alias == name)) return &known;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> Arguments::Value(const std::string& name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

Arguments ParseArguments(const std::vector<std::string>& args,
                         const std::vector<OptionSpec>& specs) {
  Arguments result;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-' || LooksLikeNumber(arg)) {
      result.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      result.help = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    const OptionSpec* known = FindSpec(specs, name);
    if (!known) throw UsageError("unknown option " + name);
    if (result.Has(known->name)) throw UsageError("option " + known->name + " is given twice");
    if (!known->takesValue) {
      if (inlineValue) throw UsageError("option " + known->name + " takes no value");
      result.options[known->name] = "";
      continue;
    }
    if (inlineValue) {
      result.options[known->name] = *inlineValue;
    } else if (i + 1 < args.size()) {
      result.options[known->name] = args[++i];
    } else {
      throw UsageError("option " + known->name + " needs a value");
    }
  }
  return result;
}

}  // namespace kelmo_tool
