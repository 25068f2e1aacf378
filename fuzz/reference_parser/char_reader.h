// Hands out the input one UTF-16 unit at a time and keeps the line, column and
// offset of the last unit read.
#ifndef KELMO_FUZZ_REFERENCE_CHAR_READER_H
#define KELMO_FUZZ_REFERENCE_CHAR_READER_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo::reference {

struct CharReader {
  uint32_t line = 1;
  uint32_t column = 0;  // so that the first unit read is column 1
  uint32_t offsetBase = 0;  // units consumed from earlier inputs
  const WChar* chunkStart = nullptr;
  const WChar* position = nullptr;
  const WChar* end = nullptr;
  WChar previous = 0;

  bool AtEnd() const { return position >= end; }

  // Callers check AtEnd first. The line changes at the first unit after a
  // break, so a carriage return and line feed pair counts once, and a lone
  // carriage return breaks the line too.
  WChar Next() {
    const WChar c = *position++;
    if (previous == 10 || (previous == 13 && c != 10)) {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    previous = c;
    return c;
  }

  // Reads a run of units at once, as many Next calls would: every unit for
  // which plain(c) holds, up to the end. plain must be false for line feed
  // and carriage return, so that only columns move within the run. Returns
  // the run's first unit; the run ends at position.
  template <class Plain>
  const WChar* SkipWhile(Plain plain) {
    const WChar* start = position;
    const WChar* p = start;
    while (p < end && plain(*p)) ++p;
    AdvanceTo(p);
    return start;
  }

  // Reads every unit up to p (at or after position, at most end) as many
  // Next calls would; none of them may be a line feed or carriage return.
  void AdvanceTo(const WChar* p) {
    if (p == position) return;
    if (previous == 10 || previous == 13) {
      ++line;  // the run's first unit opens the new line
      column = 0;
    }
    column += static_cast<uint32_t>(p - position);
    previous = p[-1];
    position = p;
  }

  // Units consumed so far, counting the last one read.
  uint32_t Offset() const { return offsetBase + static_cast<uint32_t>(position - chunkStart); }

  // Starts a new input; line, column and previous unit carry on.
  void SetInput(const WChar* text, uint32_t length) {
    offsetBase = Offset();
    chunkStart = text;
    position = text;
    end = text + length;
  }
};

}  // namespace kelmo::reference

#endif  // KELMO_FUZZ_REFERENCE_CHAR_READER_H
