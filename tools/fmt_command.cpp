#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "tool_error.h"

namespace kelmo_tool {

int RunFmt(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, OutputOptionSpecs());
  if (PrintHelpIfAsked("fmt", parsed.help)) return kExitOk;
  if (parsed.positional.size() != 1) throw UsageError("fmt takes one FILE");
  const std::string& file = parsed.positional[0];
  // The command line is checked in full before the document is read.
  const OutputChoice output = ChooseOutput(parsed, file);
  EncodingInfo encoding{};
  ChooseLayout(parsed, Utf8Encoding(), encoding);

  const LoadedDocument doc = LoadDocument(context.library(), file);
  const kelmo::easy::Layout layout = ChooseLayout(parsed, doc.encoding, encoding);
  WriteDocument(context.library(), doc, layout, encoding, output);
  return kExitOk;
}

}  // namespace kelmo_tool
