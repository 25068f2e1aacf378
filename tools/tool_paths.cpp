#include "tool_paths.h"

#include "tool_error.h"

namespace kelmo_tool {
namespace {

using kelmo::easy::Node;
using kelmo::easy::Path;

// A missing path that starts with the document element's own name was most
// likely meant from the top.
std::string MissingHint(const LoadedDocument& doc, const Path& path, const std::string& text) {
  if (path.absolute() || path.steps().empty()) return {};
  const std::string top = kelmo::easy::NameOf(doc.element);
  if (path.steps().front().text != top) return {};
  return " (paths start below the document element <" + top + ">; write /" + text +
         " to include it)";
}

}  // namespace

Path ParsePath(const std::string& text) {
  std::string why;
  size_t where = 1;
  std::optional<Path> path = Path::Parse(text, &why, &where);
  if (!path) {
    throw UsageError("bad path \"" + text + "\": " + why + "\n  " + text + "\n  " +
                     std::string(where - 1, ' ') + "^");
  }
  return *path;
}

bool CanNameSeveral(const Path& path) {
  for (const kelmo::easy::PathStep& step : path.steps()) {
    if (step.FollowsEveryMatch()) return true;
  }
  return false;
}

std::vector<Node> FindOrFail(const LoadedDocument& doc, const Path& path, const std::string& text,
                             bool several, bool everyMatch) {
  std::vector<Node> nodes;
  if (several) {
    nodes = kelmo::easy::FindAll(doc.element, path, everyMatch);
  } else if (Node node = kelmo::easy::Find(doc.element, path)) {
    nodes.push_back(node);
  }
  if (nodes.empty())
    throw DocumentError(doc.label + ": no parameter at " + text + MissingHint(doc, path, text));
  return nodes;
}

}  // namespace kelmo_tool
