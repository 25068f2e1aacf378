// The rule for where lines start, shared by the library, which reports
// positions with it, and the header-only convenience layer, which cannot
// reach the library's sources and so finds it here: a line feed ends a line,
// and so does a carriage return, but a carriage return and line feed pair
// ends it once. The library's fuller set of line positions is built on it.
#ifndef KELMO_LINE_STARTS_H
#define KELMO_LINE_STARTS_H

#include <cstddef>
#include <string_view>

namespace kelmo {

// Whether a line starts at `at` (at most text.size()) in a text of any code
// units in which the two breaks stand for themselves (bytes of UTF-8 or an
// ASCII-based code page, UTF-16 units): at the start of the text, and after
// a line end. The line feed of a pair does not start one.
template <class Unit>
constexpr bool StartsLine(std::basic_string_view<Unit> text, size_t at) {
  if (at == 0) return true;
  const Unit before = text[at - 1];
  if (before == Unit('\n')) return true;
  return before == Unit('\r') && (at >= text.size() || text[at] != Unit('\n'));
}

}  // namespace kelmo

#endif  // KELMO_LINE_STARTS_H
