// Edits of a document's text that touch only the bytes of what changes: a
// value replaced where it stands, a new element or attribute written with
// the line ends and indentation of its neighbours, a removal taking its own
// line with it. Everything else stays byte for byte.
#ifndef KELMO_TOOLS_SOURCE_EDIT_H
#define KELMO_TOOLS_SOURCE_EDIT_H

#include <string>

#include "kelmo/kelmo.hpp"
#include "xml_source.h"

namespace kelmo_tool {

// Stores `value` at `path` in `text`, creating the missing steps as
// kelmo::easy::FindOrCreate does. With `asciiOnly`, characters beyond ASCII
// are written as character references. False, saying why, when the path
// cannot be followed in the text; `text` is then unchanged.
bool SetInSource(std::string& text, const SourceDocument& doc, const kelmo::easy::Path& path,
                 const std::string& value, bool asciiOnly, std::string& why);

// Removes the element or attribute at `path` from `text`.
bool RemoveFromSource(std::string& text, const SourceDocument& doc,
                      const kelmo::easy::Path& path, std::string& why);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_SOURCE_EDIT_H
