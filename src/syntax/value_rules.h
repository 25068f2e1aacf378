// Which text inside an element becomes its value, in one place. The reader
// applies these rules as it builds the tree; the tool applies them to spans
// of a document as it stands in its file, so that what an edit replaces, or
// what a check warns about, is exactly what the reader takes.
//
// An element's value is its last CDATA section, wherever that stands;
// without one, its first run of character data that is not all blanks,
// without the blanks at either end. Only blanks written as they are count:
// one that comes from a character reference is text, so it is never
// trimmed and a run of such blanks is a value. (The reader also drops line
// breaks inside the run; a span keeps them.)
#ifndef KELMO_SYNTAX_VALUE_RULES_H
#define KELMO_SYNTAX_VALUE_RULES_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "syntax/char_classes.h"

namespace kelmo::syntax {

// The blanks trimmed off a run: the XML white space.
template <class Unit>
constexpr bool IsValueBlank(Unit unit) {
  return IsXmlSpace(static_cast<std::make_unsigned_t<Unit>>(unit));
}

// Whether a run directly inside an element becomes its value, given whether
// the element has one already: a CDATA section always does, so the last of
// several wins; character data only while the element has none.
constexpr bool RunTakesValue(bool cdata, bool hasValue) { return cdata || !hasValue; }

// How many blanks end the `length` units at `run` (all of them when the run
// is blank).
template <class Unit>
size_t TrailingValueBlanks(const Unit* run, size_t length) {
  size_t blanks = 0;
  while (blanks < length && IsValueBlank(run[length - 1 - blanks])) ++blanks;
  return blanks;
}

// Narrows [begin, end) of `text` (anything indexed by position: a string
// view, a pointer) to what the value holds: the run without its blanks at
// either end. Empty when the run is all blanks, which gives no value.
template <class Text>
void TrimValueBlanks(const Text& text, size_t& begin, size_t& end) {
  while (begin < end && IsValueBlank(text[begin])) ++begin;
  while (end > begin && IsValueBlank(text[end - 1])) --end;
}

// Whether [begin, end) of `text` is all blanks, so that it cannot be a value.
template <class Text>
bool IsBlankRun(const Text& text, size_t begin, size_t end) {
  TrimValueBlanks(text, begin, end);
  return begin == end;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_VALUE_RULES_H
