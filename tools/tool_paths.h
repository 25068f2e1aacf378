// How the tool takes a path: the library's path language (kelmo/easy/path.hpp),
// with usage errors that point at the fault and hints for paths that miss.
#ifndef KELMO_TOOLS_TOOL_PATHS_H
#define KELMO_TOOLS_TOOL_PATHS_H

#include <string>
#include <vector>

#include "document_io.h"
#include "kelmo/easy.hpp"

namespace kelmo_tool {

// Parses PATH; a syntax error throws UsageError with the path and a caret
// under the character where it goes wrong.
kelmo::easy::Path ParsePath(const std::string& text);

// What the path names in the document: the first match, or with `several`
// every match (see kelmo::easy::FindAll; `everyMatch` is --all). None
// throws DocumentError "no parameter at PATH", with a hint where one helps.
std::vector<kelmo::easy::Node> FindOrFail(const LoadedDocument& doc, const kelmo::easy::Path& path,
                                          const std::string& text, bool several, bool everyMatch);

// Whether the path can name several nodes without --all: "*", a condition
// or "//" in a step without [n].
bool CanNameSeveral(const kelmo::easy::Path& path);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_TOOL_PATHS_H
