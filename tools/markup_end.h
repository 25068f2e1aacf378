// Where a tag or declaration ends, for the tool's scanners of document text
// in either unit (bytes as they stand in the file, or decoded UTF-16).
#ifndef KELMO_TOOLS_MARKUP_END_H
#define KELMO_TOOLS_MARKUP_END_H

#include <cstddef>
#include <string_view>

namespace kelmo_tool {

// Past the '>' that ends the markup whose body starts at i: a '>' inside a
// quoted text does not count, nor, when countBrackets is set (a
// DOCTYPE), one inside the internal subset's brackets. npos when the text
// ends first.
template <class Char>
size_t PastMarkupEnd(std::basic_string_view<Char> text, size_t i, bool countBrackets) {
  int brackets = 0;
  Char quote = 0;
  for (; i < text.size(); ++i) {
    const Char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == Char('"') || c == Char('\'')) {
      quote = c;
    } else if (countBrackets && c == Char('[')) {
      ++brackets;
    } else if (countBrackets && c == Char(']')) {
      --brackets;
    } else if (c == Char('>') && brackets <= 0) {
      return i + 1;
    }
  }
  return std::basic_string_view<Char>::npos;
}

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_MARKUP_END_H
