// Edits of a document's text that touch only the bytes of what changes: a
// value replaced where it stands, a new element or attribute written with
// the line ends and indentation of its neighbours, a removal taking its own
// line with it. Everything else stays byte for byte.
#ifndef KELMO_TOOLS_SOURCE_EDIT_H
#define KELMO_TOOLS_SOURCE_EDIT_H

#include <string>
#include <vector>

#include "document_text.h"
#include "kelmo/easy.hpp"

namespace kelmo_tool {

// One edit: text()[begin, end) of the document becomes `text` (in the form
// of text()).
struct SourceChange {
  size_t begin = 0;
  size_t end = 0;
  std::string text;
  // How many steps of the path were found; the rest were created.
  size_t found = 0;
};

// Stores `value` at `path`, creating the missing steps as
// kelmo::easy::FindOrCreate does; a new element goes after the last sibling
// of its name, or after the last child. Characters that the document's
// encoding has no form for are written as character references where the
// text allows them; elsewhere (names, CDATA sections) the edit is refused.
// False, saying why, when the edit cannot be made.
bool SetInSource(const DocumentText& doc, const kelmo::easy::Path& path, const std::string& value,
                 SourceChange& change, std::string& why);

// Removes the element or attribute at `path`.
bool RemoveFromSource(const DocumentText& doc, const kelmo::easy::Path& path, SourceChange& change,
                      std::string& why);

// The same for several paths at once (plain paths, as kelmo::easy::PathTo
// gives them), each naming its own node: the changes come back in the order
// of the text, none overlapping. A removal inside another one is left to
// that one; any other overlap is refused, saying why.
bool SetInSource(const DocumentText& doc, const std::vector<kelmo::easy::Path>& paths,
                 const std::string& value, std::vector<SourceChange>& changes, std::string& why);
bool RemoveFromSource(const DocumentText& doc, const std::vector<kelmo::easy::Path>& paths,
                      std::vector<SourceChange>& changes, std::string& why);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_SOURCE_EDIT_H
