// Where lines start and end in a text: the one rule for line numbers, for
// the parser's error positions, the tool's messages and excerpts and the
// edits that keep a document's lines. A line feed ends a line, and so does a
// carriage return, but a carriage return and line feed pair ends it once
// (StartsLine, in the public kelmo/line_starts.h, which the convenience
// layer shares).
// The text is any run of code units (bytes of UTF-8 or of an ASCII-based
// code page, UTF-16 units), in which the two breaks stand for themselves.
//
// The parser counts lines eight units at a time as it reads
// (syntax/char_reader.h); a test holds that count to this rule.
#ifndef KELMO_SYNTAX_LINE_POSITIONS_H
#define KELMO_SYNTAX_LINE_POSITIONS_H

#include <cstddef>
#include <string_view>

#include "kelmo/line_starts.h"
#include "syntax/char_classes.h"

namespace kelmo::syntax {

// The length of the line end at `at`: 2 for a carriage return and line feed,
// 1 for a lone line feed or carriage return, 0 when no line ends there.
template <class Unit>
size_t LineEndLength(std::basic_string_view<Unit> text, size_t at) {
  if (at >= text.size() || !IsLineBreak(static_cast<uint32_t>(text[at]))) return 0;
  return text[at] == Unit('\r') && at + 1 < text.size() && text[at + 1] == Unit('\n') ? 2 : 1;
}

// Whether a line starts at `at`: the rule itself, in the public headers for
// the convenience layer's sake.
using kelmo::StartsLine;

// The line (from 1) on which the unit at `offset` stands; an offset at or
// past the end counts the whole text.
template <class Unit>
size_t LineOf(std::basic_string_view<Unit> text, size_t offset) {
  if (offset > text.size()) offset = text.size();
  size_t line = 1;
  for (size_t i = 1; i <= offset; ++i) line += StartsLine(text, i);
  return line;
}

// How many line ends the text holds.
template <class Unit>
size_t LineEndCount(std::basic_string_view<Unit> text) {
  return LineOf(text, text.size()) - 1;
}

// Where the line on which `offset` stands starts.
template <class Unit>
size_t LineStartOf(std::basic_string_view<Unit> text, size_t offset) {
  if (offset > text.size()) offset = text.size();
  while (!StartsLine(text, offset)) --offset;
  return offset;
}

// Where line `line` (from 1) starts, or npos when the text has fewer lines.
template <class Unit>
size_t LineStart(std::basic_string_view<Unit> text, size_t line) {
  size_t at = 0;
  for (size_t current = 1; current < line; ++current) {
    while (at < text.size() && !IsLineBreak(static_cast<uint32_t>(text[at]))) ++at;
    if (at >= text.size()) return std::basic_string_view<Unit>::npos;
    at += LineEndLength(text, at);
  }
  return at;
}

// Where the line that holds `at` ends: at its line end, or the end of the
// text.
template <class Unit>
size_t LineEndAt(std::basic_string_view<Unit> text, size_t at) {
  while (at < text.size() && !IsLineBreak(static_cast<uint32_t>(text[at]))) ++at;
  return at;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_LINE_POSITIONS_H
