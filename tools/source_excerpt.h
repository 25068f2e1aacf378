// The line of a document where parsing stopped, with a caret under the
// character, for error messages.
#ifndef KELMO_TOOLS_SOURCE_EXCERPT_H
#define KELMO_TOOLS_SOURCE_EXCERPT_H

#include <string>
#include <string_view>

#include "encodings.h"

namespace kelmo_tool {

// Two lines, each starting with four spaces and ending with a line feed:
// the source line (cut to a window around the column when it is long) and
// the caret. Empty when the input does not decode, or the position lies
// outside the text. Lines break as the parser counts them: at
// a line feed, a lone carriage return, or a carriage return and line feed.
std::string SourceExcerpt(std::string_view bytes, unsigned int line, unsigned int column);

// The parser counts columns in UTF-16 units; a person counts characters.
// The column (from 1, never 0) of the character at `unitColumn` of line
// `line`.
unsigned int CharacterColumn(std::string_view bytes, unsigned int line, unsigned int unitColumn);

// The parser reports a reference that never ends where it gave up, which can
// be the closing quote; a person looks for the '&' that began it. The column
// of that '&' on the same line, or `column` when there is none before it.
unsigned int ReferenceStartColumn(std::string_view bytes, unsigned int line, unsigned int column);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_SOURCE_EXCERPT_H
