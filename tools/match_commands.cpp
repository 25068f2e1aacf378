// count and exists: what a path names, for scripts that test a file before
// they edit it.
#include "commands.h"
#include "document_io.h"
#include "file_system.h"
#include "several_files.h"
#include "tool_error.h"
#include "tool_paths.h"

namespace kelmo_tool {

using kelmo::easy::Node;
using kelmo::easy::Path;

int RunCount(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, {});
  if (PrintHelpIfAsked("count", parsed.help)) return kExitOk;
  const std::vector<std::string> files =
      FilesBefore(parsed, 1, "count takes FILE and PATH; several files may come before PATH");
  const Path path = ParsePath(parsed.positional.back());
  return ForEachFile(files, [&](const std::string& file) {
    const LoadedDocument doc = LoadDocument(context.library(), file);
    // Every match of every step, as get --all lists them.
    const size_t count = kelmo::easy::FindAll(doc.element, path, true).size();
    const std::string line = (files.size() > 1 ? doc.label + ":" : std::string()) + std::to_string(count) + "\n";
    if (!WriteStandardOutput(line)) throw ToolError(kExitDocument, "cannot write to standard output");
  });
}

int RunExists(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, {});
  if (PrintHelpIfAsked("exists", parsed.help)) return kExitOk;
  if (parsed.positional.size() != 2) throw UsageError("exists takes FILE and PATH");
  const std::string& pathText = parsed.positional[1];
  const Path path = ParsePath(pathText);
  LoadedDocument doc;
  try {
    doc = LoadDocument(context.library(), parsed.positional[0]);
  } catch (const DocumentError& e) {
    // 1 says "no such node" here; a file that cannot be read is not that.
    throw DocumentError(e.what(), kExitUnreadable);
  }
  // The path's own matches, as get takes them: any one with a value will do.
  const std::vector<Node> nodes = CanNameSeveral(path) ? kelmo::easy::FindAll(doc.element, path)
                                                       : std::vector<Node>{kelmo::easy::Find(doc.element, path)};
  bool any = false;
  for (const Node& node : nodes) {
    if (!node) continue;
    if (!node->IsEmpty()) return kExitOk;
    any = true;
  }
  return any ? kExitNoValue : kExitDocument;
}

}  // namespace kelmo_tool
