// Re-indenting a document where it stands: only the blanks between markup
// change; every comment, processing instruction, DOCTYPE, tag and text is
// copied byte for byte.
#ifndef KELMO_TOOLS_REINDENT_H
#define KELMO_TOOLS_REINDENT_H

#include <string>
#include <string_view>

namespace kelmo_tool {

// The text with each element that holds only markup (elements, comments,
// processing instructions) laid out one item per line, indented by `indent`
// per level, and the items outside the document element one per line.
// Elements with text or CDATA keep their content as it is, blanks included,
// so neither mixed content nor text with line breaks changes. Lines end with
// `newline`; empty puts everything on one line. A blank line between items
// stays as one blank line. False, saying why, when the
// text is not markup the source scanner follows.
bool ReindentSource(std::string_view text, const std::string& indent, const std::string& newline,
                    std::string& out, std::string& why);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_REINDENT_H
