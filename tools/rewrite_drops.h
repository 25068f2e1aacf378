// What a rewrite of a document from its tree would not keep, found in the
// document's text before the tool rewrites it.
#ifndef KELMO_TOOLS_REWRITE_DROPS_H
#define KELMO_TOOLS_REWRITE_DROPS_H

#include <cstddef>
#include <string>
#include <string_view>

namespace kelmo_tool {

// The first thing in the text that a rewrite from the tree would not keep:
// a comment, processing instruction or DOCTYPE, text beside other content,
// or text with a line break inside it, described for a message ("a
// comment"), and where it starts. Empty when there is none; false when the
// text cannot be scanned.
bool FindWhatARewriteDrops(std::string_view text, std::string& what, size_t& at, std::string& why);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_REWRITE_DROPS_H
