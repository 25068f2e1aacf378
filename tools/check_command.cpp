#include <cstdio>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "encodings.h"
#include "file_system.h"
#include "strict_reading.h"
#include "tool_error.h"

namespace kelmo_tool {

namespace {

void PrintWarning(const std::string& label, const StrictWarning& warning) {
  const std::string message = label + ":" + std::to_string(warning.line) + ":" +
                              std::to_string(warning.column) + ": warning: " + warning.message + "\n";
  std::fputs(message.c_str(), stderr);
}

}  // namespace

int RunCheck(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, {{"--strict", "", false}});
  const bool strict = parsed.Has("--strict");
  if (PrintHelpIfAsked("check", parsed.help)) return kExitOk;
  if (parsed.positional.empty()) throw UsageError("check needs at least one FILE");
  int stdinCount = 0;
  for (const std::string& file : parsed.positional) stdinCount += file == "-";
  if (stdinCount > 1) throw UsageError("standard input (-) can be checked only once");

  int status = kExitOk;
  for (const std::string& file : parsed.positional) {
    try {
      const LoadedDocument doc = LoadDocument(context.library(), file);
      // A document that parses may still not have been read as written.
      for (const InputRepair& repair : doc.repairs) {
        const std::string message = doc.label + ":" + std::to_string(repair.line) + ":" +
                                    std::to_string(repair.column) + ": " + repair.message + " (error " +
                                    std::to_string(static_cast<unsigned int>(kelmo::ParseError::Encoding)) + ")\n";
        std::fputs(message.c_str(), stderr);
        status = kExitDocument;
      }
      // What the library's lenient reader passed over and a strict reader
      // would refuse: a warning, and a failure with --strict.
      for (const StrictWarning& warning : FindStrictWarnings(DecodeAsParserDoes(doc.bytes))) {
        PrintWarning(doc.label, warning);
        if (strict) status = kExitDocument;
      }
    } catch (const DocumentError& e) {
      // Input that is not markup at all (a binary file) is told at its first
      // character, before wherever the parser happened to stop.
      std::string bytes, why;
      if (file != "-" && ReadInputFile(file, bytes, why)) {
        const std::vector<StrictWarning> warnings = FindStrictWarnings(DecodeAsParserDoes(bytes));
        if (!warnings.empty() && warnings.front().notMarkup)
          PrintWarning(file, warnings.front());
      }
      std::string message = e.what();
      if (message.empty() || message.back() != '\n') message += '\n';
      std::fputs(message.c_str(), stderr);
      status = kExitDocument;
    }
  }
  return status;
}

}  // namespace kelmo_tool
