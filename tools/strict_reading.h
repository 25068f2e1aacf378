// What a strict XML reader rejects that the library's lenient reader passes
// over: text outside the document element, more than one top-level element,
// an attribute repeated in one start tag, and a document whose first
// character cannot start markup.
#ifndef KELMO_TOOLS_STRICT_READING_H
#define KELMO_TOOLS_STRICT_READING_H

#include <string>
#include <vector>

namespace kelmo_tool {

struct StrictWarning {
  unsigned int line;
  unsigned int column;
  std::string message;
  bool notMarkup = false;  // the document does not start with markup at all
};

// The warnings for a document's decoded text, in document order, with
// positions counted as the parser counts them.
std::vector<StrictWarning> FindStrictWarnings(const std::u16string& text);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_STRICT_READING_H
