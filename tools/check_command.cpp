#include <cstdio>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "tool_error.h"

namespace kelmo_tool {

int RunCheck(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, {});
  if (PrintHelpIfAsked("check", parsed.help)) return kExitOk;
  if (parsed.positional.empty()) throw UsageError("check needs at least one FILE");
  int stdinCount = 0;
  for (const std::string& file : parsed.positional) stdinCount += file == "-";
  if (stdinCount > 1) throw UsageError("standard input (-) can be checked only once");

  int status = kExitOk;
  for (const std::string& file : parsed.positional) {
    try {
      LoadDocument(context.library(), file);
    } catch (const DocumentError& e) {
      std::string message = e.what();
      if (message.empty() || message.back() != '\n') message += '\n';
      std::fputs(message.c_str(), stderr);
      status = kExitDocument;
    }
  }
  return status;
}

}  // namespace kelmo_tool
