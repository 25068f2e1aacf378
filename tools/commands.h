// The tool's commands. Each takes the arguments after its name, returns the
// exit status, and throws ToolError (or a subclass) for what it reports.
#ifndef KELMO_TOOLS_COMMANDS_H
#define KELMO_TOOLS_COMMANDS_H

#include <memory>
#include <string>
#include <vector>

#include "kelmo/easy.hpp"

namespace kelmo_tool {

// What every command shares: the library, loaded on first use so that
// --help works without it.
class ToolContext {
 public:
  explicit ToolContext(const char* argv0) : argv0_(argv0) {}
  // Throws kelmo::easy::LibraryError when no candidate loads.
  const kelmo::easy::Library& library();

 private:
  const char* argv0_;
  std::unique_ptr<kelmo::easy::Library> library_;
};

using Command = int (*)(ToolContext& context, const std::vector<std::string>& args);

int RunCheck(ToolContext& context, const std::vector<std::string>& args);
int RunCount(ToolContext& context, const std::vector<std::string>& args);
int RunDel(ToolContext& context, const std::vector<std::string>& args);
int RunExists(ToolContext& context, const std::vector<std::string>& args);
int RunFmt(ToolContext& context, const std::vector<std::string>& args);
int RunGet(ToolContext& context, const std::vector<std::string>& args);
int RunLs(ToolContext& context, const std::vector<std::string>& args);
int RunSet(ToolContext& context, const std::vector<std::string>& args);
int RunTree(ToolContext& context, const std::vector<std::string>& args);

// Prints the command's help and returns true when it was asked for.
bool PrintHelpIfAsked(const std::string& command, bool asked);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_COMMANDS_H
