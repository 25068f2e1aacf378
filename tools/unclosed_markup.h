// What a document that ends too early leaves open, for the message: the
// parser says only that the text ended, at its last character, while a
// person looks for where the unclosed thing began.
#ifndef KELMO_TOOLS_UNCLOSED_MARKUP_H
#define KELMO_TOOLS_UNCLOSED_MARKUP_H

#include <optional>
#include <string>

namespace kelmo_tool {

struct Unclosed {
  size_t at = 0;        // unit index in the text where it begins
  std::string message;  // what is left open, naming it
};

// The innermost thing left open at the end of a decoded document: an
// attribute value whose quote has no partner (at the attribute's name), a
// tag, comment, CDATA section, processing instruction or declaration that
// never ends, or else the innermost element never closed. Nothing when the
// text closes everything it opens.
std::optional<Unclosed> FindUnclosed(const std::u16string& text);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_UNCLOSED_MARKUP_H
